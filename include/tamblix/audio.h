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
