// The line editor behind inp_input.
#include "engine/line_editor.h"

#include "engine/frame.h"
#include "gfx/backgrounds.h"
#include "input/input_state.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "runtime/runtime_state.h"
#include "tamblix/gfx.h"
#include "tamblix/input.h"
#include "tamblix/string.h"

namespace tmx::engine {

namespace {

// While a line is typed, the picture that was on the screen when editing
// began stays behind the text.
constexpr int kEditorBackground = 3;
LineEditorServices g_editor;

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
  if (!platform_video_active()) return false;
  bool running = true;
  while (platform_event_pending()) {
    PlatformEvent ev;
    if (!platform_take_event(&ev)) break;
    tmx::input::handle_platform_event(ev);
    if (ev.kind == PlatformEventKind::close_request) running = false;
    if (ev.kind == PlatformEventKind::characters) {
      for (const char* p = ev.text; *p; ++p) tmx::input::queue_char(static_cast<unsigned char>(*p));
    }
  }
  platform_sleep_ms(10);
  return running;
}

// One frame: the frame presentation when the engine's window exists,
// otherwise the events served here. False once the editing must end.
bool next_frame() {
  if (g_editor.present_frame) {
    g_editor.present_frame();
    return true;
  }
  if (g_runtime.window.window != nullptr) {
    engine_present_frame();
    return true;
  }
  return serve_events_alone();
}

void start_frame() {
  if (g_editor.begin_frame_state) {
    g_editor.begin_frame_state();
  } else if (g_runtime.window.window != nullptr) {
    engine_begin_frame_state();
  }
}

void present(const std::string& text, int x, int y, int kerning, bool draw_background) {
  if (draw_background) gfx_draw_background(kEditorBackground);
  print_text(text, x, y, kerning);
}

}  // namespace

LineEditorServices& line_editor_services() { return g_editor; }

std::string edit_line(std::string s, int x, int y, int kerning) {
  gfx_capture_background(kEditorBackground);
  present(s, x, y, kerning, true);
  bool running = next_frame();
  int idle = 0;
  bool cursor = true;
  while (running) {
    start_frame();
    tmx::input::refresh_keyboard();
    const int c = tmx::input::take_char();
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
  gfx_free_background(kEditorBackground);
  return s;
}

}  // namespace tmx::engine

using tmx::engine::edit_line;

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
