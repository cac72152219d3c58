// Files for the engine's loaders: disk files and memory blocks alike, and the
// media lookup that finds files on disk or in the archive appended to the
// executable.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file_system.h"

// A file being read or written: a disk file or a memory block ("mem://"
// name). It never owns the memory block; close only forgets it.
struct VirtualFile {
  PlatformFile handle = kNoPlatformFile;
  const uint8_t* memory = nullptr;
  int64_t size = 0;
  int64_t position = 0;

  VirtualFile() = default;
  VirtualFile(const VirtualFile&) = delete;
  VirtualFile& operator=(const VirtualFile&) = delete;
  ~VirtualFile() { close(); }

  // Each returns 1 on success, 0 on failure.
  int open_read(const char* name);
  int open_write(const char* name);
  int open_append(const char* name);
  // Disk: succeeds only when all n bytes arrive (the position advances by n
  // either way). Memory: n is cut to what is left; a negative n or a
  // position past the end fails.
  int read(void* buffer, int64_t n);
  int read_i32(int32_t* out);
  int seek(int64_t position);
  int write(const void* buffer, int64_t n);
  void close();

 private:
  // The disk part of the three opens: size from the file (0 when unknown),
  // position 0, or the end when appending.
  int open_disk(const char* name, PlatformOpenMode mode);
};

// True when the name has the memory-file prefix "mem://".
bool runtime_is_memory_file_name(const char* name);
// Registers a block as a memory file and gives its name: "mem://", the size
// as "%8x", ".", then the block's identifier as "%8x". The identifier stands
// in for the address (addresses need more than 8 hex digits here) and maps
// back to the block until runtime_release_memory_file.
std::string runtime_register_memory_file(const uint8_t* block, uint32_t size);
void runtime_release_memory_file(const uint8_t* block);
// The block and size a memory-file name stands for; false for names that do
// not name a registered block (or ask for more bytes than it has).
bool runtime_lookup_memory_file(const char* name, const uint8_t** block, int64_t* size);

// A path for the platform: "\\" separators become "/".
std::string runtime_native_path(const char* name);

// One lookup channel for media.
struct FileResolver {
  uint8_t enabled = 1;
  char archivePath[1024] = {0};
  char tempPath[1024] = {0};
  uint8_t* heldBlock = nullptr;
};
// The general resolver (images, fonts, sounds, file reading; memory files
// allowed) and the one for music and video (files on disk).

// Creates both records (enabled, empty paths).
void runtime_create_resolvers();
// Releases what they hold and frees them.
void runtime_release_resolvers();
// 1 when found (out holds the name to open), 0 when not.
int runtime_resolve_media_file(FileResolver& resolver, const char* name, std::string& out, bool memory_allowed);
// Each resolver is enabled again, releases its holdings and takes its new
// archive path (a path too long for archivePath is not kept: no archive).
void runtime_set_archive_path(const char* general_path, const char* media_path);
// Frees the held block, or deletes the extracted temporary file.
void runtime_release_resolver_holdings(FileResolver& resolver);
// The temporary file name of an archive entry: temp dir, "kpx", two letters
// from the low bytes of P and S, the entry name.
std::string runtime_archive_temp_name(const std::string& temp_dir, int32_t p, int32_t s, const std::string& entry);

// Limits on archives this reader accepts (a hostile archive never makes it
// allocate more than this).
constexpr int64_t kMaxArchiveEntryUnpacked = 256LL * 1024 * 1024;

// The lookups the loaders use: through the general resolver (memory files
// allowed) and through the music/video resolver (files on disk). Before
// start-up created the resolvers they look on disk only.
int runtime_resolve_general_file(const char* name, std::string& out);
int runtime_resolve_media_to_disk(const char* name, std::string& out);
