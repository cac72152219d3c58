// Run options every program built on the engine understands:
//   --seed N, --frames N, --record FILE, --replay FILE, --fast,
//   --screenshot FILE, --screenshot-at N,N,..., --state-out FILE, --help.
//
// The input script (recorded and replayed) is a small text format a person can
// write by hand:
//
//   12345                 first line: the seed of the random generator
//   # a comment           blank lines and lines starting with '#' are skipped
//   1                     from the snapshot of the 1st sys_show_screen on: no key down
//   40 205                from the 40th snapshot on: key 205 (Right) down
//   52 205 57             from the 52nd on: Right and Space down
//   60 joy 0.5 0 0 -1 0 3 from the 60th on: joystick 0 at x 0.5, y 0, hat x 0,
//                         hat y -1, buttons 0 and 3 pressed
//
// A key line lists exactly the keys that are down; a joystick line gives
// x, y (-1..1), the hat directions (-1, 0, 1) and the pressed buttons (0..31).
// Each holds until the next line of its kind. Frame numbers count the calls of
// sys_show_screen from 1 and never go backwards.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct JoyFrame {
  double x = 0, y = 0;
  int hat_x = 0, hat_y = 0;
  uint32_t buttons = 0;  // bit b set: button b pressed
  bool operator==(const JoyFrame&) const = default;
};

struct InputScript {
  uint32_t seed = 0;
  struct KeyLine {
    int64_t frame;
    std::vector<int> keys;
  };
  struct JoyLine {
    int64_t frame;
    JoyFrame joy;
  };
  std::vector<KeyLine> key_lines;
  std::vector<JoyLine> joy_lines;
};

// Parses a script; false with a message naming the line on bad input.
bool input_script_parse(const std::string& text, InputScript& out, std::string& error);
// Writes the script in the same format (keys and joystick lines merged by frame).
std::string input_script_format(const InputScript& script);

// Steps through a script frame by frame.
class InputScriptPlayer {
 public:
  explicit InputScriptPlayer(const InputScript& script) : script_(script) {}
  // The state from the snapshot of sys_show_screen call `frame` on; frames must
  // not go backwards between calls.
  void advance_to(int64_t frame);
  const uint8_t* keys() const { return keys_; }
  const JoyFrame& joy() const { return joy_; }
  bool has_joystick() const { return !script_.joy_lines.empty(); }

 private:
  const InputScript& script_;
  size_t next_key_ = 0, next_joy_ = 0;
  uint8_t keys_[256] = {};
  JoyFrame joy_;
};

// Collects a script while a program runs: one line whenever the keys or the
// joystick change.
class InputScriptRecorder {
 public:
  explicit InputScriptRecorder(uint32_t seed) { script_.seed = seed; }
  void frame(int64_t frame, const uint8_t keys[256], const JoyFrame* joy);
  const InputScript& script() const { return script_; }

 private:
  InputScript script_;
  uint8_t last_keys_[256] = {};
  bool have_keys_ = false;
  JoyFrame last_joy_;
  bool have_joy_ = false;
};

struct RunOptions {
  bool seed_given = false;
  uint32_t seed = 0;
  int64_t frames = 0;  // 0: no limit
  std::string record_path, replay_path, screenshot_path, state_out_path;
  // Frames (calls of sys_show_screen) also written as screenshots, each to
  // the screenshot file with "-N" before its extension; ascending.
  std::vector<int64_t> screenshot_frames;
  bool fast = false;
  bool help = false;
};

// Parses the engine's options out of argv. Unknown arguments are left for the
// program. False with a message on a malformed option.
// The screenshot file of frame n: "-n" before the extension of path.
std::string screenshot_frame_path(const std::string& path, int64_t n);
bool run_options_parse(int argc, char** argv, RunOptions& out, std::string& error);
// The text of --help.
const char* run_options_help();
