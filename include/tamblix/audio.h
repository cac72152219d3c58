// Sound effects and music.
#pragma once
#include <cstdint>

class BasicString;

// ---- commands the game relies on (names and signatures are fixed) ----

// Loads a WAV into the slot, playable up to `voices` times at once.
void snd_load(const BasicString& file, int slot, int voices);
// Starts the sound on a free voice; returns the channel slot * 256 + voice.
int snd_play(int slot, double pan, double volume);
// Stops any music and plays the file from the start; loops when loop != 0.
void mus_play(const BasicString& file, int loop);
void mus_stop();

// ---- further sound and music commands ----

// 1 while the voice of the channel (slot * 256 + voice) plays, else 0.
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
