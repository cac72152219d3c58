#include "platform/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/process_info.h"

extern char** environ;

int platform_spawn(const std::vector<std::string>& argv, int* output, std::string* error_text) {
  if (output) *output = -1;
  if (argv.empty() || argv[0].empty()) {
    if (error_text) *error_text = "empty command line";
    return -1;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  if (output && pipe2(pipe_fds, O_CLOEXEC) != 0) {
    if (error_text) *error_text = std::strerror(errno);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output) posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  // Nothing but the standard three reaches the child, whatever the program
  // (or a library under it) left open without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling, whatever the program set.
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  // posix_spawnp reports a failed exec (missing program, no permission) as
  // its result, so a missing program is a failed start, not a child that
  // exits 127.
  int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (output) {
    close(pipe_fds[1]);
    if (rc == 0) {
      *output = pipe_fds[0];
    } else {
      close(pipe_fds[0]);
    }
  }
  if (rc != 0) {
    if (error_text) *error_text = std::strerror(rc);
    return -1;
  }
  return static_cast<int>(pid);
}

int platform_wait_child(int pid) {
  int status = 0;
  for (;;) {
    pid_t r = waitpid(static_cast<pid_t>(pid), &status, 0);
    if (r == pid) break;
    if (r < 0 && errno == EINTR) continue;
    return -1;  // not our child any more (reaped elsewhere)
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

void platform_reap_child_later(int pid) {
  // One small waiter per child: it blocks on exactly this pid and ends with
  // it. A program that starts many children briefly has as many waiters.
  std::thread([pid] { platform_wait_child(pid); }).detach();
}

void platform_read_all(int fd, std::string& out) {
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
}

void platform_close_fd(int fd) {
  if (fd >= 0) close(fd);
}

std::string platform_get_env(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? std::string(v) : std::string();
}

std::string platform_env_listing() {
  std::string all;
  for (char** e = environ; e && *e; ++e) {
    all += *e;
    all += '\n';
  }
  return all;
}

bool platform_set_env(const std::string& name, const std::string& value) {
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool platform_unset_env(const std::string& name) { return unsetenv(name.c_str()) == 0; }

bool platform_stdio_has_terminal() { return isatty(0) || isatty(1); }

std::string platform_find_program(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

bool platform_make_console_pipes(std::string& dir, std::string& out_pipe, std::string& in_pipe) {
  std::string templ = platform_temp_dir() + "tamblix-console-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return false;
  dir = buf.data();
  out_pipe = dir + "/out";
  in_pipe = dir + "/in";
  if (mkfifo(out_pipe.c_str(), 0600) != 0 || mkfifo(in_pipe.c_str(), 0600) != 0) {
    unlink(out_pipe.c_str());
    unlink(in_pipe.c_str());
    rmdir(dir.c_str());
    return false;
  }
  return true;
}

bool platform_attach_stdio(const std::string& out_pipe, const std::string& in_pipe) {
  // Opened for reading and writing, so neither open waits for the console
  // to open its end.
  int out = open(out_pipe.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  int in = open(in_pipe.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (out < 0 || in < 0) {
    if (out >= 0) close(out);
    if (in >= 0) close(in);
    return false;
  }
  std::fflush(stdout);
  bool ok = dup2(out, 1) == 1 && dup2(in, 0) == 0;
  close(out);
  close(in);
  std::clearerr(stdin);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  return ok;
}

std::string platform_get_cwd() {
  std::vector<char> buf(4096);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return buf.data();
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

bool platform_set_cwd(const std::string& dir) { return !dir.empty() && chdir(dir.c_str()) == 0; }
