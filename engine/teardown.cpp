#include "engine/teardown.h"

#include "audio/sound.h"
#include "engine/frame.h"
#include "engine/run_session.h"
#include "engine/startup.h"
#include "files/files.h"
#include "gfx/context.h"
#include "input/input_state.h"
#include "net/net.h"
#include "platform/file_system.h"
#include "platform/window.h"
#include "runtime/virtual_file.h"
#include "runtime/window.h"
#include "shaders/shader_table.h"
#include "tamblix/audio.h"
#include "tamblix/errors.h"
#include "tamblix/runtime.h"

namespace {

bool g_quit_called = false;

void destroy_window() {
  if (g_runtime.window.window) {
    platform_gl_make_current(g_runtime.window.window, nullptr);
    platform_window_destroy(g_runtime.window.window);
  }
  platform_gl_delete_context(g_runtime.window.glContext);
  g_runtime.window.glContext = nullptr;
  g_runtime.window.window = nullptr;
}

}  // namespace

void engine_teardown(bool process_ends) {
  if (!g_quit_called) {
    g_quit_called = true;
    engine_mark_program_ending();
    call_sub("TMX_ON_QUIT");
  }
  if (!gfx_context_exists()) return;
  log_append("Shut down TMX\n");
  mus_stop();
  // The executable's directory is the working directory again.
  if (!engine_exe_dir().empty()) platform_set_current_dir(engine_exe_dir().c_str());
  files_close_all();
  net_release_all();
  tmx::input::input_shutdown();
  // When the process exits right after, the sound device is silenced and
  // left for the exit to close: closing waits for two buffers to drain.
  tmx::audio::sound_shutdown(process_ends);
  gfx_context_destroy();
  shaders_release();
  runtime_release_resolvers();
  destroy_window();
  log_append("tmx is shut down\n");
}

void engine_end_sequence() {
  engine_run_session_finish();
  engine_teardown(true);
}
