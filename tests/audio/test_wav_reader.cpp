// The WAV reader: accepted layouts, the chunk rules, and bad files that must
// fail cleanly.
#include <gtest/gtest.h>

#include "audio/wav_reader.h"
#include "wav_util.h"

using namespace tmx::audio;
using namespace wavtest;

namespace {

WavError parse(const std::vector<uint8_t>& b, WavSound& out, bool memory = false) {
  return parse_wav(WavSource{b.data(), b.size(), memory}, out);
}

TEST(WavReader, PlainMonoFileGivesFormatAndSamples) {
  auto data = dc16(1234, 10);
  WavSound s;
  ASSERT_EQ(parse(wav(Fmt{}, data), s), WavError::kNone);
  EXPECT_EQ(s.format.channels, 1);
  EXPECT_EQ(s.format.sample_rate, 22050u);
  EXPECT_EQ(s.format.block_align, 2);
  EXPECT_EQ(s.format.bits_per_sample, 16);
  EXPECT_EQ(s.format.byte_rate(), 44100u);
  EXPECT_EQ(s.data, data);
}

TEST(WavReader, ByteRateOfTheWidestAcceptedFormat) {
  Fmt f;
  f.channels = 21845;
  f.block_align = 65535;  // 21845 samples of 3 bytes
  f.bits = 24;
  f.rate = 384000;
  WavSound s;
  ASSERT_EQ(parse(wav(f, std::vector<uint8_t>(65535, 0)), s), WavError::kNone);
  EXPECT_EQ(s.format.channels, 2);
  EXPECT_EQ(s.format.byte_rate(), 65535ull * 384000ull);
  EXPECT_EQ(s.data.size(), 65535u);
}

TEST(WavReader, SkipsOtherChunksByExactSizeAndLongFormatChunks) {
  auto data = dc16(-5, 4);
  std::vector<uint8_t> c;
  chunk(c, "LIST", {1, 2, 3, 4, 5, 6});
  chunk(c, "junk", {9, 9, 9});  // odd size: no pad byte follows
  Fmt f;
  f.extra = 2;                   // an 18-byte format chunk
  chunk(c, "fmt ", fmt_body(f));
  chunk(c, "fact", {0, 0, 0, 0});
  chunk(c, "data", data);
  WavSound s;
  ASSERT_EQ(parse(riff(c), s), WavError::kNone);
  EXPECT_EQ(s.data, data);
}

TEST(WavReader, ThreeChannelFileGetsTwoPlayedChannelsAndItsBlockAlign) {
  Fmt f;
  f.channels = 3;
  f.block_align = 6;
  WavSound s;
  ASSERT_EQ(parse(wav(f, dc16(7, 5, 3)), s), WavError::kNone);
  EXPECT_EQ(s.format.channels, 2);
  EXPECT_EQ(s.format.file_channels, 3);
  EXPECT_EQ(s.format.block_align, 6);
}

TEST(WavReader, EncodingsPcmFloatAndExtensible) {
  struct Case {
    const char* name;
    uint16_t tag, bits;
    bool extensible, is_float;
  } cases[] = {
      {"PCM 16", 1, 16, false, false},   {"float 32", 3, 32, false, true}, {"float 64", 3, 64, false, true},
      {"ext. PCM 24", 1, 24, true, false}, {"ext. float 32", 3, 32, true, true},
  };
  for (const Case& c : cases) {
    Fmt f;
    f.tag = c.tag;
    f.bits = c.bits;
    f.block_align = c.bits / 8;
    f.extensible = c.extensible;
    WavSound s;
    ASSERT_EQ(parse(wav(f, std::vector<uint8_t>(c.bits / 8 * 4, 0)), s), WavError::kNone) << c.name;
    EXPECT_EQ(s.format.is_float, c.is_float) << c.name;
    EXPECT_EQ(s.format.bits_per_sample, c.bits) << c.name;
    EXPECT_EQ(s.data.size(), size_t(c.bits / 8 * 4)) << c.name;
  }
}

TEST(WavReader, BadFilesFailWithTheirReason) {
  auto good = wav(Fmt{}, dc16(1, 8));
  auto not_riff = good;
  not_riff[0] = 'X';
  auto not_wave = good;
  not_wave[8] = 'X';
  std::vector<uint8_t> no_fmt, no_data, short_fmt, huge_skip;
  chunk(no_fmt, "data", dc16(1, 4));
  chunk(no_data, "fmt ", fmt_body(Fmt{}));
  chunk(short_fmt, "fmt ", std::vector<uint8_t>(14, 1));
  chunk(short_fmt, "data", dc16(1, 4));
  chunk(huge_skip, "LIST", {}, 0xFFFFFFFFu);
  chunk(huge_skip, "fmt ", fmt_body(Fmt{}));
  std::vector<uint8_t> past_end;
  chunk(past_end, "fmt ", fmt_body(Fmt{}));
  chunk(past_end, "data", dc16(1, 4), 1000);

  auto fmt_of = [](uint16_t ch, uint16_t align, uint16_t bits, uint32_t rate = 22050) {
    Fmt f;
    f.channels = ch;
    f.block_align = align;
    f.bits = bits;
    f.rate = rate;
    return wav(f, dc16(1, 8));
  };
  auto encoded = [](uint16_t tag, uint16_t bits, bool extensible = false) {
    Fmt f;
    f.tag = tag;
    f.bits = bits;
    f.block_align = bits / 8;
    f.extensible = extensible;
    return wav(f, dc16(1, 8));
  };
  auto ext_cut = encoded(1, 16, true);
  ext_cut[16] = 30;  // format chunk of 30 bytes: the sub-format is missing
  ext_cut.erase(ext_cut.begin() + 20 + 30, ext_cut.begin() + 20 + 40);
  auto ext_other_guid = encoded(1, 16, true);
  ext_other_guid[20 + 24 + 15] ^= 0xFF;  // the GUID's last byte
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    WavError expected;
  } cases[] = {
      {"ADPCM", encoded(2, 16), WavError::kBadEncoding},
      {"mu-law", encoded(7, 8), WavError::kBadEncoding},
      {"tag 0", encoded(0, 16), WavError::kBadEncoding},
      {"extensible ADPCM", encoded(2, 16, true), WavError::kBadEncoding},
      {"extensible without its sub-format", ext_cut, WavError::kBadEncoding},
      {"extensible with a foreign GUID", ext_other_guid, WavError::kBadEncoding},
      {"16-bit float", encoded(3, 16), WavError::kBadFormat},
      {"8-bit float", encoded(3, 8), WavError::kBadFormat},
      {"not RIFF", not_riff, WavError::kNotRiff},
      {"not WAVE", not_wave, WavError::kNotRiff},
      {"too short for a header", {'R', 'I', 'F', 'F'}, WavError::kNotRiff},
      {"no fmt chunk", riff(no_fmt), WavError::kNoFormat},
      {"no data chunk", riff(no_data), WavError::kNoData},
      {"format chunk of 14 bytes", riff(short_fmt), WavError::kShortFormat},
      {"chunk size past the end", riff(huge_skip), WavError::kNoFormat},
      {"data past the end", riff(past_end), WavError::kShortData},
      {"zero channels", fmt_of(0, 2, 16), WavError::kBadFormat},
      {"65535 channels", fmt_of(65535, 65534, 16), WavError::kBadFormat},
      {"odd block align", fmt_of(2, 3, 16), WavError::kBadFormat},
      {"block align 0", fmt_of(1, 0, 16), WavError::kBadFormat},
      {"12 bits", fmt_of(1, 2, 12), WavError::kBadFormat},
      {"rate 0", fmt_of(1, 2, 16, 0), WavError::kBadRate},
      {"rate 1", fmt_of(1, 2, 16, 1), WavError::kBadRate},
      {"rate 999", fmt_of(1, 2, 16, 999), WavError::kBadRate},
      {"rate 384001", fmt_of(1, 2, 16, 384001), WavError::kBadRate},
      {"rate 4294967295", fmt_of(1, 2, 16, 0xFFFFFFFFu), WavError::kBadRate},
  };
  for (const Case& c : cases) {
    WavSound s;
    s.data = {1, 2, 3};
    EXPECT_EQ(parse(c.bytes, s), c.expected) << c.name;
    EXPECT_TRUE(s.data.empty()) << c.name;
  }
}

