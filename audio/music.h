// The music track: one at a time, looped by the engine from the frame loop.
#pragma once

namespace tmx::audio {

// Restarts a looping track once its length has elapsed on the engine clock.
// Called once per frame, in the pause loop and in the engine's waiting loops.
void music_loop_check();

// The loop deadline: 0 not looping, > 0 the clock time of the next restart,
// < 0 looping but paused.
double music_loop_deadline();
// Whether a track is loaded (the media player exists).
bool music_loaded();
// The volume last sent (-1 none yet) and how many volume changes reached the
// player since start-up.
double music_volume_cache();
int music_volume_messages();
// The loaded track's length in milliseconds (0 when none or unknown).
double music_track_length_ms();
// The player is producing sound right now (not paused, not ended).
bool music_sounding();

// The clock used for the loop deadline (milliseconds); null restores the
// engine clock. For tests.
void music_set_clock(double (*clock_ms)());

}  // namespace tmx::audio
