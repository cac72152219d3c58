// The mouse records, both pointer modes and the pointer commands.
#include <algorithm>

#include "input/input_state.h"
#include "input/pointer.h"
#include "platform/keyboard_mouse.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"
#include "tamblix/input.h"

namespace tmx::input {

namespace {

OrientationSource g_orientation;

int orientation() {
  int o = g_orientation.orientation ? g_orientation.orientation() : gfx_get_orientation();
  return (o >= 0 && o <= 3) ? o : 0;
}

void window_size(int& w, int& h) {
  w = h = 0;
  if (g_orientation.window_size) {
    g_orientation.window_size(w, h);
    return;
  }
  InputState* s = state();
  if (s && s->window) {
    platform::window_client_size(s->window, w, h);
  }
}

MouseRecord& current(InputState& s) {
  if (s.mice.empty()) s.mice.push_back(MouseRecord{0, 0, 100, 100, 0});
  if (s.current_mouse < 0 || s.current_mouse >= static_cast<int>(s.mice.size())) s.current_mouse = 0;
  return s.mice[static_cast<size_t>(s.current_mouse)];
}

// Ends the relative mode of the hidden pointer (the cursor stays where it is
// while the window is in the background).
void stop_relative_motion(InputState& s) {
  if (s.relative_motion) platform::relative_motion_set(false);
  s.relative_motion = false;
  s.cursor_reference = false;
}

// Moves the system cursor to a point of the window, only while the window has
// the focus: a program in the background never takes the cursor away.
void warp_cursor_to(InputState& s, int x, int y) {
  if (!platform::window_is_active(s.window)) return;
  platform::window_to_screen(s.window, x, y);
  platform::cursor_warp_screen(x, y);
}

// poll_mouse_raw: buttons and wheel step, position moved from (x, y).
void poll_mouse_raw(InputState& s, int& x, int& y, unsigned& buttons, int& wheel_step) {
  wheel_step = 0;
  buttons = 0;
  if (s.mouse_device) {
    int dx = 0, dy = 0, wheel = 0;
    platform::captured_mouse_read(dx, dy, wheel, buttons);
    wheel_step = wheel > 0 ? 1 : (wheel < 0 ? -1 : 0);
    if (s.pointer_shown) {
      platform::cursor_in_window(s.window, x, y);
    } else {
      x += dx;
      y += dy;
    }
  } else {
    // Position and buttons come from one query of the system pointer.
    int cx = 0, cy = 0;
    buttons = platform::cursor_and_buttons_on_screen(cx, cy);
    if (s.pointer_shown) {
      int wx = 0, wy = 0;
      platform::window_to_screen(s.window, wx, wy);
      x = cx - wx;
      y = cy - wy;
    } else if (platform::window_is_active(s.window) && (s.relative_motion || platform::relative_motion_set(true))) {
      // Relative motion from the platform's relative mode, which holds the
      // pointer inside the focused window.
      s.relative_motion = true;
      s.cursor_reference = false;
      int dx = 0, dy = 0;
      platform::relative_motion_read(dx, dy);
      x += dx;
      y += dy;
    } else {
      // In the background the cursor belongs to the other programs: it is
      // never moved, and the motion is its path since the last read.
      if (s.relative_motion) stop_relative_motion(s);
      if (s.cursor_reference) {
        x += cx - s.cursor_reference_x;
        y += cy - s.cursor_reference_y;
      }
      s.cursor_reference = true;
      s.cursor_reference_x = cx;
      s.cursor_reference_y = cy;
    }
  }
  int w = 0, h = 0;
  platform::window_outer_size(s.window, w, h);
  x = std::clamp(x, 0, std::max(w, 0));
  y = std::clamp(y, 0, std::max(h, 0));
}

}  // namespace

OrientationSource& orientation_source() { return g_orientation; }

// The point mapping of the screen orientation (window width W, height H).
void map_point(int& x, int& y) {
  int W = 0, H = 0;
  window_size(W, H);
  const int px = x, py = y;
  switch (orientation()) {
    case 1: x = py; y = W - 1 - px; break;
    case 2: x = W - 1 - px; y = H - 1 - py; break;
    case 3: x = H - 1 - py; y = px; break;
    default: break;
  }
}

// The motion of a point under map_point: its rotation without the offset,
// so a still mouse stays still under every orientation.
void map_vector(int& x, int& y) {
  const int px = x, py = y;
  switch (orientation()) {
    case 1: x = py; y = -px; break;
    case 2: x = -px; y = -py; break;
    case 3: x = -py; y = px; break;
    default: break;
  }
}

void unmap_point(int& x, int& y) {
  int W = 0, H = 0;
  window_size(W, H);
  const int a = x, b = y;
  switch (orientation()) {
    case 1: x = W - 1 - b; y = a; break;
    case 2: x = W - 1 - a; y = H - 1 - b; break;
    case 3: x = b; y = H - 1 - a; break;
    default: break;
  }
}

int current_orientation() { return orientation(); }

MouseReading read_mouse(bool update) {
  MouseReading out{};
  InputState* sp = state();
  if (sp == nullptr) return out;
  InputState& s = *sp;
  MouseRecord& r = current(s);
  int x, y, dx, dy, step;
  unsigned buttons;
  if (s.pointer_shown) {
    x = r.frame_x;
    y = r.frame_y;
    poll_mouse_raw(s, x, y, buttons, step);
    dx = x - r.frame_x;
    dy = y - r.frame_y;
  } else {
    x = r.x;
    y = r.y;
    poll_mouse_raw(s, x, y, buttons, step);
    r.x = x;
    r.y = y;
    dx = r.x - r.frame_x;
    dy = r.y - r.frame_y;
  }
  const int wheel = r.wheel + step;
  out.left = static_cast<int16_t>((buttons & 1) ? 1 : 0);
  out.right = static_cast<int16_t>((buttons & 2) ? 1 : 0);
  out.middle = static_cast<int16_t>((buttons & 4) ? 1 : 0);
  out.dx = static_cast<int16_t>(dx);
  out.dy = static_cast<int16_t>(dy);
  out.wheel = static_cast<int16_t>(wheel);
  if (!update) {
    r.wheel = wheel;
  } else {
    if (s.pointer_shown) {
      r.x = r.frame_x = x;
      r.y = r.frame_y = y;
    } else {
      r.frame_x = r.x;
      r.frame_y = r.y;
    }
    r.wheel = 0;
  }
  return out;
}

int any_mouse_button() {
  InputState* s = state();
  if (s == nullptr) return 0;
  for (int i = 0; i < s->mouse_count; ++i) read_mouse(true);
  MouseReading m = read_mouse(false);
  return (m.left || m.right || m.middle) ? 1 : 0;
}

void mouse_startup(InputState& s, bool exclusive) {
  s.mice.clear();
  s.mice.reserve(4);
  s.mice.push_back(MouseRecord{0, 0, 100, 100, 0});
  s.mouse_count = 1;
  s.current_mouse = 0;
  MouseRecord& r = s.mice[0];
  int cx = 0, cy = 0;
  platform::cursor_in_window(s.window, cx, cy);
  r.x = r.frame_x = cx;
  r.y = r.frame_y = cy;
  s.pointer_shown = 0;
  if (exclusive) {
    s.mouse_device = true;
    s.mouse_level = 5;
    if (!platform::captured_mouse_set_exclusive(s.window, true)) {
      // The device stays; each later mode change tries again.
      log_append("can't aquire mouse - first try\n");
      log_append("No DX_Mouse\n");
    }
  } else {
    s.mouse_device = false;
    platform::pointer_show(true);
    s.pointer_shown = 1;
  }
}

void mouse_shutdown(InputState& s) {
  if (s.mouse_device) {
    s.mouse_level = 6;
    platform::captured_mouse_set_exclusive(s.window, false);
  }
  stop_relative_motion(s);
  if (!s.pointer_shown && !s.mice.empty()) {
    MouseRecord& r = current(s);
    warp_cursor_to(s, r.frame_x, r.frame_y);
  }
  platform::pointer_show(true);
  s.pointer_shown = 1;
}

void pointer_hide_quietly() {
  InputState* s = state();
  if (s == nullptr) return;
  if (s->mouse_device) platform::captured_mouse_set_exclusive(s->window, true);
  platform::pointer_show(false);
  s->pointer_shown = 0;
}

// Start-up: the mouse mode and the pointer for the exclusive-mouse setting.
void start_pointer(int exclusive_mouse) {
  InputState* s = state();
  if (s == nullptr) return;
  if (s->mouse_device) {
    s->mouse_level = exclusive_mouse ? 5 : 6;
    platform::captured_mouse_set_exclusive(s->window, exclusive_mouse != 0);
  }
  if (!exclusive_mouse) {
    stop_relative_motion(*s);
    if (!s->pointer_shown) {
      MouseRecord& r = current(*s);
      warp_cursor_to(*s, r.x, r.y);
    }
    platform::pointer_show(true);
  } else {
    platform::pointer_show(false);
  }
  s->pointer_shown = exclusive_mouse ? 0 : 1;
}

void restore_pointer() {
  if (InputState* s = state()) inp_system_pointer(s->pointer_shown ? 1.0 : 0.0);
}

void blank_pointer() { platform::pointer_show(false); }

}  // namespace tmx::input

