// inp_key_char follows the X server's active keyboard layout on every shift
// level: a German layout set with setxkbmap while the program runs.
#include <cstdlib>
#include <string>

#include "input/input_state.h"
#include "tamblix/input.h"
#include "x_session.h"

using namespace tmx::input;

namespace {

using Layout = XWindowTest;

// Sets the layout and lets the program see the new keyboard description.
void set_layout(const std::string& name) {
  ASSERT_EQ(std::system(("setxkbmap " + name).c_str()), 0) << "setxkbmap " << name;
  for (int i = 0; i < 30; ++i) {  // the keyboard's change notices
    PlatformEvent e;
    while (platform_event_pending() && platform_take_event(&e)) handle_platform_event(e);
    SDL_Delay(10);
  }
}

struct Held {
  std::string key;
  explicit Held(const std::string& k) : key(k) { xdo("keydown " + key); }
  ~Held() { xdo("keyup " + key); }
};

// Characters 128..255 come back as negative numbers (the byte taken as signed).
int byte(int c) { return static_cast<int>(static_cast<signed char>(static_cast<unsigned char>(c))); }

TEST_F(Layout, GermanLayoutOnEveryShiftLevel) {
  if (std::system("command -v setxkbmap >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setxkbmap";
  set_layout("de");
  struct Case {
    int code, c;
  };
  const Case plain[] = {{3, '2'}, {21, 'z'}, {44, 'y'}, {12, byte(0xDF)}, {39, byte(0xF6)}, {53, '-'}};
  for (const Case& k : plain) EXPECT_EQ(inp_key_char(k.code), k.c) << "plain " << k.code;
  {
    Held shift("Shift_L");
    ASSERT_TRUE(wait_for([] { return (SDL_GetModState() & KMOD_SHIFT) != 0; }));
    const Case shifted[] = {{3, '"'}, {4, byte(0xA7)}, {8, '/'}, {11, '='}, {21, 'Z'}, {39, byte(0xD6)}};
    for (const Case& k : shifted) EXPECT_EQ(inp_key_char(k.code), k.c) << "shift " << k.code;
  }
  {
    Held altgr("ISO_Level3_Shift");
    ASSERT_TRUE(wait_for([] { return (SDL_GetModState() & (KMOD_MODE | KMOD_RALT)) != 0; }));
    const Case third[] = {{16, '@'}, {18, byte(0x80)}, {8, '{'}, {9, '['}, {12, '\\'}};  // € is 0x80 in the code page
    for (const Case& k : third) EXPECT_EQ(inp_key_char(k.code), k.c) << "AltGr " << k.code;
  }
  // Back to the US layout while the program runs.
  set_layout("us");
  Held shift("Shift_L");
  ASSERT_TRUE(wait_for([] { return (SDL_GetModState() & KMOD_SHIFT) != 0; }));
  EXPECT_EQ(inp_key_char(3), '@');
  EXPECT_EQ(inp_key_char(21), 'Y');
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XWindowEnvironment);
  return RUN_ALL_TESTS();
}
