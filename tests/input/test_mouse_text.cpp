// The mouse in both pointer modes and typed text, with a real pointer and
// real key presses on a private X server.
#include <cstdlib>
#include <string>

#include "input/input_state.h"
#include "engine/line_editor.h"
#include "platform/keyboard_mouse.h"
#include "tamblix/input.h"
#include "tamblix/string.h"
#include "x_session.h"

using namespace tmx::input;

namespace {

using Mouse = XWindowTest;

void move_to(int x, int y) { xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

// Lets the window system deliver what xdotool did (SDL reads it at its pump).
void settle() {
  for (int i = 0; i < 5; ++i) {
    SDL_Delay(10);
    PlatformEvent e;
    while (platform_event_pending() && platform_take_event(&e)) handle_platform_event(e);
  }
}

// A relative move of the mouse, as a real mouse makes.
void move_by(int dx, int dy) {
  xdo("mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy));
  settle();
}

bool take_focus(SDL_Window* w) {
  int tries = 0;
  return serve_until([&] {
    if (tries++ % 10 == 0) {
      SDL_RaiseWindow(w);
      SDL_SetWindowInputFocus(w);
    }
    return SDL_GetKeyboardFocus() == w;
  });
}

TEST_F(Mouse, ShownPointerGivesMotionSinceTheLastFrame) {
  move_to(150, 130);  // window at (100, 80): client (50, 50)
  frame_snapshot();
  EXPECT_EQ(inp_mouse_axis(0), 0);
  move_to(170, 120);
  EXPECT_EQ(inp_mouse_axis(0), 20);
  EXPECT_EQ(inp_mouse_axis(0), 20);  // reads do not move the frame reference
  EXPECT_EQ(inp_mouse_axis(1), -10);
  frame_snapshot();
  EXPECT_EQ(inp_mouse_axis(0), 0);
  EXPECT_EQ(inp_mouse_axis(6), 0);
  int x, y, l, r;
  inp_mouse_state(x, y, l, r);
  EXPECT_EQ(x, 70);
  EXPECT_EQ(y, 40);
  EXPECT_EQ(l, 0);
  xdo("mousedown 1");
  EXPECT_EQ(inp_mouse_axis(3), 1);
  EXPECT_EQ(any_mouse_button(), 1);
  xdo("mouseup 1");
  xdo("mousedown 3");
  EXPECT_EQ(inp_mouse_axis(4), 1);
  xdo("mouseup 3");
  EXPECT_EQ(any_mouse_button(), 0);
}

// With the pointer hidden and the window in front, motion comes from the
// platform's relative mode; the engine's position stays within the window's
// rectangle however far the mouse moves.
TEST_F(Mouse, HiddenPointerMovesRelativelyInsideTheWindow) {
  inp_system_pointer(0);
  EXPECT_FALSE(state()->pointer_shown);
  inp_set_mouse(100, 60);
  frame_snapshot();  // the relative mode starts
  move_by(30, -10);
  EXPECT_EQ(inp_mouse_axis(0), 30);
  EXPECT_EQ(inp_mouse_axis(1), -10);
  frame_snapshot();
  int x, y, l, r;
  inp_mouse_state(x, y, l, r);
  EXPECT_EQ(x, 130);
  EXPECT_EQ(y, 50);
  move_by(1000, 700);  // far beyond the window's right and bottom edges
  frame_snapshot();
  inp_mouse_state(x, y, l, r);
  EXPECT_EQ(x, 320);
  EXPECT_EQ(y, 200);
  move_by(-400, -400);
  frame_snapshot();
  inp_mouse_state(x, y, l, r);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  inp_system_pointer(1);
  EXPECT_TRUE(state()->pointer_shown);
}

// While another window has the focus the cursor is never moved: the hidden
// pointer follows the cursor's own motion instead, and showing the pointer
// leaves the cursor where it is.
TEST_F(Mouse, HiddenPointerInTheBackgroundNeverMovesTheCursor) {
  SDL_Window* other = SDL_CreateWindow("other", 500, 400, 200, 150, SDL_WINDOW_SHOWN);
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(take_focus(other));
  inp_system_pointer(0);
  move_to(600, 500);
  inp_set_mouse(100, 60);
  int cx, cy;
  for (int i = 0; i < 3; ++i) {
    frame_snapshot();
    settle();
    tmx::platform::cursor_on_screen(cx, cy);
    EXPECT_EQ(cx, 600) << i;
    EXPECT_EQ(cy, 500) << i;
  }
  move_to(620, 490);
  settle();
  EXPECT_EQ(inp_mouse_axis(0), 20);
  EXPECT_EQ(inp_mouse_axis(1), -10);
  frame_snapshot();
  int x, y, l, r;
  inp_mouse_state(x, y, l, r);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 50);
  inp_system_pointer(1);
  settle();
  tmx::platform::cursor_on_screen(cx, cy);
  EXPECT_EQ(cx, 620);
  EXPECT_EQ(cy, 490);
  SDL_DestroyWindow(other);
  ASSERT_TRUE(take_focus(window_));
}

// The motion turns with the screen as a vector: a still mouse reads 0 under
// every orientation, and a move reads as the logical point's change.
TEST_F(Mouse, MotionTurnsWithTheScreenAsAVector) {
  static int turn = 0;
  orientation_source().orientation = [] { return turn; };
  struct Case {
    int orientation, dx, dy;
  } cases[] = {{0, 20, -10}, {1, -10, -20}, {2, -20, 10}, {3, 10, 20}};
  for (const Case& c : cases) {
    turn = c.orientation;
    move_to(150, 130);
    frame_snapshot();
    EXPECT_EQ(inp_mouse_axis(0), 0) << c.orientation;
    EXPECT_EQ(inp_mouse_axis(1), 0) << c.orientation;
    int x0, y0, x1, y1, l, r;
    inp_mouse_state(x0, y0, l, r);
    move_to(170, 120);
    EXPECT_EQ(inp_mouse_axis(0), c.dx) << c.orientation;
    EXPECT_EQ(inp_mouse_axis(1), c.dy) << c.orientation;
    frame_snapshot();
    inp_mouse_state(x1, y1, l, r);
    EXPECT_EQ(x1 - x0, c.dx) << c.orientation;
    EXPECT_EQ(y1 - y0, c.dy) << c.orientation;
  }
  orientation_source().orientation = nullptr;
}

TEST_F(Mouse, CountAndSelection) {
  EXPECT_EQ(inp_mouse_count(), 1);
  inp_select_mouse(3);
  EXPECT_EQ(state()->current_mouse, 0);
}

class CapturedMouse : public XWindowTest {
 protected:
  void SetUp() override { open(1); }
};

TEST_F(CapturedMouse, WheelSumsTheStepSignsOfEveryReadSinceTheFrame) {
  EXPECT_FALSE(state()->pointer_shown);
  frame_snapshot();
  auto wheel = [](int y) {
    PlatformEvent e;
    e.kind = PlatformEventKind::wheel;
    e.wheel_y = y;
    handle_platform_event(e);
  };
  wheel(3);
  EXPECT_EQ(inp_mouse_axis(2), 1);
  wheel(1);
  EXPECT_EQ(inp_mouse_axis(2), 2);
  EXPECT_EQ(inp_mouse_axis(2), 2);
  wheel(-2);
  EXPECT_EQ(inp_mouse_axis(2), 1);
  frame_snapshot();
  EXPECT_EQ(inp_mouse_axis(2), 0);
}

using Text = XWindowTest;

TEST_F(Text, QueueKeepsSixteenAndTurnsReturnIntoLineFeed) {
  EXPECT_EQ(std::string(inp_inkey().c_str()), "");
  queue_char(13);
  queue_char(0);
  queue_char(27);  // control characters other than 8, 9, 10 are dropped
  for (int i = 0; i < 20; ++i) queue_char('a' + i);
  EXPECT_EQ(take_char(), 10);
  std::string got;
  for (BasicString s = inp_inkey(); s.length() > 0; s = inp_inkey()) got += s.c_str();
  EXPECT_EQ(got, "abcdefghijklmno");  // 16 with the line feed
  EXPECT_EQ(take_key_flag(), 0);
}

TEST_F(Text, LineEditorTakesTypedKeysUntilEnter) {
  // No frame presentation: the editor serves the window's events itself.
  tmx::engine::line_editor_services() = tmx::engine::LineEditorServices{};
  std::system("(sleep 0.3; xdotool type ab; xdotool key BackSpace; xdotool key BackSpace; "
              "xdotool key BackSpace; xdotool type c; xdotool key Return) &");
  BasicString s("x");
  inp_input(s, 10, 10, 0);
  EXPECT_EQ(std::string(s.c_str()), "c");
  // Typed text reaches the line as Latin-1 bytes, one per character, as it
  // does through the frame presentation's event pump.
  std::system("(sleep 0.3; xdotool key eacute; xdotool key Return) &");
  inp_input(s, 10, 10, 0);
  EXPECT_EQ(std::string(s.c_str()), "c\xE9");
}

// The editor with its frame services: "ab", Backspace, "c", Enter gives "ac",
// and every frame draws the text with the cursor.
std::string g_script;
size_t g_pos;
int g_frames, g_prints;
std::string g_last_print;

TEST_F(Text, LineEditorEditsWithItsFrameServices) {
  tmx::engine::LineEditorServices& sv = tmx::engine::line_editor_services();
  sv.present_frame = [] {
    ++g_frames;
    if (g_pos < g_script.size()) queue_char(static_cast<unsigned char>(g_script[g_pos++]));
  };
  sv.begin_frame_state = [] {};
  sv.print = [](const char* text, int, int, int) {
    ++g_prints;
    g_last_print = text;
  };
  g_script = std::string("ab\bc\r");
  g_pos = 0;
  g_frames = g_prints = 0;
  BasicString s;
  inp_input(s, 5, 6, 0);
  EXPECT_EQ(std::string(s.c_str()), "ac");
  EXPECT_EQ(g_frames, 5);
  EXPECT_EQ(g_last_print, "ac_");

  g_script = std::string("\b\b42x\n");  // Backspace on empty text does nothing
  g_pos = 0;
  int32_t n = 0;
  inp_input(n, 0, 0, 0);
  EXPECT_EQ(n, 42);
  g_script = "-2.5\r";
  g_pos = 0;
  double d = 0;
  inp_input(d, 0, 0, 0);
  EXPECT_DOUBLE_EQ(d, -2.5);

  // A long line keeps every character, Latin-1 bytes included, and
  // Backspace still works at its end.
  std::string typed;
  for (int i = 0; i < 3000; ++i) typed.push_back(static_cast<char>(i % 7 == 6 ? 0xE9 : 'a' + i % 26));
  g_script = typed + "\b\bzz\r";
  g_pos = 0;
  BasicString start("begin:");
  inp_input(start, 0, 0, 0);
  const std::string expected = "begin:" + typed.substr(0, typed.size() - 2) + "zz";
  EXPECT_EQ(std::string(start.c_str()), expected);
  EXPECT_EQ(g_last_print, expected + "_");
  sv = tmx::engine::LineEditorServices{};
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XWindowEnvironment);
  return RUN_ALL_TESTS();
}
