// The engine's teardown: what sys_end runs before the process ends.
#pragma once

// Offers the program's "TMX_ON_QUIT" callback once, then, while the graphics
// context exists, tears the subsystems down in a fixed order between
// "Shut down TMX" and "tmx is shut down" in the log. process_ends: the
// process exits right after (the sound device is then left for the exit to
// close instead of waiting for its drain).
void engine_teardown(bool process_ends = false);

// The sequence sys_end runs: the run options' outputs (screenshot, state,
// recording), then engine_teardown. Installed in the core at start-up.
void engine_end_sequence();
