#include "engine/frame.h"

#include <string>

#include "core/program_end.h"
#include "platform/clock.h"
#include "platform/end_signals.h"
#include "platform/process_info.h"
#include "platform/window.h"
#include "audio/music.h"
#include "gfx/backgrounds.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "input/input_state.h"
#include "engine/run_session.h"
#include "engine/startup.h"
#include "runtime/timer.h"
#include "runtime/window.h"
#include "tamblix/errors.h"
#include "tamblix/input.h"
#include "tamblix/shaders.h"
#include "tamblix/runtime.h"


namespace {

bool g_ending = false;

void look_up_message_routine() {
  if (g_runtime.frame.messageLookup != -1) return;
  g_runtime.frame.messageRoutine = find_sub("TMX_WIN32_MSG");
  g_runtime.frame.messageLookup = g_runtime.frame.messageRoutine ? 1 : 0;
}

void set_title(const BasicString& text, bool paused_marker) {
  std::string title = text.c_str();
  if (paused_marker) title += " <pause>";
  platform_window_set_title(g_runtime.window.window, title.c_str());
}

bool key(int code) { return tmx::input::key_state_down(code) != 0; }

MessageRoutine g_limiter_routine = nullptr;
void limiter_pump() { engine_pump_messages(g_limiter_routine); }
void limiter_sleep(int ms) { platform_sleep_ms(ms); }
bool limiter_sleep_until(double due) { return runtime_timer_sleep_until(due); }

// Set by engine_flip_and_wait's clear, taken by the next engine_begin_frame_state.
bool g_cleared_after_swap = false;
// Frames between two returns of free heap pages to the system.
constexpr int kFramesBetweenReleases = 300;
int g_frames_since_release = 0;

}  // namespace

BasicString& engine_caption_copy() {
  static BasicString* caption = new BasicString();
  return *caption;
}

bool engine_program_ending() { return g_ending; }
void engine_mark_program_ending() { g_ending = true; }

bool engine_quit_keys_down() {
  if (!g_runtime.frame.exitKeysEnabled) return false;
  return key(TMX_KEY_ESCAPE) || key(TMX_KEY_ESCAPE_EXTENDED) || (key(TMX_KEY_LEFT_ALT) && key(TMX_KEY_F4));
}

void sys_show_screen() {
  engine_present_frame();
  engine_begin_frame_state();
  engine_run_session_frame_done();
}

void engine_present_frame() {
  g_runtime.frameTimes.previous = g_runtime.frameTimes.current;
  g_runtime.frameTimes.current = timer_ms();
  if (g_runtime.frame.paused) {
    log_append("pause loop in showscreen/hibernate\n");
    while (g_runtime.frame.paused) {
      tmx::audio::music_loop_check();
      look_up_message_routine();
      engine_pump_messages(g_runtime.frame.messageRoutine);
      if (!g_runtime.frame.paused) break;
      platform_sleep_ms(500);
    }
    log_append("pause loop ended\n");
  }
  tmx::input::frame_snapshot();
  engine_run_session_after_snapshot();
  if (engine_quit_keys_down()) {
    sys_raise_error(0);
    engine_mark_program_ending();
    sys_end();
  }
  tmx::audio::music_loop_check();
  look_up_message_routine();
  engine_pump_messages(g_runtime.frame.messageRoutine);
  engine_flip_and_wait(g_runtime.frame.messageRoutine);
}

void engine_begin_frame_state() {
  // The frame was cleared right after its buffer swap; a second clear would
  // draw the same picture again.
  if (!g_cleared_after_swap) gfx_clear_frame();
  g_cleared_after_swap = false;
  gfx_begin_frame_blend();
  gfx_reset_2d_state();
  gfx_use_shader(-1);  // every frame starts on the fixed pipeline
}

void engine_flip_and_wait(MessageRoutine routine) {
  gfx_end_of_frame();
  g_limiter_routine = routine;
  // The software renderer allocates and frees 64 KiB blocks of its own many
  // times a frame; the heap keeps the pages of those that land between blocks
  // in use, and over a long run resident memory climbs in steps. Every few
  // seconds (300 frames) the free pages go back, in well under a millisecond.
  if (++g_frames_since_release >= kFramesBetweenReleases) {
    g_frames_since_release = 0;
    platform_release_free_memory();
  }
  if (engine_run_session_fast()) {
    // Fast runs do not wait for the frame's time; events are still served.
    engine_pump_messages(routine);
    g_runtime.window.nextFrameDue = timer_ms();
  } else {
    // The frame is finished first and the buffers are swapped at its due
    // time, so the time between two swaps is the frame period whatever the
    // frame took to draw.
    platform_gl_finish();
    LimiterEnv env{&timer_ms, &limiter_sleep, &limiter_pump, &limiter_sleep_until};
    runtime_frame_limiter_wait(g_runtime.window.nextFrameDue, g_runtime.window.framePeriod, env);
  }
  platform_gl_swap(g_runtime.window.window);
  gfx_clear_frame();
  g_cleared_after_swap = true;
}

void engine_pump_messages(MessageRoutine routine) {
  // SIGINT and SIGTERM are honoured here, in order; a program that stops
  // coming here is ended at once by the signal itself.
  platform_end_signals_heartbeat();
  if (const int sig = platform_end_signal_take()) {
    const std::string line = "end requested by signal " + std::to_string(sig) + "\n";
    log_append(line.c_str());
    core_end_set_exit_code(TMX_EXIT_SIGNAL_BASE + sig);
    engine_handle_window_event(WindowEvent::close_request);
  }
  while (platform_event_pending()) {
    if (routine) routine();
    PlatformEvent ev;
    if (!platform_take_event(&ev)) break;
    tmx::input::handle_platform_event(ev);
    switch (ev.kind) {
      case PlatformEventKind::characters:
        for (const char* p = ev.text; *p; ++p) tmx::input::queue_char(static_cast<unsigned char>(*p));
        break;
      case PlatformEventKind::focus_lost:
        engine_handle_window_event(WindowEvent::focus_lost);
        break;
      case PlatformEventKind::focus_gained:
        engine_handle_window_event(WindowEvent::focus_gained);
        break;
      case PlatformEventKind::close_request:
        engine_handle_window_event(WindowEvent::close_request);
        break;
      default:
        break;
    }
  }
}

void engine_handle_window_event(WindowEvent event) {
  switch (event) {
    case WindowEvent::focus_lost:
      // A replayed run ignores the focus: it never pauses.
      if (g_program_settings.debug || engine_run_session_ignores_focus()) return;
      runtime_set_pause(1);
      if (g_runtime.frame.paused) set_title(engine_caption_copy(), true);
      return;
    case WindowEvent::focus_gained:
      if (g_program_settings.debug || engine_run_session_ignores_focus()) return;
      runtime_set_pause(0);
      if (!g_runtime.frame.paused) set_title(engine_caption_copy(), false);
      return;
    case WindowEvent::close_request:
      // During the end a close request has nothing left to do.
      if (engine_program_ending()) return;
      engine_mark_program_ending();
      sys_end();
  }
}
