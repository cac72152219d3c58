// The system pointer as other engine areas see it.
#pragma once

namespace tmx::input {

// The pointer-shown flag (false without an input record).
bool pointer_shown();
// Hides the pointer and records it as hidden, capturing the mouse when a
// captured mouse exists (used around the creation of the music player).
void pointer_hide_quietly();

}  // namespace tmx::input
