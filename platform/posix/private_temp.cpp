#include "platform/private_temp.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

std::string platform_make_private_dir(const std::string& parent, const char* prefix) {
  std::string base = parent;
  if (!base.empty() && base.back() != '/') base += '/';
  const std::string pattern = base + (prefix ? prefix : "") + "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  // mkdtemp makes the directory with mode 0700.
  if (!mkdtemp(buf.data())) return "";
  return std::string(buf.data()) + "/";
}

PlatformFile platform_create_new_file(const char* path) {
  if (!path || !*path) return kNoPlatformFile;
  int fd;
  do {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kNoPlatformFile : fd;
}
