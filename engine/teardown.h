// The engine's teardown: what sys_end runs before the process ends.
#pragma once

// Offers the program's "TMX_ON_QUIT" callback once, then, while the graphics
// context exists, tears the subsystems down in a fixed order between
// "Shut down TMX" and "tmx is shut down" in the log.
void engine_teardown();

// The sequence sys_end runs: the run options' outputs (screenshot, state,
// recording), then engine_teardown. Installed in the core at start-up.
void engine_end_sequence();
