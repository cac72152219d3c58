#include "runtime/startup.h"
#include "net/net.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix_file.h"
#include "platform/sdl_window.h"
#include "runtime/engine_hooks.h"
#include "runtime/frame.h"
#include "runtime/options/run_session.h"
#include "runtime/shutdown.h"
#include "runtime/timer.h"
#include "runtime/virtual_file.h"
#include "runtime/window.h"
#include "tamblix/errors.h"
#include "tamblix/random.h"
#include "tamblix/string.h"

ProgramSettings g_program_settings = {640, 400, 0, 0, 60, 0, 0};


namespace {

const SubEntry* g_sub_table = nullptr;
std::string g_command_line;
std::vector<std::string> g_args;
std::string g_exe_dir;
bool g_graphics_created = false;
bool g_network_created = false;
bool g_scene_created = false;

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

// ---- teardown steps ----
void quit_callback() {
  rt_mark_program_ending();
  call_sub("TMX_ON_QUIT");
}
bool graphics_exists() {
  if (g_gfx_hooks.context_exists) return g_gfx_hooks.context_exists();
  return g_graphics_created;
}
void music_stop_step() {
  if (g_audio_hooks.music_stop) g_audio_hooks.music_stop();
}
void restore_exe_dir_step() {
  if (!g_exe_dir.empty()) platform_set_current_dir(g_exe_dir.c_str());
}
void input_shutdown_step() {
  if (g_input_hooks.input_shutdown) g_input_hooks.input_shutdown();
}
void sound_shutdown_step() {
  if (g_audio_hooks.sound_shutdown) g_audio_hooks.sound_shutdown();
}
void destroy_graphics_step() {
  if (g_gfx_hooks.destroy_context) g_gfx_hooks.destroy_context();
  g_graphics_created = false;
  g_scene_created = false;
}
void release_resolvers_step() { release_resolvers(); }
void destroy_window_step() {
  if (g_gl_window.window) {
    platform_gl_make_current(g_gl_window.window, nullptr);
    platform_window_destroy(g_gl_window.window);
  }
  platform_gl_delete_context(g_gl_window.glContext);
  g_gl_window.glContext = nullptr;
  g_gl_window.window = nullptr;
  g_main_window = nullptr;
}
int debug_setting() { return g_program_settings.debug; }
void net_shutdown_step() {
  net_release_all();
  g_network_created = false;
}

}  // namespace

BasicString& rt_app_name() {
  // Never destroyed: callbacks at exit may still read it.
  static BasicString* name = new BasicString();
  return *name;
}

void rt_set_sub_table(const SubEntry* table) { g_sub_table = table; }

SubRoutine find_sub(const char* name) { return find_sub_bytes(name, name ? std::strlen(name) : 0); }
SubRoutine find_sub(const BasicString& name) { return find_sub_bytes(name.c_str(), name.length()); }
int call_sub(const char* name) { return call_sub_bytes(name, name ? std::strlen(name) : 0); }
int call_sub(const BasicString& name) { return call_sub_bytes(name.c_str(), name.length()); }
void run_sub_chain(const char* name) { run_sub_chain_bytes(name ? name : ""); }
void run_sub_chain(const BasicString& name) { run_sub_chain_bytes(std::string(name.c_str(), name.length())); }

const std::string& rt_command_line() { return g_command_line; }
const std::vector<std::string>& rt_program_args() { return g_args; }
const std::string& rt_exe_dir() { return g_exe_dir; }
bool rt_graphics_context_exists() { return graphics_exists(); }

std::string exe_dir_from_path(const std::string& exe_path) {
  std::string dir = platform_path(exe_path.c_str());
  size_t cut = dir.rfind('/');
  if (cut != std::string::npos) dir.resize(cut);
  return dir;
}

void register_runtime_shutdown() {
  ShutdownHooks& h = shutdown_hooks();
  h.call_quit_callback = &quit_callback;
  h.graphics_context_exists = &graphics_exists;
  h.music_stop = &music_stop_step;
  h.restore_exe_dir = &restore_exe_dir_step;
  if (!h.net_shutdown) h.net_shutdown = &net_shutdown_step;
  h.input_shutdown = &input_shutdown_step;
  h.sound_shutdown = &sound_shutdown_step;
  h.destroy_graphics = &destroy_graphics_step;
  h.release_resolvers = &release_resolvers_step;
  h.destroy_window = &destroy_window_step;
  h.debug_setting = &debug_setting;
}

