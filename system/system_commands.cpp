// The system commands: other programs, documents, the environment, the
// console and the file dialogs.
#include <cstring>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/file_system.h"
#include "audio/sound.h"
#include "input/input_state.h"
#include "core/program_end.h"
#include "files/files.h"
#include "runtime/window.h"
#include "system/command_line.h"
#include "tamblix/errors.h"
#include "tamblix/system.h"

namespace {

// Starts the words as a program. Returns its pid or -1 (with a log line).
// With `first_dir` a name without "/" is looked for there before PATH.
int start_program(const std::vector<std::string>& words, int* output = nullptr,
                  const std::string& first_dir = std::string()) {
  std::string why;
  int pid = platform_spawn(words, output, &why, first_dir);
  if (pid < 0) {
    std::string line = "cannot start ";
    line += words.empty() ? std::string("(nothing)") : words[0];
    line += ": " + why + "\n";
    log_append(line.c_str());
  }
  return pid;
}

bool split_or_log(const BasicString& command, std::vector<std::string>& words) {
  if (!system_split_command_line(command.c_str(), words)) {
    log_append("command line with an unterminated quote\n");
    return false;
  }
  if (words.empty()) {
    log_append("empty command line\n");
    return false;
  }
  return true;
}

// Hands a child the program does not wait for to the reaper.
void reap_later(int pid) {
  if (!platform_reap_child_later(pid))
    log_append("no thread to reap a started program: it is reaped at the next start of a program\n");
}

void leave_fullscreen() {
  if (g_runtime.window.window && g_runtime.window.fullscreen) runtime_enter_windowed();
}

void give_focus_back() {
  if (g_runtime.window.window) platform_window_raise(g_runtime.window.window);
}

// The folder of the running program's executable ("" when unknown). A
// program the game names without a directory is looked for here first, so a
// helper shipped beside the game starts by its bare name; then along PATH.
// The working directory is not searched: whatever folder the game was
// started from could otherwise put a program of its own in the place of a
// system one.
std::string program_folder() {
  std::string exe = platform_executable_path();
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

// The program sys_shell_end and a quitting sys_open_document start once the
// engine is gone, and whether it is the game's own command line (looked for
// beside the game first) or the document handler (along PATH only).
struct ProgramAfterEnd {
  std::vector<std::string> words;
  bool game_command = false;
};

ProgramAfterEnd& program_after_end() {
  static ProgramAfterEnd program;
  return program;
}

void start_program_after_end() {
  const ProgramAfterEnd& program = program_after_end();
  if (program.words.empty()) return;
  // The process ends right after; the child goes on alone.
  start_program(program.words, nullptr, program.game_command ? program_folder() : std::string());
}

}  // namespace

int sys_shell_command(const BasicString& command, int wait, int show, double& exit_code) {
  exit_code = 0;
  files_flush_all_channels("sys_shell_command");  // the program sees what was written
  leave_fullscreen();
  int result = 0;
  std::vector<std::string> words;
  if (split_or_log(command, words)) {
    int pid = start_program(words, nullptr, program_folder());
    if (pid >= 0) {
      result = 1;
      if (wait != 0) {
        exit_code = platform_wait_child(pid);
      } else {
        reap_later(pid);
      }
    }
  }
  give_focus_back();
  return result;
}

void sys_shell_end(const BasicString& command) {
  files_flush_all_channels("sys_shell_end");
  std::vector<std::string> words;
  if (split_or_log(command, words)) program_after_end() = {words, true};
  core_end_after_teardown(&start_program_after_end);
  core_end_and_exit();  // returns never, also when an end was already in progress
}

void sys_open_document(const BasicString& name) {
  files_flush_all_channels("sys_open_document");
  std::vector<std::string> words = {"xdg-open", name.c_str()};
  if (g_runtime.frame.exitKeysEnabled) {
    program_after_end() = {words, false};
    core_end_after_teardown(&start_program_after_end);
    return;
  }
  int pid = start_program(words);
  if (pid >= 0) reap_later(pid);
}

BasicString sys_get_env(const BasicString& name) {
  if (name.length() == 0) return BasicString(platform_env_listing().c_str());
  return BasicString(platform_get_env(name.c_str()).c_str());
}

void sys_set_env(const BasicString& name, const BasicString& value) {
  std::string n(name.c_str(), name.length());
  // An empty name, or one holding "=" (or a zero byte), would change another
  // variable than the one asked for.
  if (n.empty() || n.find('=') != std::string::npos || n.size() != std::strlen(name.c_str())) {
    log_append("sys_set_env: bad variable name\n");
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  // An empty value removes the variable: a program reading it afterwards sees
  // it unset, not set to "".
  const bool ok = value.length() == 0 ? platform_unset_env(n) : platform_set_env(n, value.c_str());
  if (!ok) sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
}

void sys_open_console() {
  if (platform_stdio_has_terminal()) return;
  std::string terminal;
  for (const char* candidate : {"x-terminal-emulator", "xterm"}) {
    terminal = platform_find_program(candidate);
    if (!terminal.empty()) break;
  }
  if (terminal.empty()) {
    log_append("no terminal program for the console\n");
    return;
  }
  std::string dir, out_pipe, in_pipe;
  if (!platform_make_console_pipes(dir, out_pipe, in_pipe)) {
    log_append("cannot make the console pipes\n");
    return;
  }
  // The terminal shows what the program writes and hands it what is typed;
  // the relay is a fixed script of ours with the pipe names as arguments.
  std::vector<std::string> words = {terminal, "-e", "/bin/sh", "-c",
                                    "cat \"$1\" & exec cat > \"$2\"", "tamblix-console",
                                    out_pipe, in_pipe};
  int pid = start_program(words);
  if (pid < 0) return;
  reap_later(pid);
  if (!platform_attach_stdio(out_pipe, in_pipe)) log_append("cannot attach the console\n");
}

namespace {

// "desc|pat;pat|desc|pat" -> pairs; a trailing description without patterns
// is ignored.
std::vector<std::pair<std::string, std::string>> parse_filter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    for (char& c : patterns)
      if (c == ';') c = ' ';
    pairs.emplace_back(parts[i], patterns);
  }
  return pairs;
}

}  // namespace

