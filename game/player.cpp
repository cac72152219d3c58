// The controls, the hero's movement in states 1..4 and the hero's drawing.
#include "skorvane.h"

using namespace skorvane;

namespace {

// Each control is the "or" of its inputs, evaluated left to right; the
// joystick counts only when one is attached.
bool joystick() { return inp_joy_count() >= 1; }

double control_up() {
  return inp_key(TMX_KEY_UP) || inp_key(TMX_KEY_W) ||
         (joystick() && (inp_joy_y(0) < -0.9 || inp_joy_digi_y(0) == -1));
}
double control_down() {
  return inp_key(TMX_KEY_DOWN) || inp_key(TMX_KEY_X) || inp_key(TMX_KEY_S) ||
         (joystick() && (inp_joy_y(0) > 0.9 || inp_joy_digi_y(0) == 1));
}
double control_left() {
  return inp_key(TMX_KEY_LEFT) || inp_key(TMX_KEY_A) ||
         (joystick() && (inp_joy_x(0) < -0.9 || inp_joy_digi_x(0) == -1));
}
double control_right() {
  return inp_key(TMX_KEY_RIGHT) || inp_key(TMX_KEY_D) ||
         (joystick() && (inp_joy_x(0) > 0.9 || inp_joy_digi_x(0) == 1));
}
bool control_action() {
  return inp_key(TMX_KEY_SPACE) || inp_key(TMX_KEY_UP) || inp_key(TMX_KEY_Z) || inp_key(TMX_KEY_W) ||
         (joystick() && (inp_joy_button(0, 0) > 0.9 || inp_joy_button(0, 1) > 0.9 ||
                         inp_joy_button(0, 2) > 0.9 || inp_joy_y(0) < -0.9 || inp_joy_digi_y(0) == -1));
}

// Walk frames advance every second frame and cycle 1..7.
void walk_animation() {
  g.anim_step -= 1;
  if (g.anim_step < 0) {
    g.anim_step = 1;
    g.anim_frame += 1;
    if (g.anim_frame >= 8) g.anim_frame = 1;
  }
}

// Up to three steps of braking of a speed to the left, or to the right.
void brake_leftward() {
  for (int i = 0; i < 3; ++i)
    if (g.hero_vx < 0) g.hero_vx += 1;
}
void brake_rightward() {
  for (int i = 0; i < 3; ++i)
    if (g.hero_vx > 0) g.hero_vx -= 1;
}

// Three steps of braking towards standstill.
void brake() {
  brake_leftward();
  brake_rightward();
}

void update_on_foot() {
  if (g.key_left == 1 && g.key_right == 0) {
    brake_rightward();
    g.hero_vx -= 1;
    if (g.hero_vx < -12) g.hero_vx = -12;
    walk_animation();
    if (g.hero_facing == 1) g.anim_frame = 9;  // the turn frame
    g.hero_facing = 0;
  }
  if (g.key_right == 1 && g.key_left == 0) {
    brake_leftward();
    g.hero_vx += 1;
    if (g.hero_vx > 12) g.hero_vx = 12;
    walk_animation();
    if (g.hero_facing == 0) g.anim_frame = 9;
    g.hero_facing = 1;
  }
  if (g.key_left == 0 && g.key_right == 0) {
    brake();
    g.anim_frame = 0;
    g.anim_step = 0;
  }
  if (g.key_left == 1 && g.key_right == 1) {
    brake();
    g.anim_frame = 9;
    g.anim_step = 0;
  }
  if (g.key_down == 1) {
    g.game_state = kDucking;
    snd_play(7, 0, 1);
  }
  if (g.action_hold == 1 && g.key_down == 0) {
    g.game_state = kJumping;
    g.hero_vy = -20;
    snd_play(11 + rt_rnd(1), 0, 1);
  }
}

// The hero stays where it ducked while its speed runs down.
void update_ducking() {
  if (g.hero_vx < 0) g.hero_vx += 1;
  if (g.hero_vx > 0) g.hero_vx -= 1;
  g.hero_x -= g.hero_vx;  // cancels this frame's travel
  if (g.key_down == 0) g.game_state = kOnFoot;
}

// Left and right steer in the air; no braking, no walk animation.
void air_control() {
  if (g.key_left == 1) {
    g.hero_vx -= 1;
    if (g.hero_vx < -12) g.hero_vx = -12;
    g.hero_facing = 0;
  }
  if (g.key_right == 1) {
    g.hero_vx += 1;
    if (g.hero_vx > 12) g.hero_vx = 12;
    g.hero_facing = 1;
  }
}

void update_jumping() {
  if (g.hero_vy < 0) g.hero_vy += 2;
  if (g.hero_vy == 0) g.game_state = kFalling;
  g.hero_y += g.hero_vy;
  air_control();
}

void update_falling() {
  g.hero_vy += 3;
  g.hero_y += g.hero_vy;
  const double ground = rt_mod(ix(g.level), 2) * 200 + 120;
  if (g.hero_y > ground) {
    g.hero_y = ground;
    g.hero_vy = 0;
    g.game_state = kOnFoot;
  }
  air_control();
}

}  // namespace

