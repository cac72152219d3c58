#include "audio/sound.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/media_source.h"
#include "audio/wav_reader.h"
#include "platform/audio_device.h"
#include "platform/mixer.h"
#include "runtime/load_report.h"
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
  // Voice i plays on mixer channel voices[i]; all voices share `samples`,
  // and so do all slots that loaded the same file.
  std::array<int, kMaxVoices> voices{-1, -1, -1, -1};
  std::shared_ptr<platform::MixSamples> samples;
};

std::unique_ptr<SoundDevice> g_device;
std::vector<SoundSlot> g_slots;  // empty until sound_start

// The converted samples of every file some slot holds, by the resolved name,
// the size and a hash of the file's bytes (a file changed on disk is a new
// entry): a sound costs its memory once however many slots load it. The
// entries go with the last slot using them.
std::map<std::string, std::weak_ptr<platform::MixSamples>> g_converted;

std::string converted_key(const std::string& name, const std::vector<uint8_t>& bytes) {
  const size_t hash = std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  char tail[48];
  std::snprintf(tail, sizeof tail, "|%zu|%zx", bytes.size(), hash);
  return name + tail;
}

void forget_unused_conversions() {
  for (auto it = g_converted.begin(); it != g_converted.end();) {
    if (it->second.expired()) {
      it = g_converted.erase(it);
    } else {
      ++it;
    }
  }
}

bool device_present() { return g_device && g_device->present; }

void refuse_slot(const char* command, int slot) {
  char detail[64];
  std::snprintf(detail, sizeof detail, "slot %d outside 0..%d", slot, kSoundSlots - 1);
  runtime_report_refused(command, detail, TMX_ERR_OUT_OF_MEMORY);
}

void stop_voice(int ch) { platform::mix_voice_stop(ch); }

void release_slot(SoundSlot& s) {
  if (s.voice_count > 0 && device_present()) {
    for (int i = 0; i < s.voice_count; ++i) stop_voice(s.voices[static_cast<size_t>(i)]);
  }
  for (int& ch : s.voices) {
    if (ch >= 0) platform::mix_voice_close(ch);
    ch = -1;
  }
  s.samples.reset();
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

// Loads the WAV into the slot's samples (the ones another slot already has
// for the same file, or a new conversion); false with the reason in `why` on
// any failure.
bool load_wav(SoundSlot& s, const std::string& name, std::string& why) {
  std::vector<uint8_t> bytes;
  bool memory_block = false;
  if (!read_media_bytes(name, bytes, memory_block, &why)) return false;
  forget_unused_conversions();
  const std::string key = converted_key(name, bytes);
  auto known = g_converted.find(key);
  if (known != g_converted.end()) {
    s.samples = known->second.lock();
    if (s.samples) return true;
  }
  WavSound wav;
  WavError e = parse_wav(WavSource{bytes.data(), bytes.size(), memory_block}, wav);
  if (e != WavError::kNone) {
    why = wav_error_text(e);
    return false;
  }
  bytes.clear();
  bytes.shrink_to_fit();  // the data chunk's copy is all the conversion needs
  platform::PcmLayout layout{wav.format.channels, wav.format.file_channels,
                             static_cast<int>(wav.format.sample_rate), wav.format.block_align,
                             wav.format.bits_per_sample, wav.format.is_float};
  // What the conversion would hold at its peak is known before it starts.
  const uint32_t size = static_cast<uint32_t>(wav.data.size());
  const uint64_t cost = platform::mix_samples_cost(layout, size);
  if (cost > platform::kMaxSampleCost) {
    char line[160];
    std::snprintf(line, sizeof line, "converting it would take %llu MiB, more than the %llu MiB a sound may",
                  static_cast<unsigned long long>(cost >> 20),
                  static_cast<unsigned long long>(platform::kMaxSampleCost >> 20));
    why = line;
    return false;
  }
  platform::MixSamples* made = platform::mix_samples_create(layout, wav.data.data(), size);
  if (made == nullptr) {
    why = "the mixer cannot take it";
    return false;
  }
  // Freed with the last slot using it; every voice playing it was stopped by
  // then (a slot stops its voices before it lets go).
  s.samples.reset(made, platform::mix_samples_free);
  g_converted[key] = s.samples;
  return true;
}

}  // namespace

