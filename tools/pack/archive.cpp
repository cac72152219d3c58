#include "archive.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pack {

namespace {

int32_t get_i32(const std::string& s, int64_t at) {
  const auto* b = reinterpret_cast<const uint8_t*>(s.data() + at);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
}

void put_i32(std::string& s, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) s += static_cast<char>((u >> (8 * i)) & 0xFF);
}

bool lzo_ready() {
  static const bool ok = lzo_init() == LZO_E_OK;
  return ok;
}

// The end marker of every LZO1X stream.
constexpr char kEndMarker[3] = {0x11, 0x00, 0x00};

}  // namespace

Found read_archive(const std::string& file, Archive& out, std::string& error) {
  out = Archive{};
  const int64_t size = static_cast<int64_t>(file.size());
  if (size < 11 || file.compare(static_cast<size_t>(size - 7), 3, "kpX") != 0) return Found::none;
  const int32_t d = get_i32(file, size - 4);
  const bool from_end = d < 0;
  const int64_t trailer = size - 7;
  const int64_t dir_pos = from_end ? size + d : d;
  if (dir_pos < 0 || dir_pos >= trailer) {
    error = "the directory position points outside the file";
    return Found::damaged;
  }
  out.dir_pos = dir_pos;
  out.start = dir_pos;
  int64_t at = dir_pos;
  for (;;) {
    if (at >= trailer) {
      error = "the directory runs into the trailer without its end mark";
      return Found::damaged;
    }
    const uint8_t n = static_cast<uint8_t>(file[static_cast<size_t>(at)]);
    ++at;
    if (n == 0) break;
    if (at + n + 8 > trailer) {
      error = "the directory runs into the trailer";
      return Found::damaged;
    }
    Entry e;
    e.name.assign(file, static_cast<size_t>(at), n);
    at += n;
    const int32_t p = get_i32(file, at);
    e.stored = get_i32(file, at + 4);
    at += 8;
    e.data_pos = from_end ? size + p : p;
    if (e.stored < 4 || e.data_pos < 0 || e.data_pos > dir_pos || e.stored > dir_pos - e.data_pos) {
      error = "entry \"" + e.name + "\": its data lie outside the archive";
      return Found::damaged;
    }
    e.unpacked = get_i32(file, e.data_pos);
    out.start = std::min(out.start, e.data_pos);
    out.entries.push_back(std::move(e));
  }
  if (at != trailer) {
    error = "bytes between the directory's end mark and the trailer";
    return Found::damaged;
  }
  return Found::ok;
}

bool unpack_entry(const std::string& file, const Entry& e, std::string& out, std::string& error) {
  out.clear();
  const int64_t size = static_cast<int64_t>(file.size());
  if (e.stored < 4 || e.data_pos < 0 || e.data_pos > size || e.stored > size - e.data_pos) {
    error = "its data lie outside the file";
    return false;
  }
  const int64_t u = e.unpacked;
  const int64_t packed = static_cast<int64_t>(e.stored) - 4;
  if (u < 0 || u > kMaxUnpacked) {
    error = "recorded size " + std::to_string(u) + " is out of range";
    return false;
  }
  // An LZO1X stream gives at most about 255 bytes per byte it holds (a run
  // length grows by 255 per zero byte): a recorded size far beyond that is
  // damage, refused before anything is allocated for it (a 31-byte archive
  // claiming 256 MiB cost that much memory and seconds to check).
  if (u > packed * 256 + 1024) {
    error = "recorded size " + std::to_string(u) + " is more than its " + std::to_string(packed) +
            "-byte stream can unpack to";
    return false;
  }
  if (!lzo_ready()) {
    error = "the LZO library did not initialise";
    return false;
  }
  // A stream unpacks into at most U bytes plus one to tell "more" from
  // "exactly U".
  std::string buf(static_cast<size_t>(u) + 1, '\0');
  lzo_uint length = static_cast<lzo_uint>(u) + 1;
  const auto* src = reinterpret_cast<const unsigned char*>(file.data() + e.data_pos + 4);
  const int rc = lzo1x_decompress_safe(src, static_cast<lzo_uint>(packed), reinterpret_cast<unsigned char*>(buf.data()),
                                       &length, nullptr);
  if (rc != LZO_E_OK) {
    error = rc == LZO_E_OUTPUT_OVERRUN ? "it unpacks to more than its recorded size"
                                       : "its stream is damaged (LZO error " + std::to_string(rc) + ")";
    return false;
  }
  if (static_cast<int64_t>(length) != u) {
    error = "it unpacks to " + std::to_string(length) + " bytes, not its recorded " + std::to_string(u);
    return false;
  }
  buf.resize(static_cast<size_t>(length));
  out = std::move(buf);
  return true;
}

