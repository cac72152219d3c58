// Builds WAV files in memory for the audio tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wavtest {

inline void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void chunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body, uint32_t size) {
  b.insert(b.end(), id, id + 4);
  put32(b, size);
  b.insert(b.end(), body.begin(), body.end());
}
inline void chunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body) {
  chunk(b, id, body, static_cast<uint32_t>(body.size()));
}

struct Fmt {
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint16_t block_align = 2;
  uint16_t bits = 16;
  int extra = 0;  // bytes after the 16 fixed ones
  uint16_t tag = 1;  // 1 PCM, 3 IEEE float, others refused
  // The extensible layout: tag 0xFFFE, and `tag` as the sub-format.
  bool extensible = false;
};

inline std::vector<uint8_t> fmt_body(const Fmt& f) {
  std::vector<uint8_t> b;
  put16(b, f.extensible ? 0xFFFE : f.tag);
  put16(b, f.channels);
  put32(b, f.rate);
  put32(b, f.rate * f.block_align);
  put16(b, f.block_align);
  put16(b, f.bits);
  if (f.extensible) {
    put16(b, 22);      // extension size
    put16(b, f.bits);  // valid bits
    put32(b, 0);       // channel mask
    put16(b, f.tag);   // the sub-format GUID: the tag, then the fixed tail
    const uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail, tail + 14);
  }
  for (int i = 0; i < f.extra; ++i) b.push_back(0);
  return b;
}

// 16-bit samples of one constant value.
inline std::vector<uint8_t> dc16(int16_t value, uint32_t frames, int channels = 1) {
  std::vector<uint8_t> b;
  for (uint32_t i = 0; i < frames * static_cast<uint32_t>(channels); ++i) put16(b, static_cast<uint16_t>(value));
  return b;
}

inline std::vector<uint8_t> riff(const std::vector<uint8_t>& chunks) {
  std::vector<uint8_t> b{'R', 'I', 'F', 'F'};
  put32(b, static_cast<uint32_t>(chunks.size() + 4));
  b.insert(b.end(), {'W', 'A', 'V', 'E'});
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

// A plain PCM WAV.
inline std::vector<uint8_t> wav(const Fmt& f, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> c;
  chunk(c, "fmt ", fmt_body(f));
  chunk(c, "data", data);
  return riff(c);
}

inline bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  // An empty vector may have no buffer at all, and fwrite takes none.
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace wavtest
