// Music: the loop deadline on the engine clock, pause and resume, the volume
// cache, and files that cannot be played.
#include "audio/music.h"
#include "audio_fixture.h"
#include "platform/mixer.h"
#include "tamblix/audio.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"
#include "tests/common/read_file.h"

using namespace tmx::audio;

namespace {

double g_now = 0;
double fake_clock() { return g_now; }

class MusicTest : public DiskAudio {
 protected:
  void SetUp() override {
    DiskAudio::SetUp();
    g_now = 10000;
    music_set_clock(&fake_clock);
  }
  void TearDown() override {
    mus_stop();
    music_set_clock(nullptr);
    DiskAudio::TearDown();
  }
  // A 400 ms track.
  BasicString track() { return BasicString(TMX_TEST_DATA "/tone400.mp3"); }
};

TEST_F(MusicTest, Mp3DecodesWithItsLength) {
  mus_play(track(), 0);
  ASSERT_TRUE(music_loaded());
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_TRUE(music_sounding());
  // The encoder adds a little padding.
  EXPECT_NEAR(music_track_length_ms(), 400, 80);
}

TEST_F(MusicTest, ShortLoopingTrackRestartsEvery500ms) {
  mus_play(track(), 1);
  ASSERT_TRUE(music_loaded());
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 10500);
  g_now = 10499;
  music_loop_check();
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 10500);
  g_now = 10530;  // a late frame: the next deadline counts from now
  music_loop_check();
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 11030);
  EXPECT_TRUE(music_sounding());
  EXPECT_EQ(mus_is_playing(), 1);
}

TEST_F(MusicTest, PauseMovesTheDeadlineByThePausedTime) {
  mus_play(track(), 1);
  g_now = 10100;
  mus_pause(1);
  EXPECT_DOUBLE_EQ(music_loop_deadline(), -10500);
  EXPECT_FALSE(music_sounding());
  g_now = 12000;
  mus_pause(1);  // twice: the deadline is kept
  EXPECT_DOUBLE_EQ(music_loop_deadline(), -10500);
  g_now = 13100;
  music_loop_check();  // paused: no restart
  EXPECT_DOUBLE_EQ(music_loop_deadline(), -10500);
  mus_pause(0);
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 13500);
  EXPECT_TRUE(music_sounding());
  mus_pause(0);  // not paused: nothing moves
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 13500);
}

TEST_F(MusicTest, OneShotTrackPlaysUntilItsEnd) {
  mus_play(track(), 0);
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 0);
  EXPECT_EQ(mus_is_playing(), 1);
  for (int i = 0; i < 150 && mus_is_playing(); ++i) wait_ms(10);
  EXPECT_EQ(mus_is_playing(), 0);
  EXPECT_TRUE(music_loaded());  // stays loaded after its end
  mus_rewind();
  EXPECT_EQ(mus_is_playing(), 1);
  mus_stop();
  EXPECT_EQ(mus_is_playing(), 0);
  mus_stop();  // without music: harmless
}

// The player continues from the current position: a track that played to its
// end stays there until it is moved to the start (the loop restart sends a
// play, a seek to the start and a play, and only the last one starts it).
TEST_F(MusicTest, PlayAtTheEndOfTheTrackStaysThere) {
  tmx::platform::MusicTrack* t = tmx::platform::music_open(TMX_TEST_DATA "/tone400.mp3");
  ASSERT_NE(t, nullptr);
  tmx::platform::music_seek_start(t);
  tmx::platform::music_play(t);
  EXPECT_TRUE(tmx::platform::music_sounding(t));
  for (int i = 0; i < 150 && tmx::platform::music_sounding(t); ++i) wait_ms(10);
  ASSERT_FALSE(tmx::platform::music_sounding(t));
  tmx::platform::music_play(t);
  EXPECT_FALSE(tmx::platform::music_sounding(t));
  EXPECT_DOUBLE_EQ(tmx::platform::music_position_ms(t), tmx::platform::music_end_ms(t));
  tmx::platform::music_seek_start(t);
  tmx::platform::music_play(t);
  EXPECT_TRUE(tmx::platform::music_sounding(t));
  tmx::platform::music_close(t);
}

