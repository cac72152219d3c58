// Writes packed media archives as a packaging tool would: entries packed
// with LZO1X-1, a directory, and the "kpX" trailer.
#pragma once
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

inline void put_i32(std::string& s, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) s += static_cast<char>((u >> (8 * i)) & 0xFF);
}

inline std::string lzo_pack(const std::string& data) {
  static bool ready = lzo_init() == LZO_E_OK;
  EXPECT_TRUE(ready);
  std::vector<unsigned char> out(data.size() + data.size() / 16 + 64 + 3);
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint n = out.size();
  EXPECT_EQ(LZO_E_OK, lzo1x_1_compress(reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data(),
                                       &n, work.data()));
  return std::string(reinterpret_cast<char*>(out.data()), n);
}

struct ArcEntry {
  std::string name;
  std::string data;     // packed with LZO1X-1 behind its size
  std::string stored;   // when not empty: the stored bytes as they are (U included)
  int32_t p_shift = 0;  // added to the entry's data position
  int32_t s_override = -1;
};

// Writes prefix + entry data + directory + 0 + "kpX" + D, positions relative
// to the file start, or to its end when negative.
inline std::string build_archive(const std::string& prefix, const std::vector<ArcEntry>& entries, bool negative) {
  std::vector<std::string> blocks;
  for (const ArcEntry& e : entries) {
    if (!e.stored.empty()) {
      blocks.push_back(e.stored);
    } else {
      std::string b;
      put_i32(b, static_cast<int32_t>(e.data.size()));
      b += lzo_pack(e.data);
      blocks.push_back(b);
    }
  }
  int64_t dir_len = 1;
  for (const ArcEntry& e : entries) dir_len += 1 + e.name.size() + 8;
  int64_t total = prefix.size() + dir_len + 7;
  for (const std::string& b : blocks) total += b.size();

  std::string out = prefix;
  std::vector<int64_t> pos;
  for (const std::string& b : blocks) {
    pos.push_back(out.size());
    out += b;
  }
  const int64_t dir_pos = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    out += static_cast<char>(entries[i].name.size());
    out += entries[i].name;
    int64_t p = pos[i] + entries[i].p_shift;
    put_i32(out, static_cast<int32_t>(negative ? p - total : p));
    put_i32(out, entries[i].s_override >= 0 ? entries[i].s_override : static_cast<int32_t>(blocks[i].size()));
  }
  out += '\0';
  out += "kpX";
  put_i32(out, static_cast<int32_t>(negative ? dir_pos - total : dir_pos));
  EXPECT_EQ(static_cast<int64_t>(out.size()), total);
  return out;
}

}  // namespace
