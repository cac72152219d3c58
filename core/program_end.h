// The program's end: sys_end writes the end report, runs the engine's
// teardown and ends the process.
//
// The core has no platform objects of its own; the engine layer installs its
// end sequence here once at start-up. Without one (the core alone, as in the
// game's test double) sys_end only reports and exits.
#pragma once

// The engine's end sequence: what sys_end runs between the end report and
// "exit" (the run options' outputs, then the teardown).
void core_program_end_install(void (*end_sequence)());

// sys_end with one more step between the teardown and "exit": what must
// happen once the engine is gone (starting the program of sys_shell_end).
void core_end_after_teardown(void (*after_teardown)());

// sys_end for a caller that must not go on: when an end was already in
// progress (sys_end returned), the process ends at once with the exit code in
// force. The orderly end of run_program and of sys_shell_end.
[[noreturn]] void core_end_and_exit();

// The exit code sys_end ends the process with (0 unless set): a run whose
// requested outputs could not be written ends with a failure code. A code is
// only ever raised: the graver reason (the higher code) stays.
void core_end_set_exit_code(int code);
int core_end_exit_code();

// Test seams for the debugger channel: -1 asks the platform (a tracer attached
// to the process), 0 forces it off, 1 forces it on.
void core_debug_channel_override(int mode);

// Resets the end flag (ending), the exit code and the installed sequence; for
// tests only.
void core_program_end_reset_for_tests();
