// Typed characters: the queue, inp_inkey and inp_key_char.
#include <cstdlib>
#include <string>

#include "input/input_state.h"
#include "platform/keyboard_mouse.h"
#include "tamblix/input.h"
#include "tamblix/string.h"


namespace tmx::input {

void queue_char(int c) {
  InputState* s = state();
  if (s == nullptr) return;
  c &= 255;
  if (c == 0) return;
  if (c == 13) c = 10;
  if (c < 32 && c != 8 && c != 9 && c != 10) return;
  if (static_cast<int>(s->chars.size()) >= kMaxQueuedChars) return;
  s->chars.push_back(static_cast<uint8_t>(c));
}

int take_char() {
  InputState* s = state();
  if (s == nullptr || s->chars.empty()) return 0;
  int c = s->chars.front();
  s->chars.erase(s->chars.begin());
  return c;
}

int take_key_flag() { return take_char() != 0 ? 1 : 0; }

}  // namespace tmx::input

using namespace tmx::input;

BasicString inp_inkey() {
  int c = take_char();
  if (c == 0) return BasicString();
  char text[2] = {static_cast<char>(c), 0};
  return BasicString(text);
}

int inp_key_char(int code) {
  switch (code) {
    case TMX_KEY_BACKSPACE: return 8;
    case TMX_KEY_RETURN:
    case TMX_KEY_KP_ENTER: return 10;
    // Modifiers and locks type nothing.
    case TMX_KEY_LEFT_CTRL: case TMX_KEY_LEFT_SHIFT: case TMX_KEY_RIGHT_SHIFT: case TMX_KEY_LEFT_ALT:
    case TMX_KEY_CAPS_LOCK: case TMX_KEY_NUM_LOCK: case TMX_KEY_APPS: return 0;
    default: break;
  }
  int c = tmx::platform::key_character(code);
  if (c >= 1 && c <= 31 && c != 8 && c != 10) c = 0;
  if (c < 0 || c > 255) c = 0;
  return static_cast<int>(static_cast<signed char>(static_cast<unsigned char>(c)));
}
