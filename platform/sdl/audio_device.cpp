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
}  // namespace

bool audio_device_open() {
  if (g_open) return true;
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    g_inited_subsystem = true;
  }
  // MP3 music decodes through mpg123; a missing decoder only loses music.
  Mix_Init(MIX_INIT_MP3);
  if (Mix_OpenAudioDevice(22050, AUDIO_S16SYS, 2, 512, nullptr, 0) != 0) {
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
  Mix_HaltMusic();
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  mix_forget_device_state();
  Mix_Quit();
  if (g_inited_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  g_inited_subsystem = false;
  g_open = false;
}

bool audio_device_is_open() { return g_open; }
int audio_device_rate() { return g_rate; }
int audio_device_channels() { return g_channels; }

}  // namespace tmx::platform
