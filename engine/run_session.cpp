#include "engine/run_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "gfx/screenshot.h"
#include "input/input_override.h"
#include "platform/file_replace.h"
#include "platform/file_system.h"
#include "platform/path_kind.h"
#include "runtime/output_file.h"
#include "runtime/virtual_file.h"
#include "core/program_end.h"
#include "tamblix.h"
#include "tamblix/options.h"

namespace {

RunOptions g_options;
bool g_started = false;
int64_t g_frame_count = 0;
std::unique_ptr<InputScript> g_replay_script;
std::unique_ptr<InputScriptPlayer> g_player;
std::unique_ptr<InputScriptRecorder> g_recorder;
uint32_t g_seed = 0;
bool g_seed_known = false;
void (*g_state_writer)(std::FILE*) = nullptr;

// Hat directions to the hat angle in hundredths of a degree (centred: none).
uint32_t hat_angle(int hx, int hy) {
  static const uint32_t table[3][3] = {
      // hy = -1, 0, 1 for hx = -1
      {31500, 27000, 22500},
      // hx = 0
      {0, 0xFFFFFFFFu, 18000},
      // hx = 1
      {4500, 9000, 13500},
  };
  return table[hx + 1][hy + 1];
}

void apply_replay_frame() {
  g_player->advance_to(g_frame_count);
  tmx::input::input_override_set_keys(g_player->keys());
  if (g_player->has_joystick()) tmx::input::input_override_set_joy0(engine_run_session_joy_state(g_player->joy()));
}

void record_frame() {
  uint8_t keys[256];
  // The snapshot itself: inp_key would count as a query of the program.
  for (int k = 0; k < 256; ++k) keys[k] = tmx::input::key_state_down(k) ? 1 : 0;
  if (inp_joy_count() > 0) {
    const JoyFrame joy = engine_run_session_joy_frame(tmx::input::read_joystick(0));
    g_recorder->frame(g_frame_count, keys, &joy);
  } else {
    g_recorder->frame(g_frame_count, keys, nullptr);
  }
}

void write_state(const std::string& path);

// Larger scripts are refused rather than read: a hand-written or recorded
// script of even hours of play is a few megabytes.
constexpr int64_t kMaxScriptBytes = 64ll * 1024 * 1024;

// The exit code of a run whose requested output could not be written.
constexpr int kOutputFailedExitCode = TMX_EXIT_OUTPUT_FAILED;

// The replay script: a file on disk, or else an entry of the archive packed
// onto the executable (a single-file program carries its demo replay).
// `given` is the name as given, `path` the same resolved against the folder
// the program was started from. False with the reason in `why`.
bool read_replay_text(const std::string& given, const std::string& path, std::string& text, std::string& why) {
  switch (platform_path_kind(path.c_str())) {
    case PlatformPathKind::directory:
      why = "not a file (a folder)";
      return false;
    case PlatformPathKind::other:
      // A named pipe without a writer would wait for ever, a device may
      // never end.
      why = "not a regular file";
      return false;
    case PlatformPathKind::regular: {
      PlatformFileInfo info;
      if (platform_file_info(path.c_str(), info) && info.size > kMaxScriptBytes) {
        why = "the file is too large for a script";
        return false;
      }
      std::ifstream in(path, std::ios::binary);
      std::stringstream ss;
      if (in) ss << in.rdbuf();
      if (!in || static_cast<int64_t>(ss.str().size()) > kMaxScriptBytes) {
        why = "the file cannot be read";
        return false;
      }
      text = ss.str();
      return true;
    }
    case PlatformPathKind::missing: break;
  }
  FileResolver archive;
  std::snprintf(archive.archivePath, sizeof archive.archivePath, "%s",
                runtime_native_path(platform_executable_path().c_str()).c_str());
  std::string found;
  bool ok = false;
  if (archive.archivePath[0] && runtime_resolve_media_file(archive, given.c_str(), found, true)) {
    VirtualFile f;
    if (f.open_read(found.c_str()) && f.size >= 0 && f.size <= kMaxScriptBytes) {
      text.assign(static_cast<size_t>(f.size), '\0');
      ok = f.size == 0 || f.read(text.data(), f.size);
    }
  }
  runtime_release_resolver_holdings(archive);
  if (!ok) why = "the file cannot be read";
  return ok;
}

// Writes one output of the run; a failure is reported and makes the run end
// with a failure code.
void write_run_output(const char* what, const std::string& path, const std::string& bytes) {
  std::string why;
  if (runtime_write_output_file(path, bytes.data(), bytes.size(), why)) return;
  std::fprintf(stderr, "cannot write the %s to %s: %s\n", what, path.c_str(), why.c_str());
  core_end_set_exit_code(kOutputFailedExitCode);
}

// Runs at the start of sys_end, while the window and the program still exist.
void finish_run() {
  if (g_recorder) write_run_output("recording", g_options.record_path, input_script_format(g_recorder->script()));
  if (!g_options.screenshot_path.empty()) {
    std::string why;
    if (!gfx_write_screenshot_png(g_options.screenshot_path.c_str(), &why)) {
      std::fprintf(stderr, "cannot write the screenshot to %s: %s\n", g_options.screenshot_path.c_str(),
                   why.c_str());
      log_append(("screenshot: " + why + "\n").c_str());
      core_end_set_exit_code(kOutputFailedExitCode);
    }
  }
  if (!g_options.state_out_path.empty()) write_state(g_options.state_out_path);
}

// The state file: one JSON object holding the engine's own values under
// "engine", then every member of the program's object.
void write_state(const std::string& path) {
  std::string program = "{}";
  if (g_state_writer) {
    char* buf = nullptr;
    size_t len = 0;
    if (std::FILE* mem = open_memstream(&buf, &len)) {
      g_state_writer(mem);
      std::fclose(mem);
      program.assign(buf ? buf : "", len);
    }
    std::free(buf);
  }
  size_t open = program.find_first_not_of(" \t\r\n");
  std::string rest;
  if (open != std::string::npos && program[open] == '{') {
    rest = program.substr(open + 1);
    size_t first = rest.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && rest[first] != '}') rest = "," + rest;
  } else {
    rest = "}";  // not an object: only the engine's values are written
  }
  char seed[32] = "null";  // the start-up clock's seed is not kept
  if (g_seed_known) std::snprintf(seed, sizeof seed, "%u", g_seed);
  char engine[192];
  std::snprintf(engine, sizeof engine, "{\"engine\":{\"frames\":%lld,\"seed\":%s,\"music_playing\":%d,\"error\":%d}",
                static_cast<long long>(g_frame_count), seed, mus_is_playing(), g_error_state.code);
  std::string text = engine + rest;
  if (rest.empty() || rest.back() != '\n') text += '\n';
  write_run_output("state", path, text);
}

