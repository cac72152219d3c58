#include "platform/file_system.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
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
    case PlatformOpenMode::append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
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

bool platform_file_write(PlatformFile f, const void* buffer, int64_t n) {
  if (f < 0 || n < 0) return false;
  int64_t done = 0;
  const char* in = static_cast<const char*>(buffer);
  while (done < n) {
    ssize_t w = ::write(f, in + done, static_cast<size_t>(n - done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += w;
  }
  return true;
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
  bool ok = true;
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      ok = false;
      break;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return ok;
}
