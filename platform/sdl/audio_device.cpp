#include "platform/audio_device.h"
#include "platform/mixer.h"

#include <SDL.h>
#include <SDL_mixer.h>

namespace tmx::platform {

namespace {
bool g_open = false;
bool g_inited_subsystem = false;
int g_rate = 0;
int g_channels = 0;
constexpr int kPreferredRate = 48000;

// Every voice and the music stopped, and no effect left on any channel.
void halt_all() {
  Mix_HaltMusic();
  Mix_HaltChannel(-1);
  const int channels = Mix_AllocateChannels(-1);
  for (int ch = 0; ch < channels; ++ch) Mix_UnregisterAllEffects(ch);
  Mix_UnregisterAllEffects(MIX_CHANNEL_POST);
}
}  // namespace

bool audio_device_open() {
  if (g_open) return true;
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    g_inited_subsystem = true;
  }
  // MP3 music decodes through mpg123; a missing decoder only loses music.
  Mix_Init(MIX_INIT_MP3);
  // The device's own rate when it names a full-band one (no resampling in the
  // sound server), else 48000: music keeps everything up to 20 kHz and the
  // effects are resampled once, at load.
  int rate = kPreferredRate;
  SDL_AudioSpec preferred;
  if (SDL_GetDefaultAudioInfo(nullptr, &preferred, 0) == 0 && preferred.freq >= 44100 &&
      preferred.freq <= 192000)
    rate = preferred.freq;
  // About 21 ms of buffer at 48000, as 512 frames were at 22050.
  const int buffer = rate > 24000 ? 1024 : 512;
  if (Mix_OpenAudioDevice(rate, AUDIO_S16SYS, 2, buffer, nullptr, 0) != 0) {
    Mix_Quit();
    if (g_inited_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_inited_subsystem = false;
    return false;
  }
  Uint16 fmt = 0;
  Mix_QuerySpec(&g_rate, &fmt, &g_channels);
  g_open = true;
  return true;
}

void audio_device_close() {
  if (!g_open) return;
  halt_all();
  Mix_CloseAudio();
  mix_forget_device_state();
  Mix_Quit();
  if (g_inited_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  g_inited_subsystem = false;
  g_open = false;
}

void audio_device_silence_for_exit() {
  if (g_open) halt_all();
}

bool audio_device_is_open() { return g_open; }
int audio_device_rate() { return g_rate; }
int audio_device_channels() { return g_channels; }

}  // namespace tmx::platform