// A run-option path as the user meant it: relative to the folder the program
// was started from (start-up later makes the executable's folder the working
// folder). False when that folder cannot be found.
bool resolve_run_path(std::string& path, const std::string& start_dir) {
  if (path.empty() || path[0] == '/') return true;
  if (start_dir.empty()) return false;
  path = start_dir + (start_dir.back() == '/' ? "" : "/") + path;
  return true;
}

}  // namespace

JoyFrame engine_run_session_joy_frame(const tmx::input::JoyState& reading) {
  JoyFrame joy;
  joy.x = std::clamp(reading.x / 32767.0, -1.0, 1.0);
  joy.y = std::clamp(reading.y / 32767.0, -1.0, 1.0);
  for (int hx = -1; hx <= 1; ++hx)
    for (int hy = -1; hy <= 1; ++hy)
      if (hat_angle(hx, hy) == reading.pov[0]) {
        joy.hat_x = hx;
        joy.hat_y = hy;
      }
  for (int b = 0; b < 32; ++b)
    if (reading.buttons[b] != 0) joy.buttons |= 1u << b;
  return joy;
}

tmx::input::JoyState engine_run_session_joy_state(const JoyFrame& frame) {
  tmx::input::JoyState js{};
  js.x = static_cast<int32_t>(std::lround(frame.x * 32767.0));
  js.y = static_cast<int32_t>(std::lround(frame.y * 32767.0));
  js.pov[0] = hat_angle(frame.hat_x, frame.hat_y);
  js.pov[1] = js.pov[2] = js.pov[3] = 0xFFFFFFFFu;
  for (int b = 0; b < 32; ++b) js.buttons[b] = (frame.buttons >> b) & 1u ? 0x80 : 0;
  return js;
}