using namespace tmx::input;

int inp_mouse_axis(int axis) {
  MouseReading m = read_mouse(false);
  switch (axis) {
    case 0:
    case 1: {
      int x = m.dx, y = m.dy;
      map_vector(x, y);
      return axis == 0 ? x : y;
    }
    case 2: return m.wheel;
    case 3: return m.left;
    case 4: return m.right;
    case 5: return m.middle;
  }
  return 0;
}

namespace {
void mouse_state(int& x, int& y, int& left, int& right) {
  MouseReading m = read_mouse(true);
  InputState* s = state();
  if (s == nullptr) {
    x = y = left = right = 0;
    return;
  }
  MouseRecord& r = s->mice[static_cast<size_t>(s->current_mouse)];
  int px = r.frame_x, py = r.frame_y;
  map_point(px, py);
  int W = 0, H = 0;
  if (orientation_source().window_size) {
    orientation_source().window_size(W, H);
  } else if (s->window) {
    tmx::platform::window_client_size(s->window, W, H);
  }
  if (current_orientation() == 1 || current_orientation() == 3) std::swap(W, H);
  px = std::clamp(px, 0, std::max(W, 0));
  py = std::clamp(py, 0, std::max(H, 0));
  x = px;
  y = py;
  unmap_point(px, py);
  r.frame_x = px;
  r.frame_y = py;
  left = m.left ? 1 : 0;
  right = m.right ? 1 : 0;
}
}  // namespace

