// Sound slots and voices on SDL's disk driver: the commands' results and what
// reaches the mixed output.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sys/resource.h>

#include "audio/media_source.h"
#include "audio/wav_reader.h"
#include "audio_fixture.h"
#include "runtime/load_report.h"
#include "runtime/virtual_file.h"
#include "tamblix/audio.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"
#include "platform/mixer.h"

using namespace tmx::audio;

namespace {

using SoundTest = DiskAudio;

std::string read_text(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

TEST_F(SoundTest, LoadChecksSlotAndFileAndClampsVoices) {
  const std::string good = dc_sound("a.wav", 1000, 50);
  snd_load(BasicString(good.c_str()), 4096, 1);
  EXPECT_EQ(g_error_state.code, 7);
  snd_load(BasicString(good.c_str()), -1, 1);
  EXPECT_EQ(g_error_state.code, 7);
  snd_load(BasicString((dir_ + "/missing.wav").c_str()), 3, 1);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(sound_voice_count(3), 0);

  snd_load(BasicString(good.c_str()), 3, 0);
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(sound_voice_count(3), 1);
  snd_load(BasicString(good.c_str()), 4095, 9);
  EXPECT_EQ(sound_voice_count(4095), 4);
  EXPECT_EQ(snd_gen_sound(), 4094);
}

TEST_F(SoundTest, BadWavLeavesTheSlotEmptyWithError3) {
  const std::string good = dc_sound("a.wav", 1000, 50);
  snd_load(BasicString(good.c_str()), 5, 2);
  ASSERT_EQ(sound_voice_count(5), 2);
  auto bytes = wavtest::wav(wavtest::Fmt{}, wavtest::dc16(1, 100));
  bytes.resize(bytes.size() - 10);  // truncated data
  const std::string bad = file("bad.wav", bytes);
  snd_load(BasicString(bad.c_str()), 5, 2);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(sound_voice_count(5), 0);
  EXPECT_EQ(snd_play(5, 0, 1), -1);
  const std::string dir_name = dir_;  // a directory is no sound file
  snd_load(BasicString(dir_name.c_str()), 6, 1);
  EXPECT_EQ(g_error_state.code, 3);
}

TEST_F(SoundTest, SampleFormatsLoadAndPlay) {
  struct Case {
    const char* name;
    uint16_t channels, align, bits;
    uint32_t rate;
    size_t bytes;
  } cases[] = {
      {"8-bit mono", 1, 1, 8, 11025, 1000},  {"16-bit stereo", 2, 4, 16, 44100, 4000},
      {"24-bit mono", 1, 3, 24, 48000, 3000}, {"32-bit stereo", 2, 8, 32, 8000, 800},
      {"3 channels", 3, 6, 16, 22050, 600},   {"no samples", 1, 2, 16, 22050, 0},
  };
  int slot = 10;
  for (const Case& c : cases) {
    wavtest::Fmt f;
    f.channels = c.channels;
    f.block_align = c.align;
    f.bits = c.bits;
    f.rate = c.rate;
    const std::string p = file("f.wav", wavtest::wav(f, std::vector<uint8_t>(c.bytes, 0x40)));
    snd_load(BasicString(p.c_str()), slot, 2);
    EXPECT_EQ(g_error_state.code, 0) << c.name;
    // A sound without samples loads but the mixer refuses to start it.
    EXPECT_EQ(snd_play(slot, -0.5, 0.8), c.bytes ? slot * 256 : -1) << c.name;
    ++slot;
  }
}

// The mixer converts every sound to the device rate. A tiny sample rate in a
// small file asks for an enormous conversion (one frame per second becomes
// 48000): rates outside 1000..384000 are refused, and so is a sound whose
// conversion would hold more than 256 MiB, before anything is converted. Each
// refusal is error 3 with a line in the log, and the process does not grow.
TEST_F(SoundTest, ConversionsTooLargeForTheMixerAreRefused) {
  setenv("TMPDIR", dir_.c_str(), 1);
  struct Case {
    const char* name;
    uint32_t rate, frames;
    bool loads;
    const char* log;
  } cases[] = {
      // 6 KB: 3000 frames at 1 Hz asked for 264 MB of samples and 529 MB of
      // conversion buffers.
      {"1 Hz, 3000 frames", 1, 3000, false, "sample rate outside 1000..384000"},
      {"1 Hz, 20 frames", 1, 20, false, "sample rate outside 1000..384000"},
      {"999 Hz, 20 frames", 999, 20, false, "sample rate outside 1000..384000"},
      {"8 Hz, 1000000 frames", 8, 1000000, false, "sample rate outside 1000..384000"},
      {"1000 Hz, 2000 frames", 1000, 2000, true, nullptr},
      {"384000 Hz, 2000 frames", 384000, 2000, true, nullptr},
      // 6 MB at 1000 Hz: 282 MB once converted.
      {"1000 Hz, 3200000 frames", 1000, 3200000, false, "MiB, more than the 256 MiB a sound may"},
  };
  int slot = 20;
  for (const Case& c : cases) {
    wavtest::Fmt f;
    f.rate = c.rate;
    const std::string p = file("low.wav", wavtest::wav(f, wavtest::dc16(100, c.frames)));
    std::remove((dir_ + "/ErrorLog.txt").c_str());
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    snd_load(BasicString(p.c_str()), slot, 1);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(g_error_state.code, c.loads ? 0 : 3) << c.name;
    EXPECT_EQ(sound_voice_count(slot), c.loads ? 1 : 0) << c.name;
    EXPECT_EQ(snd_play(slot, 0, 1), c.loads ? slot * 256 : -1) << c.name;
    // The file's bytes and the parsed copy of them, nothing converted.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 48 * 1024) << c.name << " (KiB)";
    if (c.log) {
      const std::string log = read_text(dir_ + "/ErrorLog.txt");
      EXPECT_NE(log.find("snd_load: " + p + ": "), std::string::npos) << c.name << ": " << log;
      EXPECT_NE(log.find(c.log), std::string::npos) << c.name << ": " << log;
    }
    ++slot;
  }
  unsetenv("TMPDIR");
}

// Slots loading the same file share one conversion; a changed file is
// converted anew, and the samples go with the last slot holding them.
TEST_F(SoundTest, SlotsLoadingOneFileShareItsSamples) {
  const std::string a = dc_sound("a.wav", 1000, 200);
  const std::string b = dc_sound("b.wav", 2000, 200);
  for (int slot = 40; slot < 62; ++slot) {
    snd_load(BasicString(a.c_str()), slot, 2);
    ASSERT_EQ(g_error_state.code, 0);
  }
  snd_load(BasicString(b.c_str()), 62, 1);
  EXPECT_EQ(sound_converted_count(), 2);
  const void* shared = sound_slot_samples(40);
  ASSERT_NE(shared, nullptr);
  for (int slot = 41; slot < 62; ++slot) EXPECT_EQ(sound_slot_samples(slot), shared) << slot;
  EXPECT_NE(sound_slot_samples(62), shared);
  // Every slot still plays on its own voices.
  EXPECT_EQ(snd_play(40, 0, 1), 40 * 256);
  EXPECT_EQ(snd_play(41, 0, 1), 41 * 256);
  EXPECT_EQ(snd_play(40, 0, 1), 40 * 256 + 1);

  // The file changes on disk: a new load converts it again, the slots loaded
  // before keep what they have.
  const std::string a2 = dc_sound("a.wav", -3000, 200);
  ASSERT_EQ(a2, a);
  snd_load(BasicString(a.c_str()), 70, 1);
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_NE(sound_slot_samples(70), shared);
  EXPECT_EQ(sound_slot_samples(41), shared);
  EXPECT_EQ(sound_converted_count(), 3);

  // Slot 40 loads another file: the others keep the shared samples; once the
  // last of them lets go they are gone.
  snd_load(BasicString(b.c_str()), 40, 1);
  EXPECT_EQ(sound_slot_samples(40), sound_slot_samples(62));
  EXPECT_EQ(sound_slot_samples(61), shared);
  const std::string bad = file("bad.wav", {'R', 'I', 'F', 'F'});
  for (int slot = 41; slot < 62; ++slot) snd_load(BasicString(bad.c_str()), slot, 1);
  EXPECT_EQ(sound_converted_count(), 2);
}

TEST_F(SoundTest, PlayResultsForSlotsThatCannotPlay) {
  clear_error();
  EXPECT_EQ(snd_play(77, 0, 1), -1);  // never loaded
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(snd_play(4096, 0, 1), 0);
  EXPECT_EQ(g_error_state.code, 7);
  EXPECT_EQ(snd_is_playing(-1), 0);
  EXPECT_EQ(snd_is_playing(4096 * 256), 0);
  snd_stop(-5);  // harmless
  snd_stop(4096 * 256);
  snd_stop_all();
}

// A refused slot or a failed load leaves its code and one log line naming the
// argument or the file; snd_play's 0 for a refused slot is told from channel
// 0 by the code.
TEST_F(SoundTest, RefusedSlotsAndFailedLoadsLeaveTheirCodeAndALogLine) {
  setenv("TMPDIR", dir_.c_str(), 1);
  const std::string good = dc_sound("a.wav", 1000, 50);
  auto cut = wavtest::wav(wavtest::Fmt{}, wavtest::dc16(1, 100));
  cut.resize(cut.size() - 10);
  const std::string cut_wav = file("cut.wav", cut);
  const std::string junk = file("junk.wav", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
  const std::string no_data = file("nodata.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
  const std::string missing = dir_ + "/missing.wav";
  snd_load(BasicString(good.c_str()), 0, 1);
  ASSERT_EQ(sound_voice_count(0), 1);

  struct Case {
    std::string call;
    std::function<int()> run;
    int result;  // -99: the command returns nothing
    int code;
    std::string line;
  } cases[] = {
      {"snd_load(a.wav, 4096)", [&] { return snd_load(BasicString(good.c_str()), 4096, 1), -99; }, -99, 7,
       "snd_load: slot 4096 outside 0..4095 (error 7)"},
      {"snd_load(a.wav, -1)", [&] { return snd_load(BasicString(good.c_str()), -1, 1), -99; }, -99, 7,
       "snd_load: slot -1 outside 0..4095 (error 7)"},
      {"snd_load(missing)", [&] { return snd_load(BasicString(missing.c_str()), 3, 1), -99; }, -99, 3,
       "snd_load: " + missing + ": not found"},
      {"snd_load(cut)", [&] { return snd_load(BasicString(cut_wav.c_str()), 3, 1), -99; }, -99, 3,
       "snd_load: " + cut_wav + ": data chunk runs past the end of the file"},
      {"snd_load(junk)", [&] { return snd_load(BasicString(junk.c_str()), 3, 1), -99; }, -99, 3,
       "snd_load: " + junk + ": not a RIFF/WAVE file"},
      {"snd_load(no data)", [&] { return snd_load(BasicString(no_data.c_str()), 3, 1), -99; }, -99, 3,
       "snd_load: " + no_data + ": no format chunk"},
      {"snd_play(-1)", [] { return snd_play(-1, 0, 1); }, 0, 7, "snd_play: slot -1 outside 0..4095 (error 7)"},
      {"snd_play(4096)", [] { return snd_play(4096, 0, 1); }, 0, 7, "snd_play: slot 4096 outside 0..4095 (error 7)"},
      // Channel 0 is slot 0's first voice: the same result, code 0.
      {"snd_play(0)", [] { return snd_play(0, 0, 1); }, 0, 0, ""},
      {"snd_play(77), never loaded", [] { return snd_play(77, 0, 1); }, -1, 0, ""},
      {"snd_is_playing(-1)", [] { return snd_is_playing(-1); }, 0, 7,
       "snd_is_playing: channel -1: slot -1 outside 0..4095 (error 7)"},
      {"snd_is_playing(4096 * 256)", [] { return snd_is_playing(4096 * 256); }, 0, 7,
       "snd_is_playing: channel 1048576: slot 4096 outside 0..4095 (error 7)"},
      {"snd_is_playing(77 * 256)", [] { return snd_is_playing(77 * 256); }, 0, 0, ""},
  };
  for (const Case& c : cases) {
    sys_raise_error(TMX_ERR_ASSERTION);  // left by something earlier
    std::remove(error_log_path());
    runtime_report_reset_counts();
    EXPECT_EQ(c.run(), c.result) << c.call;
    EXPECT_EQ(g_error_state.code, c.code) << c.call;
    EXPECT_EQ(read_text(error_log_path()), c.line.empty() ? "" : c.line + "\n") << c.call;
  }
  EXPECT_EQ(sound_voice_count(3), 0);
  unsetenv("TMPDIR");
}

TEST_F(SoundTest, FourVoicesRotateAndTheFifthPlayCutsTheOldest) {
  const std::string s = dc_sound("long.wav", 1000, 2000);
  snd_load(BasicString(s.c_str()), 9, 4);
  std::vector<int> channels;
  for (int i = 0; i < 5; ++i) channels.push_back(snd_play(9, 0, 1));
  EXPECT_EQ(channels, (std::vector<int>{9 * 256, 9 * 256 + 1, 9 * 256 + 2, 9 * 256 + 3, 9 * 256}));
  for (int v = 0; v < 4; ++v) EXPECT_EQ(snd_is_playing(9 * 256 + v), 1) << v;
  snd_stop(9 * 256 + 1);
  EXPECT_EQ(snd_is_playing(9 * 256 + 1), 0);
  EXPECT_EQ(snd_is_playing(9 * 256 + 2), 1);
  snd_stop(9 * 256 + 255);  // every voice of the slot
  for (int v = 0; v < 4; ++v) EXPECT_EQ(snd_is_playing(9 * 256 + v), 0) << v;
  EXPECT_EQ(snd_is_playing(9 * 256 + 4), 0);  // no such voice
}

TEST_F(SoundTest, OneVoiceRefusesASecondPlayAndAnIdleVoiceIsReused) {
  const std::string s = dc_sound("one.wav", 1000, 2000);
  snd_load(BasicString(s.c_str()), 2, 1);
  EXPECT_EQ(snd_play(2, 0, 1), 512);
  EXPECT_EQ(snd_play(2, 0, 1), -1);
  EXPECT_EQ(snd_is_playing(512), 1);

  const std::string t = dc_sound("four.wav", 1000, 2000);
  snd_load(BasicString(t.c_str()), 3, 4);
  EXPECT_EQ(snd_play(3, 0, 1), 768);
  snd_stop_all();
  EXPECT_EQ(snd_is_playing(512), 0);
  EXPECT_EQ(snd_play(3, 0, 1), 768);  // voice 0 was idle: used again
}

TEST(SoundGains, AttenuationAndPanGiveAmplitudes) {
  struct Case {
    int att, pan;
    float left, right;
  } cases[] = {
      {0, 0, 1.0f, 1.0f},        {-602, 0, 0.5f, 0.5f},       {-10000, 0, 0.0f, 0.0f},
      {0, 10000, 0.0f, 1.0f},    {0, -10000, 1.0f, 0.0f},     {0, 602, 0.5f, 1.0f},
      {-602, -602, 0.5f, 0.25f}, {-4000, 0, 0.01f, 0.01f},
  };
  for (const Case& c : cases) {
    float l, r;
    tmx::platform::attenuation_pan_gains(c.att, c.pan, l, r);
    EXPECT_NEAR(l, c.left, 1e-3) << c.att << " " << c.pan;
    EXPECT_NEAR(r, c.right, 1e-3) << c.att << " " << c.pan;
  }
}

class SoundOutput : public DiskAudio {
 protected:
  // Plays the slot and returns the most common non-silent (left, right) pair
  // of the output written since the play, once the sound ended.
  std::pair<int, int> level_of(int slot, double pan, double volume) {
    const size_t start = output_frames();
    int ch = snd_play(slot, pan, volume);
    EXPECT_GE(ch, 0);
    wait_output(start + device_frames(200) + 4096);  // the 200 ms sound and the device's lead
    std::map<std::pair<int, int>, int> counts;
    const auto out = output();
    for (size_t i = start; i < out.size(); ++i)
      if (out[i].first != 0 || out[i].second != 0) ++counts[out[i]];
    if (counts.empty()) return {0, 0};
    return std::max_element(counts.begin(), counts.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })->first;
  }
};

// Every sample format reaches the mixer as the high 16 bits of its samples
// (8-bit ones unsigned around 128), the played channels being the first one
// or two of each frame.
TEST_F(SoundOutput, SampleFormatsSoundAsTheirHigh16Bits) {
  struct Case {
    const char* name;
    uint16_t channels, align, bits;
    std::vector<uint8_t> frame;
    std::pair<int, int> level;
    uint16_t tag = 1;
    bool extensible = false;
  } cases[] = {
      {"8-bit mono", 1, 1, 8, {0xC0}, {16384, 16384}},
      {"16-bit stereo", 2, 4, 16, {0xE8, 0x03, 0x30, 0xF8}, {1000, -2000}},
      {"24-bit mono", 1, 3, 24, {0x7F, 0x34, 0x12}, {0x1234, 0x1234}},
      {"32-bit stereo", 2, 8, 32, {0xFF, 0xFF, 0x00, 0x10, 0x00, 0x00, 0x00, 0xF0}, {4096, -4096}},
      {"3 channels", 3, 6, 16, {100, 0, 200, 0, 44, 1}, {100, 200}},
      // Floating-point samples are scaled from -1..1, not taken as integers.
      {"32-bit float mono", 1, 4, 32, {0x00, 0x00, 0x00, 0x3F}, {16384, 16384}, 3},
      {"64-bit float stereo", 2, 16, 64, {0, 0, 0, 0, 0, 0, 0xD0, 0xBF, 0, 0, 0, 0, 0, 0, 0xD0, 0x3F}, {-8192, 8192}, 3},
      // Beyond full scale clips: it sounds as 16-bit full scale does (the
      // rate converter's clipping gives 32767 for both).
      {"16-bit full scale", 1, 2, 16, {0xFF, 0x7F}, {32767, 32767}},
      {"float beyond full scale", 1, 4, 32, {0x00, 0x00, 0x00, 0x40}, {32767, 32767}, 3},
      {"extensible PCM", 1, 2, 16, {0x39, 0x30}, {12345, 12345}, 1, true},
      {"extensible float", 1, 4, 32, {0x00, 0x00, 0x80, 0xBE}, {-8192, -8192}, 3, true},
  };
  int slot = 30;
  for (const Case& c : cases) {
    wavtest::Fmt f;
    f.channels = c.channels;
    f.block_align = c.align;
    f.bits = c.bits;
    f.tag = c.tag;
    f.extensible = c.extensible;
    std::vector<uint8_t> data;
    for (int i = 0; i < 22050 / 5; ++i) data.insert(data.end(), c.frame.begin(), c.frame.end());
    snd_load(BasicString(file("fmt.wav", wavtest::wav(f, data)).c_str()), slot, 1);
    ASSERT_EQ(g_error_state.code, 0) << c.name;
    EXPECT_EQ(level_of(slot, 0, 1), c.level) << c.name;
    ++slot;
  }
}

TEST_F(SoundOutput, HalfVolumeHalvesBothSides) {
  snd_load(BasicString(dc_sound("dc.wav", 8000, 200).c_str()), 1, 1);
  EXPECT_EQ(level_of(1, 0, 0.5), std::make_pair(4000, 4000));
}

TEST_F(SoundOutput, PanOneIsFullRight) {
  snd_load(BasicString(dc_sound("dc.wav", 8000, 200).c_str()), 1, 1);
  EXPECT_EQ(level_of(1, 3.0, 1.5), std::make_pair(0, 8000));  // clamped pan and volume
}

TEST_F(SoundOutput, TinyVolumeIsSilence) {
  snd_load(BasicString(dc_sound("dc.wav", 8000, 200).c_str()), 1, 1);
  EXPECT_EQ(level_of(1, 0, 0.004), std::make_pair(0, 0));
}

TEST_F(SoundOutput, VolumeThatIsNotANumberIsSilence) {
  snd_load(BasicString(dc_sound("dc.wav", 8000, 200).c_str()), 1, 1);
  EXPECT_EQ(level_of(1, std::nan(""), std::nan("")), std::make_pair(0, 0));
}

// Five quick plays of a 4-voice sound never sound five times at once: the
// fifth play restarts the oldest voice.
TEST_F(SoundOutput, RotationNeverExceedsFourVoices) {
  snd_load(BasicString(dc_sound("dc.wav", 4000, 400).c_str()), 1, 4);
  const size_t start = output_frames();
  for (int i = 0; i < 5; ++i) snd_play(1, 0, 0.25);
  wait_output(start + device_frames(400) + 4096);
  // The level the voices hold together (the resampled onsets ring a little
  // above it for a few samples).
  std::map<int, int> counts;
  for (auto f : output())
    if (f.first != 0) ++counts[f.first];
  ASSERT_FALSE(counts.empty());
  const int level = std::max_element(counts.begin(), counts.end(),
                                     [](auto& a, auto& b) { return a.second < b.second; })->first;
  EXPECT_EQ(level, 4000);  // 4 voices of 1000 each; 5 would give 5000
}

// At the process's end the device is silenced, not closed (exit closes it):
// voices cut off mid-sound go quiet at once, the device keeps running on
// silence, and a later close still works (the fixture's TearDown).
TEST_F(SoundOutput, EndOfProcessShutdownSilencesAndLeavesTheDeviceOpen) {
  snd_load(BasicString(dc_sound("dc.wav", 8000, 2000).c_str()), 1, 4);
  for (int i = 0; i < 4; ++i) snd_play(1, 0.5, 1);
  wait_output(output_frames() + device_frames(50));
  const auto before = output();
  ASSERT_FALSE(before.empty());
  ASSERT_NE(before.back(), std::make_pair(0, 0));  // playing when the end comes
  tmx::audio::sound_shutdown(true);
  EXPECT_TRUE(tmx::platform::audio_device_is_open());
  EXPECT_FALSE(tmx::audio::sound_table_exists());
  // What was mixed before the halt may still be written: one buffer of margin.
  const size_t quiet_from = output_frames() + 4096;
  wait_output(quiet_from + device_frames(100));
  const auto out = output();
  ASSERT_GT(out.size(), quiet_from);
  for (size_t i = quiet_from; i < out.size(); ++i) ASSERT_EQ(out[i], std::make_pair(0, 0)) << "frame " << i;
}

}  // namespace

// Memory files (sounds unpacked from the archive) follow the memory read rule:
// a data chunk that runs past the block's end gives the samples that remain.
namespace {

TEST(SoundSource, MemoryBlocksReadWithTheMemoryRule) {
  std::vector<uint8_t> c;
  wavtest::chunk(c, "fmt ", wavtest::fmt_body(wavtest::Fmt{}));
  wavtest::chunk(c, "data", wavtest::dc16(5, 10), 400);
  const auto block = wavtest::riff(c);
  const std::string name = runtime_register_memory_file(block.data(), static_cast<uint32_t>(block.size()));
  std::vector<uint8_t> bytes;
  bool memory = false;
  ASSERT_TRUE(read_media_bytes(name, bytes, memory));
  EXPECT_TRUE(memory);
  EXPECT_EQ(bytes, block);
  WavSound s;
  EXPECT_EQ(parse_wav({bytes.data(), bytes.size(), memory}, s), WavError::kNone);
  EXPECT_EQ(s.data, wavtest::dc16(5, 10));
  runtime_release_memory_file(block.data());
  EXPECT_FALSE(read_media_bytes(name, bytes, memory));
}

}  // namespace

namespace {

// Without an output device the program runs on silently: loads fail with
// error 3, plays give -1.
TEST(SoundWithoutDevice, LoadsFailAndPlaysGiveMinusOne) {
  char dir[] = "/tmp/tmx_nodev_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/a.wav";
  ASSERT_TRUE(wavtest::write_file(path, wavtest::wav(wavtest::Fmt{}, wavtest::dc16(1, 100))));
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ASSERT_EQ(SDL_Init(0), 0);
  sound_start(nullptr);
  EXPECT_FALSE(sound_device_present());
  snd_load(BasicString(path.c_str()), 1, 4);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(sound_voice_count(1), 0);
  EXPECT_EQ(snd_play(1, 0, 1), -1);
  EXPECT_EQ(snd_is_playing(256), 0);
  snd_stop_all();
  EXPECT_EQ(snd_gen_sound(), 4095);
  sound_shutdown();
  SDL_Quit();
  std::filesystem::remove_all(dir);
}

}  // namespace
