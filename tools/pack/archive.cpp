#include "archive.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>

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

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms, no
// surrogates, nothing past U+10FFFF) and its code point; 0 when the bytes
// there are no such sequence.
size_t utf8_sequence(const std::string& s, size_t at, uint32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t b0 = byte(at);
  size_t n = 0;
  uint32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - at < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    const uint8_t b = byte(at + i);
    if ((b & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool control_character(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

std::string hex_escape(uint8_t b) {
  static const char kDigits[] = "0123456789abcdef";
  return std::string{'\\', 'x', kDigits[b >> 4], kDigits[b & 0xF]};
}

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
      error = "entry " + quoted_name(e.name) + ": its data lie outside the archive";
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
    error = quoted_name(name) + " has a directory part; entries are plain file names (give the folder with -C DIR)";
    return false;
  }
  if (name.size() > kMaxNameLength) {
    error = quoted_name(name.substr(0, 40)) + "... is " + std::to_string(name.size()) +
            " bytes long; entry names have at most 255";
    return false;
  }
  for (size_t i = 0; i < name.size();) {
    uint32_t cp = 0;
    const size_t n = utf8_sequence(name, i, cp);
    if (n == 0) {
      error = quoted_name(name) + " is not UTF-8 text (byte " + std::to_string(i + 1) + ")";
      return false;
    }
    if (control_character(cp)) {
      error = quoted_name(name) + " holds a control character (byte " + std::to_string(i + 1) + ")";
      return false;
    }
    i += n;
  }
  if (name.find("..") != std::string::npos) {
    error = quoted_name(name) + " holds \"..\", which the engine never extracts to a file";
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

std::string printable_name(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    uint32_t cp = 0;
    const size_t n = utf8_sequence(name, i, cp);
    if (n == 0) {
      out += hex_escape(static_cast<uint8_t>(name[i]));
      ++i;
      continue;
    }
    if (cp == '\\') {
      out += "\\\\";
    } else if (control_character(cp)) {
      for (size_t k = 0; k < n; ++k) out += hex_escape(static_cast<uint8_t>(name[i + k]));
    } else {
      out.append(name, i, n);
    }
    i += n;
  }
  return out;
}

std::string quoted_name(const std::string& name) { return "\"" + printable_name(name) + "\""; }

std::vector<size_t> earlier_same_names(const std::vector<std::string>& names) {
  std::vector<size_t> earlier(names.size(), kNoEarlier);
  std::unordered_map<std::string, size_t> first;
  first.reserve(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::string key = names[i];
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto [it, fresh] = first.emplace(std::move(key), i);
    if (!fresh) earlier[i] = it->second;
  }
  return earlier;
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
