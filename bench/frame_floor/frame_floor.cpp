// The least work a program can do for the game's frame on this machine: no
// engine, no media, no sound, no text. Each frame draws an opaque 640 x 400
// picture into a 640 x 400 surface, clears the window, stretches the surface
// over it blended and filtered at a shake of -2, 0 or +2 pixels, and swaps.
// That is the frame skeleton of the game and of the anchor scene, so its
// figures bound what any program drawing those pictures can reach here.
//
//   frame_floor [--fast] [--frames N] [--size WxH]
//     --fast       swap as fast as the GL allows (default: paced at 30 fps,
//                  an absolute-deadline sleep before each swap)
//     --frames N   frames to draw, default 300; --frames 1 measures start,
//                  first frame and quit
//     --size WxH   window size, default 1555x972 (the game's window on a
//                  1920 x 1080 screen)
#include <SDL.h>
#include <SDL_opengl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using GenFramebuffers = void(APIENTRY*)(GLsizei, GLuint*);
using BindFramebuffer = void(APIENTRY*)(GLenum, GLuint);
using FramebufferTexture2D = void(APIENTRY*)(GLenum, GLenum, GLenum, GLuint, GLint);

constexpr int kSurfaceW = 640, kSurfaceH = 400;
constexpr long long kPeriodNs = 33333333;

long long now_ns() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void sleep_until(long long due) {
  timespec t{};
  t.tv_sec = due / 1000000000LL;
  t.tv_nsec = due % 1000000000LL;
  // Only a signal restarts the sleep; any other error would recur at once.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

GLuint make_texture(const void* pixels) {
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSurfaceW, kSurfaceH, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  return t;
}

void quad(float x0, float y0, float x1, float y1, bool flip) {
  const float t0 = flip ? 1.0f : 0.0f, t1 = flip ? 0.0f : 1.0f;
  glBegin(GL_QUADS);
  glTexCoord2f(0, t0);
  glVertex2f(x0, y0);
  glTexCoord2f(1, t0);
  glVertex2f(x1, y0);
  glTexCoord2f(1, t1);
  glVertex2f(x1, y1);
  glTexCoord2f(0, t1);
  glVertex2f(x0, y1);
  glEnd();
}

void ortho(int w, int h) {
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
}

}  // namespace

int main(int argc, char** argv) {
  bool fast = false;
  long frames = 300;
  int width = 1555, height = 972;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--fast")) {
      fast = true;
    } else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
      frames = std::strtol(argv[++i], nullptr, 10);
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc &&
               std::sscanf(argv[++i], "%dx%d", &width, &height) == 2) {
    } else {
      std::fprintf(stderr, "usage: frame_floor [--fast] [--frames N] [--size WxH]\n");
      return 2;
    }
  }
  if (frames < 1 || width < 1 || height < 1 || width > 16384 || height > 16384) {
    std::fprintf(stderr, "frame_floor: frames must be at least 1 and the size 1..16384 on each side\n");
    return 2;
  }
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "frame_floor: %s\n", SDL_GetError());
    return 1;
  }
  // The same pixel format as the engine's window: depth 24, stencil 8.
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_Window* window = SDL_CreateWindow("frame floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                        SDL_WINDOW_OPENGL);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
  auto gen_fb = reinterpret_cast<GenFramebuffers>(SDL_GL_GetProcAddress("glGenFramebuffers"));
  auto bind_fb = reinterpret_cast<BindFramebuffer>(SDL_GL_GetProcAddress("glBindFramebuffer"));
  auto fb_tex = reinterpret_cast<FramebufferTexture2D>(SDL_GL_GetProcAddress("glFramebufferTexture2D"));
  if (!context || !gen_fb || !bind_fb || !fb_tex) {
    std::fprintf(stderr, "frame_floor: no GL context with framebuffer objects: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  SDL_GL_SetSwapInterval(0);

  std::vector<Uint32> pixels(size_t(kSurfaceW) * kSurfaceH);
  Uint32 seed = 12345;
  for (Uint32& p : pixels) {
    seed = seed * 1664525u + 1013904223u;
    p = 0xFF000000u | (seed >> 8);
  }
  const GLuint picture = make_texture(pixels.data());
  const GLuint surface = make_texture(nullptr);
  GLuint fbo = 0;
  gen_fb(1, &fbo);
  bind_fb(GL_FRAMEBUFFER, fbo);
  fb_tex(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface, 0);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(0, 0, 0, 1);

  const long long start = now_ns();
  for (long f = 0; f < frames; ++f) {
    // The picture into the surface, opaque.
    bind_fb(GL_FRAMEBUFFER, fbo);
    ortho(kSurfaceW, kSurfaceH);
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, picture);
    quad(0, 0, kSurfaceW, kSurfaceH, false);
    // The surface over the window, blended and filtered, with the shake.
    bind_fb(GL_FRAMEBUFFER, 0);
    ortho(width, height);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, surface);
    seed = seed * 1664525u + 1013904223u;
    const float shake = float(int(seed >> 16) % 3 - 1) * 2.0f;
    quad(shake, 0, float(width) + shake, float(height), true);
    if (!fast) {
      glFinish();
      sleep_until(start + (f + 1) * kPeriodNs);
    }
    SDL_GL_SwapWindow(window);
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
  }
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
