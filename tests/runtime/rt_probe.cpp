// A small program on the engine for the window tests. argv[1] picks what it
// does once the engine has started; it reports on standard output.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/window.h"
#include "engine/frame.h"
#include "runtime/virtual_file.h"
#include "runtime/window.h"
#include "tamblix.h"

namespace {

std::string g_mode;

void settings() {
  g_program_settings = {640, 400, 0, 0, 60, 0, 0};
  if (g_mode == "msaa") g_program_settings.antialiasSamples = 16;
  rt_app_name() = BasicString("Probe");
}

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void report_window(const char* tag) {
  int w = 0, h = 0, x = 0, y = 0, ax = 0, ay = 0, aw = 0, ah = 0;
  platform_window_client_size(g_runtime.window.window, &w, &h);
  platform_window_position(g_runtime.window.window, &x, &y);
  platform_work_area(g_runtime.window.window, &ax, &ay, &aw, &ah);
  double dw = 0, dh = 0;
  gfx_get_screen_size(dw, dh);
  int iw = -1, ih = -1;
  gfx_get_screen_size(iw, ih);
  if (iw != static_cast<int>(dw) || ih != static_cast<int>(dh)) say("the two screen size forms differ");
  char line[256];
  std::snprintf(line, sizeof line, "%s title=%s client=%dx%d pos=%d,%d work=%dx%d desktop=%dx%d visible=%d saver=%d",
                tag, platform_window_title(g_runtime.window.window).c_str(), w, h, x, y, aw, ah, iw, ih,
                platform_window_visible(g_runtime.window.window) ? 1 : 0,
                SDL_IsScreenSaverEnabled() ? 1 : 0);
  say(line);
}

void push_window_event(Uint8 which) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = which;
  e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(g_runtime.window.window));
  SDL_PushEvent(&e);
}

void on_quit() { say("TMX_ON_QUIT"); }

double probe_main() {
  report_window("start");
  if (g_mode == "end") {
    sys_set_screen(800, 500, 0);
    report_window("screen");
    sys_set_screen(0, 450, 0);
    report_window("keep");
    sys_end();
  }
  if (g_mode == "linefile") {
    // Left to the program's end: the teardown writes the line back.
    sys_put_file_line(std::getenv("PROBE_LINE_FILE"), 1, "kept at the end");
    sys_open_file(3, std::getenv("PROBE_CHANNEL_FILE"), 0);
    sys_write_text(3, "buffered");
    sys_end();
  }
  if (g_mode == "vsync") {
    sys_limit_fps(30, 1);
    say("vsync on: interval=" + std::to_string(platform_gl_swap_interval()));
    sys_limit_fps(30, 0);
    say("vsync off: interval=" + std::to_string(platform_gl_swap_interval()));
    sys_end();
  }
  if (g_mode == "fullscreen") {
    sys_set_screen(640, 400, 1);
    report_window("full");
    sys_set_screen(800, 500, 0);
    report_window("back");
    double dw = 0, dh = 0;
    gfx_get_screen_size(dw, dh);
    sys_set_screen(static_cast<int>(dw), static_cast<int>(dh), 1);  // a mode the display has
    report_window("fullmode");
    sys_end();
  }
  if (g_mode == "archive") {
    // Files beside the program and in the archive appended to it.
    for (const char* name : {"Media/thing.txt", "Media/disk.txt", "Media/none.txt"}) {
      std::string found;
      int ok = runtime_resolve_general_file(name, found);
      VirtualFile f;
      std::string text;
      if (ok && f.open_read(found.c_str())) {
        text.resize(static_cast<size_t>(f.size));
        if (!text.empty()) f.read(text.data(), f.size);
      }
      say(std::string(name) + " -> " + std::to_string(ok) + " " + text);
    }
    std::string music;
    int ok = runtime_resolve_media_to_disk("Music/song.mp3", music);
    say("song -> " + std::to_string(ok) + " " + music);
    sys_end();
  }
  if (g_mode == "msaa") {
    int samples = 0;
    SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &samples);
    say("samples=" + std::to_string(samples));
    sys_show_screen();
    sys_end();
  }
  if (g_mode == "close" || g_mode == "quit") {
    if (g_mode == "close") {
      push_window_event(SDL_WINDOWEVENT_CLOSE);
    } else {
      SDL_Event e{};
      e.type = SDL_QUIT;
      SDL_PushEvent(&e);
    }
  }
  if (g_mode == "pause") {
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    engine_pump_messages(nullptr);
    report_window("paused");
    push_window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    sys_show_screen();  // the pause loop runs until the focus comes back
    report_window("resumed");
    sys_end();
  }
  if (g_mode == "return") return 0;  // run_program then ends through sys_end
  if (g_mode == "warm") {
    // What the start-up's warm-up drawing borrowed is free again, and the
    // back buffer holds the frame's clear only.
    int w1 = -1, h1 = -1, w2 = -1, h2 = -1;
    gfx_get_sprite_size(65501, w1, h1);
    gfx_get_sprite_size(65502, w2, h2);
    char line[160];
    std::snprintf(line, sizeof line, "warm screen=%d sprites=%dx%d,%dx%d pixels=%d,%d,%d", gfx_gen_screen(), w1, h1,
                  w2, h2, gfx_get_pixel(0, 0), gfx_get_pixel(20, 20), gfx_get_pixel(70, 50));
    say(line);
    sys_end();
  }
  say("ready");
  for (int frame = 0; frame < 3000; ++frame) sys_show_screen();
  say("still running");
  return 0;
}

const SubEntry kSubs[] = {{&on_quit, "TMX_ON_QUIT"}, {nullptr, nullptr}};

}  // namespace

int main(int argc, char** argv) {
  g_mode = argc > 1 ? argv[1] : "end";
  static const TamblixProgram program{&settings, &probe_main, kSubs};
  return run_program(argc, argv, program);
}
