#include "platform/mixer.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/audio_device.h"

namespace tmx::platform {

// ------------------------------------------------------------- samples --

struct MixSamples {
  std::vector<uint8_t> bytes;  // device format
  Mix_Chunk* chunk = nullptr;  // refers to `bytes`
  uint32_t frames = 0;
};

namespace {

// Frames the rate converter produces per put at most: its work buffers follow
// the size of each put (and grow with the ratio of the rates), and no copy of
// the whole sound is made first.
constexpr uint64_t kConvertFrames = 16 * 1024;

// How a conversion goes and what it holds at its peak.
struct ConvertPlan {
  uint32_t frames = 0;         // whole frames in the file's data
  uint32_t piece_frames = 0;   // frames handed to the converter per put
  uint64_t result_bytes = 0;   // the converted samples (kept, reserved at once)
  uint64_t working_bytes = 0;  // the piece, the converter's buffers, its queue
  int rate = 0, channels = 0;
  Uint16 format = 0;
  int frame_bytes = 0;
};

bool plan_conversion(const PcmLayout& l, uint32_t size, ConvertPlan& p) {
  const int bytes = l.bits_per_sample / 8;
  if (l.channels < 1 || l.channels > 2 || l.frame_channels < l.channels || bytes < 1 ||
      l.block_align < l.frame_channels * bytes || l.sample_rate < 1)
    return false;
  Mix_QuerySpec(&p.rate, &p.format, &p.channels);
  if (p.rate < 1 || p.channels < 1) return false;
  p.frame_bytes = (SDL_AUDIO_BITSIZE(p.format) / 8) * p.channels;
  p.frames = size / static_cast<uint32_t>(l.block_align);
  const uint64_t rate = static_cast<uint64_t>(p.rate), src_rate = static_cast<uint64_t>(l.sample_rate);
  // Device frames per file frame, rounded up: the pieces are cut so that each
  // put makes at most kConvertFrames of them.
  const uint64_t stretch = (rate + src_rate - 1) / src_rate;
  const uint64_t piece = kConvertFrames / stretch > 0 ? kConvertFrames / stretch : 1;
  p.piece_frames = static_cast<uint32_t>(piece < p.frames ? piece : p.frames);
  // The converted length grows with the ratio of the rates; a little more is
  // kept for what the resampler adds at the ends.
  const uint64_t device_frames = static_cast<uint64_t>(p.frames) * rate / src_rate + 64;
  p.result_bytes = device_frames * static_cast<uint64_t>(p.frame_bytes);
  // One put: the piece as 16-bit samples, the converter's float copy of it,
  // its resampled float copy (and both again when the channel count grows),
  // and its output queue until it is taken, in the device format.
  const uint64_t in_samples = static_cast<uint64_t>(p.piece_frames) * static_cast<uint64_t>(l.channels);
  const uint64_t out_frames = static_cast<uint64_t>(p.piece_frames) * stretch + 64;
  const uint64_t widest = static_cast<uint64_t>(p.channels > l.channels ? p.channels : l.channels);
  p.working_bytes = in_samples * 2 + 2 * (in_samples * 4 + out_frames * widest * 4) +
                    out_frames * static_cast<uint64_t>(p.frame_bytes);
  return true;
}

int16_t float_sample(double v) {
  // NaN plays as silence; beyond full scale is clipped.
  if (!(v == v)) return 0;
  if (v > 1.0) v = 1.0;
  if (v < -1.0) v = -1.0;
  return static_cast<int16_t>(std::lrint(v * 32767.0));
}

int16_t sample_at(const uint8_t* p, int bits, bool is_float) {
  if (is_float) {
    if (bits == 32) {
      float v;
      std::memcpy(&v, p, sizeof v);
      return float_sample(v);
    }
    double v;
    std::memcpy(&v, p, sizeof v);
    return float_sample(v);
  }
  switch (bits) {
    case 8: return static_cast<int16_t>((static_cast<int>(p[0]) - 128) * 256);
    case 16: return static_cast<int16_t>(p[0] | (p[1] << 8));
    case 24: return static_cast<int16_t>(p[1] | (p[2] << 8));
    case 32: return static_cast<int16_t>(p[2] | (p[3] << 8));
  }
  return 0;
}

}  // namespace

uint64_t mix_samples_cost(const PcmLayout& layout, uint32_t size) {
  ConvertPlan p;
  if (!audio_device_is_open() || !plan_conversion(layout, size, p)) return 0;
  return p.result_bytes + p.working_bytes;
}

MixSamples* mix_samples_create(const PcmLayout& l, const uint8_t* data, uint32_t size) {
  if (!audio_device_is_open()) return nullptr;
  ConvertPlan p;
  if (!plan_conversion(l, size, p) || p.result_bytes + p.working_bytes > kMaxSampleCost) return nullptr;
  const uint32_t frames = p.frames;
  const int bytes = l.bits_per_sample / 8;

  auto* s = new MixSamples;
  if (frames > 0) {
    SDL_AudioStream* st = SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(l.channels), l.sample_rate,
                                             p.format, static_cast<Uint8>(p.channels), p.rate);
    if (st == nullptr) {
      delete s;
      return nullptr;
    }
    s->bytes.reserve(static_cast<size_t>(p.result_bytes));
    // Takes what the converter has ready, so its queue never holds the
    // whole sound beside the result.
    auto take = [&]() -> bool {
      const int ready = SDL_AudioStreamAvailable(st);
      if (ready <= 0) return true;
      const size_t at = s->bytes.size();
      s->bytes.resize(at + static_cast<size_t>(ready));
      const int got = SDL_AudioStreamGet(st, s->bytes.data() + at, ready);
      if (got < 0) return false;
      s->bytes.resize(at + static_cast<size_t>(got));
      return true;
    };
    // Frames to 16-bit interleaved samples of the played channels, a piece
    // at a time.
    const uint32_t piece_frames = p.piece_frames;
    std::vector<int16_t> piece(static_cast<size_t>(piece_frames) * static_cast<size_t>(l.channels));
    bool ok = true;
    for (uint32_t first = 0; ok && first < frames; first += piece_frames) {
      const uint32_t n = frames - first < piece_frames ? frames - first : piece_frames;
      for (uint32_t f = 0; f < n; ++f) {
        const uint8_t* frame = data + (static_cast<size_t>(first) + f) * static_cast<size_t>(l.block_align);
        for (int c = 0; c < l.channels; ++c)
          piece[static_cast<size_t>(f) * l.channels + c] = sample_at(frame + c * bytes, l.bits_per_sample, l.is_float);
      }
      ok = SDL_AudioStreamPut(st, piece.data(), static_cast<int>(n * l.channels * sizeof(int16_t))) == 0 && take();
    }
    ok = ok && SDL_AudioStreamFlush(st) == 0 && take();
    SDL_FreeAudioStream(st);
    if (!ok) {
      delete s;
      return nullptr;
    }
  }
  const int frame_bytes = p.frame_bytes;
  s->frames = frame_bytes > 0 ? static_cast<uint32_t>(s->bytes.size() / frame_bytes) : 0;
  static uint8_t silence[4] = {0, 0, 0, 0};
  s->chunk = Mix_QuickLoad_RAW(s->bytes.empty() ? silence : s->bytes.data(), static_cast<Uint32>(s->bytes.size()));
  if (s->chunk == nullptr) {
    delete s;
    return nullptr;
  }
  return s;
}

