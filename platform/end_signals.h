// SIGINT and SIGTERM: a request to end the program, honoured in order while
// the engine serves its frames and at once when it does not.
//
// The first signal, while the engine served its events less than a second
// ago, is only recorded: the engine takes it at its next event pump and ends
// in order. When nobody takes it within two seconds (the program stopped
// presenting frames in the meantime), the process ends at once. A second
// signal, or a first one while the engine has not served its events for a
// second (a loop that never presents a frame, a long load), ends the process
// at once: one line to standard error and to the error log, then exit status
// 128 + the signal, without the teardown.
#pragma once

// Installs the handlers (before the platform's libraries install their own,
// which then leave them alone). log_path: where the line of an immediate end
// is appended (copied; may be null).
void platform_end_signals_install(const char* log_path);

// The engine is serving its events now (called by every event pump).
void platform_end_signals_heartbeat();

// The signal whose request to end is waiting, or 0. Taking it stops the
// two-second watchdog: the end is under way.
int platform_end_signal_take();