int engine_init(void* instance, int show_command, const char* caption) {
  register_runtime_shutdown();

  restart_log();
  log_append("timer\n");
  timer_init();

  log_append("ruvi\n");
  if (g_gfx_hooks.create_context) g_gfx_hooks.create_context();
  g_graphics_created = true;
  log_append("ruvi init\n");

  if (!create_gl_window(instance, g_program_settings.width, g_program_settings.height, 0,
                        g_program_settings.frameRate, g_program_settings.antialiasSamples)) {
    return 0;
  }
  // Only now that the video subsystem runs does the platform take this.
  platform_suppress_screensaver();
  g_main_window = g_gl_window.window;
  platform_window_set_title(g_main_window, caption ? caption : "");
  log_append("Cptn\n");
  rt_caption_copy() = BasicString(caption ? caption : "");

  rt_seed(static_cast<int>(timer_since_start()));

  log_append("Network\n");
  g_network_created = true;
  g_scene_created = true;

  log_append("Input\n");
  if (g_input_hooks.create_state) g_input_hooks.create_state();

  log_append("Window mode\n");
  if (g_program_settings.fullscreen) {
    enter_fullscreen();
  } else {
    enter_windowed();
  }

  log_append("Create DXin\n");
  if (g_input_hooks.input_init) g_input_hooks.input_init(g_main_window, g_program_settings.exclusiveMouse != 0);

  log_append("reptr\n");
  if (g_gfx_hooks.select_font_slot) g_gfx_hooks.select_font_slot(0);
  if (g_input_hooks.set_window) g_input_hooks.set_window(g_gl_window.window);

  log_append("getexe\n");
  const std::string exe = platform_executable_path();
  g_exe_dir = exe_dir_from_path(exe);
  log_append("cd\n");
  if (!g_exe_dir.empty()) platform_set_current_dir(g_exe_dir.c_str());
  {
    std::string line = "exepath=curdir= " + g_exe_dir + "\n";
    log_append(line.c_str());
  }

  create_resolvers();
  log_append("kitpacking...\n");
  {
    const std::string archive = platform_path(exe.c_str());
    set_archive_path(archive.c_str(), archive.c_str());
  }

  log_append("init gettimer\n");
  g_frame_times.current = g_frame_times.previous = timer_ms();
  timer_set_zero(g_frame_times.current);

  log_append("clear screen\n");
  if (g_gfx_hooks.clear_screen) g_gfx_hooks.clear_screen(0);

  log_append("flip\n");
  flip_and_wait(nullptr);

  log_append("mk2D\n");
  if (g_gfx_hooks.reset_2d_state) g_gfx_hooks.reset_2d_state();
  if (g_gfx_hooks.install_builtin_font) g_gfx_hooks.install_builtin_font(0);

  log_append("finding font...\n");
  static const char* const kFonts[] = {"Media/smalfont.png", "Media/smalfont.bmp", "smalfont.png",
                                       "smalfont.bmp"};
  for (const char* font : kFonts) {
    std::string found;
    if (resolve_media_file(*g_general_resolver, font, found, true)) {
      if (g_gfx_hooks.load_font) g_gfx_hooks.load_font(found.c_str(), 0);
      break;
    }
  }
  if (g_gfx_hooks.set_font) g_gfx_hooks.set_font(0, 1.0);
  if (g_gfx_hooks.warm_up) g_gfx_hooks.warm_up();

  g_frame_state.paused = 0;
  if (g_input_hooks.blank_pointer) g_input_hooks.blank_pointer();

  g_frame_times.current = g_frame_times.previous = timer_ms();
  timer_set_zero(g_frame_times.current);

  if (show_command == 0) {
    hide_window();
    platform_window_hide(g_main_window);
  }

  if (g_input_hooks.start_pointer) g_input_hooks.start_pointer(g_program_settings.exclusiveMouse);

  if (g_audio_hooks.sound_start) g_audio_hooks.sound_start(g_main_window);
  if (g_audio_hooks.sound_bind_window) g_audio_hooks.sound_bind_window(g_gl_window.window);

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
  // The engine's run options (--seed, --frames, --replay, ...) come first:
  // --help and malformed options end the process here.
  run_session_start(argc, argv);
  {
    const RunOptions& o = run_session_options();
    // Runs that nobody watches show no boxes.
    if (!o.replay_path.empty() || o.frames > 0 || o.fast || !o.screenshot_path.empty() || !o.state_out_path.empty()) {
      rt_set_dialogs_allowed(0);
    }
  }
  rt_set_sub_table(program.sub_table);
  if (program.set_program_settings) program.set_program_settings();

  if (!engine_init(nullptr, 10, rt_app_name().c_str())) {
    // Without a window the program cannot run: say so and end with a
    // failure status instead of going on without its engine objects.
    log_append("window creation failed\n");
    std::fprintf(stderr, "%s: the window and its OpenGL context could not be created\n",
                 g_args.empty() ? "tamblix" : g_args[0].c_str());
    shutdown_engine();
    std::fflush(stdout);
    std::exit(1);
  }
  run_session_after_init();
  g_error_state.code = 0;
  g_error_state.errorLine = 0;
  g_error_state.currentLine = 0;

  double result = program.main ? program.main() : 0.0;
  (void)result;
  if (find_sub("TMX_ON_LOOP")) run_sub_chain("TMX_ON_LOOP");
  sys_end_fatal();
}
