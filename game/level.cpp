// The cloud, the obstacle ring and its life cycle, and the playfield drawing.
#include "skorvane.h"

using namespace skorvane;

namespace {

constexpr int kWhite = 0xFFFFFF;

int colour(double red, double green, double blue) {
  return ix(red) + 256 * ix(green) + 65536 * ix(blue);
}

bool is_block(const Obstacle& o) { return o.kind >= 1 && o.kind <= 4; }

// Fills the slot spawn_slot, then moves the ring on.
void place(double kind, double floor, double x, double y) {
  Obstacle& o = obstacles(ix(g.spawn_slot));
  o.live = 1;
  o.phase = 1;
  o.kind = kind;
  o.floor = floor;
  o.x = x;
  o.y = y;
  if (kind >= 5) {
    o.spawn_x = x;
    o.spawn_y = y;
  } else {
    o.spawn_y = 16;
  }
}

void advance_ring() {
  g.spawn_slot += 1;
  if (g.spawn_slot >= kObstacleSlots) g.spawn_slot = 0;
}

// The one character at `position` of the level row, or "" past its end.
BasicString row_character(double row, double position) {
  const BasicString& s = level_rows(ix(row));
  const int p = ix(position);
  if (p < 0 || static_cast<uint32_t>(p) >= s.length()) return BasicString();
  const char c[2] = {s.c_str()[p], 0};
  return BasicString(c);
}

bool on_current_floor(const Obstacle& o) {
  return rt_mod(ix(o.floor), 2) == rt_mod(ix(g.level), 2);
}

// Hazards hit with a 24 x 24 box inset by 4; a ducking hero offers only its
// lower half.
void hazard_hit_test(Obstacle& o) {
  if (!(g.game_state < kDrop && o.live == 1)) return;
  bool hit;
  if (g.game_state == kDucking)
    hit = rt_box_collide(ix(g.hero_x), ix(g.hero_y + 32), 32, 32, ix(o.x + 4), ix(o.y + 4), 24, 24);
  else
    hit = rt_box_collide(ix(g.hero_x), ix(g.hero_y), 32, 64, ix(o.x + 4), ix(o.y + 4), 24, 24);
  if (hit) {
    o.live = 0;
    PlyrDie();
  }
}

// Blocks fall 8 pixels per frame until they rest on the floor tiles.
void update_block(Obstacle& o) {
  const double off = o.floor * 200;
  const double limit = off + 184 - 16 * o.kind;
  if (o.y < limit) o.y += 8;
  if (o.y == off + 112) snd_play(19 + rt_rnd(3), 0, 1);
  if (rt_box_collide(ix(g.hero_x + 3), ix(g.hero_y + 3), 26, 58, ix(o.x), ix(o.y), 32, ix(16 * o.kind)))
    PlyrDie();
}

// Hazards cycle: wait, slide along the top, drop, run along the floor,
// return unseen.
void update_hazard(Obstacle& o) {
  const double off = o.floor * 200;
  switch (ix(o.phase)) {
    case 1:  // waiting
      if (on_current_floor(o)) o.phase = 2;
      break;
    case 2:  // slide along the top to the goal end
      if (o.floor == 0) {
        o.x += 8;
        if (o.x > 544) {
          o.x = 544;
          o.phase = 3;
        }
      } else {
        o.x -= 8;
        if (o.x < 64) {
          o.x = 64;
          o.phase = 3;
        }
      }
      hazard_hit_test(o);
      break;
    case 3: {  // drop to its height
      const double height = off + 152 - 32 * (o.kind - 5);
      o.y += 8;
      if (o.y >= height) {
        o.y = height;
        o.phase = 4;
      }
      hazard_hit_test(o);
      break;
    }
    case 4:  // run towards the hero's start
      if (o.floor == 0) {
        o.x -= 8;
        if (o.x <= -32) {
          o.phase = 5;
          o.live = 0;
        }
      } else {
        o.x += 8;
        if (o.x >= 640) {
          o.phase = 5;
          o.live = 0;
        }
      }
      hazard_hit_test(o);
      break;
    case 5:  // hidden return to the top at the hero's start side
      o.y += 8;
      if (o.y >= off + 152) {
        o.phase = 1;
        o.live = 1;
        o.y = off + 16;
        if (o.floor == 0)
          o.x = -32;
        else
          o.x = (o.kind == 5) ? 632 : 640;
      }
      break;
    default:
      break;
  }
}

void quad(double x0, double y0, double tx0, double ty0, double x1, double y1, double tx1, double ty1,
          double x2, double y2, double tx2, double ty2, double x3, double y3, double tx3, double ty3,
          int c0 = kWhite, int c1 = kWhite, int c2 = kWhite, int c3 = kWhite) {
  gfx_start_poly(1, 0);
  gfx_poly_vertex(x0, y0, tx0, ty0, c0);
  gfx_poly_vertex(x1, y1, tx1, ty1, c1);
  gfx_poly_vertex(x2, y2, tx2, ty2, c2);
  gfx_poly_vertex(x3, y3, tx3, ty3, c3);
  gfx_end_poly();
}

void draw_block(const Obstacle& o) {
  const double x = o.x, y = o.y;
  switch (ix(o.kind)) {
    case 1: quad(x, y, 64, 128, x, y + 16, 64, 192, x + 32, y + 16, 96, 192, x + 32, y, 96, 128); break;
    case 2: quad(x, y, 64, 144, x, y + 32, 64, 192, x + 32, y + 32, 96, 192, x + 32, y, 96, 144); break;
    case 3: quad(x, y, 64, 144, x, y + 48, 64, 192, x + 32, y + 48, 96, 192, x + 32, y, 96, 144); break;
    case 4: quad(x, y, 32, 128, x, y + 64, 32, 192, x + 32, y + 64, 64, 192, x + 32, y, 64, 144); break;
    default: break;
  }
}

// A random colour of the hazard's family, one per vertex.
int hazard_colour(double kind) {
  if (kind == 5) return colour(255, 127 * rt_rnd(2) + 1, 0);   // red, orange, yellow
  if (kind == 6) return colour(0, 128 + 127 * rt_rnd(1), 0);   // green
  return colour(0, 127 * rt_rnd(2) + 1, 255);                   // blue
}

void draw_hazard(const Obstacle& o) {
  const double x = o.x, y = o.y;
  gfx_alpha_mode(0.1);
  gfx_draw_sprite_scaled(2, ix(x - 8), ix(y - 8), 48, 48);
  gfx_draw_sprite(2, ix(x - 16), ix(y - 16));
  gfx_draw_sprite_scaled(2, ix(x - 24), ix(y - 24), 80, 80);
  gfx_alpha_mode(0.99);
  gfx_start_poly(1, 0);
  gfx_poly_vertex(x, y, 160, 160, hazard_colour(o.kind));
  gfx_poly_vertex(x, y + 32, 160, 192, hazard_colour(o.kind));
  gfx_poly_vertex(x + 32, y + 32, 192, 192, hazard_colour(o.kind));
  gfx_poly_vertex(x + 32, y, 192, 160, hazard_colour(o.kind));
  gfx_end_poly();
  gfx_alpha_mode(-1);
}

// The 32 x 64 cloud picture laid on its side at (draw_x, draw_y).
void draw_cloud() {
  const double x = g.draw_x, y = g.draw_y;
  quad(x, y, 0, 192, x, y + 32, 32, 192, x + 64, y + 32, 32, 128, x + 64, y, 0, 128);
}

int marker_colour() {
  const double red = rt_rnd(191) + 64;
  const double green = rt_rnd(191) + 64;
  const double blue = rt_rnd(191) + 64;
  return colour(red, green, blue);
}

void draw_goal_marker() {
  const double x = g.draw_x, y = g.draw_y;
  const double m = marker_offsets(ix(g.marker_frame));
  gfx_start_poly(1, 0);
  gfx_poly_vertex(x, y, m, 224, marker_colour());
  gfx_poly_vertex(x, y + 32, m, 256, marker_colour());
  gfx_poly_vertex(x + 32, y + 32, m + 32, 256, marker_colour());
  gfx_poly_vertex(x + 32, y, m + 32, 224, marker_colour());
  gfx_end_poly();
}

}  // namespace

