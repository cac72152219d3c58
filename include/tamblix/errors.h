// Error state, the error log, the debugger channel and the program end.
#pragma once
#include <cstdint>

class BasicString;

// The last error and where it happened. currentLine/currentModule are only
// advanced by debug builds of a program; they stay 0 otherwise.
struct ErrorState {
  int32_t code;
  int32_t errorLine;
  int32_t currentLine;
  int32_t currentModule;
};
extern ErrorState g_error_state;

// Error codes with a text of their own.
enum : int {
  TMX_ERR_SUCCESS = 0,
  TMX_ERR_NO_SUCH_FILE = 3,
  TMX_ERR_OUT_OF_MEMORY = 7,
  TMX_ERR_APPEND_MULTIDIM = 8,
  TMX_ERR_OUT_OF_BOUNDS = 9,
  TMX_ERR_OUT_OF_DATA = 20,
  TMX_ERR_ASSERTION = 21,
};

// Records the code (and the current line); does not end the program.
int sys_raise_error(int code);
// code = 0.
void clear_error();
// "%.4d %s": the last code and its text, e.g. "0007 out of memory".
BasicString sys_last_error_text();
// The text of an error code ("success", "no such file", ..., "unknown error").
const char* error_code_text(int code);

// Sends "TX" + text to an attached debugger; here: standard error while a
// tracer is attached to the process.
void debug_print(const char* text);
// Appends text to "ErrorLog.txt" in the temporary directory (opened and closed
// for every line, five attempts, then dropped). A null text is written "NULL".
void log_append(const char* text);
// The error log's path: the temporary directory with "/" separators, then
// "ErrorLog.txt".
const char* error_log_path();

// Debug builds' assertion: when value is 0, reports, raises 21 and ends.
void rt_assert(double value);

// The process's exit codes:
//   0    an orderly end: the program's END or its own sys_end, the main routine
//        returning, the quit keys (Escape, Alt+F4), the window's close button
//   1    start-up failed: no usable display, or the window and its OpenGL
//        context could not be created
//   2    a usage error: an unknown or malformed run option (the usage text goes
//        to standard error), a replay script that cannot be read
//   3    an output asked for by a run option (--state-out, --screenshot,
//        --record) could not be written; the end was otherwise orderly
//   4    a fatal runtime error: an array index out of bounds, a READ past the
//        end of the DATA, an append to an array of more than one dimension, a
//        failed assertion, no memory for a string or an array, a fatal
//        file-channel error. The end is otherwise orderly; standard error and
//        the error log name what failed ("fatal error N: ...").
//   128 + N  ended by signal N: 130 for SIGINT, 143 for SIGTERM (the engine
//        ends in order when it can, at once otherwise)
// When several apply, the graver one stays: a signal over a fatal error over
// a failed output.
enum : int {
  TMX_EXIT_OK = 0,
  TMX_EXIT_START_FAILED = 1,
  TMX_EXIT_USAGE = 2,
  TMX_EXIT_OUTPUT_FAILED = 3,
  TMX_EXIT_FATAL_ERROR = 4,
  TMX_EXIT_SIGNAL_BASE = 128,
};

// Ends the program in order: the quit callback, the engine teardown, "exit"
// on standard output and exit code 0 (3 when an output asked for by a run
// option, such as --state-out, could not be written). It returns only when an
// end is already in progress (a second call during the teardown does nothing).
void sys_end();
// For fatal errors (array bounds, out of data, ...), after sys_raise_error:
// writes "fatal error N: <what>" (what = the error code's text when null) to
// standard error and the error log, then ends like sys_end but with exit code
// 4. When an end was already in progress, the process ends at once, so the
// failing code never goes on.
[[noreturn]] void sys_end_fatal(const char* what = nullptr);
