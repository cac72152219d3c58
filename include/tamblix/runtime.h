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

// ---- the program entry ----

using SubRoutine = void (*)();
// One named subroutine of the program; a table ends with {nullptr, nullptr}.
struct SubEntry {
  SubRoutine routine;
  const char* name;
};

// The program's settings, filled by its set_program_settings before start-up.
struct ProgramSettings {
  int32_t width, height;      // window client size
  int32_t fullscreen;         // non-zero: start in a fullscreen display mode
  int32_t exclusiveMouse;     // non-zero: mouse captured, pointer hidden
  int32_t frameRate;          // frames per second; <= 0: 2 ms frames
  int32_t debug;              // non-zero: no pausing, end report in the log
  int32_t antialiasSamples;   // multisample count asked for (0: none)
};
extern ProgramSettings g_program_settings;

// The application name (the window title).
BasicString& rt_app_name();

struct TamblixProgram {
  void (*set_program_settings)();   // fills g_program_settings and rt_app_name()
  double (*main)();                 // the program's main routine
  const SubEntry* sub_table;        // call-by-name table (may be null)
  // false (the default): the program reads no arguments, so an argument
  // starting with "--" that is not a run option of the engine is a mistake;
  // the usage text goes to standard error and the process ends with exit
  // code 2. true: the program reads argv itself (in its main, before
  // run_program) and such arguments are left to it. Either way, every
  // argument after "--" is the program's and the engine reads none of them.
  bool reads_own_options = false;
};

// Starts the engine, runs the program's main routine and ends through
// sys_end. Never returns. The run options (--help lists them) are read
// first; a malformed or unknown one ends the process with exit code 2.
// SIGINT and SIGTERM end the program: in order at its next frame while it
// presents frames, at once when it has not for a second or on a second
// signal; the exit code is 128 + the signal (errors.h lists the codes).
int run_program(int argc, char** argv, const TamblixProgram& program);

// The first table entry with exactly that name (case-sensitive), or null.
SubRoutine find_sub(const BasicString& name);
// Calls the routine of that name once: 1, or 0 when there is none.
int call_sub(const BasicString& name);
// Runs the routine of that name over and over; a call from inside it with
// another name hands over to that routine from its next call on.
void run_sub_chain(const BasicString& name);
SubRoutine find_sub(const char* name);
int call_sub(const char* name);
void run_sub_chain(const char* name);

// Milliseconds since the engine's first clock reading (the first call gives 0).
double timer_ms();
// Milliseconds since the end of start-up.
double timer_since_start();
