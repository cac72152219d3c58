// A test double of the engine's command boundary.
//
// It defines every command the game calls (drawing, text, sound, music,
// input, window, files) without a window, GL or a sound device. It records
// what the game drew, printed and played, frame by frame, and feeds the game
// the keys and joystick values of each frame from a script. Its
// sys_show_screen ends a frame: the frame's calls move to `last_frame`, the
// frame counter advances and the input snapshot of the next frame is taken.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tamblix/input_script.h"

namespace cmd_double {

enum class Op {
  SetCurrentDir, FileExists, SetScreen, LimitFps, CreateScreen, UseScreen, GetScreenSize,
  LoadSprite, SetSpriteAnim, DrawSprite, DrawSpriteScaled, DrawAnim, DrawRect,
  StartPoly, PolyVertex, EndPoly, AlphaMode,
  LoadFont, SetFont, Print,
  SndLoad, SndPlay, MusPlay, MusStop,
};

const char* op_name(Op op);

// One command call: its numeric arguments in order, its text argument, and
// the drawing target that was current (1 the surface, -1 the back buffer).
struct Call {
  Op op;
  int target;
  std::array<double, 6> a;
  std::string text;
};

// The input snapshot of one frame.
struct Input {
  std::set<int> keys;
  int joy_count = 0;
  double joy_x = 0, joy_y = 0;
  int digi_x = 0, digi_y = 0;
  uint32_t buttons = 0;  // bit b: button b down
  static Input of_keys(std::initializer_list<int> k) {
    Input in;
    in.keys = k;
    return in;
  }
};

// A sound or music event with the frame it happened in, numbered by the
// sys_show_screen call that ends that frame (start-up's window sizing makes
// five calls, so the game's first frame is 6).
struct AudioEvent {
  long frame;
  Op op;
  double slot, pan, volume;
  std::string file;
};

struct Double {
  // ---- configuration ----
  double desktop_w = 1920, desktop_h = 1080;
  // A small file system: directories and files as paths from its root,
  // "/" separated, without a leading "/".
  std::set<std::string> dirs{"Media"};
  std::set<std::string> files{"Media/bkg.png"};
  std::string cwd;  // "" is the root
  // Width of a text in pixels; by default most characters are 16 wide and a
  // few narrow ones make odd widths.
  std::function<int(const std::string&)> text_width;

  // ---- input ----
  Input input;                   // the snapshot the game reads now
  std::map<long, Input> script;  // the snapshot taken by the F-th sys_show_screen

  // ---- records ----
  bool record = true;        // false: nothing is recorded (fast searches)
  bool record_draws = true;  // false: drawing calls are not recorded
  long frames_shown = 0;     // sys_show_screen calls so far
  int target = -1;           // current drawing target
  std::vector<Call> frame;       // calls since the last sys_show_screen
  std::vector<Call> last_frame;  // calls of the frame shown last
  std::vector<AudioEvent> audio; // every sound and music call of the whole session
  // The installed control script, if any (see load_script).
  std::shared_ptr<InputScript> replay;
  std::shared_ptr<InputScriptPlayer> player;
  // Called by sys_show_screen with the frame's calls, before they move.
  std::function<void(const std::vector<Call>&)> on_frame;

  Double();
  // Back to a fresh double (configuration, input, records).
  void reset();
  void add(Op op, std::initializer_list<double> args, std::string text = std::string());
};

Double& dbl();

// Helpers for reading a frame's calls.
std::vector<Call> calls_of(const std::vector<Call>& calls, Op op);
// The texts printed in a frame, in order.
std::vector<std::string> printed(const std::vector<Call>& calls);
// The call that printed `text`, or nullptr.
const Call* find_print(const std::vector<Call>& calls, const std::string& text);
// The default text width rule.
int default_text_width(const std::string& s);

// ---- control scripts ----
// Scripts use the engine's input script format (tamblix/input_script.h):
// the seed on the first line, then "F k1 k2 ..." (from the snapshot taken by
// the F-th sys_show_screen on, exactly these keys are down) and joystick lines.
// Installs the script (its seed is not applied: call rt_seed for that): from
// now on sys_show_screen takes its snapshots from it
// (the snapshot before the first sys_show_screen is the script's frame 0).
void load_script(Double& d, const InputScript& s);
// Reads a script file; false with a message on failure.
bool read_script_file(const std::string& path, InputScript& out, std::string& error);

}  // namespace cmd_double
