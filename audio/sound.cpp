#include "audio/sound.h"

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "audio/media_source.h"
#include "audio/wav_reader.h"
#include "platform/audio_device.h"
#include "platform/mixer.h"
#include "tamblix/audio.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"

namespace tmx::audio {

namespace {

struct SoundDevice {
  bool present = false;  // the output device is open
};

struct SoundSlot {
  int32_t voice_count = 0;
  int32_t current_voice = 0;
  std::string source_name;
  SoundDevice* device = nullptr;
  // Voice i plays on mixer channel voices[i]; all voices share `samples`.
  std::array<int, kMaxVoices> voices{-1, -1, -1, -1};
  platform::MixSamples* samples = nullptr;
};

std::unique_ptr<SoundDevice> g_device;
std::vector<SoundSlot> g_slots;  // empty until sound_start

bool device_present() { return g_device && g_device->present; }

void stop_voice(int ch) { platform::mix_voice_stop(ch); }

void release_slot(SoundSlot& s) {
  if (s.voice_count > 0 && device_present()) {
    for (int i = 0; i < s.voice_count; ++i) stop_voice(s.voices[static_cast<size_t>(i)]);
  }
  for (int& ch : s.voices) {
    if (ch >= 0) platform::mix_voice_close(ch);
    ch = -1;
  }
  platform::mix_samples_free(s.samples);
  s.samples = nullptr;
  s.current_voice = 0;
  s.voice_count = 0;
}

// The voice a new play uses, or -1.
int pick_voice(SoundSlot& s) {
  int k = s.current_voice;
  if (platform::mix_voice_playing(s.voices[static_cast<size_t>(k)])) {
    if (s.voice_count == 1) return -1;
    k = k + 1 >= s.voice_count ? 0 : k + 1;
    // The oldest voice of the rotation is cut off when all are busy.
    if (platform::mix_voice_playing(s.voices[static_cast<size_t>(k)])) stop_voice(s.voices[static_cast<size_t>(k)]);
  }
  s.current_voice = k;
  return k;
}

void stop_voices(int slot, int voice) {
  if (g_slots.empty() || !device_present()) return;
  SoundSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.voice_count <= 0) return;
  if (voice >= 0 && voice < s.voice_count) {
    stop_voice(s.voices[static_cast<size_t>(voice)]);
    return;
  }
  for (int i = 0; i < s.voice_count; ++i) stop_voice(s.voices[static_cast<size_t>(i)]);
}

// Loads the WAV into the slot's samples; false on any failure.
bool load_wav(SoundSlot& s, const std::string& name) {
  std::vector<uint8_t> bytes;
  bool memory_block = false;
  if (!read_media_bytes(name, bytes, memory_block)) {
    log_append(("sound: cannot read " + name + "\n").c_str());
    return false;
  }
  WavSound wav;
  WavError e = parse_wav(WavSource{bytes.data(), bytes.size(), memory_block}, wav);
  if (e != WavError::kNone) {
    log_append(("sound: " + name + ": " + wav_error_text(e) + "\n").c_str());
    return false;
  }
  platform::PcmLayout layout{wav.format.channels, wav.format.file_channels,
                             static_cast<int>(wav.format.sample_rate), wav.format.block_align,
                             wav.format.bits_per_sample, wav.format.is_float};
  s.samples = platform::mix_samples_create(layout, wav.data.data(), static_cast<uint32_t>(wav.data.size()));
  return s.samples != nullptr;
}

}  // namespace

void sound_start(void*) {
  if (!g_device) g_device = std::make_unique<SoundDevice>();
  if (g_slots.empty()) g_slots.resize(kSoundSlots);
  g_device->present = platform::audio_device_open();
  if (!g_device->present) log_append("sound: no output device\n");
}

void sound_bind_window(void*) {}

void sound_shutdown() {
  for (int i = kSoundSlots - 1; i >= 0 && !g_slots.empty(); --i) release_slot(g_slots[static_cast<size_t>(i)]);
  g_slots.clear();
  g_slots.shrink_to_fit();
  platform::audio_device_close();
  g_device.reset();
}

