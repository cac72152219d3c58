#include "platform/window.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>
#include <cstring>

namespace {

bool g_video_started = false;
std::string g_video_failure;

// Drivers that draw where nobody sees it: taken only when asked for by name.
bool invisible_driver(const char* name) {
  static const char* const kInvisible[] = {"offscreen", "dummy", "evdev"};
  for (const char* n : kInvisible) {
    if (name && SDL_strcasecmp(name, n) == 0) return true;
  }
  return false;
}

std::string no_display_text() {
  const char* display = SDL_getenv("DISPLAY");
  std::string text = display && *display ? std::string("no display: the display \"") + display + "\" cannot be opened"
                                         : std::string("no display: DISPLAY is not set");
  return text + " (SDL_VIDEODRIVER=offscreen draws without one)";
}
SDL_Event g_current_event;

SDL_Window* win(PlatformWindow w) { return static_cast<SDL_Window*>(w); }

void set_common_gl_attributes(int colour_bits) {
  int channel = colour_bits >= 24 || colour_bits <= 0 ? 8 : (colour_bits >= 15 ? 5 : 4);
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// Appends the Latin-1 form of UTF-8 text; characters beyond Latin-1 are left out.
void utf8_to_latin1(const char* in, char* out, size_t cap) {
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  while (*p && n + 1 < cap) {
    unsigned c = *p;
    if (c < 0x80) {
      out[n++] = static_cast<char>(c);
      ++p;
    } else if ((c & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80) {
      unsigned cp = ((c & 0x1F) << 6) | (p[1] & 0x3F);
      if (cp < 0x100) out[n++] = static_cast<char>(cp);
      p += 2;
    } else {
      ++p;
      while ((*p & 0xC0) == 0x80) ++p;
    }
  }
  out[n] = 0;
}

}  // namespace

bool platform_video_init() {
  if (g_video_started) return true;
  g_video_failure.clear();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  const bool driver_asked = asked && *asked;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    g_video_failure =
        driver_asked ? std::string("video driver \"") + asked + "\": " + SDL_GetError() : no_display_text();
    return false;
  }
  // Without a window system SDL falls back on a driver that draws into
  // memory: the program would run on unseen and unstoppable by a person.
  if (!driver_asked && invisible_driver(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_video_failure = no_display_text();
    return false;
  }
  g_video_started = true;
  SDL_StartTextInput();
  return true;
}

std::string platform_video_failure() { return g_video_failure; }

bool platform_video_active() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

void platform_video_quit() {
  if (!g_video_started) return;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  g_video_started = false;
}

void platform_desktop_size(int* width, int* height) {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    *width = mode.w;
    *height = mode.h;
  } else {
    *width = 0;
    *height = 0;
  }
}

int platform_desktop_depth() {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 24;
  int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  return bits > 0 ? bits : 24;
}

bool platform_work_area(PlatformWindow window, int* x, int* y, int* width, int* height) {
  int display = window ? SDL_GetWindowDisplayIndex(win(window)) : 0;
  if (display < 0) display = 0;
  SDL_Rect r;
  if (SDL_GetDisplayUsableBounds(display, &r) != 0) return false;
  *x = r.x;
  *y = r.y;
  *width = r.w;
  *height = r.h;
  return true;
}

PlatformWindow platform_window_create(const char* title, int width, int height, int colour_bits,
                                      int samples) {
  if (!platform_video_init()) return nullptr;
  if (width <= 0) width = 1;
  if (height <= 0) height = 1;
  // The asked format first; without multisampling, weaker depth/stencil
  // formats stand in as the nearest ones.
  static const int kFormats[][2] = {{24, 8}, {24, 0}, {16, 0}, {0, 0}};
  const int tries = samples > 0 ? 1 : 4;
  for (int i = 0; i < tries; ++i) {
    set_common_gl_attributes(colour_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, kFormats[i][0]);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, kFormats[i][1]);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
    SDL_Window* w = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (w) return w;
  }
  return nullptr;
}

