// Where the sound and music loaders get their files from.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tmx::audio {

// Looks a media name up (the disk first). On success `out` is the name to
// open; memory_allowed lets the lookup hand out a memory-file name.
bool resolve_media_name(const char* name, std::string& out, bool memory_allowed);

// Reads a resolved name completely. memory_block reports which read rule the
// source follows (see WavSource). False when it cannot be opened or read;
// then `why` (when given) receives the reason for the log.
bool read_media_bytes(const std::string& name, std::vector<uint8_t>& bytes, bool& memory_block,
                      std::string* why = nullptr);

}  // namespace tmx::audio