void inp_mouse_state(int& x, int& y, int& left, int& right) { mouse_state(x, y, left, right); }

void inp_mouse_state(double& x, double& y, double& left, double& right) {
  int ix, iy, il, ir;
  mouse_state(ix, iy, il, ir);
  x = ix;
  y = iy;
  left = il;
  right = ir;
}

void inp_set_mouse(int x, int y) {
  InputState* s = state();
  if (s == nullptr) return;
  unmap_point(x, y);
  MouseRecord& r = s->mice.empty() ? (s->mice.push_back(MouseRecord{0, 0, 100, 100, 0}), s->mice[0])
                                    : s->mice[static_cast<size_t>(s->current_mouse)];
  r.x = r.frame_x = x;
  r.y = r.frame_y = y;
}

void inp_system_pointer(double flag) {
  InputState* s = state();
  if (s == nullptr) return;
  const bool show = flag != 0;
  if (s->mouse_device) {
    s->mouse_level = show ? 6 : 5;
    tmx::platform::captured_mouse_set_exclusive(s->window, !show);
  }
  if (show) {
    stop_relative_motion(*s);
    if (!s->pointer_shown && !s->mice.empty()) {
      MouseRecord& r = s->mice[static_cast<size_t>(s->current_mouse)];
      warp_cursor_to(*s, r.frame_x, r.frame_y);
    }
    tmx::platform::pointer_show(true);
  } else {
    tmx::platform::pointer_show(false);
  }
  s->pointer_shown = show ? 1 : 0;
}

int inp_mouse_count() { return 1; }

void inp_select_mouse(int) {
  if (InputState* s = state()) s->current_mouse = 0;
}
