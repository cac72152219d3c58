// The WAV reader of the sound loader.
//
// The reader accepts the RIFF/WAVE layout: a 12-byte header ("RIFF", size not
// examined, "WAVE"), then chunks of an 8-byte header (identifier, 32-bit
// little-endian size) skipped by exactly their size (no padding to even) until
// "fmt ", then again until "data". Only the parsing result is handed to the
// mixer; the samples are copied as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tmx::audio {

// The PCM format of a loaded sound: the buffer's channel count (1 or 2), the
// file's sample rate, block align and bits per sample, and the file's own
// channel count (a frame holds that many samples; only the first `channels`
// are played).
struct WavFormat {
  // Sample encoding: integer PCM, or IEEE floating point (32 or 64 bits).
  bool is_float = false;
  int channels = 0;
  int file_channels = 0;
  uint32_t sample_rate = 0;
  int block_align = 0;
  int bits_per_sample = 0;
  // Wider than the fields: 21845 channels of 24 bits at 384000 samples per
  // second pass the reader's checks and overflow 32 bits.
  uint64_t byte_rate() const { return uint64_t{sample_rate} * static_cast<uint64_t>(block_align); }
};

// The sample rates a sound may have: from telephone-like 1000 samples per
// second to the highest studio rates. Outside, a file is broken or hostile
// (one frame per second would become 22050 frames on the device).
constexpr uint32_t kMinSampleRate = 1000;
constexpr uint32_t kMaxSampleRate = 384000;

struct WavSound {
  WavFormat format;
  std::vector<uint8_t> data;  // the data chunk's bytes
};

// A source of bytes with the two read rules of the engine's files: a disk
// file must deliver every byte asked for; a memory block that runs short
// copies what remains and still succeeds while at least one byte remains.
struct WavSource {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  bool memory_block = false;  // the short-read rule of memory blocks
};

enum class WavError {
  kNone = 0,
  kNotRiff,         // no "RIFF" at 0 or no "WAVE" at 8
  kNoFormat,        // the source ended before a "fmt " chunk
  kShortFormat,     // the format chunk is shorter than 16 bytes
  kNoData,          // the source ended before a "data" chunk
  kBadFormat,       // channel count, block align or bit depth unusable
  kBadRate,         // a sample rate outside kMinSampleRate..kMaxSampleRate
  kBadEncoding,     // a sample encoding other than PCM or IEEE float
  kShortData,       // the data chunk runs past the end of the source
};

const char* wav_error_text(WavError e);

// Parses the source. On success fills `out` and returns kNone; on failure
// `out` is left empty.
WavError parse_wav(const WavSource& src, WavSound& out);

}  // namespace tmx::audio