bool sound_table_exists() { return !g_slots.empty(); }
bool sound_device_present() { return device_present(); }

int sound_voice_count(int slot) {
  if (g_slots.empty() || slot < 0 || slot >= kSoundSlots) return 0;
  return g_slots[static_cast<size_t>(slot)].voice_count;
}

int sound_voice_mixer_channel(int slot, int voice) {
  if (sound_voice_count(slot) <= voice || voice < 0) return -1;
  return g_slots[static_cast<size_t>(slot)].voices[static_cast<size_t>(voice)];
}

}  // namespace tmx::audio

using namespace tmx::audio;

void snd_load(const BasicString& file, int slot, int voices) {
  clear_error();
  if (static_cast<unsigned>(slot) >= static_cast<unsigned>(kSoundSlots)) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  std::string resolved;
  if (!resolve_media_name(file.c_str(), resolved, true)) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return;
  }
  if (g_slots.empty()) {  // no sound table: like a missing sound object
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return;
  }
  SoundSlot& s = g_slots[static_cast<size_t>(slot)];
  release_slot(s);
  s.current_voice = 0;
  s.device = g_device.get();
  int n = voices < 1 ? 1 : (voices > kMaxVoices ? kMaxVoices : voices);
  if (!device_present()) {
    s.voice_count = 0;
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return;
  }
  s.source_name = resolved;
  bool ok = load_wav(s, resolved);
  for (int i = 0; ok && i < n; ++i) {
    s.voices[static_cast<size_t>(i)] = tmx::platform::mix_voice_open();
    ok = s.voices[static_cast<size_t>(i)] >= 0;
  }
  s.source_name.clear();
  if (!ok) {
    release_slot(s);
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return;
  }
  s.voice_count = n;
}

int snd_play(int slot, double pan, double volume) {
  if (static_cast<unsigned>(slot) > 4095u) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return 0;
  }
  double p = std::fmax(-1.0, std::fmin(pan, 1.0));
  if (std::isnan(pan)) p = 0;
  // fmin would take a NaN volume for the other operand (full volume).
  double pct = std::isnan(volume) ? 0.0 : std::trunc(std::fmin(volume * 100.0, 100.0));
  int percent = pct > 0 ? static_cast<int>(pct) : 0;  // NaN and negatives give 0
  int platform_pan = static_cast<int>(std::trunc(p * 10000.0));
  if (g_slots.empty() || !device_present()) return -1;
  SoundSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.voice_count <= 0) return -1;
  int k = pick_voice(s);
  if (k < 0) return -1;
  int attenuation = percent == 0 ? -10000 : static_cast<int>(std::trunc(2000.0 * std::log10(percent / 100.0)));
  int ch = s.voices[static_cast<size_t>(k)];
  tmx::platform::mix_voice_set_volume_pan(ch, attenuation, platform_pan);
  if (!tmx::platform::mix_voice_play(ch, s.samples)) return -1;
  return slot * 256 + k;
}

int snd_is_playing(int channel) {
  int slot = channel >> 8;
  if (slot < 0 || slot > 4095) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return 0;
  }
  int voice = channel & 255;
  if (voice >= sound_voice_count(slot)) return 0;
  return tmx::platform::mix_voice_playing(g_slots[static_cast<size_t>(slot)].voices[static_cast<size_t>(voice)]) ? 1 : 0;
}

void snd_stop(int channel) {
  if (channel < 0 || (channel >> 8) > 4095) return;
  stop_voices(channel >> 8, channel & 255);
}

void snd_stop_all() {
  for (int i = 0; i < kSoundSlots; ++i) stop_voices(i, -1);
}

int snd_gen_sound() {
  clear_error();
  for (int i = kSoundSlots - 1; i >= 0; --i) {
    if (g_slots.empty() || g_slots[static_cast<size_t>(i)].voice_count <= 0) return i;
  }
  sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
  return -1;
}
