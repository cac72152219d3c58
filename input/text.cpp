// Typed characters: the queue, inp_inkey, inp_key_char and the line editor.
#include <SDL.h>

#include <cstdlib>
#include <string>

#include "input/input_state.h"
#include "input/line_editor.h"
#include "platform/sdl_input.h"
#include "platform/sdl_window.h"
#include "runtime/frame.h"
#include "runtime/window.h"
#include "tamblix/gfx.h"
#include "tamblix/input.h"
#include "tamblix/string.h"


namespace tmx::input {

namespace {
LineEditorServices g_editor;
}

LineEditorServices& line_editor_services() { return g_editor; }

void queue_char(int c) {
  InputState* s = state();
  if (s == nullptr) return;
  c &= 255;
  if (c == 0) return;
  if (c == 13) c = 10;
  if (c < 32 && c != 8 && c != 9 && c != 10) return;
  if (static_cast<int>(s->chars.size()) >= kMaxQueuedChars) return;
  s->chars.push_back(static_cast<uint8_t>(c));
}

int take_char() {
  InputState* s = state();
  if (s == nullptr || s->chars.empty()) return 0;
  int c = s->chars.front();
  s->chars.erase(s->chars.begin());
  return c;
}

int take_key_flag() { return take_char() != 0 ? 1 : 0; }

namespace {

void print_text(const std::string& text, int x, int y, int kerning) {
  if (g_editor.print) {
    g_editor.print(text.c_str(), x, y, kerning);
  } else {
    gfx_print(BasicString(text.c_str()), x, y, kerning);
  }
}

// Without the frame presentation: take the window's events here through the
// platform's event pump (typed text as Latin-1, Enter, Backspace and Tab as
// characters), handing the typed characters to the queue. False once the
// window system asks to quit.
bool serve_events_alone() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  bool running = true;
  while (platform_event_pending()) {
    PlatformEvent ev;
    if (!platform_take_event(&ev)) break;
    if (ev.raw) handle_platform_event(ev.raw);
    if (ev.kind == PlatformEventKind::close_request) running = false;
    if (ev.kind == PlatformEventKind::characters) {
      for (const char* p = ev.text; *p; ++p) queue_char(static_cast<unsigned char>(*p));
    }
  }
  SDL_Delay(10);
  return running;
}

// One frame: the frame presentation when the engine's window exists,
// otherwise the events served here. False once the editing must end.
bool next_frame() {
  if (g_editor.present_frame) {
    g_editor.present_frame();
    return true;
  }
  if (g_gl_window.window != nullptr) {
    present_frame();
    return true;
  }
  return serve_events_alone();
}

void start_frame() {
  if (g_editor.begin_frame_state) g_editor.begin_frame_state();
  else if (g_gl_window.window != nullptr) begin_frame_state();
}

void present(const std::string& text, int x, int y, int kerning, bool draw_background) {
  if (draw_background && g_editor.draw_background) g_editor.draw_background();
  print_text(text, x, y, kerning);
}

}  // namespace

// The line editor; returns the edited text.
std::string edit_line(std::string s, int x, int y, int kerning) {
  if (g_editor.capture_background) g_editor.capture_background();
  present(s, x, y, kerning, true);
  bool running = next_frame();
  int idle = 0;
  bool cursor = true;
  while (running) {
    start_frame();
    refresh_keyboard();
    const int c = take_char();
    if (c == 13 || c == 10) break;
    if (c == 8) {
      if (!s.empty()) s.pop_back();
    } else if (c != 0) {
      s.push_back(static_cast<char>(c));
    } else if (++idle > 20) {
      cursor = !cursor;
      idle = 0;
    }
    if (c != 0) idle = 0;
    present(cursor ? s + "_" : s, x, y, kerning, true);
    running = next_frame();
  }
  if (g_editor.free_background) g_editor.free_background();
  return s;
}

}  // namespace tmx::input

using namespace tmx::input;

BasicString inp_inkey() {
  int c = take_char();
  if (c == 0) return BasicString();
  char text[2] = {static_cast<char>(c), 0};
  return BasicString(text);
}

int inp_key_char(int code) {
  switch (code) {
    case 14: return 8;
    case 28:
    case 156: return 10;
    case 29: case 42: case 54: case 56: case 58: case 69: case 221: return 0;
    default: break;
  }
  int c = tmx::platform::key_character(code);
  if (c >= 1 && c <= 31 && c != 8 && c != 10) c = 0;
  if (c < 0 || c > 255) c = 0;
  return static_cast<int>(static_cast<signed char>(static_cast<unsigned char>(c)));
}

void inp_input(BasicString& text, int x, int y, int kerning) {
  text = BasicString(edit_line(text.c_str(), x, y, kerning).c_str());
}

void inp_input(int32_t& value, int x, int y, int kerning) {
  std::string s = edit_line(std::string(), x, y, kerning);
  value = text_to_int(s.c_str());
}

void inp_input(double& value, int x, int y, int kerning) {
  std::string s = edit_line(std::string(), x, y, kerning);
  value = text_to_real(s.c_str());
}
