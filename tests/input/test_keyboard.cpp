// The keyboard through real key presses on a private X server: key codes, the
// snapshot and its refresh policy, the active-window rule and inp_key_char.
#include <string>
#include <vector>

#include "input/input_state.h"
#include "platform/keyboard_mouse.h"
#include "tamblix/input.h"
#include "x_session.h"

using namespace tmx::input;

namespace {

using Keyboard = XWindowTest;

// Holds the X key down until the snapshot sees `code`, then releases it.
struct Held {
  Keyboard* t;
  std::string key;
  Held(Keyboard* test, const std::string& k) : t(test), key(k) { xdo("keydown " + key); }
  ~Held() { xdo("keyup " + key); }
};

std::vector<int> down_codes() {
  std::vector<int> v;
  for (int c = 0; c < 256; ++c)
    if (key_state_down(c)) v.push_back(c);
  return v;
}

TEST_F(Keyboard, RealKeysGiveTheirSetOneCodes) {
  struct Case {
    const char* key;
    int code;
  } cases[] = {
      // The codes the game and the engine read.
      {"Escape", 1}, {"w", 17}, {"a", 30}, {"s", 31}, {"d", 32}, {"z", 44}, {"x", 45}, {"Alt_L", 56},
      {"space", 57}, {"F4", 62}, {"Up", 200}, {"Left", 203}, {"Right", 205}, {"Down", 208},
      // A broad sample of the rest.
      {"1", 2}, {"0", 11}, {"minus", 12}, {"BackSpace", 14}, {"Tab", 15}, {"q", 16}, {"p", 25},
      {"bracketleft", 26}, {"Return", 28}, {"Control_L", 29}, {"semicolon", 39}, {"grave", 41},
      {"Shift_L", 42}, {"backslash", 43}, {"m", 50}, {"slash", 53}, {"Shift_R", 54}, {"KP_Multiply", 55},
      {"Caps_Lock", 58}, {"F1", 59}, {"F10", 68}, {"KP_7", 71}, {"KP_Subtract", 74}, {"KP_Add", 78},
      {"KP_0", 82}, {"F11", 87}, {"F12", 88}, {"KP_Enter", 156}, {"Control_R", 157}, {"KP_Divide", 181},
      {"Home", 199}, {"Prior", 201}, {"End", 207}, {"Next", 209}, {"Insert", 210}, {"Delete", 211},
      {"Super_L", 219},
  };
  for (const Case& c : cases) {
    {
      Held h(this, c.key);
      bool seen = wait_for([&] {
        frame_snapshot();
        return key_state_down(c.code) == 1;
      });
      EXPECT_TRUE(seen) << c.key;
      // xdotool may hold Num Lock, Left Control or Left Shift along with a
      // key that it types through that modifier; any other extra key is a fault.
      std::vector<int> others;
      for (int d : down_codes())
        if (d != c.code && d != 29 && d != 42 && d != 69) others.push_back(d);
      EXPECT_TRUE(others.empty()) << c.key << " also gives " << (others.empty() ? 0 : others[0]);
      EXPECT_EQ(inp_key(c.code), 1) << c.key;
      EXPECT_EQ(inp_key(c.code + 256), 1) << c.key;  // low 8 bits only
    }
    EXPECT_TRUE(wait_for([&] {
      frame_snapshot();
      return down_codes().empty();
    })) << c.key << " stays down";
  }
}

TEST_F(Keyboard, QueriesRefreshTheSnapshotEvery129thTime) {
  frame_snapshot();
  ASSERT_EQ(inp_key(30), 0);
  Held h(this, "a");
  SDL_Delay(150);  // the key is down now, the snapshot does not know yet
  for (int i = 2; i <= 128; ++i) ASSERT_EQ(inp_key(30), 0) << i;
  EXPECT_EQ(inp_key(30), 1);  // the 129th query since the frame
  EXPECT_EQ(key_query_counter(), 0);
}

TEST_F(Keyboard, AnInactiveWindowKeepsTheLastSnapshot) {
  {
    Held h(this, "d");
    ASSERT_TRUE(wait_for([&] {
      frame_snapshot();
      return inp_key(32) == 1;
    }));
    // Another window is now the program's: ours is not it, so no refresh.
    SDL_Window* other = SDL_CreateWindow("other", 500, 300, 50, 50, SDL_WINDOW_HIDDEN);
    set_window(other);
    xdo("keyup d");
    SDL_Delay(150);
    frame_snapshot();
    EXPECT_EQ(inp_key(32), 1);
    set_window(window_);
    SDL_DestroyWindow(other);
  }
  EXPECT_TRUE(wait_for([&] {
    frame_snapshot();
    return inp_key(32) == 0;
  }));
}

TEST_F(Keyboard, KeyCharFollowsShift) {
  drain_events();
  if (SDL_GetModState() & KMOD_CAPS) {  // left on by an earlier key test
    xdo("key Caps_Lock");
    ASSERT_TRUE(wait_for([] { return (SDL_GetModState() & KMOD_CAPS) == 0; }));
  }
  EXPECT_EQ(inp_key_char(2), '1');
  EXPECT_EQ(inp_key_char(30), 'a');
  EXPECT_EQ(inp_key_char(57), ' ');
  EXPECT_EQ(inp_key_char(53), '/');
  EXPECT_EQ(inp_key_char(14), 8);
  EXPECT_EQ(inp_key_char(28), 10);
  EXPECT_EQ(inp_key_char(156), 10);
  for (int code : {29, 42, 54, 56, 58, 69, 221}) EXPECT_EQ(inp_key_char(code), 0) << code;
  EXPECT_EQ(inp_key_char(1), 0);   // Escape gives 27, a control character
  EXPECT_EQ(inp_key_char(15), 0);  // Tab gives 9
  EXPECT_EQ(inp_key_char(200), 0); // no character
  Held h(this, "Shift_L");
  ASSERT_TRUE(wait_for([] { return (SDL_GetModState() & KMOD_SHIFT) != 0; }));
  EXPECT_EQ(inp_key_char(30), 'A');
  EXPECT_EQ(inp_key_char(2), '!');
}

TEST(KeyTable, CodesAndScancodesMapBothWays) {
  for (int code = 0; code < 256; ++code) {
    int sc = tmx::platform::scancode_of_key_code(code);
    if (sc != 0) {
      EXPECT_EQ(tmx::platform::key_code_of_scancode(sc), code) << code;
    }
  }
  EXPECT_EQ(tmx::platform::key_code_of_scancode(SDL_SCANCODE_Z), 44);  // left of X on every layout
  EXPECT_EQ(tmx::platform::key_code_of_scancode(SDL_SCANCODE_RALT), 184);
  EXPECT_EQ(tmx::platform::key_code_of_scancode(SDL_SCANCODE_NONUSBACKSLASH), 86);
  EXPECT_EQ(tmx::platform::key_code_of_scancode(-1), 0);
  EXPECT_EQ(tmx::platform::key_code_of_scancode(100000), 0);
}

TEST(KeyTable, FallbackMappingIsTheQwertzTable) {
  const auto& t = key_fallback_mapping();
  struct Case {
    int code, vk;
  } cases[] = {{0, 13},   {1, 27},   {2, 49},   {11, 48},  {14, 8},   {21, 90},  {28, 13},  {44, 89},
               {45, 88},  {56, 18},  {57, 32},  {58, 0},   {59, 112}, {68, 121}, {82, 96},  {83, 110},
               {84, 255}, {86, 226}, {88, 123}, {156, 28}, {157, 17}, {181, 111}, {184, 18}, {199, 36},
               {200, 38}, {202, 255}, {203, 37}, {205, 39}, {208, 40}, {211, 46}, {221, 93}, {255, 255}};
  for (const Case& c : cases) EXPECT_EQ(t[static_cast<size_t>(c.code)], c.vk) << c.code;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XWindowEnvironment);
  return RUN_ALL_TESTS();
}
