// The sound output device (SDL audio through SDL_mixer).
#pragma once

namespace tmx::platform {

// Opens the default output device as 16-bit stereo at the device's preferred
// rate when that is 44100 or more, else at 48000 samples per second (the mixer
// converts every sound and the music to it). Initialises SDL's audio subsystem
// when needed. Returns false when no device can be opened.
bool audio_device_open();
// Closes the device (halting every voice and the music first).
void audio_device_close();
// For the end of the process only: halts every voice and the music and takes
// every effect off the channels, so the sound thread touches nothing of the
// program's any more, and leaves the device open for the process's exit to
// close. Closing it instead waits for the sound thread to drain two buffers
// (about 45 ms at quit). The device stays usable; audio_device_close still
// closes it.
void audio_device_silence_for_exit();
bool audio_device_is_open();

// The device's actual format (valid while open).
int audio_device_rate();
int audio_device_channels();

}  // namespace tmx::platform
