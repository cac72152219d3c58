// Child processes, the environment and the standard streams (POSIX).
//
// Plain C++ types only: the system commands above this layer never see a
// pid_t, an errno value name or a descriptor table.
#pragma once
#include <string>
#include <vector>

// Starts argv[0] with argv, the program's environment and working directory.
// A name without "/" is looked for in `first_dir` when that is given (an
// executable file there wins), then along PATH; a name with "/" is taken as
// it is (relative to the working directory). The child's argv[0] is the name
// as given. Only the standard three descriptors are inherited. With `output`
// non-null the child's standard output is a pipe whose read end is stored
// there (close it with platform_close_fd). Returns the child's process id,
// or -1 when the program could not be started (missing, not executable,
// ...); `error_text` then says why. Reaps the ended children handed to
// platform_reap_child_later first.
int platform_spawn(const std::vector<std::string>& argv, int* output, std::string* error_text,
                   const std::string& first_dir = std::string());

// Waits for the child and gives its exit code; a child ended by a signal
// gives 128 + the signal number, as shells report it.
int platform_wait_child(int pid);

// Reaps the child once it ends, so a child the program does not wait for
// never stays a zombie. One shared thread watches all such children; only
// their pids are waited for, so children the program started by other means
// are left alone. Never fails the program: when the thread cannot start (a
// process or memory limit), ended children are reaped at the next
// platform_spawn or platform_reap_ended_children, which try the thread
// again; the result is then false.
bool platform_reap_child_later(int pid);
// Reaps those of the children above that have ended, without waiting.
void platform_reap_ended_children();

// Reads the descriptor until its end into `out`.
void platform_read_all(int fd, std::string& out);
void platform_close_fd(int fd);

// The environment: one variable ("" when unset), all entries joined with
// "\n" after each, setting one, removing one. platform_set_env and
// platform_unset_env return false when the platform refuses.
std::string platform_get_env(const std::string& name);
std::string platform_env_listing();
bool platform_set_env(const std::string& name, const std::string& value);
bool platform_unset_env(const std::string& name);

// Whether standard input or standard output is a terminal.
bool platform_stdio_has_terminal();
// The full path of a program found along PATH, or "" when there is none.
std::string platform_find_program(const std::string& name);

// Connects standard input and output to the two named pipes that a console
// window reads and writes. Made in a private directory (mode 0700) under the
// temporary directory; `out_pipe` is what the console shows, `in_pipe` what
// it types. Returns false when the pipes cannot be made.
bool platform_make_console_pipes(std::string& dir, std::string& out_pipe, std::string& in_pipe);
bool platform_attach_stdio(const std::string& out_pipe, const std::string& in_pipe);

// The working directory ("" when unknown) and changing it.
std::string platform_get_cwd();
bool platform_set_cwd(const std::string& dir);
