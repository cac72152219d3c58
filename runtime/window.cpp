#include "runtime/window.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "runtime/timer.h"
#include "runtime/virtual_file.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"
#include "tamblix/runtime.h"

RuntimeState g_runtime;

const char kSoftwareWarningText[] =
    "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
    "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE unterst\xFC"
    "tzt!";

namespace {

WindowCallbacks g_callbacks;
bool g_swap_control = false;
bool g_software_checked = false;
bool g_software_warning_shown = false;
int g_dialogs_allowed = 1;

void notify_size() {
  if (g_callbacks.size_changed) g_callbacks.size_changed(g_runtime.window.width, g_runtime.window.height, false);
}

void full_viewport() {
  if (g_callbacks.size_changed) g_callbacks.size_changed(g_runtime.window.width, g_runtime.window.height, true);
}

// Makes the kept GL context current on the window, creating one when there
// is none or when it cannot be made current there (textures are then lost).
bool attach_context(PlatformWindow w) {
  if (!g_runtime.window.glContext) g_runtime.window.glContext = platform_gl_create_context(w);
  if (g_runtime.window.glContext && platform_gl_make_current(w, g_runtime.window.glContext)) return true;
  platform_gl_delete_context(g_runtime.window.glContext);
  g_runtime.window.glContext = platform_gl_create_context(w);
  return g_runtime.window.glContext && platform_gl_make_current(w, g_runtime.window.glContext);
}

void software_renderer_check() {
  if (g_software_checked) return;
  g_software_checked = true;
  std::string renderer = platform_gl_renderer();
  if (!runtime_renderer_name_is_generic(renderer.c_str()) && !platform_gl_is_software(renderer)) return;
  log_append("*** OpenGL Software Emulation - update driver!\n");
  g_software_warning_shown = true;
  char text[2048] = {0};
  VirtualFile f;
  if (f.open_read("opengldriver.txt")) {
    int64_t n = f.size < 2047 ? f.size : 2047;
    if (n > 0 && !f.read(text, n)) text[0] = 0;
    text[n > 0 ? n : 0] = 0;
    f.close();
  }
  const char* message = text[0] ? text : kSoftwareWarningText;
  if (runtime_dialogs_allowed()) {
    platform_warning_box("No OpenGL Hardware Drivers", message);
  } else {
    // Nobody can answer a box here (tests, CI, replayed runs): the warning
    // goes to the error stream and the start goes on.
    // The texts are single-byte (Latin-1); the error stream gets UTF-8.
    const std::string line = "No OpenGL Hardware Drivers: " + platform_latin1_to_utf8(message) + "\n";
    fputs(line.c_str(), stderr);
  }
}

// Tries multisample formats from `samples` down by halving; replaces the
// window and its context when one is found. False when the replacement
// window got no GL context.
bool choose_multisample_format(int samples) {
  std::string list = platform_gl_extensions();
  if (!runtime_contains_whole_word(list.c_str(), platform_multisample_extension())) return true;
  const int width = g_runtime.window.width, height = g_runtime.window.height, bits = g_runtime.window.colourBits;
  int n = samples;
  PlatformWindow found = nullptr;
  for (;;) {
    found = platform_window_create("Tamblix", width, height, bits, n);
    if (found) break;
    if (n / 2 == 0) return true;  // none at any count: the plain format stays
    n /= 2;
  }
  // The window with the found format replaces the plain one, with a context
  // of its own.
  PlatformGLContext old_context = g_runtime.window.glContext;
  runtime_destroy_gl_window();
  platform_gl_delete_context(old_context);
  g_runtime.window.glContext = nullptr;
  g_runtime.window.window = found;
  g_runtime.window.width = width;
  g_runtime.window.height = height;
  g_runtime.window.colourBits = bits;
  return attach_context(found);
}

}  // namespace

void runtime_window_set_callbacks(const WindowCallbacks& callbacks) { g_callbacks = callbacks; }

bool runtime_swap_control_known() { return g_swap_control; }
void runtime_window_probe_swap_control() { g_swap_control = platform_gl_has_swap_control(); }
void runtime_apply_vsync(bool on) { platform_gl_set_vsync(on); }

bool runtime_dialogs_allowed() {
  if (!g_dialogs_allowed) return false;
  const char* no = std::getenv("TAMBLIX_NO_DIALOGS");
  if (no && *no && std::strcmp(no, "0") != 0) return false;
  const char* ci = std::getenv("CI");
  if (ci && *ci) return false;
  return isatty(STDIN_FILENO) == 1;
}

void runtime_set_dialogs_allowed(int allowed) { g_dialogs_allowed = allowed != 0; }

bool runtime_contains_whole_word(const char* list, const char* word) {
  if (!list || !word || !*word) return false;
  const size_t n = std::strlen(word);
  for (const char* p = std::strstr(list, word); p; p = std::strstr(p + 1, word)) {
    bool starts = p == list || p[-1] == ' ';
    bool ends = p[n] == ' ' || p[n] == 0;
    if (starts && ends) return true;
  }
  return false;
}

bool runtime_renderer_name_is_generic(const char* name) {
  return name && std::strcmp(name, "Mesa Windows GDI Driver") == 0;
}