void platform_window_destroy(PlatformWindow window) {
  if (window) SDL_DestroyWindow(win(window));
}

void platform_window_set_title(PlatformWindow window, const char* title) {
  if (window) SDL_SetWindowTitle(win(window), title ? title : "");
}

std::string platform_window_title(PlatformWindow window) {
  if (!window) return std::string();
  const char* t = SDL_GetWindowTitle(win(window));
  return t ? std::string(t) : std::string();
}

void platform_window_place(PlatformWindow window, int x, int y, int width, int height) {
  if (!window) return;
  SDL_SetWindowSize(win(window), width > 0 ? width : 1, height > 0 ? height : 1);
  SDL_SetWindowPosition(win(window), x, y);
}

void platform_window_position(PlatformWindow window, int* x, int* y) {
  *x = *y = 0;
  if (window) SDL_GetWindowPosition(win(window), x, y);
}

void platform_window_client_size(PlatformWindow window, int* width, int* height) {
  *width = *height = 0;
  if (window) SDL_GL_GetDrawableSize(win(window), width, height);
}

void platform_window_show(PlatformWindow window) {
  if (window) SDL_ShowWindow(win(window));
}

void platform_window_hide(PlatformWindow window) {
  if (window) SDL_HideWindow(win(window));
}

void platform_window_raise(PlatformWindow window) {
  if (window) SDL_RaiseWindow(win(window));
}

bool platform_window_visible(PlatformWindow window) {
  return window && (SDL_GetWindowFlags(win(window)) & SDL_WINDOW_SHOWN) != 0;
}

void platform_window_set_framed(PlatformWindow window, bool framed) {
  if (window) SDL_SetWindowBordered(win(window), framed ? SDL_TRUE : SDL_FALSE);
}

bool platform_window_fullscreen_mode(PlatformWindow window, int width, int height, int bits) {
  if (!window) return false;
  int display = SDL_GetWindowDisplayIndex(win(window));
  if (display < 0) display = 0;
  int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
    if (mode.w != width || mode.h != height) continue;
    if (bits != 0 && static_cast<int>(SDL_BITSPERPIXEL(mode.format)) != bits) continue;
    if (SDL_SetWindowDisplayMode(win(window), &mode) != 0) continue;
    if (SDL_SetWindowFullscreen(win(window), SDL_WINDOW_FULLSCREEN) != 0) continue;
    return true;
  }
  return false;
}

