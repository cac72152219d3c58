// Start-up of the main routine: media, window, surface, rate and tables.
#include "skorvane.h"

using namespace skorvane;

namespace {

// Sound slots 1..22, in slot order (slot 10 is loaded but never played).
const char* const kSoundFiles[22] = {
    "Aagh1.wav",                  //  1 the hero dies
    "Cloud 2.wav",                //  2 the cloud reads a column
    "Death 1.wav",                //  3 death, random pick 3..6
    "Death 4.wav",                //  4
    "Death 6.wav",                //  5
    "Death 1.wav",                //  6
    "Duck Hi.wav",                //  7 duck
    "Goal Get - Down.wav",        //  8 goal of floor 0
    "Goal Get - Up.wav",          //  9 goal of floor 1
    "Death 1.wav",                // 10
    "Jump Hup High 1.wav",        // 11 jump, random pick 11..12
    "Jump Hup High 2.wav",        // 12
    "Left Mix 1.wav",             // 13 footstep on walk frame 3
    "Left Mix 2.wav",             // 14
    "Left Mix 3.wav",             // 15
    "Right Mix 1.wav",            // 16 footstep on walk frame 7
    "Right Mix 2.wav",            // 17
    "Right Mix 3.wav",            // 18
    "Obstacle Hits Floor 1.wav",  // 19 a falling block passes the floor
    "Obstacle Hits Floor 2.wav",  // 20
    "Obstacle Hits Floor 3.wav",  // 21
    "Obstacle Hits Floor 4.wav",  // 22
};

const double kTumbleFrames[8] = {21, 0, 10, 11, 9, 23, 22, 12};
const double kMarkerOffsets[6] = {0, 32, 64, 96, 64, 32};

// The window: 90 % of the desktop, at the playfield's aspect of 1.6.
void size_window() {
  gfx_get_screen_size(g.screen_w, g.screen_h);
  g.screen_w = g.screen_w - g.screen_w * 0.1;
  g.screen_h = g.screen_h - g.screen_h * 0.1;
  if (g.screen_h > g.screen_w) g.screen_h = g.screen_w / 1.6;
  if (g.screen_w / g.screen_h > 1.6) g.screen_w = g.screen_h * 1.6;
  if (g.screen_w / g.screen_h < 1.6) g.screen_h = g.screen_w / 1.6;
  sys_set_screen(ix(g.screen_w), ix(g.screen_h), 0);
}

}  // namespace

void game_startup() {
  // 1. The media directory.
  sys_set_current_dir(BasicString("Media"));
  if (sys_file_exists(BasicString("bkg.png")) == 0) sys_set_current_dir(BasicString("Contents/Resources/Media"));

  // 2. The font.
  gfx_load_font(BasicString("Valk640.png"), 2);
  gfx_set_font(2, 1.0);

  // 3. The window.
  size_window();

  // 4. The playfield surface: screen 1 shown as sprite 200.
  gfx_create_screen(1, 200, 640, 400);
  gfx_use_screen(1);

  // 5. 30 frames per second.
  sys_limit_fps(30, 1);

  // 6. Sprites.
  gfx_load_sprite(BasicString("bkg.png"), 0);
  gfx_load_sprite(BasicString("hero.png"), 1);
  gfx_set_sprite_anim(1, 32, 64);
  gfx_load_sprite(BasicString("light.bmp"), 2);

  // 7. Sounds, 4 voices each.
  for (int slot = 1; slot <= 22; ++slot) snd_load(BasicString(kSoundFiles[slot - 1]), slot, 4);

  // 8. The particle pool.
  g.particle_max = 512;
  arr_dim(particles, ix(g.particle_max));

  // 9. The number tables.
  rt_dim_data(tumble_frames, 8, kTumbleFrames);
  rt_dim_data(marker_offsets, 6, kMarkerOffsets);

  // 10. The obstacle ring and the level rows (rows 40..63 stay empty).
  arr_dim(obstacles, kObstacleSlots);
  arr_dim(level_rows, kLevelRowSlots);
  for (int r = 0; r < kLevelCount; ++r) level_rows(r) = BasicString(kLevelTable[r]);

  // 11. The title screen.
  g.running = 1;
  g.game_state = kTitle;
  g.level = -1;
}

double game_main() {
  game_startup();
  while (g.running > 0) game_frame();
  return 0;
}