int runtime_create_gl_window(int width, int height, int colour_bits, int frame_rate, int antialias_samples) {
  if (g_swap_control) platform_gl_set_swap_interval(0);
  g_runtime.window.framePeriod = runtime_frame_period_for_rate(frame_rate);
  if (!platform_video_init()) return 0;
  g_runtime.window.antialiasSamples = antialias_samples;
  log_append("WIN32 init video\n");
  platform_desktop_size(&g_runtime.desktopWidth, &g_runtime.desktopHeight);

  const int bits = colour_bits != 0 ? colour_bits : platform_desktop_depth();
  PlatformWindow w = platform_window_create("Tamblix", width, height, bits, 0);
  if (!w) return 0;
  g_runtime.window.window = w;
  int cw = 0, ch = 0;
  platform_window_client_size(w, &cw, &ch);
  g_runtime.window.width = width != 0 ? width : cw;
  g_runtime.window.height = height != 0 ? height : ch;
  g_runtime.window.colourBits = bits;
  g_runtime.window.fullscreen = 0;

  if (!attach_context(w)) {
    // No GL context on this window at all: a window without drawing is of
    // no use, so creation fails.
    platform_window_destroy(w);
    g_runtime.window.window = nullptr;
    return 0;
  }
  if (antialias_samples > 0 && !choose_multisample_format(antialias_samples)) {
    platform_window_destroy(g_runtime.window.window);
    g_runtime.window.window = nullptr;
    return 0;
  }

  software_renderer_check();

  platform_gl_clear();
  g_runtime.window.width = width != 0 ? width : g_runtime.window.width;
  g_runtime.window.height = height != 0 ? height : g_runtime.window.height;
  g_runtime.window.colourBits = bits;
  g_runtime.window.fullscreen = 0;
  notify_size();
  return 1;
}

int runtime_enter_windowed() {
  PlatformWindow w = g_runtime.window.window;
  if (!w) return 1;
  if (g_runtime.window.fullscreen == 1) {
    platform_window_leave_fullscreen(w);
    platform_sleep_ms(500);
    platform_desktop_size(&g_runtime.desktopWidth, &g_runtime.desktopHeight);
  }
  platform_window_set_framed(w, true);
  int ax = 0, ay = 0, aw = 0, ah = 0;
  if (!platform_work_area(w, &ax, &ay, &aw, &ah)) {
    aw = g_runtime.desktopWidth;
    ah = g_runtime.desktopHeight;
  }
  // Centred in the work area, measured from the screen origin.
  const int left = (aw - g_runtime.window.width) / 2;
  const int top = (ah - g_runtime.window.height) / 2;
  platform_window_place(w, left, top, g_runtime.window.width, g_runtime.window.height);
  platform_window_show(w);
  platform_window_raise(w);
  full_viewport();
  g_runtime.window.fullscreen = 0;
  return 1;
}

int runtime_enter_fullscreen() {
  PlatformWindow w = g_runtime.window.window;
  if (!w) return 0;
  const int depth = platform_desktop_depth();
  const int bits = g_runtime.window.colourBits != 0 && g_runtime.window.colourBits != depth ? g_runtime.window.colourBits : 0;
  bool ok = platform_window_fullscreen_mode(w, g_runtime.window.width, g_runtime.window.height, bits);
  if (!ok && bits != 0) ok = platform_window_fullscreen_mode(w, g_runtime.window.width, g_runtime.window.height, 0);
  if (ok) {
    g_runtime.desktopWidth = g_runtime.window.width;
    g_runtime.desktopHeight = g_runtime.window.height;
  } else if (platform_window_fullscreen_desktop(w)) {
    // No display mode of that size can be set here: a fullscreen window at
    // the desktop's size stands in, and the sizes report what is in force.
    platform_desktop_size(&g_runtime.desktopWidth, &g_runtime.desktopHeight);
    g_runtime.window.width = g_runtime.desktopWidth;
    g_runtime.window.height = g_runtime.desktopHeight;
    ok = true;
  }
  if (!ok) {
    platform_beep();
    log_append("No Fullscreen Mode available\n");
    runtime_enter_windowed();
    return 0;
  }
  // The window keeps its GL context (textures survive); the schedule
  // restarts as for a new window.
  if (g_swap_control) platform_gl_set_swap_interval(0);
  g_runtime.window.nextFrameDue = timer_ms();
  platform_window_set_framed(w, false);
  platform_window_show(w);
  platform_window_raise(w);
  full_viewport();
  g_runtime.window.fullscreen = 1;
  return 1;
}

void runtime_set_window_mode(int width, int height, int colour_bits, int fullscreen) {
  if (width != 0) g_runtime.window.width = width;
  if (height != 0) g_runtime.window.height = height;
  if (colour_bits != 0) g_runtime.window.colourBits = colour_bits;
  runtime_enter_windowed();
  if (fullscreen) {
    runtime_enter_fullscreen();
  } else {
    runtime_enter_windowed();
  }
}

void runtime_hide_window() {
  PlatformWindow w = g_runtime.window.window;
  if (!w) return;
  if (g_runtime.window.fullscreen == 1) {
    platform_window_leave_fullscreen(w);
    platform_desktop_size(&g_runtime.desktopWidth, &g_runtime.desktopHeight);
  }
  platform_window_set_framed(w, false);
  platform_window_hide(w);
  g_runtime.window.fullscreen = 0;
  if (g_callbacks.serve_events) g_callbacks.serve_events();
}

void runtime_destroy_gl_window() {
  if (g_callbacks.releasing_window) g_callbacks.releasing_window();
  if (!g_runtime.window.window) return;
  runtime_enter_windowed();
  platform_gl_make_current(g_runtime.window.window, nullptr);
  platform_window_destroy(g_runtime.window.window);
  g_runtime.window.window = nullptr;
  g_runtime.window.width = 0;
  g_runtime.window.height = 0;
}

void gfx_get_screen_size(double& width, double& height) {
  width = g_runtime.desktopWidth;
  height = g_runtime.desktopHeight;
}

void gfx_get_screen_size(int& width, int& height) {
  width = g_runtime.desktopWidth;
  height = g_runtime.desktopHeight;
}
