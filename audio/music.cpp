#include "audio/music.h"

#include <cmath>
#include <string>

#include "audio/media_source.h"
#include "input/pointer.h"
#include "platform/mixer.h"
#include "runtime/load_report.h"
#include "runtime/pause.h"
#include "tamblix/audio.h"
#include "tamblix/input.h"
#include "tamblix/runtime.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"


namespace tmx::audio {

namespace {

struct MusicState {
  platform::MusicTrack* player = nullptr;  // absent when no music is loaded
  double loop_deadline = 0;
  double pause_time = 0;
  double volume_cache = -1;
};

MusicState g_music;
std::string g_music_file;  // the resolved name of the last mus_play
int g_volume_messages = 0;
double (*g_clock)() = nullptr;

double now_ms() {
  return g_clock ? g_clock() : timer_ms();
}

// Length used for looping: tracks shorter than half a second (or of unknown
// length) loop every 500 ms.
double loop_length() {
  double len = platform::music_length_ms(g_music.player);
  return len > 499 ? len : 500;
}

void send_volume(int v) {
  ++g_volume_messages;
  platform::music_set_volume(g_music.player, v);
}

void stop_music() {
  g_music.volume_cache = -1;
  g_music.loop_deadline = 0;
  if (g_music.player) {
    platform::music_stop(g_music.player);
    platform::music_close(g_music.player);
  }
  g_music.player = nullptr;
}

}  // namespace

void music_loop_check() {
  if (g_music.loop_deadline > 0) {
    double now = now_ms();
    if (now >= g_music.loop_deadline) {
      g_music.loop_deadline = now + loop_length();
      // A track the mixer loops has already gone round without a gap.
      if (platform::music_loops_itself(g_music.player)) return;
      platform::music_play(g_music.player);
      platform::music_seek_start(g_music.player);
      platform::music_play(g_music.player);
    }
  }
}

double music_loop_deadline() { return g_music.loop_deadline; }
bool music_loaded() { return g_music.player != nullptr; }
double music_volume_cache() { return g_music.volume_cache; }
int music_volume_messages() { return g_volume_messages; }
double music_track_length_ms() { return platform::music_length_ms(g_music.player); }
bool music_sounding() { return platform::music_sounding(g_music.player); }
void music_set_clock(double (*clock_ms)()) { g_clock = clock_ms; }

}  // namespace tmx::audio

using namespace tmx::audio;

void mus_stop() { stop_music(); }

void mus_play(const BasicString& file, int loop) {
  clear_error();
  stop_music();
  if (!resolve_media_name(file.c_str(), g_music_file, false)) {
    runtime_report_failed_load("mus_play", file.c_str(), "not found");
    return;
  }
  // The pointer is hidden while the player is created and then restored.
  const bool pointer_was_shown = tmx::input::pointer_shown();
  tmx::input::pointer_hide_quietly();

  g_music.player = tmx::platform::music_open(g_music_file.c_str());
  if (g_music.player == nullptr) {
    // Not decodable: error 3 and the log line; the program runs on without music.
    runtime_report_failed_load("mus_play", file.c_str(), "cannot be decoded as music");
  } else {
    double len = loop_length();
    g_music.loop_deadline = loop ? now_ms() + len : 0;
    // A track of known length of half a second or more is looped by the mixer
    // from its end straight to its start; shorter ones (or of unknown length)
    // restart every 500 ms from the loop check. The deadline runs on as the
    // program's view of the loop either way.
    const double known = tmx::platform::music_length_ms(g_music.player);
    tmx::platform::music_set_looping(g_music.player, loop && known > 499);
    tmx::platform::music_seek_start(g_music.player);
    tmx::platform::music_play(g_music.player);
  }

  inp_system_pointer(pointer_was_shown ? 1.0 : 0.0);
  if (g_music.volume_cache != 1.0) {
    g_music.volume_cache = 1.0;
    if (g_music.player) send_volume(1000);
  }
  runtime_set_pause(0);  // the program counts as running again
  if (!tmx::input::pointer_shown()) {
    inp_system_pointer(1.0);
    inp_system_pointer(0.0);
  }
}

int mus_is_playing() {
  if (!g_music.player) return 0;
  if (g_music.loop_deadline > 0) return 1;
  return tmx::platform::music_end_ms(g_music.player) > tmx::platform::music_position_ms(g_music.player) ? 1 : 0;
}

void mus_pause(int pause) {
  if (!g_music.player) return;
  if (pause) {
    if (g_music.loop_deadline > 0) {
      g_music.pause_time = now_ms();
      g_music.loop_deadline = -g_music.loop_deadline;
    }
    tmx::platform::music_pause(g_music.player);
  } else {
    if (g_music.loop_deadline < 0)
      g_music.loop_deadline = -g_music.loop_deadline + (now_ms() - g_music.pause_time);
    tmx::platform::music_resume(g_music.player);
  }
}

void mus_volume(double volume) {
  if (volume == g_music.volume_cache) return;
  g_music.volume_cache = volume;
  if (g_music.player) {
    double v = std::trunc(volume * 1000.0);
    if (!(v > -1e9)) v = v != v ? 0 : -1e9;  // NaN and huge values stay in range
    if (v > 1e9) v = 1e9;
    send_volume(static_cast<int>(v));
  }
}

void mus_rewind() {
  tmx::platform::music_seek_start(g_music.player);
  tmx::platform::music_play(g_music.player);
}
