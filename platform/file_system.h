// File services on POSIX for the engine's file layer. Paths use "/".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// An open file descriptor, or -1.
using PlatformFile = int;
constexpr PlatformFile kNoPlatformFile = -1;

enum class PlatformOpenMode {
  read,       // existing files only
  write,      // create or truncate, read and write
  append,     // open or create, write only (not in append mode: the caller seeks)
};

PlatformFile platform_file_open(const char* path, PlatformOpenMode mode);
void platform_file_close(PlatformFile f);
// Size in bytes, -1 when it cannot be read.
int64_t platform_file_size(PlatformFile f);
// Reads up to n bytes at the file pointer; the count read, -1 on error.
int64_t platform_file_read(PlatformFile f, void* buffer, int64_t n);
// Writes n bytes; true when all were written. A pipe whose reader has gone
// or a file-size limit make it fail (errno EPIPE or EFBIG) without a signal.
bool platform_file_write(PlatformFile f, const void* buffer, int64_t n);
// Moves the file pointer to the absolute position; true on success.
bool platform_file_seek(PlatformFile f, int64_t position);

// True when the path exists and is a regular file (or anything but a directory).
bool platform_is_file(const char* path);
bool platform_is_directory(const char* path);
// Deletes a file, or removes an (empty) directory of that name.
bool platform_delete_file(const char* path);
// Appends n bytes to the file (created when missing) while holding it
// exclusively; false when the file cannot be opened, another writer holds
// it, or the write fails.
bool platform_append_exclusive(const char* path, const char* data, size_t n);
bool platform_remove_directory(const char* path);
bool platform_set_current_dir(const char* path);
std::string platform_current_dir();
// The executable's full path ("" when unknown).
std::string platform_executable_path();
