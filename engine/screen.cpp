// The window commands that involve the whole engine: sys_set_screen (a new
// window mode, with the input and the sound following the window) and
// sys_limit_fps (the frame rate and vsync, which fast runs keep off).
#include "audio/sound.h"
#include "engine/frame.h"
#include "engine/run_session.h"
#include "input/input_state.h"
#include "runtime/timer.h"
#include "runtime/window.h"
#include "tamblix/runtime.h"

void sys_set_screen(int width, int height, int fullscreen) {
  g_program_settings.width = width;
  g_program_settings.height = height;
  g_program_settings.fullscreen = fullscreen;
  runtime_set_window_mode(width, height, 0, fullscreen);
  tmx::input::restore_pointer();
  tmx::input::set_window(g_runtime.window.window);
  tmx::audio::sound_bind_window(g_runtime.window.window);
  for (int i = 0; i < 5; ++i) sys_show_screen();
}

void sys_limit_fps(double rate, int vsync) {
  // Fast runs never wait for the vertical retrace.
  if (runtime_swap_control_known()) runtime_apply_vsync(vsync != 0 && !engine_run_session_fast());
  g_runtime.window.framePeriod = runtime_frame_period_for_rate(rate);
}
