#include "platform/end_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// Milliseconds without an event pump after which a signal ends at once.
constexpr long long kStaleMs = 1000;
// Seconds a recorded request may wait to be taken.
constexpr unsigned kWatchdogSeconds = 2;

static_assert(std::atomic<long long>::is_always_lock_free, "the handler reads the heartbeat");
std::atomic<long long> g_heartbeat_ms{-1};  // -1: no event pump yet
volatile sig_atomic_t g_signals = 0;        // signals received
volatile sig_atomic_t g_pending = 0;        // the signal of a request not yet taken
volatile sig_atomic_t g_taken = 0;          // the engine took a request
char g_log_path[4096];

long long now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Async-signal-safe text: copies s to the end of buf.
void append(char* buf, size_t cap, const char* s) {
  size_t n = std::strlen(buf);
  while (*s && n + 1 < cap) buf[n++] = *s++;
  buf[n] = 0;
}

void append_number(char* buf, size_t cap, int v) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0 && n < 11);
  char text[12];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = 0;
  append(buf, cap, text);
}

[[noreturn]] void end_now(int sig, const char* why) {
  char line[160] = "";
  append(line, sizeof line, "ended at once by signal ");
  append_number(line, sizeof line, sig);
  append(line, sizeof line, ": ");
  append(line, sizeof line, why);
  append(line, sizeof line, "\n");
  const size_t n = std::strlen(line);
  if (g_log_path[0]) {
    const int fd = open(g_log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)!write(fd, line, n);
      close(fd);
    }
  }
  (void)!write(2, line, n);
  _exit(128 + sig);
}

void on_alarm(int) {
  const int sig = g_pending;
  if (sig != 0 && !g_taken) end_now(sig, "the request to end was not taken within two seconds");
}

void on_end_signal(int sig) {
  const int saved = errno;
  const int count = g_signals + 1;
  g_signals = count;
  if (count >= 2) end_now(sig, "a second request to end");
  const long long beat = g_heartbeat_ms.load(std::memory_order_relaxed);
  if (beat < 0 || now_ms() - beat > kStaleMs) end_now(sig, "no frame for a second");
  g_pending = sig;
  struct sigaction sa {};
  sa.sa_handler = on_alarm;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGALRM, &sa, nullptr);
  alarm(kWatchdogSeconds);
  errno = saved;
}

}  // namespace

void platform_end_signals_install(const char* log_path) {
  g_log_path[0] = 0;
  if (log_path) append(g_log_path, sizeof g_log_path, log_path);
  struct sigaction sa {};
  sa.sa_handler = on_end_signal;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  sigaddset(&sa.sa_mask, SIGALRM);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void platform_end_signals_heartbeat() { g_heartbeat_ms.store(now_ms(), std::memory_order_relaxed); }

int platform_end_signal_take() {
  const int sig = g_pending;
  if (sig == 0 || g_taken) return 0;
  g_taken = 1;
  alarm(0);
  return sig;
}