bool platform_window_fullscreen_desktop(PlatformWindow window) {
  if (!window) return false;
  return SDL_SetWindowFullscreen(win(window), SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
}

void platform_window_leave_fullscreen(PlatformWindow window) {
  if (window) SDL_SetWindowFullscreen(win(window), 0);
}

PlatformGLContext platform_gl_create_context(PlatformWindow window) {
  if (!window) return nullptr;
  return SDL_GL_CreateContext(win(window));
}

bool platform_gl_make_current(PlatformWindow window, PlatformGLContext context) {
  if (!context) {
    // Detach: no context is current afterwards.
    SDL_Window* current = SDL_GL_GetCurrentWindow();
    if (window) current = win(window);
    return current ? SDL_GL_MakeCurrent(current, nullptr) == 0 : true;
  }
  if (!window) return false;
  return SDL_GL_MakeCurrent(win(window), static_cast<SDL_GLContext>(context)) == 0;
}

void platform_gl_delete_context(PlatformGLContext context) {
  if (context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
}

void platform_gl_swap(PlatformWindow window) {
  if (window) SDL_GL_SwapWindow(win(window));
}

void platform_gl_finish() {
  if (SDL_GL_GetCurrentContext()) glFinish();
}

bool platform_gl_set_swap_interval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

bool platform_gl_has_swap_control() {
  // The swap-control names are window-system extensions that never appear in
  // the GL extension string: ask the platform itself, setting the interval
  // it has now.
  return SDL_GL_GetCurrentContext() != nullptr && SDL_GL_SetSwapInterval(SDL_GL_GetSwapInterval()) == 0;
}

int platform_gl_set_vsync(bool on) {
  if (!on) return SDL_GL_SetSwapInterval(0) == 0 ? 0 : SDL_GL_GetSwapInterval();
  // Adaptive vsync (a late frame is shown at once instead of waiting a whole
  // retrace) where the driver offers it, else plain vsync.
  if (SDL_GL_SetSwapInterval(-1) == 0) return -1;
  SDL_GL_SetSwapInterval(1);
  return SDL_GL_GetSwapInterval();
}

int platform_gl_swap_interval() { return SDL_GL_GetSwapInterval(); }

std::string platform_gl_renderer() {
  const GLubyte* s = glGetString(GL_RENDERER);
  return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

std::string platform_gl_extensions() {
  const GLubyte* s = glGetString(GL_EXTENSIONS);
  return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

const char* platform_multisample_extension() { return "GL_ARB_multisample"; }

bool platform_gl_is_software(const std::string& renderer) {
  // Mesa's software rasterisers.
  static const char* const kSoftware[] = {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"};
  for (const char* name : kSoftware) {
    if (renderer.find(name) != std::string::npos) return true;
  }
  int accelerated = 1;
  if (SDL_GL_GetAttribute(SDL_GL_ACCELERATED_VISUAL, &accelerated) == 0 && accelerated == 0) return true;
  return false;
}

void platform_gl_clear() {
  glClearColor(0.f, 0.f, 0.f, 0.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool platform_event_pending() {
  SDL_PumpEvents();
  return SDL_PeepEvents(nullptr, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0;
}

bool platform_take_event(PlatformEvent* event) {
  *event = PlatformEvent{};
  if (SDL_PeepEvents(&g_current_event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) <= 0) return false;
  const SDL_Event& e = g_current_event;
  event->kind = PlatformEventKind::other;
  switch (e.type) {
    case SDL_QUIT:
      event->kind = PlatformEventKind::close_request;
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) event->kind = PlatformEventKind::focus_lost;
      else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) event->kind = PlatformEventKind::focus_gained;
      else if (e.window.event == SDL_WINDOWEVENT_CLOSE) event->kind = PlatformEventKind::close_request;
      break;
    case SDL_MOUSEWHEEL:
      event->kind = PlatformEventKind::wheel;
      event->wheel_y = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      break;
    case SDL_TEXTINPUT:
      utf8_to_latin1(e.text.text, event->text, sizeof event->text);
      if (event->text[0]) event->kind = PlatformEventKind::characters;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      if (e.type == SDL_KEYDOWN) {
        // Keys that type a control character (no text event comes for them).
        char c = 0;
        switch (e.key.keysym.sym) {
          case SDLK_RETURN:
          case SDLK_KP_ENTER: c = 13; break;
          case SDLK_BACKSPACE: c = 8; break;
          case SDLK_TAB: c = 9; break;
          default: break;
        }
        if (c) {
          event->text[0] = c;
          event->kind = PlatformEventKind::characters;
        }
      }
      break;
    }
    default:
      break;
  }
  return true;
}

void platform_suppress_screensaver() { SDL_DisableScreenSaver(); }

std::string platform_latin1_to_utf8(const char* text) {
  std::string utf8;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : ""); *p; ++p) {
    if (*p < 0x80) {
      utf8 += static_cast<char>(*p);
    } else {
      utf8 += static_cast<char>(0xC0 | (*p >> 6));
      utf8 += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return utf8;
}

void platform_warning_box(const char* caption, const char* text) {
  // The box wants UTF-8.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, caption, platform_latin1_to_utf8(text).c_str(), nullptr);
}

void platform_beep() {
  std::fputc('\a', stderr);
  std::fflush(stderr);
}
