// The anchor scene: each frame draws what one Skorvane frame draws, with
// images made here, so that another engine can draw exactly the same (see
// bench/frame_rate). Into the 640 x 400 surface: the background, 2 x 20 floor
// tiles, 40 obstacles (every third a hazard behind three additive glows),
// hero, cloud, goal marker, three HUD texts and 512 particles moving down 3
// pixels a frame; then the surface stretched over a 1555 x 972 window with a
// horizontal shake of -2, 0 or +2 pixels.
//
//   scene [--fast] [--frames N] [other run options]    30 frames a second, or
//                                                       uncapped with --fast
#include <cmath>

#include "tamblix.h"

namespace {

constexpr int kBackground = 0, kAtlas = 1, kGlow = 2, kSurfaceSlot = 200, kSurface = 1;
constexpr int kParticles = 512;

int byte_of(double v) { return int(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255.0)); }
int32_t rgba(double r, double g, double b, double a) {
  return int32_t(uint32_t(byte_of(r)) | uint32_t(byte_of(g)) << 8 | uint32_t(byte_of(b)) << 16 |
                 uint32_t(byte_of(a)) << 24);
}

template <class F>
void make_image(int slot, int w, int h, F pixel) {
  BasicArray<int32_t> px;
  arr_dim(px, w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px(y * w + x) = pixel(x, y);
  gfx_mem_to_sprite(px, slot, w, h);
}

// A region of the atlas (pixel position and size) at (x, y), w x h on screen.
void atlas_quad(double x, double y, double w, double h, double sx, double sy, double sw, double sh, int colour) {
  gfx_start_poly(kAtlas, 0);
  gfx_poly_vertex(x, y, sx, sy, colour);
  gfx_poly_vertex(x, y + h, sx, sy + sh, colour);
  gfx_poly_vertex(x + w, y + h, sx + sw, sy + sh, colour);
  gfx_poly_vertex(x + w, y, sx + sw, sy, colour);
  gfx_end_poly();
}

struct Particle {
  int x, y, colour;
};
Particle g_parts[kParticles];

void setup() {
  sys_set_screen(1555, 972, 0);
  gfx_create_screen(kSurface, kSurfaceSlot, 640, 400);
  make_image(kBackground, 640, 400,
             [](int x, int y) { return rgba(0.1 + 0.3 * y / 400.0, 0.1, 0.2 + 0.2 * x / 640.0, 1); });
  make_image(kAtlas, 384, 256, [](int x, int y) {
    return rgba((x % 32) / 32.0, (y % 64) / 64.0, 0.5, (x + y) % 7 == 0 ? 0 : 1);
  });
  gfx_set_sprite_anim(kAtlas, 32, 16);
  make_image(kGlow, 64, 64, [](int x, int y) {
    const double d = std::sqrt(double((x - 32) * (x - 32) + (y - 32) * (y - 32))) / 32.0;
    return rgba(1, 1, 1, std::fmax(0.0, 1.0 - d));
  });
  gfx_set_font(0, 2.0);  // the built-in 8 x 8 font at 16 pixels
  for (Particle& p : g_parts) p = {rt_rnd(636), rt_rnd(396), rt_rnd(255) | rt_rnd(255) << 8 | rt_rnd(255) << 16};
}

void draw_frame() {
  for (Particle& p : g_parts) p.y = (p.y + 3) % 400;
  gfx_use_screen(kSurface);
  gfx_alpha_mode(-1);
  gfx_draw_sprite(kBackground, 0, 0);
  // Floor tile: atlas (192, 176), frame 11 x 12 + 6 of the 32 x 16 grid.
  for (int i = 0; i < 20; ++i) {
    gfx_draw_anim(kAtlas, 138, 32 * i, 184);
    gfx_draw_anim(kAtlas, 138, 32 * i, 384);
  }
  for (int i = 0; i < 40; ++i) {
    const int x = (i * 53) % 600, y = (i % 2) * 200 + 120;
    if (i % 3 == 0) {
      gfx_alpha_mode(0.1);
      gfx_draw_sprite_scaled(kGlow, x - 8, y - 8, 48, 48);
      gfx_draw_sprite(kGlow, x - 16, y - 16);
      gfx_draw_sprite_scaled(kGlow, x - 24, y - 24, 80, 80);
      gfx_alpha_mode(-0.99);
      atlas_quad(x, y, 32, 32, 160, 160, 32, 32, 0x0080FF);  // orange
      gfx_alpha_mode(-1);
    } else {
      atlas_quad(x, y, 32, 64, 64, 128, 32, 64, 0xFFFFFF);
    }
  }
  atlas_quad(300, 120, 32, 64, 0, 0, 32, 64, 0xFFFFFF);    // hero
  atlas_quad(400, 16, 64, 32, 160, 160, 32, 32, 0xFFFFFF);  // cloud
  atlas_quad(600, 128, 32, 32, 160, 160, 32, 32, 0xFFFFFF); // marker
  gfx_print(BasicString("x3"), 20, 4, 1);
  gfx_print(BasicString("0:12.33330"), 280, 4, 1);
  gfx_print(BasicString("12/40"), 590, 4, 1);
  for (const Particle& p : g_parts) gfx_draw_rect(p.x, p.y, 4, 4, p.colour);
  gfx_use_screen(-1);
  gfx_draw_sprite_scaled(kSurfaceSlot, (rt_rnd(2) - 1) * 2, 0, 1555, 972);
  sys_show_screen();
}

void set_program_settings() {
  g_program_settings.width = 1555;
  g_program_settings.height = 972;
  g_program_settings.fullscreen = 0;
  g_program_settings.exclusiveMouse = 0;
  g_program_settings.frameRate = 30;
  g_program_settings.debug = 0;
  g_program_settings.antialiasSamples = 0;
  rt_app_name() = BasicString("anchor scene");
}

double scene_main() {
  setup();
  sys_limit_fps(30, 1);
  for (;;) draw_frame();
}

const TamblixProgram kProgram = {set_program_settings, scene_main, nullptr};

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, kProgram); }
