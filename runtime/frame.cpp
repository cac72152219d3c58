#include "runtime/frame.h"

#include <string>

#include "platform/posix_clock.h"
#include "platform/sdl_window.h"
#include "runtime/engine_hooks.h"
#include "runtime/options/run_session.h"
#include "runtime/startup.h"
#include "runtime/timer.h"
#include "runtime/window.h"
#include "tamblix/errors.h"
#include "tamblix/shaders.h"
#include "tamblix/runtime.h"

FrameState g_frame_state;

namespace {

bool g_ending = false;

void look_up_message_routine() {
  if (g_frame_state.messageLookup != -1) return;
  g_frame_state.messageRoutine = find_sub("TMX_WIN32_MSG");
  g_frame_state.messageLookup = g_frame_state.messageRoutine ? 1 : 0;
}

void set_title(const BasicString& text, bool paused_marker) {
  std::string title = text.c_str();
  if (paused_marker) title += " <pause>";
  platform_window_set_title(g_main_window ? g_main_window : g_gl_window.window, title.c_str());
}

bool key(int code) {
  if (g_input_hooks.key_down) return g_input_hooks.key_down(code) != 0;
  return platform_fallback_key_down(code);
}

MessageRoutine g_limiter_routine = nullptr;
void limiter_pump() { pump_messages(g_limiter_routine); }
void limiter_sleep(int ms) { platform_sleep_ms(ms); }
bool limiter_sleep_until(double due) { return timer_sleep_until(due); }

// Set by flip_and_wait's clear, taken by the next begin_frame_state.
bool g_cleared_after_swap = false;

}  // namespace

BasicString& rt_caption_copy() {
  static BasicString* caption = new BasicString();
  return *caption;
}

bool rt_program_ending() { return g_ending; }
void rt_mark_program_ending() { g_ending = true; }

bool quit_keys_down() {
  if (!g_frame_state.exitKeysEnabled) return false;
  return key(1) || key(129) || (key(56) && key(62));
}

void sys_show_screen() {
  present_frame();
  begin_frame_state();
  run_session_frame_done();
}

void present_frame() {
  g_frame_times.previous = g_frame_times.current;
  g_frame_times.current = timer_ms();
  if (g_frame_state.paused) {
    log_append("pause loop in showscreen/hibernate\n");
    while (g_frame_state.paused) {
      if (g_audio_hooks.music_loop_check) g_audio_hooks.music_loop_check();
      look_up_message_routine();
      pump_messages(g_frame_state.messageRoutine);
      if (!g_frame_state.paused) break;
      platform_sleep_ms(500);
    }
    log_append("pause loop ended\n");
  }
  if (g_input_hooks.frame_snapshot) g_input_hooks.frame_snapshot();
  run_session_after_snapshot();
  if (quit_keys_down()) {
    sys_raise_error(0);
    rt_mark_program_ending();
    sys_end();
  }
  if (g_gfx_hooks.leave_3d_mode) g_gfx_hooks.leave_3d_mode();
  if (g_audio_hooks.music_loop_check) g_audio_hooks.music_loop_check();
  look_up_message_routine();
  pump_messages(g_frame_state.messageRoutine);
  flip_and_wait(g_frame_state.messageRoutine);
}

void begin_frame_state() {
  // The frame was cleared right after its buffer swap; a second clear would
  // draw the same picture again.
  if (!g_cleared_after_swap && g_gfx_hooks.clear_frame) g_gfx_hooks.clear_frame();
  g_cleared_after_swap = false;
  if (g_gfx_hooks.begin_frame_blend) g_gfx_hooks.begin_frame_blend();
  if (g_gfx_hooks.reset_2d_state) g_gfx_hooks.reset_2d_state();
  gfx_use_shader(-1);  // every frame starts on the fixed pipeline
}

void flip_and_wait(MessageRoutine routine) {
  if (g_gfx_hooks.end_screen_drawing) g_gfx_hooks.end_screen_drawing();
  g_limiter_routine = routine;
  if (run_session_fast()) {
    // Fast runs do not wait for the frame's time; events are still served.
    pump_messages(routine);
    g_gl_window.nextFrameDue = timer_ms();
  } else {
    // The frame is finished first and the buffers are swapped at its due
    // time, so the time between two swaps is the frame period whatever the
    // frame took to draw.
    platform_gl_finish();
    LimiterEnv env{&timer_ms, &limiter_sleep, &limiter_pump, &limiter_sleep_until};
    frame_limiter_wait(g_gl_window.nextFrameDue, g_gl_window.framePeriod, env);
  }
  platform_gl_swap(g_gl_window.window);
  if (g_gfx_hooks.clear_frame) g_gfx_hooks.clear_frame();
  g_cleared_after_swap = true;
}

void pump_messages(MessageRoutine routine) {
  while (platform_event_pending()) {
    if (routine) routine();
    PlatformEvent ev;
    if (!platform_take_event(&ev)) break;
    if (g_input_hooks.platform_event && ev.raw) g_input_hooks.platform_event(ev.raw);
    switch (ev.kind) {
      case PlatformEventKind::characters:
        if (g_input_hooks.queue_char) {
          for (const char* p = ev.text; *p; ++p) g_input_hooks.queue_char(static_cast<unsigned char>(*p));
        }
        break;
      case PlatformEventKind::focus_lost:
        handle_window_event(WindowEvent::focus_lost);
        break;
      case PlatformEventKind::focus_gained:
        handle_window_event(WindowEvent::focus_gained);
        break;
      case PlatformEventKind::close_request:
        handle_window_event(WindowEvent::close_request);
        break;
      default:
        break;
    }
  }
}

void handle_window_event(WindowEvent event) {
  switch (event) {
    case WindowEvent::focus_lost:
      // A replayed run ignores the focus: it never pauses.
      if (g_program_settings.debug || run_session_ignores_focus()) return;
      set_pause(1);
      if (g_frame_state.paused) set_title(rt_caption_copy(), true);
      return;
    case WindowEvent::focus_gained:
      if (g_program_settings.debug || run_session_ignores_focus()) return;
      set_pause(0);
      if (!g_frame_state.paused) set_title(rt_caption_copy(), false);
      return;
    case WindowEvent::close_request:
      // During the end a close request has nothing left to do.
      if (rt_program_ending()) return;
      rt_mark_program_ending();
      sys_end();
  }
}

void set_pause(int request) {
  int p = g_frame_state.pauseEnabled ? request : 0;
  int flag = p != 0 ? 1 : 0;
  if (flag == g_frame_state.paused) return;
  g_frame_state.paused = flag;
  call_sub(flag ? "TMX_ON_PAUSE" : "TMX_ON_RESUME");
}
