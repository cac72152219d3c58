// What the music sounds like at the output (SDL's disk driver): the full band
// reaches it, and a looping track goes round without a gap or a click.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/music.h"
#include "audio_fixture.h"
#include "platform/audio_device.h"
#include "tamblix/audio.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"

using namespace tmx::audio;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The amplitude of the component at `freq` in samples[from, from + n) (a
// Goertzel filter; a full-scale sine of that frequency gives its amplitude).
double goertzel(const std::vector<double>& samples, size_t from, size_t n, double freq, double rate) {
  const double w = 2.0 * kPi * freq / rate;
  const double coeff = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const double s0 = samples[from + i] + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(n);
}

// 16-bit mono samples of a sine of `freq` Hz at `rate`, `frames` long.
std::vector<uint8_t> sine16(double freq, uint32_t rate, uint32_t frames, double amplitude) {
  std::vector<uint8_t> b;
  for (uint32_t i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2.0 * kPi * freq * i / rate);
    wavtest::put16(b, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(v))));
  }
  return b;
}

class MusicOutput : public DiskAudio {
 protected:
  void TearDown() override {
    mus_stop();
    DiskAudio::TearDown();
  }
  int rate() const { return tmx::platform::audio_device_rate(); }
  // The left channel of the output from frame `from` on.
  std::vector<double> left_from(size_t from) {
    std::vector<double> v;
    const auto out = output();
    for (size_t i = from; i < out.size(); ++i) v.push_back(out[i].first);
    return v;
  }
  // Plays the track, running the loop check as a frame loop would, until the
  // device has written `ms` more milliseconds; the output written meanwhile.
  std::vector<double> play_for(const std::string& path, int loop, int ms) {
    const size_t start = output_frames();
    mus_play(BasicString(path.c_str()), loop);
    EXPECT_EQ(g_error_state.code, 0);
    EXPECT_TRUE(music_loaded());
    const size_t want = start + static_cast<size_t>(rate()) * static_cast<size_t>(ms) / 1000;
    for (int i = 0; i < 2000 && output_frames() < want; ++i) {
      music_loop_check();
      wait_ms(5);
    }
    return left_from(start);
  }
};

// A 15 kHz tone in the music comes out at 15 kHz; nothing appears at a
// control frequency nor where the tone would fold to in a stream of 22050
// samples per second (7050 Hz), which cannot carry it at all.
TEST_F(MusicOutput, A15kHzToneReachesTheOutput) {
  ASSERT_GE(rate(), 44100);
  wavtest::Fmt f;
  f.rate = 48000;
  const std::string path = file("tone15k.wav", wavtest::wav(f, sine16(15000, 48000, 48000, 8000)));
  const auto left = play_for(path, 0, 700);
  // The loudest stretch of 100 ms: the part where the track sounds.
  const size_t n = static_cast<size_t>(rate()) / 10;
  ASSERT_GT(left.size(), 3 * n);
  double best = 0, control = 0, folded = 0;
  for (size_t from = 0; from + n <= left.size(); from += n / 2) {
    const double a = goertzel(left, from, n, 15000, rate());
    if (a > best) {
      best = a;
      control = goertzel(left, from, n, 9000, rate());
      folded = goertzel(left, from, n, 7050, rate());
    }
  }
  EXPECT_GT(best, 6000);  // 8000 played: the band's edge may dampen it a little
  EXPECT_LT(control, best / 100);
  EXPECT_LT(folded, best / 100);
}

// The seams of a looping track in the output: the longest run of silence
// after the track first sounded, the largest sample step of its first pass
// (the music's own) and the largest step after it (every seam included).
struct SeamFigures {
  size_t longest_silence = 0;
  double own_step = 0;
  double later_step = 0;
  bool sounded = false;
};

SeamFigures seam_figures(const std::vector<double>& left, size_t track_frames, size_t guard) {
  SeamFigures s;
  size_t first = 0;
  while (first < left.size() && left[first] == 0) ++first;
  size_t last = left.size();
  while (last > first && left[last - 1] == 0) --last;
  s.sounded = last > first + track_frames;
  size_t run = 0;
  for (size_t i = first; i < last; ++i) {
    run = std::abs(left[i]) <= 1 ? run + 1 : 0;
    s.longest_silence = std::max(s.longest_silence, run);
    if (i == first) continue;
    const double step = std::abs(left[i] - left[i - 1]);
    double& slot = i + guard < first + track_frames ? s.own_step : s.later_step;
    slot = std::max(slot, step);
  }
  return s;
}

// A 600 ms track of whole sine periods loops seamlessly: no silence of more
// than 5 ms at the seams and no step larger than the track's own largest one
// (a restart from a halted stream leaves a gap and a jump).
TEST_F(MusicOutput, LoopingWavGoesRoundWithoutGapOrClick) {
  const uint32_t r = static_cast<uint32_t>(rate());
  wavtest::Fmt f;
  f.rate = r;
  // 600 ms hold whole periods of 500 Hz at every common rate.
  const std::string path = file("loop.wav", wavtest::wav(f, sine16(500, r, r * 6 / 10, 12000)));
  const auto left = play_for(path, 1, 2500);  // four seams
  EXPECT_EQ(mus_is_playing(), 1);
  EXPECT_GT(music_loop_deadline(), 0);
  const SeamFigures s = seam_figures(left, device_frames(600), device_frames(10));
  ASSERT_TRUE(s.sounded);
  EXPECT_LE(s.longest_silence, device_frames(5)) << "frames of silence";
  EXPECT_GT(s.own_step, 0);
  EXPECT_LE(s.later_step, s.own_step) << "a click at a seam";
}

// The game's kind of track: an MP3 made by the encoder (with its delay and
// padding) from the same tone loops without a gap or a click: the decoder
// drops the encoder's delay and padding.
TEST_F(MusicOutput, LoopingMp3GoesRoundWithoutGapOrClick) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) GTEST_SKIP() << "no lame encoder";
  wavtest::Fmt f;
  f.rate = 44100;
  const std::string wav = file("loop_src.wav", wavtest::wav(f, sine16(500, 44100, 44100 * 6 / 10, 12000)));
  const std::string mp3 = dir_ + "/loop.mp3";
  ASSERT_EQ(std::system(("lame --quiet -b 192 '" + wav + "' '" + mp3 + "'").c_str()), 0);
  const auto left = play_for(mp3, 1, 2500);
  const SeamFigures s = seam_figures(left, device_frames(600), device_frames(10));
  ASSERT_TRUE(s.sounded);
  EXPECT_LE(s.longest_silence, device_frames(5)) << "frames of silence";
  EXPECT_GT(s.own_step, 0);
  EXPECT_LE(s.later_step, s.own_step) << "a click at a seam";
}

}  // namespace
