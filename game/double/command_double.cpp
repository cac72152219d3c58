// The test double's commands and records.
#include "command_double.h"

#include <fstream>
#include <sstream>

#include "tamblix.h"

namespace cmd_double {

void take_snapshot(Double& d);

const char* op_name(Op op) {
  switch (op) {
    case Op::SetCurrentDir: return "sys_set_current_dir";
    case Op::FileExists: return "sys_file_exists";
    case Op::SetScreen: return "sys_set_screen";
    case Op::LimitFps: return "sys_limit_fps";
    case Op::CreateScreen: return "gfx_create_screen";
    case Op::UseScreen: return "gfx_use_screen";
    case Op::GetScreenSize: return "gfx_get_screen_size";
    case Op::LoadSprite: return "gfx_load_sprite";
    case Op::SetSpriteAnim: return "gfx_set_sprite_anim";
    case Op::DrawSprite: return "gfx_draw_sprite";
    case Op::DrawSpriteScaled: return "gfx_draw_sprite_scaled";
    case Op::DrawAnim: return "gfx_draw_anim";
    case Op::DrawRect: return "gfx_draw_rect";
    case Op::StartPoly: return "gfx_start_poly";
    case Op::PolyVertex: return "gfx_poly_vertex";
    case Op::EndPoly: return "gfx_end_poly";
    case Op::AlphaMode: return "gfx_alpha_mode";
    case Op::LoadFont: return "gfx_load_font";
    case Op::SetFont: return "gfx_set_font";
    case Op::Print: return "gfx_print";
    case Op::SndLoad: return "snd_load";
    case Op::SndPlay: return "snd_play";
    case Op::MusPlay: return "mus_play";
    case Op::MusStop: return "mus_stop";
  }
  return "?";
}

int default_text_width(const std::string& s) {
  int w = 0;
  for (char c : s) {
    switch (c) {
      case ' ': w += 8; break;
      case '.': case ':': case 'I': w += 7; break;
      case '\'': w += 5; break;
      case '1': w += 9; break;
      default: w += 16; break;
    }
  }
  return w;
}

Double::Double() { text_width = default_text_width; }

void Double::reset() { *this = Double(); }

void Double::add(Op op, std::initializer_list<double> args, std::string text) {
  if (!record) return;
  Call c{op, target, {}, std::move(text)};
  size_t i = 0;
  for (double v : args)
    if (i < c.a.size()) c.a[i++] = v;
  frame.push_back(std::move(c));
}

Double& dbl() {
  static Double d;
  return d;
}

std::vector<Call> calls_of(const std::vector<Call>& calls, Op op) {
  std::vector<Call> out;
  for (const Call& c : calls)
    if (c.op == op) out.push_back(c);
  return out;
}

std::vector<std::string> printed(const std::vector<Call>& calls) {
  std::vector<std::string> out;
  for (const Call& c : calls)
    if (c.op == Op::Print) out.push_back(c.text);
  return out;
}

const Call* find_print(const std::vector<Call>& calls, const std::string& text) {
  for (const Call& c : calls)
    if (c.op == Op::Print && c.text == text) return &c;
  return nullptr;
}

// ---- the small file system ----

namespace {

// Joins cwd and a relative path, resolving "." and "..".
std::string resolve(const std::string& cwd, const std::string& path) {
  std::vector<std::string> parts;
  auto split = [&parts](const std::string& p) {
    std::stringstream ss(p);
    std::string part;
    while (std::getline(ss, part, '/')) {
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else {
        parts.push_back(part);
      }
    }
  };
  if (path.empty() || path[0] != '/') split(cwd);
  split(path);
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

void draw(Op op, std::initializer_list<double> args) {
  Double& d = dbl();
  if (d.record_draws) d.add(op, args);
}

void audio(Op op, double slot, double pan, double volume, const std::string& file) {
  Double& d = dbl();
  if (!d.record) return;
  d.audio.push_back(AudioEvent{d.frames_shown + 1, op, slot, pan, volume, file});
}

}  // namespace

// ---- control scripts ----

namespace {

// The snapshot the player holds now.
Input input_of(const InputScriptPlayer& p) {
  Input in;
  for (int k = 0; k < 256; ++k)
    if (p.keys()[k]) in.keys.insert(k);
  if (p.has_joystick()) {
    in.joy_count = 1;
    in.joy_x = p.joy().x;
    in.joy_y = p.joy().y;
    in.digi_x = p.joy().hat_x;
    in.digi_y = p.joy().hat_y;
    in.buttons = p.joy().buttons;
  }
  return in;
}

}  // namespace

void take_snapshot(Double& d) {
  if (d.player) {
    d.player->advance_to(d.frames_shown);
    d.input = input_of(*d.player);
  }
  auto it = d.script.find(d.frames_shown);
  if (it != d.script.end()) d.input = it->second;
}

void load_script(Double& d, const InputScript& s) {
  d.replay = std::make_shared<InputScript>(s);
  d.player = std::make_shared<InputScriptPlayer>(*d.replay);
  take_snapshot(d);
}

bool read_script_file(const std::string& path, InputScript& out, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return input_script_parse(ss.str(), out, error);
}

}  // namespace cmd_double

using cmd_double::dbl;
using cmd_double::Op;

// ---- the commands ----

void sys_show_screen() {
  cmd_double::Double& d = dbl();
  if (d.on_frame) d.on_frame(d.frame);
  d.last_frame.swap(d.frame);
  d.frame.clear();
  d.frames_shown += 1;
  cmd_double::take_snapshot(d);
}

void sys_limit_fps(double rate, int vsync) { dbl().add(Op::LimitFps, {rate, double(vsync)}); }
void sys_set_screen(int width, int height, int fullscreen) {
  cmd_double::Double& d = dbl();
  d.add(Op::SetScreen, {double(width), double(height), double(fullscreen)});
  // The engine presents five frames at the new size: they count as calls of
  // sys_show_screen, so input scripts number frames the same way here.
  for (int i = 0; i < 5; ++i) {
    d.frames_shown += 1;
    cmd_double::take_snapshot(d);
  }
}

double sys_set_current_dir(const BasicString& path) {
  cmd_double::Double& d = dbl();
  const std::string p = path.c_str();
  d.add(Op::SetCurrentDir, {}, p);
  const std::string full = cmd_double::resolve(d.cwd, p);
  if (!full.empty() && d.dirs.count(full) == 0) {
    sys_raise_error(3);
    return 0;
  }
  d.cwd = full;
  return 1;
}

int sys_file_exists(const BasicString& name) {
  cmd_double::Double& d = dbl();
  d.add(Op::FileExists, {}, name.c_str());
  return d.files.count(cmd_double::resolve(d.cwd, name.c_str())) ? 1 : 0;
}

void gfx_get_screen_size(double& width, double& height) {
  cmd_double::Double& d = dbl();
  d.add(Op::GetScreenSize, {});
  width = d.desktop_w;
  height = d.desktop_h;
}

int gfx_create_screen(int screen, int slot, int width, int height) {
  dbl().add(Op::CreateScreen, {double(screen), double(slot), double(width), double(height)});
  return (screen >= 0 && screen <= 31) ? 1 : 0;
}

void gfx_use_screen(int screen) {
  cmd_double::Double& d = dbl();
  d.add(Op::UseScreen, {double(screen)});
  d.target = screen < 0 ? -1 : screen;
}

void gfx_load_sprite(const BasicString& file, int slot) { dbl().add(Op::LoadSprite, {double(slot)}, file.c_str()); }
void gfx_set_sprite_anim(int slot, int frame_width, int frame_height) {
  dbl().add(Op::SetSpriteAnim, {double(slot), double(frame_width), double(frame_height)});
}
void gfx_draw_sprite(int slot, int x, int y) { cmd_double::draw(Op::DrawSprite, {double(slot), double(x), double(y)}); }
void gfx_draw_sprite_scaled(int slot, int x, int y, int width, int height) {
  cmd_double::draw(Op::DrawSpriteScaled, {double(slot), double(x), double(y), double(width), double(height)});
}
void gfx_draw_anim(int slot, int frame, int x, int y) {
  cmd_double::draw(Op::DrawAnim, {double(slot), double(frame), double(x), double(y)});
}
void gfx_draw_rect(int x, int y, int width, int height, int colour) {
  cmd_double::draw(Op::DrawRect, {double(x), double(y), double(width), double(height), double(colour)});
}
void gfx_start_poly(int slot, int mode) { cmd_double::draw(Op::StartPoly, {double(slot), double(mode)}); }
void gfx_poly_vertex(double x, double y, double tx, double ty, int colour) {
  cmd_double::draw(Op::PolyVertex, {x, y, tx, ty, double(colour)});
}
void gfx_end_poly() { cmd_double::draw(Op::EndPoly, {}); }
void gfx_alpha_mode(double mode) { cmd_double::draw(Op::AlphaMode, {mode}); }

void gfx_load_font(const BasicString& file, int slot) { dbl().add(Op::LoadFont, {double(slot)}, file.c_str()); }
void gfx_set_font(int slot, double scale) { dbl().add(Op::SetFont, {double(slot), scale}); }
void gfx_print(const BasicString& text, double x, double y, int kerning) {
  dbl().add(Op::Print, {x, y, double(kerning)}, text.c_str());
}
int gfx_text_width(const BasicString& text, int kerning) { return dbl().text_width(text.c_str()); }

void snd_load(const BasicString& file, int slot, int voices) {
  dbl().add(Op::SndLoad, {double(slot), double(voices)}, file.c_str());
}
int snd_play(int slot, double pan, double volume) {
  cmd_double::Double& d = dbl();
  d.add(Op::SndPlay, {double(slot), pan, volume});
  cmd_double::audio(Op::SndPlay, slot, pan, volume, std::string());
  return slot * 256;
}
void mus_play(const BasicString& file, int loop) {
  cmd_double::Double& d = dbl();
  d.add(Op::MusPlay, {double(loop)}, file.c_str());
  cmd_double::audio(Op::MusPlay, 0, 0, double(loop), file.c_str());
}
void mus_stop() {
  dbl().add(Op::MusStop, {});
  cmd_double::audio(Op::MusStop, 0, 0, 0, std::string());
}

int inp_key(int code) { return dbl().input.keys.count(code) ? 1 : 0; }
int inp_joy_count() { return dbl().input.joy_count; }
double inp_joy_x(int joy) { return joy == 0 ? dbl().input.joy_x : 0; }
double inp_joy_y(int joy) { return joy == 0 ? dbl().input.joy_y : 0; }
int inp_joy_button(int joy, int button) {
  return (joy == 0 && button >= 0 && button < 32 && (dbl().input.buttons >> button) & 1u) ? 1 : 0;
}
int inp_joy_digi_x(int joy) { return joy == 0 ? dbl().input.digi_x : 0; }
int inp_joy_digi_y(int joy) { return joy == 0 ? dbl().input.digi_y : 0; }
