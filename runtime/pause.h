// Pausing: the flag the frame presentation's pause loop waits on.
#pragma once

// Sets the pause flag (ignored while pausing is off) and offers the program's
// "TMX_ON_PAUSE" or "TMX_ON_RESUME" callback when the flag changes.
void runtime_set_pause(int request);
