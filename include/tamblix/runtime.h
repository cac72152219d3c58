// Start-up, program settings, window, frames, timing, files and paths.
#pragma once
#include <cstdint>

class BasicString;

// ---- commands the game relies on (names and signatures are fixed) ----

// Ends the frame: presents it, takes the keyboard snapshot, serves the window
// messages, waits for the frame's due time and starts the next frame cleared.
void sys_show_screen();
// Paces later frames to 1000 / rate ms (2 ms when rate <= 0); vsync on/off.
void sys_limit_fps(double rate, int vsync);
// Client size of the window (fullscreen 0: framed window centred on the work area).
void sys_set_screen(int width, int height, int fullscreen);
// Changes the working directory ("/" may separate directories): 1 or 0 (error 3).
double sys_set_current_dir(const BasicString& path);
// 1 when the name is an existing file that is not a directory, else 0.
int sys_file_exists(const BasicString& name);
