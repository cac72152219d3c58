// The packed media archive as the engine reads it from the end of a file:
// entry data (the unpacked size U, then an LZO1X stream), a directory of
// (name length, name, data position P, stored size S) records ended by a 0,
// then "kpX" and the directory position D. All integers are signed 32-bit
// little-endian; the packer writes P and D negative, counted from the end of
// the file, so the archive is found wherever it is appended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pack {

// The engine refuses entries that unpack to more than this.
constexpr int64_t kMaxUnpacked = 256LL * 1024 * 1024;
// Longest entry name the directory can hold.
constexpr size_t kMaxNameLength = 255;

// One entry of an archive found in a file. Positions are absolute.
struct Entry {
  std::string name;
  int64_t data_pos = 0;
  int32_t stored = 0;    // S: the unpacked size field and the stream
  int32_t unpacked = 0;  // U as recorded
};

struct Archive {
  int64_t start = 0;  // first byte of the archive (data or directory)
  int64_t dir_pos = 0;
  std::vector<Entry> entries;
};

enum class Found { none, ok, damaged };

// Looks for an archive at the end of `file`. `damaged` names what is wrong in
// `error`: a trailer whose directory or entries do not lie inside the file.
Found read_archive(const std::string& file, Archive& out, std::string& error);

// Unpacks one entry of `file`; false (and why in `error`) when its data lie
// outside the file, its size is implausible or the stream does not unpack to
// exactly U bytes.
bool unpack_entry(const std::string& file, const Entry& e, std::string& out, std::string& error);

// The smallest LZO1X stream that unpacks to `data` as literals only: one
// literal run (its length in the first byte up to 238 bytes, else as a run
// length with 255-steps) and the end marker.
std::string lzo_literal_stream(const std::string& data);
// LZO1X-999 of `data`, or the literal stream when that is smaller; verified
// by unpacking it again. False (and why) when compressing fails.
bool pack_stream(const std::string& data, std::string& stream, std::string& error);

// Refuses names the engine cannot look up or extract: empty, with a
// directory part, longer than 255 bytes, "." or "..", or with "..", and names
// that are not UTF-8 text or hold a control character (C0, DEL or C1), which
// would reach a terminal or become a file name as they are.
bool valid_entry_name(const std::string& name, std::string& error);
// Names equal when compared case-insensitively (ASCII), as the engine does.
bool same_name_ignoring_case(const std::string& a, const std::string& b);

// A name as it may be printed: control characters, bytes that are not UTF-8
// and the backslash are written as escapes (\x1b, \\), everything else as it
// is. The result holds no control character whatever the name holds.
std::string printable_name(const std::string& name);
// The printable name in double quotes, for messages.
std::string quoted_name(const std::string& name);

// For each name, the index of the first earlier name that equals it ignoring
// case, or kNoEarlier. The engine's lookup serves the first entry of a name
// and never reaches the later ones.
constexpr size_t kNoEarlier = static_cast<size_t>(-1);
std::vector<size_t> earlier_same_names(const std::vector<std::string>& names);

struct PackedFile {
  std::string name;
  std::string stream;  // LZO1X stream
  int32_t unpacked = 0;
};
// The archive bytes to append to a file: entry data, directory, trailer, with
// every position negative (counted from the end of the result). False when
// the archive would not fit the 32-bit positions.
bool build_archive(const std::vector<PackedFile>& files, std::string& out, std::string& error);

}  // namespace pack
