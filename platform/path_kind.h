// What a path names on POSIX, for the engine's checks before it reads or
// replaces a file. Paths use "/".
#pragma once
#include <string>

#include "platform/file_system.h"

enum class PlatformPathKind {
  missing,    // nothing there (or a symbolic link that leads nowhere)
  regular,    // a regular file
  directory,  // a folder
  other,      // a named pipe, a device, a socket
};

// What the path names, following symbolic links.
PlatformPathKind platform_path_kind(const char* path);
// True when the path itself is a symbolic link.
bool platform_is_link(const char* path);
// The absolute path with every symbolic link resolved; "" when some part of
// it does not exist.
std::string platform_real_path(const char* path);
// Gives the open file the permission bits (read, write, run for owner, group
// and others) of the file at `from`; false when `from` cannot be examined.
bool platform_copy_permissions(const char* from, PlatformFile to);
