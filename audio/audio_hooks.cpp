// Connects the sound table and the music to the runtime's start-up, frame
// loop and shutdown.
#include "audio/music.h"
#include "audio/sound.h"
#include "runtime/engine_hooks.h"
#include "tamblix/audio.h"

namespace {

struct AudioRegistrar {
  AudioRegistrar() {
    g_audio_hooks.sound_start = &tmx::audio::sound_start;
    g_audio_hooks.sound_bind_window = &tmx::audio::sound_bind_window;
    g_audio_hooks.sound_shutdown = &tmx::audio::sound_shutdown;
    g_audio_hooks.music_loop_check = &tmx::audio::music_loop_check;
    g_audio_hooks.music_stop = &mus_stop;
  }
} g_audio_registrar;

}  // namespace