void mix_samples_free(MixSamples* s) {
  if (s == nullptr) return;
  // Voices playing these samples must have been stopped by the caller.
  Mix_FreeChunk(s->chunk);
  delete s;
}

uint32_t mix_samples_frames(const MixSamples* s) { return s ? s->frames : 0; }

// -------------------------------------------------------------- voices --

namespace {

struct VoiceGain {
  std::atomic<float> left{1.0f};
  std::atomic<float> right{1.0f};
};

std::deque<VoiceGain> g_gains;  // by mixer channel; stable addresses
std::vector<bool> g_channel_used;

void SDLCALL gain_effect(int, void* stream, int len, void* udata) {
  auto* g = static_cast<VoiceGain*>(udata);
  const float l = g->left.load(std::memory_order_relaxed);
  const float r = g->right.load(std::memory_order_relaxed);
  if (l == 1.0f && r == 1.0f) return;
  int rate = 0, channels = 0;
  Uint16 fmt = 0;
  Mix_QuerySpec(&rate, &fmt, &channels);
  if (fmt != AUDIO_S16SYS) return;
  auto* s = static_cast<int16_t*>(stream);
  const int n = len / 2;
  if (channels == 2) {
    for (int i = 0; i + 1 < n; i += 2) {
      s[i] = static_cast<int16_t>(std::lround(s[i] * l));
      s[i + 1] = static_cast<int16_t>(std::lround(s[i + 1] * r));
    }
  } else {
    const float m = (l + r) * 0.5f;
    for (int i = 0; i < n; ++i) s[i] = static_cast<int16_t>(std::lround(s[i] * m));
  }
}

}  // namespace

