#include "platform/path_kind.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

PlatformPathKind platform_path_kind(const char* path) {
  struct stat st;
  if (!path || !*path || ::stat(path, &st) != 0) return PlatformPathKind::missing;
  if (S_ISREG(st.st_mode)) return PlatformPathKind::regular;
  if (S_ISDIR(st.st_mode)) return PlatformPathKind::directory;
  return PlatformPathKind::other;
}

bool platform_is_link(const char* path) {
  struct stat st;
  return path && *path && ::lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

std::string platform_real_path(const char* path) {
  if (!path || !*path) return std::string();
  char* real = ::realpath(path, nullptr);
  if (!real) return std::string();
  std::string out(real);
  ::free(real);
  return out;
}

bool platform_copy_permissions(const char* from, PlatformFile to) {
  struct stat st;
  if (!from || to < 0 || ::stat(from, &st) != 0) return false;
  return ::fchmod(to, st.st_mode & 0777) == 0;
}
