#include "platform/file_system.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

PlatformFile platform_file_open(const char* path, PlatformOpenMode mode) {
  if (!path || !*path) return kNoPlatformFile;
  // Non-blocking while opening: a named pipe would otherwise wait for its
  // other end (a write-only open then fails at once instead).
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case PlatformOpenMode::read: flags |= O_RDONLY; break;
    case PlatformOpenMode::write: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    // Not O_APPEND: a seek on an appending channel moves where the next
    // write goes. The caller starts at the end.
    case PlatformOpenMode::append: flags |= O_WRONLY | O_CREAT; break;
  }
  int fd;
  do {
    fd = ::open(path, flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoPlatformFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoPlatformFile;
  }
  // Reads and writes block as usual.
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

void platform_file_close(PlatformFile f) {
  if (f >= 0) ::close(f);
}

int64_t platform_file_size(PlatformFile f) {
  struct stat st;
  if (f < 0 || fstat(f, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t platform_file_read(PlatformFile f, void* buffer, int64_t n) {
  if (f < 0 || n < 0) return -1;
  int64_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < n) {
    ssize_t r = ::read(f, out + done, static_cast<size_t>(n - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

namespace {

// Writes all n bytes with SIGPIPE and SIGXFSZ held back in this thread: a
// pipe whose reader has gone, or a file-size limit, make the write fail
// (EPIPE, EFBIG) instead of ending the process. The signal such a write
// raises is taken back before the mask is restored; one that was already
// waiting stays. Nothing process-wide changes, so a started program inherits
// the usual signal dispositions.
bool write_fully(int fd, const char* in, size_t n) {
  sigset_t held, old, waiting;
  sigemptyset(&held);
  sigaddset(&held, SIGPIPE);
  sigaddset(&held, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &held, &old);
  sigemptyset(&waiting);
  sigpending(&waiting);
  int failure = 0;
  while (n > 0) {
    const ssize_t w = ::write(fd, in, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    in += w;
    n -= static_cast<size_t>(w);
  }
  const int raised = failure == EPIPE ? SIGPIPE : failure == EFBIG ? SIGXFSZ : 0;
  if (raised != 0 && !sigismember(&waiting, raised)) {
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, raised);
    const timespec now{0, 0};
    while (sigtimedwait(&one, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = failure;
  return failure == 0;
}

}  // namespace

bool platform_file_write(PlatformFile f, const void* buffer, int64_t n) {
  if (f < 0 || n < 0) return false;
  return write_fully(f, static_cast<const char*>(buffer), static_cast<size_t>(n));
}

bool platform_file_seek(PlatformFile f, int64_t position) {
  if (f < 0 || position < 0) return false;
  return ::lseek(f, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool platform_is_file(const char* path) {
  struct stat st;
  if (!path || !*path || ::stat(path, &st) != 0) return false;
  return !S_ISDIR(st.st_mode);
}

bool platform_is_directory(const char* path) {
  struct stat st;
  if (!path || !*path || ::stat(path, &st) != 0) return false;
  return S_ISDIR(st.st_mode);
}

bool platform_delete_file(const char* path) { return path && ::unlink(path) == 0; }

bool platform_remove_directory(const char* path) { return path && ::rmdir(path) == 0; }

bool platform_set_current_dir(const char* path) { return path && *path && ::chdir(path) == 0; }

std::string platform_current_dir() {
  std::vector<char> buf(PATH_MAX + 1);
  if (!::getcwd(buf.data(), buf.size())) return std::string();
  return std::string(buf.data());
}

std::string platform_executable_path() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  return std::string(buf.data(), static_cast<size_t>(n));
}

bool platform_append_exclusive(const char* path, const char* data, size_t n) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  const bool ok = write_fully(fd, data, n);
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return ok;
}
