#include "engine/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sound.h"
#include "core/program_end.h"
#include "engine/frame.h"
#include "engine/run_session.h"
#include "engine/teardown.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/fonts.h"
#include "gfx/gl_ext.h"
#include "gfx/viewport.h"
#include "input/input_state.h"
#include "platform/end_signals.h"
#include "platform/file_system.h"
#include "platform/process_info.h"
#include "platform/window.h"
#include "runtime/timer.h"
#include "runtime/virtual_file.h"
#include "runtime/window.h"
#include "shaders/shader_table.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"
#include "tamblix/random.h"
#include "tamblix/string.h"

namespace {

const SubEntry* g_sub_table = nullptr;
std::string g_command_line;
std::vector<std::string> g_args;
std::string g_exe_dir;

// run_sub_chain's names.
std::string g_chain_current;
std::string g_chain_pending;

SubRoutine find_sub_bytes(const char* name, size_t len) {
  if (!g_sub_table || !name) return nullptr;
  for (const SubEntry* e = g_sub_table; e->routine; ++e) {
    if (e->name && std::strlen(e->name) == len && std::memcmp(e->name, name, len) == 0) return e->routine;
  }
  return nullptr;
}

int call_sub_bytes(const char* name, size_t len) {
  SubRoutine r = find_sub_bytes(name, len);
  if (r) {
    r();
    return 1;
  }
  std::string n(name ? name : "", name ? len : 0);
  if (n != "TMX_ON_QUIT" && n != "TMX_WIN32_MSG") {
    std::string line = "CALLBYNAME \"" + n + "\" *** failed ***\n";
    debug_print(line.c_str());
  }
  return 0;
}

void run_sub_chain_bytes(const std::string& name) {
  if (!g_chain_current.empty()) {
    g_chain_pending = name;
    g_chain_current.clear();
    return;
  }
  g_chain_pending.clear();
  g_chain_current = name;
  if (name.empty()) return;
  SubRoutine r = find_sub_bytes(name.data(), name.size());
  for (;;) {
    if (!r) {
      // Nothing runs: the dispatcher is free again.
      g_chain_current.clear();
      return;
    }
    do {
      r();
    } while (!g_chain_current.empty());
    g_chain_current = g_chain_pending;
    g_chain_pending.clear();
    if (g_chain_current.empty()) return;
    r = find_sub_bytes(g_chain_current.data(), g_chain_current.size());
  }
}

void restart_log() {
  const char* path = error_log_path();
  if (platform_is_directory(path)) {
    platform_remove_directory(path);
  } else {
    platform_delete_file(path);
  }
  log_append("Start new log...\n");
}

// ---- what the window asks of the engine ----
void window_size_changed(int width, int height, bool whole_viewport) {
  gfx_window_size_changed(width, height);
  if (whole_viewport) gfx_apply_viewport(0, 0, 0, 0);
}
void serve_window_events() { engine_pump_messages(nullptr); }

}  // namespace

BasicString& rt_app_name() {
  // Never destroyed: callbacks at exit may still read it.
  static BasicString* name = new BasicString();
  return *name;
}

void engine_set_sub_table(const SubEntry* table) { g_sub_table = table; }

SubRoutine find_sub(const char* name) { return find_sub_bytes(name, name ? std::strlen(name) : 0); }
SubRoutine find_sub(const BasicString& name) { return find_sub_bytes(name.c_str(), name.length()); }
int call_sub(const char* name) { return call_sub_bytes(name, name ? std::strlen(name) : 0); }
int call_sub(const BasicString& name) { return call_sub_bytes(name.c_str(), name.length()); }
void run_sub_chain(const char* name) { run_sub_chain_bytes(name ? name : ""); }
void run_sub_chain(const BasicString& name) { run_sub_chain_bytes(std::string(name.c_str(), name.length())); }

const std::string& engine_command_line() { return g_command_line; }
const std::vector<std::string>& engine_program_args() { return g_args; }
const std::string& engine_exe_dir() { return g_exe_dir; }

std::string engine_exe_dir_from_path(const std::string& exe_path) {
  std::string dir = runtime_native_path(exe_path.c_str());
  size_t cut = dir.rfind('/');
  if (cut != std::string::npos) dir.resize(cut);
  return dir;
}

