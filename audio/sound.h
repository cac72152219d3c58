// The sound table: 4096 slots of up to four voices each.
#pragma once

namespace tmx::audio {

constexpr int kSoundSlots = 4096;
constexpr int kMaxVoices = 4;

// Start-up: the SoundDevice and the empty sound table, then sound_init (opens
// the output device; without one the program runs silently).
void sound_start(void* window);
// The sound object cooperates with this window (nothing to do with SDL).
void sound_bind_window(void* window);
// Program end: every slot released (4095..0), the table freed, the device closed.
// Frees every sound and closes the device; with process_ends (the process
// exits right after) the device is only silenced and exit closes it.
void sound_shutdown(bool process_ends = false);

bool sound_table_exists();
bool sound_device_present();
// A slot's voice count (0 when empty or out of range).
int sound_voice_count(int slot);
// The mixer channel of a voice, -1 when none.
int sound_voice_mixer_channel(int slot, int voice);
// The converted samples a slot plays (null when empty); slots that loaded the
// same file share one.
const void* sound_slot_samples(int slot);
// How many files' converted samples are held (each once, however many slots
// use it).
int sound_converted_count();

}  // namespace tmx::audio