namespace skorvane {

// Step 2.
void read_controls() {
  g.key_up = control_up();
  g.key_down = control_down();
  g.key_left = control_left();
  g.key_right = control_right();
  if (control_action()) {
    g.action_hold += 1;
    if (g.action_hold > 2) g.action_hold = 2;
  } else {
    g.action_hold = 0;
  }
}

// Step 4 for the play states 1..4.
void update_hero_state() {
  switch (ix(g.game_state)) {
    case kOnFoot: update_on_foot(); break;
    case kDucking: update_ducking(); break;
    case kJumping: update_jumping(); break;
    case kFalling: update_falling(); break;
    default: break;
  }
}

// Step 9.
void draw_hero() {
  if (rt_mod(ix(g.level), 2) == 1) {
    // The glow on floor 1.
    gfx_alpha_mode(0.1);
    gfx_draw_sprite_scaled(2, ix(g.hero_x - 24), ix(g.hero_y - 8), 80, 80);
    gfx_draw_sprite(2, ix(g.hero_x - 16), ix(g.hero_y));
    gfx_draw_sprite_scaled(2, ix(g.hero_x - 8), ix(g.hero_y + 8), 48, 48);
    gfx_alpha_mode(-1);
  }
  gfx_alpha_mode(-1);

  const int state = ix(g.game_state);
  const double row = g.hero_facing * 12;
  switch (state) {
    case kOnFoot:
      gfx_draw_anim(1, ix(row + g.anim_frame), ix(g.hero_x), ix(g.hero_y));
      // Footsteps on walk frames 3 and 7.
      if (g.anim_frame == 3) snd_play(13 + rt_rnd(2), 0, 0.5);
      if (g.anim_frame == 7) snd_play(16 + rt_rnd(2), 0, 0.5);
      break;
    case kDucking:
      gfx_draw_anim(1, ix(row + 8), ix(g.hero_x), ix(g.hero_y));
      break;
    case kJumping:
      gfx_draw_anim(1, ix(row + 6), ix(g.hero_x), ix(g.hero_y));
      break;
    case kFalling:
      gfx_draw_anim(1, ix(row + 7), ix(g.hero_x), ix(g.hero_y));
      break;
    case kDrop:
    case kRise:
      gfx_draw_anim(1, ix(g.anim_frame), ix(g.hero_x), ix(g.hero_y));
      break;
    case kHitWaitRelease:
    case kHitWaitControl: {
      // The hit hero blinks: additive on every other frame.
      const bool odd = (static_cast<long long>(g.time_frac) % 2) != 0;
      if (odd) gfx_alpha_mode(1);
      gfx_draw_anim(1, 21, ix(g.hero_x), ix(g.hero_y));
      if (odd) gfx_alpha_mode(-1);
      break;
    }
    default:
      break;  // not drawn outside a run
  }
}

}  // namespace skorvane
