#include "audio/wav_reader.h"

#include <algorithm>
#include <cstring>

namespace tmx::audio {

namespace {

// Reads with the engine's file rules; see WavSource.
class Reader {
 public:
  explicit Reader(const WavSource& src) : src_(src) {}

  // Copies n bytes to dst. Disk: all n bytes must be there. Memory: copies
  // what remains (the rest of dst is zeroed) as long as one byte remains.
  bool read(void* dst, size_t n) {
    if (src_.bytes == nullptr) return false;
    size_t remain = pos_ < src_.size ? src_.size - pos_ : 0;
    if (n <= remain) {
      std::memcpy(dst, src_.bytes + pos_, n);
      pos_ += n;
      return true;
    }
    if (!src_.memory_block || remain == 0) return false;
    std::memcpy(dst, src_.bytes + pos_, remain);
    std::memset(static_cast<uint8_t*>(dst) + remain, 0, n - remain);
    pos_ += remain;
    return true;
  }

  void skip(uint64_t n) { pos_ = (n > src_.size - std::min(pos_, src_.size)) ? src_.size + 1 : pos_ + n; }
  size_t remaining() const { return pos_ < src_.size ? src_.size - pos_ : 0; }
  size_t position() const { return pos_; }

 private:
  const WavSource& src_;
  size_t pos_ = 0;
};

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads chunk headers until `id`; the others are skipped by their size.
bool find_chunk(Reader& r, const char* id, uint32_t& size) {
  for (;;) {
    uint8_t hdr[8];
    if (!r.read(hdr, 8)) return false;
    size = le32(hdr + 4);
    if (std::memcmp(hdr, id, 4) == 0) return true;
    r.skip(size);
  }
}

}  // namespace

const char* wav_error_text(WavError e) {
  switch (e) {
    case WavError::kNone: return "ok";
    case WavError::kNotRiff: return "not a RIFF/WAVE file";
    case WavError::kNoFormat: return "no format chunk";
    case WavError::kShortFormat: return "format chunk too short";
    case WavError::kNoData: return "no data chunk";
    case WavError::kBadFormat: return "unsupported sample format";
    case WavError::kBadRate: return "sample rate outside 1000..384000 per second";
    case WavError::kBadEncoding: return "unsupported sample encoding (only PCM and IEEE float)";
    case WavError::kShortData: return "data chunk runs past the end of the file";
  }
  return "?";
}

WavError parse_wav(const WavSource& src, WavSound& out) {
  out = WavSound{};
  Reader r(src);
  uint8_t head[12];
  if (!r.read(head, 12)) return WavError::kNotRiff;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return WavError::kNotRiff;

  uint32_t fmt_size = 0;
  if (!find_chunk(r, "fmt ", fmt_size)) return WavError::kNoFormat;
  // A format chunk shorter than its 16 fixed bytes would have the reader take
  // the next chunk's bytes for the format.
  if (fmt_size < 16) return WavError::kShortFormat;
  // The 16 fixed bytes, and the extensible format's sub-format when the
  // chunk carries one (it starts 24 bytes in).
  uint8_t fmt[40] = {};
  const uint32_t fmt_read = fmt_size < 40 ? fmt_size : 40;
  if (!r.read(fmt, fmt_read)) return WavError::kNoFormat;
  r.skip(fmt_size - fmt_read);

  // The encoding: PCM (1), IEEE float (3), or the extensible format
  // (0xFFFE) whose sub-format GUID starts with one of the two. Anything
  // else (ADPCM, mu-law, ...) would play as noise.
  uint16_t tag = le16(fmt);
  if (tag == 0xFFFE) {
    static const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (fmt_read < 40 || std::memcmp(fmt + 26, kGuidTail, sizeof kGuidTail) != 0) return WavError::kBadEncoding;
    tag = le16(fmt + 24);
  }
  if (tag != 1 && tag != 3) return WavError::kBadEncoding;

  WavFormat f;
  f.is_float = tag == 3;
  f.file_channels = le16(fmt + 2);
  f.sample_rate = le32(fmt + 4);
  f.block_align = le16(fmt + 12);
  f.bits_per_sample = le16(fmt + 14);
  f.channels = f.file_channels <= 1 ? 1 : 2;

  uint32_t data_size = 0;
  if (!find_chunk(r, "data", data_size)) return WavError::kNoData;

  // The mixer gets whole frames of `block_align` bytes holding file_channels
  // integer samples each; anything else cannot be played faithfully.
  const int bytes = f.bits_per_sample / 8;
  const bool depth_ok = f.is_float ? (f.bits_per_sample == 32 || f.bits_per_sample == 64)
                                   : (f.bits_per_sample == 8 || f.bits_per_sample == 16 ||
                                      f.bits_per_sample == 24 || f.bits_per_sample == 32);
  if (!depth_ok || f.file_channels < 1 || f.block_align != f.file_channels * bytes) return WavError::kBadFormat;
  if (f.sample_rate < kMinSampleRate || f.sample_rate > kMaxSampleRate) return WavError::kBadRate;

  size_t n = data_size;
  if (n > r.remaining()) {
    // A memory block hands out what remains; a disk file must hold it all.
    if (!src.memory_block || r.remaining() == 0) return WavError::kShortData;
    n = r.remaining();
  }
  std::vector<uint8_t> data(n);
  if (n > 0 && !r.read(data.data(), n)) return WavError::kShortData;
  out.format = f;
  out.data = std::move(data);
  return WavError::kNone;
}

}  // namespace tmx::audio
