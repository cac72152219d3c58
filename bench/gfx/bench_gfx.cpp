// The game's kind of frame on the GL at hand, uncapped: a background, a few
// hundred sprite frames, 512 particle rectangles and a line of text drawn
// into a 640 x 400 surface, which is then stretched over the window.
//
// Run under a display (Xvfb with Mesa for the software GL):
//   DISPLAY=:99 ./bench_gfx
// BM_Frame reports frames per second (items_per_second); the other
// benchmarks give the time of each kind of draw (per draw call), of a tiled
// background and of the screenshot frame capture.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/backgrounds.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/file_access.h"
#include "gfx/fonts.h"
#include "gfx/frame_capture.h"
#include "gfx/gl_ext.h"
#include "gfx/texture_store.h"
#include "tamblix.h"

namespace {

constexpr int kWinW = 1280, kWinH = 800;
constexpr int kSurfaceSlot = 100, kBackground = 1, kSheet = 2, kScreen = 0, kFont = 2;
SDL_Window* g_window = nullptr;

void make_sprite(int slot, int w, int h, uint32_t seed) {
  ImageBuffer img;
  img.resize(w, h);
  for (int i = 0; i < w * h; ++i) {
    seed = seed * 1664525u + 1013904223u;
    img.pixels[4 * i] = uint8_t(seed >> 24);
    img.pixels[4 * i + 1] = uint8_t(seed >> 16);
    img.pixels[4 * i + 2] = uint8_t(seed >> 8);
    img.pixels[4 * i + 3] = (i % 7) ? 255 : 0;
  }
  gfx_upload_sprite(slot, img, false);
}

bool setup() {
  if (g_window) return true;
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "no display: %s\n", SDL_GetError());
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  g_window = SDL_CreateWindow("bench", 0, 0, kWinW, kWinH, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!g_window || !SDL_GL_CreateContext(g_window)) {
    std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
    return false;
  }
  SDL_GL_SetSwapInterval(0);
  gfx_context_create();
  gfx_gl_setup(kWinW, kWinH);
  make_sprite(kBackground, 640, 400, 1);
  make_sprite(kSheet, 256, 256, 2);
  gfx_set_sprite_anim(kSheet, 32, 32);
  gfx_install_builtin_font(kFont);
  gfx_set_font(kFont, 2.0);
  gfx_create_screen(kScreen, kSurfaceSlot, 640, 400);
  std::fprintf(stderr, "renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  return true;
}

void draw_quads(int n, int frame) {
  for (int i = 0; i < n; ++i) gfx_draw_anim(kSheet, (i + frame) & 63, (i * 37 + frame) % 608, (i * 53) % 368);
}

void draw_particles(int frame) {
  for (int i = 0; i < 512; ++i) gfx_draw_rect((i * 11 + frame) % 640, (i * 7 + frame) % 400, 3, 3, 0x102030 * (i & 7));
}

void draw_frame(int frame) {
  gfx_reset_2d_state();
  gfx_use_screen(kScreen);
  gfx_draw_sprite(kBackground, 0, 0);
  draw_quads(300, frame);
  gfx_alpha_mode(0.5);
  draw_particles(frame);
  gfx_alpha_mode(-1);
  gfx_print(BasicString("SCORE 000123  LIVES 3"), 10, 10, 1);
  gfx_use_screen(-1);
  gfx_draw_sprite_scaled(kSurfaceSlot, (frame & 3) - 2, 0, kWinW, kWinH);
  SDL_GL_SwapWindow(g_window);
  gfx_clear_frame();
}

void BM_Frame(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("no GL context");
  int frame = 0;
  for (auto _ : state) draw_frame(frame++);
  glFinish();
  state.SetItemsProcessed(state.iterations());
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMillisecond)->UseRealTime();

// One kind of draw, n calls into the surface, finished on the GL.
template <class F>
void run_draws(benchmark::State& state, int n, F draw) {
  if (!setup()) return state.SkipWithError("no GL context");
  gfx_reset_2d_state();
  gfx_use_screen(kScreen);
  int frame = 0;
  for (auto _ : state) {
    draw(n, frame++);
    glFinish();
  }
  gfx_use_screen(-1);
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["us_per_draw"] =
      benchmark::Counter(double(state.iterations() * n), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DrawAnim(benchmark::State& state) { run_draws(state, 300, [](int n, int f) { draw_quads(n, f); }); }
BENCHMARK(BM_DrawAnim)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_DrawRect(benchmark::State& state) {
  run_draws(state, 512, [](int, int f) { draw_particles(f); });
}
BENCHMARK(BM_DrawRect)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PolyBatch512(benchmark::State& state) {
  run_draws(state, 1, [](int, int f) {
    gfx_start_poly(-1, 1);
    for (int i = 0; i < 512 / 3 * 3; i += 3) {
      const double x = (i * 11 + f) % 640, y = (i * 7) % 400;
      gfx_poly_vertex(x, y, 0, 0, 0x2040FF);
      gfx_poly_vertex(x + 4, y, 0, 0, 0x2040FF);
      gfx_poly_vertex(x, y + 4, 0, 0, 0x2040FF);
    }
    gfx_end_poly();
  });
}
BENCHMARK(BM_PolyBatch512)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_DrawBackground(benchmark::State& state) {
  run_draws(state, 1, [](int, int) { gfx_draw_sprite(kBackground, 0, 0); });
}
BENCHMARK(BM_DrawBackground)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A tiled background image the size of the window (the frame clear's
// picture, and the line editor's backdrop): 3 x 2 tiles of 512 pixels.
void BM_TiledBackground(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("no GL context");
  constexpr int kTiled = 1;
  ImageBuffer img;
  if (!img.resize(kWinW, kWinH)) return state.SkipWithError("no memory");
  for (int i = 0; i < kWinW * kWinH * 4; ++i) img.pixels[i] = uint8_t(i * 7);
  gfx_fill_background(kTiled, img);
  gfx_reset_2d_state();
  for (auto _ : state) {
    gfx_draw_background(kTiled);
    glFinish();
  }
  gfx_free_background(kTiled);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TiledBackground)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The copy of each presented frame that screenshots keep while captures are on.
void BM_CaptureFrame(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("no GL context");
  gfx_capture_presented_frames(true);
  for (auto _ : state) {
    gfx_capture_frame();
    glFinish();
  }
  gfx_capture_presented_frames(false);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaptureFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Print(benchmark::State& state) {
  run_draws(state, 1, [](int, int) { gfx_print(BasicString("SCORE 000123  LIVES 3"), 10, 10, 1); });
}
BENCHMARK(BM_Print)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_StretchSurface(benchmark::State& state) {
  if (!setup()) return state.SkipWithError("no GL context");
  gfx_reset_2d_state();
  for (auto _ : state) {
    gfx_draw_sprite_scaled(kSurfaceSlot, 0, 0, kWinW, kWinH);
    glFinish();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StretchSurface)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Bytes of every level of a texture (RGBA8).
double texture_bytes(uint32_t tex) {
  if (tex == 0) return 0;
  double bytes = 0;
  glBindTexture(GL_TEXTURE_2D, tex);
  for (int level = 0;; ++level) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    if (w < 1 || h < 1) break;
    bytes += 4.0 * w * h;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  gfx_gl_binding_cache_invalidate();
  return bytes;
}

// The game's sprite loads at start-up (background, hero atlas, glow image
// from its generated media), each read, keyed and uploaded as a sprite load
// does. Arg 0: the texture only, as a load does now (the mipmap texture waits
// for its first use, which the game never makes); arg 1: the texture and its
// mipmap texture, as every load used to. texture_KiB is the texture memory
// the three images hold afterwards.
void BM_LoadGameSprites(benchmark::State& state) {
#ifdef SKORVANE_MEDIA
  if (!setup()) return state.SkipWithError("no GL context");
  const bool eager = state.range(0) != 0;
  const char* names[] = {"bkg.png", "hero.png", "light.bmp"};
  uint32_t tex[3] = {0, 0, 0}, mip[3] = {0, 0, 0};
  for (auto _ : state) {
    for (int i = 0; i < 3; ++i) {
      const std::string path = std::string(SKORVANE_MEDIA) + "/" + names[i];
      ImageBuffer img;
      if (!gfx_read_image_file(img, path.c_str(), g_gfx->spriteKey, true))
        return state.SkipWithError(("cannot load " + path).c_str());
      if (!img.hasOwnAlpha) gfx_bleed_transparent_colours(img);
      if (mip[i]) glDeleteTextures(1, &mip[i]);
      mip[i] = 0;
      gfx_upload_texture_region(img, 0, 0, 0, 0, &tex[i], eager ? &mip[i] : nullptr, false, false);
    }
    glFinish();
  }
  double bytes = 0;
  for (int i = 0; i < 3; ++i) bytes += texture_bytes(tex[i]) + texture_bytes(mip[i]);
  state.counters["texture_KiB"] = bytes / 1024.0;
  glDeleteTextures(3, tex);
  glDeleteTextures(3, mip);
#else
  state.SkipWithError("built without the game's media");
#endif
}
BENCHMARK(BM_LoadGameSprites)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