void attenuation_pan_gains(int attenuation, int pan, float& left, float& right) {
  // Hundredths of a decibel of amplitude: -602 halves, -10000 is silence.
  const auto level = [](int hundredths_db) -> float {
    if (hundredths_db >= 0) return 1.0f;
    if (hundredths_db <= -10000) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
  };
  const float v = level(attenuation);
  left = v * level(pan > 0 ? -pan : 0);
  right = v * level(pan < 0 ? pan : 0);
}

int mix_voice_open() {
  if (!audio_device_is_open()) return -1;
  for (size_t i = 0; i < g_channel_used.size(); ++i) {
    if (!g_channel_used[i]) {
      g_channel_used[i] = true;
      return static_cast<int>(i);
    }
  }
  const int ch = static_cast<int>(g_channel_used.size());
  if (Mix_AllocateChannels(-1) <= ch) {
    // Grow in steps so that a table of many voices does not reallocate the
    // mixer's channel array for every voice.
    if (Mix_AllocateChannels(ch + 32) <= ch) return -1;
  }
  g_channel_used.push_back(true);
  while (g_gains.size() <= static_cast<size_t>(ch)) g_gains.emplace_back();
  Mix_Volume(ch, MIX_MAX_VOLUME);
  return ch;
}

void mix_voice_close(int ch) {
  if (ch < 0 || static_cast<size_t>(ch) >= g_channel_used.size()) return;
  if (audio_device_is_open()) Mix_HaltChannel(ch);
  g_channel_used[static_cast<size_t>(ch)] = false;
}

bool mix_voice_playing(int ch) {
  if (ch < 0 || !audio_device_is_open() || static_cast<size_t>(ch) >= g_channel_used.size()) return false;
  return Mix_Playing(ch) != 0;
}

void mix_voice_stop(int ch) {
  if (ch < 0 || !audio_device_is_open() || static_cast<size_t>(ch) >= g_channel_used.size()) return;
  Mix_HaltChannel(ch);
}

void mix_voice_set_volume_pan(int ch, int attenuation, int pan) {
  if (ch < 0 || static_cast<size_t>(ch) >= g_gains.size()) return;
  float l, r;
  attenuation_pan_gains(attenuation, pan, l, r);
  g_gains[static_cast<size_t>(ch)].left.store(l, std::memory_order_relaxed);
  g_gains[static_cast<size_t>(ch)].right.store(r, std::memory_order_relaxed);
}

bool mix_voice_play(int ch, MixSamples* s) {
  if (ch < 0 || s == nullptr || !audio_device_is_open() || static_cast<size_t>(ch) >= g_gains.size())
    return false;
  // Halting clears the channel's effects; with the channel idle, the effect
  // registered now stays for the whole play.
  Mix_HaltChannel(ch);
  Mix_UnregisterAllEffects(ch);
  Mix_RegisterEffect(ch, gain_effect, nullptr, &g_gains[static_cast<size_t>(ch)]);
  return Mix_PlayChannel(ch, s->chunk, 0) == ch;
}

// --------------------------------------------------------------- music --

struct MusicTrack {
  Mix_Music* music = nullptr;
  double length_ms = 0;
  enum State { kStopped, kPlaying, kPaused } state = kStopped;
  double held_ms = 0;  // position while stopped
  bool looping = false;  // the mixer restarts it at its end
};

namespace {
MusicTrack* g_current = nullptr;  // the track owning the music stream

double mixer_position_ms(MusicTrack* t) {
  double p = Mix_GetMusicPosition(t->music);
  return p < 0 ? 0 : p * 1000.0;
}
}  // namespace

MusicTrack* music_open(const char* path) {
  if (!audio_device_is_open() || path == nullptr) return nullptr;
  Mix_Music* m = Mix_LoadMUS(path);
  if (m == nullptr) return nullptr;
  auto* t = new MusicTrack;
  t->music = m;
  double d = Mix_MusicDuration(m);
  t->length_ms = d > 0 ? d * 1000.0 : 0;
  return t;
}