void sys_set_state_writer(void (*writer)(std::FILE* out)) { g_state_writer = writer; }

void engine_run_session_start(int argc, char** argv, bool program_reads_options) {
  std::string error;
  if (!core_run_options_parse(argc, argv, g_options, error, program_reads_options)) {
    std::fprintf(stderr, "%s\n%s", error.c_str(), core_run_options_help());
    std::exit(TMX_EXIT_USAGE);
  }
  if (g_options.help) {
    std::fputs(core_run_options_help(), stdout);
    std::exit(0);
  }
  // Every path is fixed now, before start-up changes the working folder.
  const std::string given_replay = g_options.replay_path;
  {
    const std::string start_dir = platform_current_dir();
    for (std::string* p : {&g_options.record_path, &g_options.replay_path, &g_options.screenshot_path,
                           &g_options.state_out_path}) {
      if (!resolve_run_path(*p, start_dir)) {
        std::fprintf(stderr, "the folder the program was started from cannot be found: give %s as a full path\n",
                     p->c_str());
        std::exit(TMX_EXIT_USAGE);
      }
    }
  }
  if (!g_options.replay_path.empty()) {
    std::string text, why;
    const bool read = read_replay_text(given_replay, g_options.replay_path, text, why);
    g_replay_script = std::make_unique<InputScript>();
    if (!read || !input_script_parse(text, *g_replay_script, error)) {
      std::fprintf(stderr, "cannot replay %s: %s\n", given_replay.c_str(), read ? error.c_str() : why.c_str());
      std::exit(TMX_EXIT_USAGE);
    }
  }
  // The front buffer cannot be read back everywhere: keep a copy of every
  // presented frame instead, so the last one can be written at the end.
  if (!g_options.screenshot_path.empty()) gfx_capture_presented_frames(true);
  g_started = true;
}

void engine_run_session_after_init() {
  // The seed: the replay's, the option's, or the one start-up drew from the clock.
  if (g_replay_script) {
    g_seed = g_replay_script->seed;
    rt_seed(static_cast<int>(g_seed));
    g_seed_known = true;
  } else if (g_options.seed_given) {
    g_seed = g_options.seed;
    rt_seed(static_cast<int>(g_seed));
    g_seed_known = true;
  } else if (!g_options.record_path.empty()) {
    // A recording must know its seed: take the clock's value as start-up
    // does and write it down.
    g_seed = static_cast<uint32_t>(static_cast<int64_t>(timer_since_start()));
    rt_seed(static_cast<int>(g_seed));
    g_seed_known = true;
  }
  if (g_options.fast) sys_limit_fps(0, 0);
  if (g_replay_script) {
    g_player = std::make_unique<InputScriptPlayer>(*g_replay_script);
    tmx::input::input_override_begin();
    tmx::input::input_override_set_joy_count(g_player->has_joystick() ? 1 : 0);
  }
  if (!g_options.record_path.empty()) g_recorder = std::make_unique<InputScriptRecorder>(g_seed);
}

void engine_run_session_after_snapshot() {
  ++g_frame_count;
  if (g_player) {
    apply_replay_frame();
  } else if (g_recorder) {
    record_frame();
  }
}

void engine_run_session_frame_done() {
  // The frame just presented, when it is one of those asked for.
  const std::vector<int64_t>& shots = g_options.screenshot_frames;
  if (std::binary_search(shots.begin(), shots.end(), g_frame_count)) {
    const std::string path = core_screenshot_frame_path(g_options.screenshot_path, g_frame_count);
    if (!gfx_write_screenshot_png(path.c_str())) std::fprintf(stderr, "cannot write the screenshot to %s\n", path.c_str());
  }
  if (g_options.frames > 0 && g_frame_count >= g_options.frames) sys_end();
}

bool engine_run_session_ignores_focus() { return g_player != nullptr; }
bool engine_run_session_fast() { return g_options.fast; }
const RunOptions& engine_run_session_options() { return g_options; }
int64_t engine_run_session_frame_count() { return g_frame_count; }

void engine_run_session_finish() {
  if (g_started) finish_run();
}
