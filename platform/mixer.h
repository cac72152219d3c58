// Sound buffers, mixer channels and the music stream (SDL_mixer).
//
// A sound's samples are converted once to the device format and shared by all
// voices of its slot. Each voice owns one mixer channel; the voice plays while
// its channel plays. Stopping a channel rewinds it: the next play starts at
// the first sample.
#pragma once
#include <cstdint>

namespace tmx::platform {

// ---- sound samples and voices ----

struct PcmLayout {
  int channels;         // played channels, 1 or 2
  int frame_channels;   // samples stored per frame (>= channels)
  int sample_rate;
  int block_align;      // bytes per frame
  int bits_per_sample;  // 8 (unsigned), 16, 24 or 32 (signed); 32 or 64 float
  bool is_float = false;  // IEEE floating-point samples
};

struct MixSamples;  // samples in the device format

// The most a sound may hold in memory while it is converted: the converted
// samples and the converter's working buffers together (about 50 minutes of
// 16-bit stereo at 22050 samples per second).
constexpr uint64_t kMaxSampleCost = 256ull * 1024 * 1024;
// What converting `size` bytes of PCM frames to the device format holds in
// memory at its peak, in bytes, computed before anything is converted; 0 when
// the device is not open or the layout is unusable.
uint64_t mix_samples_cost(const PcmLayout& layout, uint32_t size);
// Converts `size` bytes of PCM frames; null when the device is not open, the
// cost is above kMaxSampleCost or the conversion fails.
MixSamples* mix_samples_create(const PcmLayout& layout, const uint8_t* data, uint32_t size);
void mix_samples_free(MixSamples* samples);
// Length of the converted samples in device frames.
uint32_t mix_samples_frames(const MixSamples* samples);

// A new mixer channel for a voice, or -1.
int mix_voice_open();
// Stops the channel and gives it back.
void mix_voice_close(int channel);
bool mix_voice_playing(int channel);
// Stops the voice; its next play starts from the beginning.
void mix_voice_stop(int channel);
// Attenuation in hundredths of a decibel (0 full, -10000 silence) and pan in
// the same unit (-10000 full left .. 10000 full right, 0 centred): a positive
// pan attenuates the left side by that much, a negative one the right side.
void mix_voice_set_volume_pan(int channel, int attenuation, int pan);
// Plays the samples once from the start on the channel.
bool mix_voice_play(int channel, MixSamples* samples);

// The linear gains the attenuation and pan give (left, right).
void attenuation_pan_gains(int attenuation, int pan, float& left, float& right);

// ---- music stream ----
// One track at a time, driven like a media player: play continues from the
// current position, seek_start stops and moves to the start, stop holds the
// position, pause/resume hold and continue.

struct MusicTrack;

// Opens a file for playback; null when it cannot be decoded.
MusicTrack* music_open(const char* path);
void music_close(MusicTrack* track);
void music_play(MusicTrack* track);
void music_seek_start(MusicTrack* track);
void music_stop(MusicTrack* track);
void music_pause(MusicTrack* track);
void music_resume(MusicTrack* track);
// Milliseconds: length of the track (0 when unknown), current position, end.
double music_length_ms(MusicTrack* track);
double music_position_ms(MusicTrack* track);
double music_end_ms(MusicTrack* track);
// 0..1000 (1000 normal); larger values play at full volume.
void music_set_volume(MusicTrack* track, int volume);
// Whether the mixer is producing the track's sound right now.
bool music_sounding(MusicTrack* track);
bool music_paused(MusicTrack* track);
// A looping track goes from its end straight back to its start inside the
// mixer, without a gap (set before play; the next play starts the loop).
void music_set_looping(MusicTrack* track, bool looping);
// Whether the mixer is looping the track right now (playing or paused).
bool music_loops_itself(MusicTrack* track);

}  // namespace tmx::platform

namespace tmx::platform {
// The device closed: every channel and the music stream are gone.
void mix_forget_device_state();
}  // namespace tmx::platform