std::string lzo_literal_stream(const std::string& data) {
  const size_t n = data.size();
  std::string s;
  s.reserve(n + n / 255 + 8);
  if (n > 0 && n <= 238) {
    // The first byte of a stream may carry a literal run of 1..238 bytes.
    s += static_cast<char>(17 + n);
  } else if (n > 238) {
    // A run of 18 + 255 * zeros + last literals: 0, the zeros, then last.
    s += '\0';
    size_t rest = n - 18;
    while (rest > 255) {
      s += '\0';
      rest -= 255;
    }
    s += static_cast<char>(rest);
  }
  s += data;
  s.append(kEndMarker, sizeof kEndMarker);
  return s;
}

bool pack_stream(const std::string& data, std::string& stream, std::string& error) {
  stream.clear();
  if (!lzo_ready()) {
    error = "the LZO library did not initialise";
    return false;
  }
  const size_t n = data.size();
  // The worst case of LZO1X: n + n / 16 + 64 + 3.
  std::string out(n + n / 16 + 64 + 3, '\0');
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  lzo_uint out_len = out.size();
  const int rc = lzo1x_999_compress(reinterpret_cast<const unsigned char*>(data.data()), n,
                                    reinterpret_cast<unsigned char*>(out.data()), &out_len, work.data());
  if (rc != LZO_E_OK) {
    error = "LZO1X-999 failed (error " + std::to_string(rc) + ")";
    return false;
  }
  out.resize(out_len);
  std::string literal = lzo_literal_stream(data);
  stream = literal.size() < out.size() ? std::move(literal) : std::move(out);
  // The engine takes an entry that unpacks to more than 256 bytes per stored
  // byte (plus 1 KiB) for damage; LZO1X-999's longest matches stay below that.
  if (static_cast<int64_t>(n) > static_cast<int64_t>(stream.size()) * 256 + 1024) {
    error = "it compresses further than the engine's reader accepts";
    return false;
  }

  // What is written must unpack to exactly the input.
  std::string back(n + 1, '\0');
  lzo_uint back_len = back.size();
  const int check = lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                                          reinterpret_cast<unsigned char*>(back.data()), &back_len, nullptr);
  if (check != LZO_E_OK || back_len != n || std::memcmp(back.data(), data.data(), n) != 0) {
    error = "the packed stream does not unpack to the file";
    return false;
  }
  return true;
}

bool valid_entry_name(const std::string& name, std::string& error) {
  if (name.empty()) {
    error = "an empty name";
    return false;
  }
  if (name.find_first_of(std::string("/\\", 2)) != std::string::npos) {
    error = "\"" + name + "\" has a directory part; entries are plain file names (give the folder with -C DIR)";
    return false;
  }
  if (name.find('\0') != std::string::npos) {
    error = "a name holds a NUL byte";
    return false;
  }
  if (name.size() > kMaxNameLength) {
    error = "\"" + name.substr(0, 40) + "...\" is " + std::to_string(name.size()) +
            " bytes long; entry names have at most 255";
    return false;
  }
  if (name.find("..") != std::string::npos) {
    error = "\"" + name + "\" holds \"..\", which the engine never extracts to a file";
    return false;
  }
  if (name == ".") {
    error = "\".\" is not a file name";
    return false;
  }
  return true;
}

bool same_name_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool build_archive(const std::vector<PackedFile>& files, std::string& out, std::string& error) {
  out.clear();
  int64_t total = 1 + 7;  // end mark and trailer
  for (const PackedFile& f : files) total += 4 + static_cast<int64_t>(f.stream.size()) + 1 + f.name.size() + 8;
  if (total > INT32_MAX) {
    error = "the archive would be " + std::to_string(total) + " bytes; positions allow at most 2 GiB";
    return false;
  }
  out.reserve(static_cast<size_t>(total));
  std::vector<int64_t> pos;
  for (const PackedFile& f : files) {
    pos.push_back(static_cast<int64_t>(out.size()));
    put_i32(out, f.unpacked);
    out += f.stream;
  }
  const int64_t dir_pos = static_cast<int64_t>(out.size());
  for (size_t i = 0; i < files.size(); ++i) {
    out += static_cast<char>(files[i].name.size());
    out += files[i].name;
    put_i32(out, static_cast<int32_t>(pos[i] - total));
    put_i32(out, static_cast<int32_t>(4 + files[i].stream.size()));
  }
  out += '\0';
  out += "kpX";
  put_i32(out, static_cast<int32_t>(dir_pos - total));
  if (static_cast<int64_t>(out.size()) != total) {
    error = "internal error: archive size mismatch";
    return false;
  }
  return true;
}

}  // namespace pack