TEST(WavReader, MemoryBlockHandsOutTheDataThatRemains) {
  std::vector<uint8_t> c;
  chunk(c, "fmt ", fmt_body(Fmt{}));
  chunk(c, "data", dc16(3, 4), 1000);
  WavSound s;
  ASSERT_EQ(parse(riff(c), s, /*memory=*/true), WavError::kNone);
  EXPECT_EQ(s.data, dc16(3, 4));
  // Nothing left at all still fails.
  std::vector<uint8_t> empty_data;
  chunk(empty_data, "fmt ", fmt_body(Fmt{}));
  auto b = riff(empty_data);
  b.insert(b.end(), {'d', 'a', 't', 'a', 8, 0, 0, 0});
  EXPECT_EQ(parse(b, s, true), WavError::kShortData);
}

// Every truncation of a good file fails without reading past its end (the
// sanitizer build and valgrind catch stray reads; here: no crash, an error).
TEST(WavReader, EveryTruncationFails) {
  std::vector<uint8_t> c;
  chunk(c, "LIST", {1, 2, 3});
  chunk(c, "fmt ", fmt_body(Fmt{}));
  chunk(c, "data", dc16(9, 6));
  const auto full = riff(c);
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(n));
    WavSound s;
    EXPECT_NE(parse(part, s, false), WavError::kNone) << "disk, " << n << " bytes";
    WavError m = parse(part, s, true);
    if (m == WavError::kNone) {
      EXPECT_LT(s.data.size(), dc16(9, 6).size()) << n;
    }
  }
  WavSound s;
  EXPECT_EQ(parse(full, s), WavError::kNone);
}

}  // namespace
