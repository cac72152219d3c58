#include "core/run_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

bool parse_int64(const std::string& s, int64_t& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

bool parse_real(const std::string& s, double& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(v == v)) return false;
  out = v;
  return true;
}

// Text: anything but the control bytes, of which only tab, carriage return
// and line feed belong in a script (a NUL would end a number early).
bool is_text_byte(unsigned char c) { return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\r' || c == '\n'; }

std::string line_error(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

bool input_script_parse(const std::string& text, InputScript& out, std::string& error) {
  out = InputScript{};
  std::istringstream in(text);
  std::string line;
  int line_no = 0;
  bool have_seed = false;
  int64_t last_key_frame = 0, last_joy_frame = 0;
  while (std::getline(in, line)) {
    ++line_no;
    for (unsigned char c : line) {
      if (!is_text_byte(c)) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", c);
        error = line_error(line_no, std::string("a byte that is not text (") + code + ")");
        return false;
      }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty() || w[0][0] == '#') continue;
    if (!have_seed) {
      int64_t seed;
      if (w.size() != 1 || !parse_int64(w[0], seed) || seed < INT32_MIN || seed > UINT32_MAX) {
        error = line_error(line_no, "the first line must hold the seed");
        return false;
      }
      out.seed = static_cast<uint32_t>(seed);
      have_seed = true;
      continue;
    }
    int64_t frame;
    if (!parse_int64(w[0], frame) || frame < 1) {
      error = line_error(line_no, "a line must start with a frame number of 1 or more");
      return false;
    }
    if (w.size() >= 2 && w[1] == "joy") {
      if (w.size() < 6) {
        error = line_error(line_no, "a joystick line needs x, y, hat x and hat y");
        return false;
      }
      if (frame < last_joy_frame) {
        error = line_error(line_no, "frame numbers must not go backwards");
        return false;
      }
      JoyFrame j;
      int64_t hx, hy;
      if (!parse_real(w[2], j.x) || !parse_real(w[3], j.y) || j.x < -1 || j.x > 1 || j.y < -1 ||
          j.y > 1 || !parse_int64(w[4], hx) || !parse_int64(w[5], hy) || hx < -1 || hx > 1 ||
          hy < -1 || hy > 1) {
        error = line_error(line_no, "joystick values out of range");
        return false;
      }
      j.hat_x = static_cast<int>(hx);
      j.hat_y = static_cast<int>(hy);
      for (size_t i = 6; i < w.size(); ++i) {
        int64_t b;
        if (!parse_int64(w[i], b) || b < 0 || b > 31) {
          error = line_error(line_no, "joystick buttons are 0..31");
          return false;
        }
        j.buttons |= 1u << b;
      }
      out.joy_lines.push_back({frame, j});
      last_joy_frame = frame;
      continue;
    }
    if (frame < last_key_frame) {
      error = line_error(line_no, "frame numbers must not go backwards");
      return false;
    }
    InputScript::KeyLine kl{frame, {}};
    for (size_t i = 1; i < w.size(); ++i) {
      int64_t k;
      if (!parse_int64(w[i], k) || k < 0 || k > 255) {
        error = line_error(line_no, "key codes are 0..255");
        return false;
      }
      kl.keys.push_back(static_cast<int>(k));
    }
    out.key_lines.push_back(std::move(kl));
    last_key_frame = frame;
  }
  if (!have_seed) {
    error = "the script is empty: the first line must hold the seed";
    return false;
  }
  return true;
}

std::string input_script_format(const InputScript& script) {
  std::ostringstream out;
  out << script.seed << "\n";
  size_t k = 0, j = 0;
  while (k < script.key_lines.size() || j < script.joy_lines.size()) {
    bool take_key = j >= script.joy_lines.size() ||
                    (k < script.key_lines.size() && script.key_lines[k].frame <= script.joy_lines[j].frame);
    if (take_key) {
      const auto& l = script.key_lines[k++];
      out << l.frame;
      for (int key : l.keys) out << ' ' << key;
      out << "\n";
    } else {
      const auto& l = script.joy_lines[j++];
      char nums[64];
      out << l.frame << " joy";
      std::snprintf(nums, sizeof nums, " %.17g %.17g %d %d", l.joy.x, l.joy.y, l.joy.hat_x, l.joy.hat_y);
      out << nums;
      for (int b = 0; b < 32; ++b)
        if (l.joy.buttons & (1u << b)) out << ' ' << b;
      out << "\n";
    }
  }
  return out.str();
}

void InputScriptPlayer::advance_to(int64_t frame) {
  while (next_key_ < script_.key_lines.size() && script_.key_lines[next_key_].frame <= frame) {
    std::memset(keys_, 0, sizeof keys_);
    for (int k : script_.key_lines[next_key_].keys) keys_[k] = 1;
    ++next_key_;
  }
  while (next_joy_ < script_.joy_lines.size() && script_.joy_lines[next_joy_].frame <= frame) {
    joy_ = script_.joy_lines[next_joy_].joy;
    ++next_joy_;
  }
}

void InputScriptRecorder::frame(int64_t frame, const uint8_t keys[256], const JoyFrame* joy) {
  if (!have_keys_ || std::memcmp(keys, last_keys_, sizeof last_keys_) != 0) {
    InputScript::KeyLine l{frame, {}};
    for (int k = 0; k < 256; ++k)
      if (keys[k]) l.keys.push_back(k);
    script_.key_lines.push_back(std::move(l));
    std::memcpy(last_keys_, keys, sizeof last_keys_);
    have_keys_ = true;
  }
  if (joy && (!have_joy_ || !(*joy == last_joy_))) {
    script_.joy_lines.push_back({frame, *joy});
    last_joy_ = *joy;
    have_joy_ = true;
  }
}

bool core_run_options_parse(int argc, char** argv, RunOptions& out, std::string& error, bool program_reads_options) {
  out = RunOptions{};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i] ? argv[i] : "";
    if (a == "--") break;  // the rest is the program's
    auto value = [&](std::string& dst) -> bool {
      if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1]) {
        error = a + " needs a value";
        return false;
      }
      dst = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      out.help = true;
    } else if (a == "--fast") {
      out.fast = true;
    } else if (a == "--seed") {
      int64_t s;
      if (!value(v)) return false;
      if (!parse_int64(v, s) || s < INT32_MIN || s > UINT32_MAX) {
        error = "--seed needs a whole number";
        return false;
      }
      out.seed = static_cast<uint32_t>(s);
      out.seed_given = true;
    } else if (a == "--frames") {
      if (!value(v)) return false;
      if (!parse_int64(v, out.frames) || out.frames < 1) {
        error = "--frames needs a whole number of 1 or more";
        return false;
      }
    } else if (a == "--record") {
      if (!value(out.record_path)) return false;
    } else if (a == "--replay") {
      if (!value(out.replay_path)) return false;
    } else if (a == "--screenshot") {
      if (!value(out.screenshot_path)) return false;
    } else if (a == "--screenshot-at") {
      if (!value(v)) return false;
      size_t start = 0;
      while (start <= v.size()) {
        const size_t comma = std::min(v.find(',', start), v.size());
        int64_t n;
        if (!parse_int64(v.substr(start, comma - start), n) || n < 1) {
          error = "--screenshot-at needs frame numbers of 1 or more, separated by commas";
          return false;
        }
        out.screenshot_frames.push_back(n);
        start = comma + 1;
      }
      std::sort(out.screenshot_frames.begin(), out.screenshot_frames.end());
    } else if (a == "--state-out") {
      if (!value(out.state_out_path)) return false;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0 && !program_reads_options) {
      // A misspelt option would otherwise be dropped without a word.
      error = "unknown option " + a;
      return false;
    }
    // Anything else belongs to the program.
  }
  if (!out.screenshot_frames.empty() && out.screenshot_path.empty()) {
    error = "--screenshot-at needs --screenshot FILE";
    return false;
  }
  if (!out.record_path.empty() && !out.replay_path.empty()) {
    error = "--record and --replay cannot be used together";
    return false;
  }
  return true;
}

std::string core_screenshot_frame_path(const std::string& path, int64_t n) {
  const size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

const char* core_run_options_help() {
  return "Engine options:\n"
         "  --seed N          seed the random generator with N instead of the start-up clock\n"
         "  --frames N        end the program after the N-th frame (call of sys_show_screen)\n"
         "  --record FILE     write the keys and joystick 0 of every frame to FILE\n"
         "  --replay FILE     play the input of FILE instead of the devices; the run is\n"
         "                    reproducible to the frame (the window focus is ignored)\n"
         "  --fast            no frame waiting (frame limiter and swap interval off)\n"
         "  --screenshot FILE write the last presented frame to FILE as a PNG at the end\n"
         "  --screenshot-at N,N,...\n"
         "                    also write the frames N (calls of sys_show_screen) to the\n"
         "                    screenshot FILE with -N before its extension\n"
         "  --state-out FILE  write the program's named values to FILE as JSON at the end\n"
         "  --help            this text\n"
         "  --                the arguments after it are the program's\n"
         "Relative FILE names are taken from the folder the program was started in.\n"
         "An unknown option starting with -- ends the program with exit code 2 (unless\n"
         "the program reads options of its own); an output that cannot be written\n"
         "ends it with exit code 3.\n";
}