TEST_F(MusicTest, VolumeIsSentOnlyWhenItChanges) {
  mus_volume(0.3);  // no music: cached only
  EXPECT_DOUBLE_EQ(music_volume_cache(), 0.3);
  int before = music_volume_messages();
  mus_play(track(), 1);
  EXPECT_EQ(music_volume_messages(), before + 1);  // play resets to 1
  EXPECT_DOUBLE_EQ(music_volume_cache(), 1.0);
  mus_volume(0.5);
  mus_volume(0.5);
  EXPECT_EQ(music_volume_messages(), before + 2);
}

TEST_F(MusicTest, MissingFileStopsTheMusicAndRecordsError3) {
  mus_play(track(), 1);
  ASSERT_TRUE(music_loaded());
  mus_play(BasicString((dir_ + "/none.mp3").c_str()), 1);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_FALSE(music_loaded());
  EXPECT_DOUBLE_EQ(music_loop_deadline(), 0);
  EXPECT_EQ(mus_is_playing(), 0);
}

TEST_F(MusicTest, UndecodableFileGoesOnWithoutMusic) {
  std::vector<uint8_t> junk(5000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
  const std::string bad = file("bad.mp3", junk);
  mus_play(BasicString(bad.c_str()), 1);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(mus_is_playing(), 0);
  music_loop_check();
  mus_pause(1);
  mus_pause(0);
  mus_rewind();
  mus_volume(0.2);
  const std::string empty = file("empty.mp3", {});
  mus_play(BasicString(empty.c_str()), 0);
  EXPECT_EQ(mus_is_playing(), 0);
}

// A play that fails stops what played, leaves error 3 and one log line
// naming the file and the reason.
TEST_F(MusicTest, FailedPlaysNameTheFileInTheLog) {
  setenv("TMPDIR", dir_.c_str(), 1);
  const std::string missing = dir_ + "/missing.mp3";
  const std::string bad = file("bad.mp3", std::vector<uint8_t>(3000, 0x5A));
  const struct {
    std::string path, reason;
  } cases[] = {{missing, "not found"}, {bad, "cannot be decoded as music"}};
  for (const auto& c : cases) {
    mus_play(track(), 1);
    ASSERT_TRUE(music_loaded());
    std::remove(error_log_path());
    mus_play(BasicString(c.path.c_str()), 1);
    EXPECT_EQ(g_error_state.code, 3) << c.path;
    EXPECT_FALSE(music_loaded()) << c.path;
    EXPECT_EQ(read_file(error_log_path()), "mus_play: " + c.path + ": " + c.reason + "\n");
  }
  unsetenv("TMPDIR");
}

// What reaches the output: music sounds, falls silent while paused and after
// its end, and sounds again when the loop check restarts it.
TEST_F(MusicTest, OutputFollowsPauseEndAndRestart) {
  const std::string dc = file("dc.wav", wavtest::wav(wavtest::Fmt{}, wavtest::dc16(6000, 22050 * 3 / 10)));
  auto sounding_after = [this](size_t from) {
    auto out = output();
    size_t loud = 0;
    for (size_t i = from; i < out.size(); ++i) loud += out[i].first != 0;
    return std::make_pair(loud, out.size() > from ? out.size() - from : 0);
  };
  const size_t margin = 2048;  // frames already mixed ahead of the device
  const size_t quarter = device_frames(250);
  mus_play(BasicString(dc.c_str()), 1);
  wait_output(output_frames() + margin + quarter / 2);
  EXPECT_GT(sounding_after(0).first, 0u);

  mus_pause(1);
  size_t n = output_frames();
  wait_output(n + margin + quarter);
  auto paused = sounding_after(n + margin);
  EXPECT_GT(paused.second, 0u);
  EXPECT_EQ(paused.first, 0u);

  mus_pause(0);
  wait_output(output_frames() + margin + 2 * quarter);  // the rest of the track
  n = output_frames();
  wait_output(n + margin + quarter);
  auto ended = sounding_after(n + margin);
  EXPECT_EQ(ended.first, 0u);
  EXPECT_EQ(mus_is_playing(), 1);  // looping music counts as playing

  g_now += 5000;
  music_loop_check();
  n = output_frames();
  wait_output(n + margin + quarter);
  EXPECT_GT(sounding_after(n).first, 0u);
}

}  // namespace
