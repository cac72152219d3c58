// The run options applied to a running program: the seed, the frame limit,
// recording and replaying the input, fast frames, the screenshot and the state
// output at the end. The runtime calls these at fixed points of start-up and
// of every sys_show_screen.
#pragma once
#include <cstdint>

#include "input/input_state.h"
#include "core/run_options.h"

// run_program, before anything else: parses the options and makes every FILE
// absolute against the working folder (start-up changes it later). --help
// prints the options and ends the process (code 0); a malformed option, an
// unknown one starting with "--" (unless the program reads its own), or a
// replay file that is not a readable, regular text file is reported on
// standard error and ends the process (code 2). The outputs are written at
// the start of sys_end; one that cannot be written is reported on standard
// error and makes sys_end exit with code 3.
void engine_run_session_start(int argc, char** argv, bool program_reads_options = false);
// After engine_init: the seed, fast mode, the replay's input override.
void engine_run_session_after_init();
// In sys_show_screen, right after the keyboard snapshot: the call count, the
// replayed or recorded input of this frame.
void engine_run_session_after_snapshot();
// At the end of sys_show_screen: --frames ends the program after the N-th call.
void engine_run_session_frame_done();

// In sys_end, before the teardown (once engine_run_session_start ran): the
// screenshot, the state output and the recording.
void engine_run_session_finish();

// While replaying, the window focus is ignored (no pausing).
bool engine_run_session_ignores_focus();
// --fast: no frame waiting and no swap interval.
bool engine_run_session_fast();
// The options in force (for tests).
const RunOptions& engine_run_session_options();
// The number of sys_show_screen calls so far.
int64_t engine_run_session_frame_count();

// Joystick 0 as a recording keeps it: the device's own reading, before the
// screen orientation turns it (a replay hands the reading back to the device
// layer, which turns it again), axes scaled to -1..1, the hat as directions.
JoyFrame engine_run_session_joy_frame(const tmx::input::JoyState& reading);
// The reading a replayed frame gives joystick 0.
tmx::input::JoyState engine_run_session_joy_state(const JoyFrame& frame);
