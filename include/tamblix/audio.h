// Sound effects and music.
#pragma once
#include <cstdint>

class BasicString;

// ---- commands the game relies on (names and signatures are fixed) ----

// Loads a WAV into the slot (0..4095), playable up to `voices` times at once
// (clamped to 1..4). Clears the error code first. A slot out of range: error 7;
// a file that is missing or cannot be loaded (or no sound output device):
// error 3 and an empty slot. Each failure writes one line to ErrorLog.txt
// naming the file and the reason ("snd_load: boom.wav: not found").
void snd_load(const BasicString& file, int slot, int voices);
// Starts the sound on a free voice; returns the channel slot * 256 + voice,
// or -1 when nothing could be played (an empty slot, no free voice, no sound
// output device; no error code). A slot outside 0..4095 returns 0, which is
// also the channel of slot 0's first voice: snd_play clears the error code
// first, so error 7 after the call tells the refusal apart (with a log line).
int snd_play(int slot, double pan, double volume);
// Stops any music and plays the file from the start; loops when loop != 0.
// Clears the error code first; a file that is missing or cannot be decoded:
// error 3, a log line, and no music.
void mus_play(const BasicString& file, int loop);
void mus_stop();

// ---- further sound and music commands ----

// 1 while the voice of the channel (slot * 256 + voice) plays, else 0. Clears
// the error code first: a channel whose slot is outside 0..4095 also gives 0,
// with error 7 and a log line.
int snd_is_playing(int channel);
// Stops the voice (a voice part at or above the slot's voice count stops them all).
void snd_stop(int channel);
void snd_stop_all();
// The highest empty sound slot, or -1 (error 7).
int snd_gen_sound();

// 1 while the music plays (looping music counts as playing while loaded).
int mus_is_playing();
// Nonzero pauses, 0 resumes.
void mus_pause(int pause);
// 0..1 (1 normal).
void mus_volume(double volume);
// Back to the start and playing.
void mus_rewind();
