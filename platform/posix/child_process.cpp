#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <utility>

#include "platform/process_info.h"

extern char** environ;

namespace {

// The children started without waiting, reaped by one shared thread.
//
// Each child gets a pidfd (a descriptor that becomes readable when the child
// ends); the reaper thread polls them together with an eventfd that wakes it
// when a child is added, and reaps with waitpid on exactly the pids it was
// given, never on -1, so children started by other code are left to it.
// Where a pidfd cannot be had (an old kernel, no descriptor left) the thread
// looks at its children every 100 ms instead.
//
// The thread starts with the first child. When it cannot start (a process or
// address-space limit), nothing fails: the children wait in the list and are
// reaped at the next start of a program, which also tries the thread again.
// Whatever is still unreaped when the program ends goes to the system.
//
// Everything the thread uses lives in this record, reachable from a global,
// none of it on the thread's own stack: a forked copy of the program (which
// has no such thread) then holds no memory that only a vanished thread knew.
struct Reaper {
  std::mutex mutex;
  std::vector<std::pair<pid_t, int>> children;  // pid, pidfd or -1
  int wake_fd = -1;                             // eventfd, made with the thread
  bool running = false;
  std::vector<pollfd> fds;  // the thread's poll list
};

// Made on first use and never destroyed: the thread may outlive main.
std::atomic<Reaper*> g_reaper_state{nullptr};
Reaper* g_reaper_locked_for_fork = nullptr;

// Reaps the children that have ended. Called with the mutex held.
void reap_ended(Reaper& r) {
  for (size_t i = 0; i < r.children.size();) {
    int status = 0;
    const pid_t got = waitpid(r.children[i].first, &status, WNOHANG);
    if (got == 0 || (got < 0 && errno == EINTR)) {
      ++i;
      continue;
    }
    // Reaped, or no longer a child of ours (reaped elsewhere): forget it.
    if (r.children[i].second >= 0) close(r.children[i].second);
    r.children[i] = r.children.back();
    r.children.pop_back();
  }
}

void reaper_loop(Reaper& r) {
  std::vector<pollfd>& fds = r.fds;
  for (;;) {
    bool blind = false;
    {
      std::lock_guard<std::mutex> lock(r.mutex);
      reap_ended(r);
      fds.clear();
      fds.push_back({r.wake_fd, POLLIN, 0});
      for (const auto& child : r.children) {
        if (child.second >= 0) {
          fds.push_back({child.second, POLLIN, 0});
        } else {
          blind = true;
        }
      }
    }
    const int n = poll(fds.data(), fds.size(), blind ? 100 : -1);
    if (n < 0 && errno != EINTR) {
      // Not expected (too many descriptors?): look again shortly, never spin.
      poll(nullptr, 0, 100);
    }
    if (n > 0 && (fds[0].revents & POLLIN)) {
      uint64_t count = 0;
      if (read(r.wake_fd, &count, sizeof count) < 0) {
        // Nothing to read: another wake-up took it.
      }
    }
  }
}

void* reaper_thread(void* state) {
  Reaper& r = *static_cast<Reaper*>(state);
  try {
    reaper_loop(r);
  } catch (...) {
    // Out of memory for the poll list: stop; the next start of a program
    // reaps what ended and starts the thread again.
    std::lock_guard<std::mutex> lock(r.mutex);
    r.running = false;
  }
  return nullptr;
}

// Starts the reaper thread if it is not running. Returns false when it
// cannot (a process or address-space limit): the caller's children are then
// reaped at the next start, which tries again.
bool start_reaper(Reaper& r) {
  if (r.running) return true;
  if (r.wake_fd < 0) r.wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (r.wake_fd < 0) return false;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, reaper_thread, &r);
  pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  r.running = true;
  return true;
}

// A forked copy of the program has no reaper thread and none of these
// children: it starts afresh. The mutex is held across the fork so the copy
// never inherits it locked by the reaper thread.
void reaper_before_fork() {
  g_reaper_locked_for_fork = g_reaper_state.load();
  if (g_reaper_locked_for_fork) g_reaper_locked_for_fork->mutex.lock();
}
void reaper_after_fork_in_parent() {
  if (g_reaper_locked_for_fork) g_reaper_locked_for_fork->mutex.unlock();
}
void reaper_after_fork_in_child() {
  Reaper* r = g_reaper_locked_for_fork;
  if (!r) return;
  for (const auto& child : r->children)
    if (child.second >= 0) close(child.second);
  r->children.clear();
  if (r->wake_fd >= 0) close(r->wake_fd);
  r->wake_fd = -1;
  r->running = false;
  r->mutex.unlock();
}

Reaper& reaper() {
  static std::once_flag once;
  std::call_once(once, [] {
    pthread_atfork(reaper_before_fork, reaper_after_fork_in_parent, reaper_after_fork_in_child);
    g_reaper_state = new Reaper;
  });
  return *g_reaper_state.load();
}

int open_pidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// dir + name when that is an executable file and name holds no "/", else "".
std::string program_in(const std::string& dir, const std::string& name) {
  if (dir.empty() || name.find('/') != std::string::npos) return {};
  std::string candidate = dir;
  if (candidate.back() != '/') candidate += '/';
  candidate += name;
  struct stat st;
  if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
    return candidate;
  return {};
}

}  // namespace

int platform_spawn(const std::vector<std::string>& argv, int* output, std::string* error_text,
                   const std::string& first_dir) {
  if (output) *output = -1;
  platform_reap_ended_children();
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
  // posix_spawn(p) reports a failed exec (missing program, no permission) as
  // its result, so a missing program is a failed start, not a child that
  // exits 127. The child's argv[0] stays the name it was given.
  const std::string beside = program_in(first_dir, argv[0]);
  int rc = beside.empty() ? posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                          : posix_spawn(&pid, beside.c_str(), &actions, &attr, args.data(), environ);
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

bool platform_reap_child_later(int pid) {
  if (pid <= 0) return false;
  Reaper& r = reaper();
  std::lock_guard<std::mutex> lock(r.mutex);
  reap_ended(r);
  try {
    r.children.emplace_back(static_cast<pid_t>(pid), -1);
  } catch (const std::exception&) {
    return false;  // no memory for one more entry: the system reaps it when the program ends
  }
  r.children.back().second = open_pidfd(static_cast<pid_t>(pid));  // close-on-exec by itself
  if (!start_reaper(r)) return false;
  const uint64_t one = 1;
  if (write(r.wake_fd, &one, sizeof one) < 0) {
    // The counter is full: the thread is awake already.
  }
  return true;
}

void platform_reap_ended_children() {
  Reaper* state = g_reaper_state.load();
  if (!state) return;
  Reaper& r = *state;
  std::lock_guard<std::mutex> lock(r.mutex);
  reap_ended(r);
  if (!r.children.empty()) start_reaper(r);
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
