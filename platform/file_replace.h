// File facts and whole-file replacement on POSIX: what the file commands need
// beyond reading and writing an open file. Paths use "/".
#pragma once
#include <cstdint>
#include <string>

#include "platform/file_system.h"

struct PlatformFileInfo {
  bool is_directory = false;
  int64_t size = 0;
  int64_t modified = 0;    // last write, seconds since 1970 (64-bit)
  uint64_t device = 0, inode = 0;  // the same pair: the same file
};
// False when the path does not exist (or cannot be examined).
bool platform_file_info(const char* path, PlatformFileInfo& out);
// The (device, inode) pair of an open file; false when it cannot be read.
bool platform_file_identity(PlatformFile f, uint64_t& device, uint64_t& inode);

// Creates a new, empty file with a unique name in the directory of `target`
// (so a later rename over the target stays on one file system), opened for
// writing. Returns the handle and its path, or kNoPlatformFile.
PlatformFile platform_create_beside(const char* target, std::string& temp_path);
// Forces the file's bytes to the disk; false when the system cannot.
bool platform_file_flush(PlatformFile f);
// Puts `from` in the place of `to` in one step (the old `to`, if any, is
// gone only once `from` took its place); false when it cannot.
bool platform_replace_file(const char* from, const char* to);

// Local calendar time of t (seconds since 1970): year, month (1..12), day,
// hour, minute, second. False when it cannot be represented.
bool platform_local_time(int64_t t, int fields[6]);