void music_close(MusicTrack* t) {
  if (t == nullptr) return;
  if (g_current == t) {
    Mix_HaltMusic();
    g_current = nullptr;
  }
  Mix_FreeMusic(t->music);
  delete t;
}

double music_length_ms(MusicTrack* t) { return t ? t->length_ms : 0; }
double music_end_ms(MusicTrack* t) { return t ? t->length_ms : 0; }

double music_position_ms(MusicTrack* t) {
  if (t == nullptr) return 0;
  switch (t->state) {
    case MusicTrack::kStopped: return t->held_ms;
    case MusicTrack::kPaused: return mixer_position_ms(t);
    case MusicTrack::kPlaying:
      if (g_current != t || !Mix_PlayingMusic()) {
        // Played to its end (or the decoder gave up): it rests at the end.
        t->state = MusicTrack::kStopped;
        t->held_ms = t->length_ms;
        return t->held_ms;
      }
      return mixer_position_ms(t);
  }
  return 0;
}

void music_play(MusicTrack* t) {
  if (t == nullptr) return;
  if (t->state == MusicTrack::kPaused && g_current == t) {
    Mix_ResumeMusic();
    t->state = MusicTrack::kPlaying;
    return;
  }
  if (t->state == MusicTrack::kPlaying) {
    if (g_current == t && Mix_PlayingMusic()) return;
    music_position_ms(t);  // played to its end: it rests there, as stopped
  }
  double from = t->state == MusicTrack::kStopped ? t->held_ms : 0;
  if (t->length_ms > 0 && from >= t->length_ms) {
    t->state = MusicTrack::kStopped;
    t->held_ms = t->length_ms;
    return;
  }
  if (Mix_PlayMusic(t->music, t->looping ? -1 : 1) != 0) return;
  g_current = t;
  if (from > 0) Mix_SetMusicPosition(from / 1000.0);
  t->state = MusicTrack::kPlaying;
}

void music_seek_start(MusicTrack* t) {
  if (t == nullptr) return;
  if (g_current == t) Mix_HaltMusic();
  t->state = MusicTrack::kStopped;
  t->held_ms = 0;
}

void music_stop(MusicTrack* t) {
  if (t == nullptr || t->state == MusicTrack::kStopped) return;
  double p = music_position_ms(t);
  if (g_current == t) Mix_HaltMusic();
  t->state = MusicTrack::kStopped;
  t->held_ms = p;
}

void music_pause(MusicTrack* t) {
  if (t == nullptr || g_current != t) return;
  music_position_ms(t);  // a track that played to its end rests there, as stopped
  if (t->state == MusicTrack::kPlaying) {
    Mix_PauseMusic();
    t->state = MusicTrack::kPaused;
  }
}

void music_resume(MusicTrack* t) {
  if (t == nullptr || g_current != t || t->state != MusicTrack::kPaused) return;
  Mix_ResumeMusic();
  t->state = MusicTrack::kPlaying;
}

void music_set_volume(MusicTrack*, int volume) {
  if (!audio_device_is_open()) return;
  long v = static_cast<long>(volume) * MIX_MAX_VOLUME / 1000;
  if (v < 0) v = 0;
  if (v > MIX_MAX_VOLUME) v = MIX_MAX_VOLUME;
  Mix_VolumeMusic(static_cast<int>(v));
}

bool music_sounding(MusicTrack* t) {
  return t != nullptr && g_current == t && t->state == MusicTrack::kPlaying && Mix_PlayingMusic() &&
         !Mix_PausedMusic();
}

bool music_paused(MusicTrack* t) { return t != nullptr && t->state == MusicTrack::kPaused; }

void music_set_looping(MusicTrack* t, bool looping) {
  if (t != nullptr) t->looping = looping;
}

bool music_loops_itself(MusicTrack* t) {
  return t != nullptr && t->looping && g_current == t && t->state != MusicTrack::kStopped && Mix_PlayingMusic();
}

}  // namespace tmx::platform

namespace tmx::platform {
void mix_forget_device_state() {
  g_channel_used.clear();
  g_current = nullptr;
}
}  // namespace tmx::platform