void sound_start(void*) {
  if (!g_device) g_device = std::make_unique<SoundDevice>();
  if (g_slots.empty()) g_slots.resize(kSoundSlots);
  g_device->present = platform::audio_device_open();
  if (!g_device->present) log_append("sound: no output device\n");
}

void sound_bind_window(void*) {}

void sound_shutdown(bool process_ends) {
  if (process_ends) platform::audio_device_silence_for_exit();
  for (int i = kSoundSlots - 1; i >= 0 && !g_slots.empty(); --i) release_slot(g_slots[static_cast<size_t>(i)]);
  g_slots.clear();
  g_slots.shrink_to_fit();
  g_converted.clear();
  if (!process_ends) platform::audio_device_close();
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

const void* sound_slot_samples(int slot) {
  if (g_slots.empty() || slot < 0 || slot >= kSoundSlots) return nullptr;
  return g_slots[static_cast<size_t>(slot)].samples.get();
}

int sound_converted_count() {
  forget_unused_conversions();
  return static_cast<int>(g_converted.size());
}

}  // namespace tmx::audio

using namespace tmx::audio;

void snd_load(const BasicString& file, int slot, int voices) {
  clear_error();
  if (static_cast<unsigned>(slot) >= static_cast<unsigned>(kSoundSlots)) {
    refuse_slot("snd_load", slot);
    return;
  }
  std::string resolved;
  if (!resolve_media_name(file.c_str(), resolved, true)) {
    runtime_report_failed_load("snd_load", file.c_str(), "not found");
    return;
  }
  if (g_slots.empty()) {  // no sound table: like a missing sound object
    runtime_report_failed_load("snd_load", file.c_str(), "no sound output device");
    return;
  }
  SoundSlot& s = g_slots[static_cast<size_t>(slot)];
  release_slot(s);
  s.current_voice = 0;
  s.device = g_device.get();
  int n = voices < 1 ? 1 : (voices > kMaxVoices ? kMaxVoices : voices);
  if (!device_present()) {
    s.voice_count = 0;
    runtime_report_failed_load("snd_load", file.c_str(), "no sound output device");
    return;
  }
  s.source_name = resolved;
  std::string why;
  bool ok = load_wav(s, resolved, why);
  for (int i = 0; ok && i < n; ++i) {
    s.voices[static_cast<size_t>(i)] = tmx::platform::mix_voice_open();
    ok = s.voices[static_cast<size_t>(i)] >= 0;
    if (!ok) why = "the mixer has no free voice";
  }
  s.source_name.clear();
  if (!ok) {
    release_slot(s);
    runtime_report_failed_load("snd_load", file.c_str(), why.c_str());
    return;
  }
  s.voice_count = n;
}

int snd_play(int slot, double pan, double volume) {
  // The code tells a refused slot (result 0, code 7) from channel 0 (code 0).
  clear_error();
  if (static_cast<unsigned>(slot) >= static_cast<unsigned>(kSoundSlots)) {
    refuse_slot("snd_play", slot);
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
  if (!tmx::platform::mix_voice_play(ch, s.samples.get())) return -1;
  return slot * 256 + k;
}

int snd_is_playing(int channel) {
  // The code tells a refused channel (result 0, code 7) from a silent one.
  clear_error();
  int slot = channel >> 8;
  if (slot < 0 || slot >= kSoundSlots) {
    char detail[80];
    std::snprintf(detail, sizeof detail, "channel %d: slot %d outside 0..%d", channel, slot, kSoundSlots - 1);
    runtime_report_refused("snd_is_playing", detail, TMX_ERR_OUT_OF_MEMORY);
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