std::vector<std::string> system_file_dialog_command(const std::string& program, bool open, const std::string& filter,
                                                    const std::string& dir) {
  auto pairs = parse_filter(filter);
  std::vector<std::string> words;
  if (program.find("kdialog") != std::string::npos) {
    words = {program, open ? "--getopenfilename" : "--getsavefilename", dir + "/"};
    std::string spec;
    for (const auto& [desc, patterns] : pairs) {
      if (!spec.empty()) spec += '\n';
      spec += patterns + "|" + desc;
    }
    if (!spec.empty()) words.push_back(spec);
    return words;
  }
  words = {program, "--file-selection", "--filename=" + dir + "/"};
  if (!open) {
    words.push_back("--save");
    words.push_back("--confirm-overwrite");
  }
  for (const auto& [desc, patterns] : pairs) words.push_back("--file-filter=" + desc + " | " + patterns);
  return words;
}

BasicString sys_file_dialog(int open, const BasicString& filter) {
  std::string program = platform_find_program("zenity");
  if (program.empty()) program = platform_find_program("kdialog");
  if (program.empty()) {
    log_append("no file dialog program (zenity, kdialog)\n");
    return BasicString("NO_FILE");
  }
  const std::string cwd = platform_get_cwd();
  const bool was_fullscreen = g_runtime.window.window && g_runtime.window.fullscreen;
  if (was_fullscreen) runtime_hide_window();

  std::string chosen;
  int output = -1;
  int pid = start_program(system_file_dialog_command(program, open != 0, filter.c_str(), cwd), &output);
  int code = -1;
  if (pid >= 0) {
    platform_read_all(output, chosen);
    platform_close_fd(output);
    code = platform_wait_child(pid);
  }

  if (!cwd.empty()) platform_set_cwd(cwd);
  if (was_fullscreen) {
    runtime_enter_fullscreen();
    tmx::input::restore_pointer();
  }
  if (g_runtime.window.window) {
    tmx::audio::sound_bind_window(g_runtime.window.window);
    give_focus_back();
  }

  while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r')) chosen.pop_back();
  if (code != 0 || chosen.empty()) return BasicString("NO_FILE");
  for (char& c : chosen)
    if (c == '\\') c = '/';
  return BasicString(chosen.c_str());
}