int engine_init(int show_command, const char* caption) {
  // Before the first image and the GL driver allocate: a long run's resident
  // memory stays flat instead of climbing with the heap's holes.
  platform_keep_allocator_thresholds();
  core_program_end_install(&engine_end_sequence);
  runtime_window_set_callbacks({&window_size_changed, &gfx_release_window_textures, &serve_window_events});

  restart_log();
  log_append("timer\n");
  runtime_timer_init();

  log_append("ruvi\n");
  gfx_context_create();
  log_append("ruvi init\n");

  if (!runtime_create_gl_window(g_program_settings.width, g_program_settings.height, 0, g_program_settings.frameRate,
                                g_program_settings.antialiasSamples)) {
    return 0;
  }
  log_append("get accurate timer - 1st call\n");
  g_runtime.window.nextFrameDue = timer_ms();
  log_append("flip - 1st call\n");
  engine_flip_and_wait(nullptr);
  runtime_window_probe_swap_control();
  gfx_load_gl_extensions();
  shaders_load_entry_points(platform_gl_extensions().c_str());
  gfx_record_gl_caps();
  log_append("init fbo\n");
  gfx_init_fbo();
  platform_window_hide(g_runtime.window.window);
  log_append("2D VP\n");
  gfx_reset_2d_state();
  log_append("ZOZU init [OK]\n");

  // Only now that the video subsystem runs does the platform take this.
  platform_suppress_screensaver();
  platform_window_set_title(g_runtime.window.window, caption ? caption : "");
  log_append("Cptn\n");
  engine_caption_copy() = BasicString(caption ? caption : "");

  rt_seed(static_cast<int>(timer_since_start()));

  log_append("Network\n");

  log_append("Input\n");
  tmx::input::create_state();

  log_append("Window mode\n");
  if (g_program_settings.fullscreen) {
    runtime_enter_fullscreen();
  } else {
    runtime_enter_windowed();
  }

  log_append("Create DXin\n");
  tmx::input::input_init(g_runtime.window.window, g_program_settings.exclusiveMouse != 0);

  log_append("reptr\n");
  gfx_select_font_slot(0);
  tmx::input::set_window(g_runtime.window.window);

  log_append("getexe\n");
  const std::string exe = platform_executable_path();
  g_exe_dir = engine_exe_dir_from_path(exe);
  log_append("cd\n");
  if (!g_exe_dir.empty()) platform_set_current_dir(g_exe_dir.c_str());
  {
    std::string line = "exepath=curdir= " + g_exe_dir + "\n";
    log_append(line.c_str());
  }

  runtime_create_resolvers();
  log_append("kitpacking...\n");
  {
    const std::string archive = runtime_native_path(exe.c_str());
    runtime_set_archive_path(archive.c_str(), archive.c_str());
  }

  log_append("init gettimer\n");
  g_runtime.frameTimes.current = g_runtime.frameTimes.previous = timer_ms();
  runtime_timer_set_zero(g_runtime.frameTimes.current);

  log_append("clear screen\n");
  gfx_clear_screen(0);

  log_append("flip\n");
  engine_flip_and_wait(nullptr);

  log_append("mk2D\n");
  gfx_reset_2d_state();
  gfx_install_builtin_font(0);

  log_append("finding font...\n");
  static const char* const kFonts[] = {"Media/smalfont.png", "Media/smalfont.bmp", "smalfont.png",
                                       "smalfont.bmp"};
  bool font_found = false;
  for (const char* font : kFonts) {
    std::string found;
    if (runtime_resolve_media_file(*g_runtime.generalResolver, font, found, true)) {
      gfx_load_font_named(found.c_str(), 0);
      font_found = true;
      break;
    }
  }
  if (!font_found) log_append("no smalfont.png or smalfont.bmp: font 0 is the built-in font\n");
  gfx_set_font(0, 1.0);
  gfx_warm_up();

  g_runtime.frame.paused = 0;
  tmx::input::blank_pointer();

  g_runtime.frameTimes.current = g_runtime.frameTimes.previous = timer_ms();
  runtime_timer_set_zero(g_runtime.frameTimes.current);

  if (show_command == 0) {
    runtime_hide_window();
    platform_window_hide(g_runtime.window.window);
  }

  tmx::input::start_pointer(g_program_settings.exclusiveMouse);

  tmx::audio::sound_start(g_runtime.window.window);
  tmx::audio::sound_bind_window(g_runtime.window.window);

  log_append("Init Finalized\n");
  return 1;
}

int run_program(int argc, char** argv, const TamblixProgram& program) {
  g_args.clear();
  g_command_line.clear();
  for (int i = 0; i < argc && argv && argv[i]; ++i) {
    g_args.emplace_back(argv[i]);
    if (i > 0) g_command_line += ' ';
    bool quote = std::strchr(argv[i], ' ') != nullptr;
    if (quote) g_command_line += '"';
    g_command_line += argv[i];
    if (quote) g_command_line += '"';
  }
  // Before any library installs handlers of its own: SIGINT and SIGTERM end
  // the program in order while it presents frames, at once otherwise.
  platform_end_signals_install(error_log_path());
  // The engine's run options (--seed, --frames, --replay, ...) come first:
  // --help and malformed options end the process here.
  engine_run_session_start(argc, argv, program.reads_own_options);
  {
    const RunOptions& o = engine_run_session_options();
    // Runs that nobody watches show no boxes.
    if (!o.replay_path.empty() || o.frames > 0 || o.fast || !o.screenshot_path.empty() || !o.state_out_path.empty()) {
      runtime_set_dialogs_allowed(0);
    }
  }
  engine_set_sub_table(program.sub_table);
  if (program.set_program_settings) program.set_program_settings();

  if (!engine_init(10, rt_app_name().c_str())) {
    // Without a window the program cannot run: say so and end with a
    // failure status instead of going on without its engine objects.
    const std::string why = platform_video_failure();
    log_append(("window creation failed" + (why.empty() ? std::string() : ": " + why) + "\n").c_str());
    std::fprintf(stderr, "%s: the window and its OpenGL context could not be created%s%s\n",
                 g_args.empty() ? "tamblix" : g_args[0].c_str(), why.empty() ? "" : ": ", why.c_str());
    engine_teardown(true);
    std::fflush(stdout);
    std::exit(TMX_EXIT_START_FAILED);
  }
  engine_run_session_after_init();
  g_error_state.code = 0;
  g_error_state.errorLine = 0;
  g_error_state.currentLine = 0;

  double result = program.main ? program.main() : 0.0;
  (void)result;
  if (find_sub("TMX_ON_LOOP")) run_sub_chain("TMX_ON_LOOP");
  core_end_and_exit();
}
