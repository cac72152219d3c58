// The main loop's frame and the run's start, completion and end.
#include "skorvane.h"

using namespace skorvane;

namespace {

bool in_run() { return g.game_state >= 0 && g.game_state <= 900; }

// 128 single particles at the goal, each with its own light colour
// (the random numbers drawn for blue, green, red in that order).
void goal_burst(double x, double y) {
  for (int i = 0; i < 128; ++i) {
    double blue = rt_rnd(127) + 128;
    double green = rt_rnd(127) + 128;
    double red = rt_rnd(127) + 128;
    particles_spawn(x, y, 1, red, green, blue);
  }
}

// Step 3: reaching the goal of the current floor starts the drop or the rise.
void goal_test() {
  if (g.game_state < kOnFoot || g.game_state > kFalling) return;
  if (rt_mod(ix(g.level), 2) == 0) {
    if (rt_box_collide(ix(g.hero_x), ix(g.hero_y), 32, 64, 608, 136, 16, 16)) {
      goal_burst(616, 144);
      g.game_state = kDrop;
      g.anim_step = 0;
      g.hero_vx = 2;
      g.lives = g.lives + 1;
      if (g.lives > 40) g.lives = 40;
      snd_play(8, 0, 0.5);
    }
  } else {
    if (rt_box_collide(ix(g.hero_x), ix(g.hero_y), 32, 64, 16, 336, 16, 16)) {
      goal_burst(24, 344);
      g.game_state = kRise;
      g.anim_step = 0;
      g.hero_vx = -2;
      g.lives = g.lives + 1;
      snd_play(9, 0, 0.5);
    }
  }
}

// The tumble animation of the drop and the rise.
void tumble() {
  g.anim_frame = tumble_frames(ix(g.anim_step));
  g.anim_step += 1;
  if (g.anim_step >= 8) g.anim_step = 0;
}

// Landing after the drop or the rise: the hero stands at the start of the
// floor it reached, the floor it left is cleared, and the next level begins.
void land(double hero_x, double hero_y, double facing, double spawn_col, double floor_left) {
  g.hero_y = hero_y;
  g.hero_x = hero_x;
  g.hero_vx = g.hero_vy = 0;
  g.hero_facing = facing;
  g.anim_step = 0;
  g.anim_frame = 9;
  g.spawn_col = spawn_col;
  clear_floor(floor_left);
  g.game_state = kOnFoot;
  g.level += 1;
}

// State 5: the hero tumbles down to floor 1.
void update_drop() {
  g.hero_y += 16;
  tumble();
  if (g.hero_y >= 320) {
    land(608, 320, 0, 16, 0);
    if (g.level >= 40) complete_run();
  }
}

// State 6: the hero tumbles up to floor 0.
void update_rise() {
  g.hero_y -= 16;
  tumble();
  if (g.hero_y <= 120) land(0, 120, 1, 2, 1);
}

// Step 4.
void update_state() {
  const int state = ix(g.game_state);
  switch (state) {
    case kOnFoot:
    case kDucking:
    case kJumping:
    case kFalling:
      update_hero_state();
      break;
    case kDrop:
      update_drop();
      break;
    case kRise:
      update_rise();
      break;
    case kHitWaitRelease:
      if (g.key_up == 0 && g.key_down == 0 && g.key_left == 0 && g.key_right == 0 && g.action_hold == 0)
        g.game_state = kHitWaitControl;
      break;
    case kHitWaitControl:
      if (g.key_up == 1 || g.key_down == 1 || g.key_left == 1 || g.key_right == 1 || g.action_hold == 1)
        g.game_state = kOnFoot;
      break;
    default:
      break;
  }
}

// Step 5: horizontal travel, in every state, clamped to the playfield.
void travel() {
  g.hero_x += g.hero_vx;
  if (g.hero_x > 608) {
    g.hero_x = 608;
    g.hero_vx = 0;
  }
  if (g.hero_x < 0) {
    g.hero_x = 0;
    g.hero_vx = 0;
  }
}

// Step 10: the goal marker cycles through its six frames, one every 4 frames.
void marker_clock() {
  g.marker_timer -= 1;
  if (g.marker_timer < 0) {
    g.marker_timer = 3;
    g.marker_frame += 1;
    if (g.marker_frame > 5) g.marker_frame = 0;
  }
}

// The run clock: 3333 units of 1/100000 s per frame.
void advance_run_clock() {
  g.time_frac += 3333;
  if (g.time_frac > 100000) {
    g.time_frac -= 100000;
    g.time_sec += 1;
    if (g.time_sec > 59) {
      g.time_sec -= 60;
      g.time_min += 1;
    }
  }
}

// Step 13: particles, then the surface stretched over the window with the
// shake, and the frame ends.
void present() {
  particles_update();
  gfx_use_screen(-1);
  const double a = rt_rnd(2);
  const double b = rt_rnd(2);
  const double offset_y = ix((a - 1) * g.shake_y);
  const double offset_x = ix((b - 1) * g.shake_x);
  gfx_draw_sprite_scaled(200, ix(offset_x), ix(offset_y), ix(g.screen_w), ix(g.screen_h));
  if (g.shake_x > 0) g.shake_x -= 0.5;
  if (g.shake_y > 0) g.shake_y -= 0.5;
  sys_show_screen();
  gfx_use_screen(1);
}

void silence_music() {
  mus_play(BasicString("blank.mp3"), 0);
  mus_stop();
}

}  // namespace