namespace skorvane {

// Places the character row_char on `floor` at (x, y).
void place_row_char(double floor, double x, double y) {
  const BasicString& c = g.row_char;
  const char letter = c.length() == 1 ? c.c_str()[0] : 0;
  if (!(c == "A")) snd_play(2, 0, 0.25);
  if (letter >= 'B' && letter <= 'E') {
    place(letter - 'B' + 1, floor, x, y);
    advance_ring();
  } else if (letter == 'F' || letter == 'K' || letter == 'P') {
    place(letter == 'F' ? 5 : letter == 'K' ? 6 : 7, floor, x, y);
    advance_ring();
  } else if ((letter >= 'G' && letter <= 'J') || (letter >= 'L' && letter <= 'O') ||
             (letter >= 'Q' && letter <= 'T')) {
    const char first = letter <= 'J' ? 'G' : letter <= 'O' ? 'L' : 'Q';
    place(letter <= 'J' ? 5 : letter <= 'O' ? 6 : 7, floor, x, y);
    advance_ring();
    place(letter - first + 1, floor, x, y);
    advance_ring();
  } else if (letter == 'A') {
    // nothing
  } else {
    advance_ring();  // an unknown or empty read places nothing
  }
}

// Step 6: the cloud crosses the half the hero is not on and reads one column
// of the level row each time it reaches the next column.
void update_cloud() {
  const int parity = rt_mod(ix(g.level), 2);
  if (parity == 0) {  // prepares floor 1
    g.cloud_x += 12;
    if (g.cloud_x > 656) g.cloud_x = 656;
    if (rt_box_collide(ix(g.cloud_x - 32), 200, 32, 32, ix(g.spawn_col * 32), 200, 32, 32) && g.cloud_x > 64 &&
        g.cloud_x < 576) {
      g.row_char = row_character(g.level, 19 - g.spawn_col);
      place_row_char(1, 608 - 32 * g.spawn_col, 216);
      g.spawn_col += 1;
    }
  } else if (parity == 1) {  // prepares floor 0
    g.cloud_x -= 12;
    if (g.cloud_x < -48) g.cloud_x = -48;
    if (rt_box_collide(ix(g.cloud_x), 0, 32, 32, ix(g.spawn_col * 32), 0, 32, 32) && g.cloud_x > 32) {
      g.row_char = row_character(g.level, 18 - g.spawn_col);
      place_row_char(0, 576 - 32 * g.spawn_col, 16);
      g.spawn_col -= 1;
    }
  }
}

// Step 7.
void update_obstacles() {
  for (int i = 0; i < kObstacleSlots; ++i) {
    Obstacle& o = obstacles(i);
    if (o.phase == 0) continue;
    if (is_block(o))
      update_block(o);
    else
      update_hazard(o);
  }
}

// Step 8.
void draw_floors_and_obstacles() {
  for (int i = 0; i < 20; ++i) {
    const double x = 32 * i;
    quad(x, 184, 192, 176, x, 200, 192, 192, x + 32, 200, 224, 192, x + 32, 184, 224, 176);
    quad(x, 384, 224, 176, x, 400, 224, 192, x + 32, 400, 256, 192, x + 32, 384, 256, 176);
  }
  for (int i = 0; i < kObstacleSlots; ++i) {
    const Obstacle& o = obstacles(i);
    if (!(o.phase > 0 && o.live == 1)) continue;
    if (is_block(o))
      draw_block(o);
    else
      draw_hazard(o);
  }
}

// Step 10, after the marker clock.
void draw_cloud_and_marker() {
  const int parity = rt_mod(ix(g.level), 2);
  if (parity != 0 && parity != 1) return;  // level -1: neither
  // The cloud over the floor being prepared; the goal marker of the floor
  // being played, hidden while the hero tumbles away from it.
  const bool even = parity == 0;
  gfx_alpha_mode(0.99);
  g.draw_y = even ? 216 : 16;
  g.draw_x = 592 - g.cloud_x;
  draw_cloud();
  if (g.game_state != (even ? kDrop : kRise)) {
    gfx_alpha_mode(-1);
    g.draw_x = even ? 600 : 8;
    g.draw_y = even ? 128 : 328;
    draw_goal_marker();
  }
}

// Every obstacle of the floor bursts and its slot is emptied.
void clear_floor(double floor) {
  for (int i = 0; i < kObstacleSlots; ++i) {
    Obstacle& o = obstacles(i);
    if (o.floor == floor && o.phase > 0) {
      clearing_burst(o);
      o.phase = 0;
    }
  }
}

}  // namespace skorvane
