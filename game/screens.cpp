// The HUD, the title and the end screens with their count-ups.
#include "skorvane.h"

using namespace skorvane;

namespace {

BasicString text(double v) { return real_to_text(v); }

void print(const BasicString& s, double x, double y) { gfx_print(s, x, y, 1); }
void print(const char* s, double x, double y) { gfx_print(BasicString(s), x, y, 1); }

int width(const BasicString& s) { return gfx_text_width(s, 1); }

// Centred on x 320 (the half width truncated toward zero).
void print_centred(const BasicString& s, double y) { print(s, 320 - width(s) / 2, y); }
void print_centred(const char* s, double y) { print_centred(BasicString(s), y); }

BasicString time_text(double min, double sec, double frac) {
  return text(min) + ":" + text(sec) + "." + text(frac);
}

// An end screen counts up one step per frame to `target`; once there, the
// action press returns to the title.
void count_up_then_wait(double target) {
  if (target > g.count_up)
    g.count_up += 1;
  else if (g.action_hold == 1)
    g.game_state = kTitle;
}

}  // namespace

namespace skorvane {

// During a run: lives, run time and level.
void draw_hud() {
  gfx_alpha_mode(-1);

  // Lives icon: hero frame 21 at half size.
  g.draw_x = 4;
  g.draw_y = 8;
  gfx_start_poly(1, 0);
  gfx_poly_vertex(4, 8, 288, 64, 0xFFFFFF);
  gfx_poly_vertex(4, 40, 288, 128, 0xFFFFFF);
  gfx_poly_vertex(20, 40, 320, 128, 0xFFFFFF);
  gfx_poly_vertex(20, 8, 320, 64, 0xFFFFFF);
  gfx_end_poly();
  print("x", 20, 0);
  print(text(g.lives), 20 + width(BasicString("x")), 4);

  // The run time, with its decimal point at x 320.
  const BasicString t = text(g.time_min) + ":" + text(g.time_sec) + ".";
  print(t + text(g.time_frac), 320 - width(t), 4);

  // The level, right-aligned at 636.
  const BasicString s = text(g.level) + "/40";
  print(s, 636 - width(s), 4);

  g.level_reached = g.level;
}

void title_screen() {
  print_centred("SKORVANE", 56);
  gfx_draw_anim(1, 9, 304, 120);
  print("BRONDELK", 0, 336);
  print("QUENDAL31 COMPO", 0, 360);
  if (g.action_hold == 1) start_run();
}

void game_over_screen() {
  print_centred("NO MORE", 88);
  print_centred("SKORVANE'S LEFT", 120);
  print_centred("LEVEL REACHED", 216);
  print_centred(text(g.count_up), 252);
  count_up_then_wait(g.level_reached);
}

void run_complete_screen() {
  if (g.lives >= 40) {
    print_centred("PLOT TWIST", 56);
    print_centred("YOU HAVE BEEN", 88);
    print_centred("DREAMING", 120);
    print_centred("IT TOOK YOU", 184);
    print_centred(time_text(g.end_min, g.end_sec, g.end_frac), 220);
    print_centred("TO WAKE UP", 248);
    print_centred("PERFECT SKORVANE", 312);
    if (g.action_hold == 1) g.game_state = kTitle;
    return;
  }
  print_centred("CONGRATULATIONS", 56);
  print_centred("YOU HAVE BEEN", 88);
  print_centred("SKORVANE", 120);
  print_centred("ALL LEVELS COMPLETED", 216);
  print_centred("LIVES REMAINING", 280);
  print_centred(text(g.count_up), 316);
  count_up_then_wait(g.end_lives);
}

}  // namespace skorvane
