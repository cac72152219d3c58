// For engine code outside the 2-D graphics that changes GL state directly
// (shader programs, 3-D drawing).
#pragma once

// The 2-D drawing keeps caches of GL state (capabilities, current colour,
// texture bindings and parameters, client arrays) so that it does not repeat
// calls. Code that changes any of that behind its back calls this afterwards;
// the caches are also forgotten by the 2-D reset before every frame.
void gfx_forget_gl_state();