namespace skorvane {

// On the title screen, at the action press.
void start_run() {
  g.hero_facing = 1;
  g.hero_y = 120;
  g.anim_frame = 9;
  g.spawn_col = 2;
  g.hero_x = g.hero_vx = g.hero_vy = 0;
  g.lives = 0;
  g.anim_step = 0;
  g.cloud_x = 0;
  g.spawn_slot = 0;
  g.game_state = kOnFoot;
  g.level = 0;
  g.time_min = g.time_sec = g.time_frac = 0;
  mus_play(BasicString("music.mp3"), 1);
}

// The goal of the last level was reached.
void complete_run() {
  g.game_state = kRunComplete;
  g.level = -1;
  g.end_lives = g.lives;
  g.count_up = 0;
  g.level_reached = 40;
  g.end_min = g.time_min;
  g.end_sec = g.time_sec;
  g.end_frac = g.time_frac;
  silence_music();
}

// No spare life left.
void end_run() {
  g.game_state = kGameOver;
  g.level = -1;
  g.hero_x = g.hero_y = 1024;
  for (int i = 0; i < kObstacleSlots; ++i) obstacles(i).phase = 0;
  silence_music();
  g.count_up = 0;
  g.lives = 1;  // so that the lives test does not fire again
}

}  // namespace skorvane

void game_frame() {
  // 1. Background.
  gfx_draw_sprite(0, 0, 0);
  // 2. Controls.
  read_controls();
  // 3. Goal.
  goal_test();
  // 4. State update.
  update_state();
  // 5. Horizontal travel.
  travel();
  // 6. Cloud and level rows.
  update_cloud();
  // 7. Obstacles and their collisions with the hero.
  update_obstacles();
  // 8. Floors and obstacles.
  draw_floors_and_obstacles();
  // 9. Hero.
  draw_hero();
  // 10. Goal-marker clock, cloud and goal marker.
  marker_clock();
  draw_cloud_and_marker();
  // 11. Lives.
  if (g.lives < 0) end_run();
  // 12. Run clock and HUD, or the screen of the state.
  if (in_run()) {
    advance_run_clock();
    draw_hud();
  } else if (g.game_state == kTitle) {
    title_screen();
  } else if (g.game_state == kGameOver) {
    game_over_screen();
  } else if (g.game_state == kRunComplete) {
    run_complete_screen();
  }
  // 13. Present.
  present();
  // 14. The loop repeats in game_main.
}
