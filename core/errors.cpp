// The error state, the error log, the debugger channel and the orderly end.
#include "tamblix/errors.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/program_end.h"
#include "platform/file_system.h"
#include "platform/process_info.h"
#include "tamblix/runtime.h"
#include "tamblix/string.h"

ErrorState g_error_state = {0, 0, 0, 0};
ProgramSettings g_program_settings = {640, 400, 0, 0, 60, 0, 0};

namespace {

int g_debug_override = -1;  // -1: ask the platform; 0 off; 1 on
int g_ending = 0;           // set by the first sys_end
void (*g_end_sequence)() = nullptr;
int g_exit_code = 0;        // the code sys_end exits with
std::string g_log_path;

bool debugger_attached() {
  if (g_debug_override >= 0) return g_debug_override != 0;
  return platform_tracer_attached();
}

}  // namespace

void core_program_end_install(void (*end_sequence)()) { g_end_sequence = end_sequence; }

void core_debug_channel_override(int mode) { g_debug_override = mode; }

// The graver reason wins: a signal (128 + N) over a fatal error (4) over a
// failed output (3) over an orderly end (0).
void core_end_set_exit_code(int code) {
  if (code > g_exit_code) g_exit_code = code;
}
int core_end_exit_code() { return g_exit_code; }

void core_program_end_reset_for_tests() {
  g_ending = 0;
  g_exit_code = 0;
  g_end_sequence = nullptr;
}

const char* error_code_text(int code) {
  switch (code) {
    case 0: return "success";
    case 3: return "no such file";
    case 7: return "out of memory";
    case 9: return "out of bounds";
    case 20: return "out of data";
    default: return "unknown error";
  }
}

int sys_raise_error(int code) {
  g_error_state.errorLine = g_error_state.currentLine;
  g_error_state.code = code;
  if (code != 0) {
    char text[32];
    std::snprintf(text, sizeof text, "error: %x\n", static_cast<unsigned>(code));
    debug_print(text);
  }
  return code;
}

void clear_error() { g_error_state.code = 0; }

BasicString sys_last_error_text() {
  char text[64];
  std::snprintf(text, sizeof text, "%.4d %s", g_error_state.code, error_code_text(g_error_state.code));
  return BasicString(text);
}

void debug_print(const char* text) {
  if (!debugger_attached()) return;
  std::string line = "TX";
  line += text ? text : "";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

const char* error_log_path() {
  // The temporary directory is read on every call: tests and programs may
  // point TMPDIR elsewhere before the log is restarted.
  g_log_path = platform_temp_dir() + "ErrorLog.txt";
  return g_log_path.c_str();
}

void log_append(const char* text) {
  const char* path = error_log_path();
  if (std::strncmp(path, "mem://", 6) == 0) return;  // memory files are read-only
  if (!text) text = "NULL";
  const size_t n = std::strlen(text);
  // The log is opened without sharing: another writer holding it makes an
  // attempt fail.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (platform_append_exclusive(path, text, n)) return;
  }
  // Five failed attempts: the line is dropped.
}

void rt_assert(double value) {
  if (value != 0) return;
  BasicString v(value);
  std::string text = "Assertion: Value = ";
  text += v.c_str();
  text += "\n";
  debug_print(text.c_str());
  sys_raise_error(TMX_ERR_ASSERTION);
  sys_end_fatal(("assertion failed (value " + std::string(v.c_str()) + ")").c_str());
}

void sys_end() { core_end_after_teardown(nullptr); }

void core_end_after_teardown(void (*after_teardown)()) {
  if (g_ending) return;
  g_ending = 1;
  if (g_program_settings.debug != 0) {
    char line[32];
    log_append("-End On Line\n");
    std::snprintf(line, sizeof line, "%d\n", g_error_state.code);
    log_append(line);
    std::snprintf(line, sizeof line, "%d\n", g_error_state.errorLine - 1);
    log_append(line);
    std::snprintf(line, sizeof line, "%d\n", g_error_state.currentLine);
    log_append(line);
    std::snprintf(line, sizeof line, "%d\n", g_error_state.currentModule);
    log_append(line);
  }
  if (g_end_sequence) g_end_sequence();
  if (after_teardown) after_teardown();
  // There is no desktop to repaint here: the window system redraws by itself.
  std::fputs("exit\n", stdout);
  std::fflush(stdout);
  std::exit(g_exit_code);
}

void core_end_and_exit() {
  sys_end();
  // An end was already in progress: the caller must not go on, so the
  // process ends here with the code in force.
  std::fputs("exit\n", stdout);
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(g_exit_code);
}

void sys_end_fatal(const char* what) {
  char line[256];
  std::snprintf(line, sizeof line, "fatal error %d: %s\n", g_error_state.code,
                what && *what ? what : error_code_text(g_error_state.code));
  std::fputs(line, stderr);
  std::fflush(stderr);
  log_append(line);
  // A failure must not look like a quit to whoever started the program.
  core_end_set_exit_code(TMX_EXIT_FATAL_ERROR);
  core_end_and_exit();
}
