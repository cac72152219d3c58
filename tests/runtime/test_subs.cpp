// The program's named subroutines, the call-by-name dispatcher, pausing
// through window focus events, and the small text tests of the window code.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <vector>

#include "platform/process_info.h"
#include "platform/window.h"
#include "input/input_override.h"
#include "input/input_state.h"
#include "engine/frame.h"
#include "core/program_end.h"
#include "engine/startup.h"
#include "runtime/window.h"
#include "tamblix.h"

namespace {

std::vector<std::string> g_calls;
int g_loop_count = 0;

void plyr_die() { g_calls.push_back("PlyrDie"); }
void on_pause() { g_calls.push_back("pause"); }
void on_resume() { g_calls.push_back("resume"); }
void second() {
  g_calls.push_back("second");
  if (g_calls.size() > 8) run_sub_chain("");  // hand over to nothing: the chain ends
}
void loop() {
  g_calls.push_back("loop");
  if (++g_loop_count == 3) run_sub_chain("SECOND");
}
void hand_to_missing() {
  g_calls.push_back("hand");
  run_sub_chain("Missing");
}

const SubEntry kTable[] = {{&plyr_die, "PlyrDie"},     {&on_pause, "TMX_ON_PAUSE"}, {&on_resume, "TMX_ON_RESUME"},
                           {&loop, "TMX_ON_LOOP"},     {&second, "SECOND"},         {&hand_to_missing, "HAND"},
                           {&plyr_die, "PlyrDie"},     {nullptr, nullptr}};

class SubsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_set_sub_table(kTable);
    g_calls.clear();
    g_loop_count = 0;
    g_runtime.frame = FrameState{};
    g_program_settings.debug = 0;
  }
  void TearDown() override { engine_set_sub_table(nullptr); }
};

}  // namespace

TEST_F(SubsTest, FindAndCallByName) {
  EXPECT_EQ(&plyr_die, find_sub("PlyrDie"));
  EXPECT_EQ(&plyr_die, find_sub(BasicString("PlyrDie")));
  EXPECT_EQ(nullptr, find_sub("plyrdie"));   // case-sensitive
  EXPECT_EQ(nullptr, find_sub("PlyrDi"));    // same length needed
  EXPECT_EQ(nullptr, find_sub("PlyrDieX"));
  EXPECT_EQ(nullptr, find_sub(""));
  EXPECT_EQ(1, call_sub("PlyrDie"));
  EXPECT_EQ(0, call_sub(BasicString("Nope")));
  EXPECT_EQ(std::vector<std::string>{"PlyrDie"}, g_calls);
  engine_set_sub_table(nullptr);
  EXPECT_EQ(nullptr, find_sub("PlyrDie"));
  EXPECT_EQ(0, call_sub("PlyrDie"));
}

TEST_F(SubsTest, FailedCallsGoToTheDebuggerExceptQuitAndMessage) {
  core_debug_channel_override(1);
  testing::internal::CaptureStderr();
  call_sub("Nope");
  call_sub("TMX_ON_QUIT");
  call_sub("TMX_WIN32_MSG");
  std::string err = testing::internal::GetCapturedStderr();
  core_debug_channel_override(-1);
  EXPECT_EQ("TXCALLBYNAME \"Nope\" *** failed ***\n", err);
}

TEST_F(SubsTest, ChainRunsRepeatedlyAndHandsOver) {
  run_sub_chain("TMX_ON_LOOP");
  std::vector<std::string> expected = {"loop", "loop", "loop"};
  for (int i = 0; i < 6; ++i) expected.push_back("second");
  EXPECT_EQ(expected, g_calls);
  // A hand-over to a name that does not exist ends the chain.
  g_calls.clear();
  run_sub_chain("HAND");
  EXPECT_EQ(std::vector<std::string>{"hand"}, g_calls);
  // Unknown and empty names simply return; the dispatcher is free again.
  run_sub_chain("Unknown");
  run_sub_chain("");
  g_calls.clear();
  run_sub_chain("HAND");
  EXPECT_EQ(std::vector<std::string>{"hand"}, g_calls);
}

TEST_F(SubsTest, FocusEventsPauseAndResumeOnce) {
  engine_handle_window_event(WindowEvent::focus_lost);
  EXPECT_EQ(1, g_runtime.frame.paused);
  engine_handle_window_event(WindowEvent::focus_lost);  // no second callback
  engine_handle_window_event(WindowEvent::focus_gained);
  EXPECT_EQ(0, g_runtime.frame.paused);
  engine_handle_window_event(WindowEvent::focus_gained);
  EXPECT_EQ((std::vector<std::string>{"pause", "resume"}), g_calls);

  // With the debug setting, focus changes do nothing.
  g_calls.clear();
  g_program_settings.debug = 1;
  engine_handle_window_event(WindowEvent::focus_lost);
  EXPECT_EQ(0, g_runtime.frame.paused);
  g_program_settings.debug = 0;

  // Pausing disabled: a pause request counts as a resume request.
  g_runtime.frame.pauseEnabled = 0;
  runtime_set_pause(1);
  EXPECT_EQ(0, g_runtime.frame.paused);
  EXPECT_TRUE(g_calls.empty());
}


// The quit keys: Escape, key 129, or left Alt together with F4; none of them
// while the exit keys are off.
TEST_F(SubsTest, QuitKeys) {
  // The keys come through the input's override, as a replay gives them.
  tmx::input::input_override_begin();
  struct Case {
    std::vector<int> down;
    bool enabled;
    bool quits;
  };
  const Case cases[] = {
      {{}, true, false},       {{1}, true, true},          {{129}, true, true},    {{56, 62}, true, true},
      {{56}, true, false},     {{62}, true, false},        {{184, 62}, true, false},  // right Alt is not left Alt
      {{2, 57, 28}, true, false}, {{1}, false, false},     {{56, 62}, false, false}, {{129}, false, false},
  };
  for (const Case& c : cases) {
    uint8_t down[256] = {};
    for (int k : c.down) down[k] = 1;
    tmx::input::input_override_set_keys(down);
    g_runtime.frame.exitKeysEnabled = c.enabled ? 1 : 0;
    EXPECT_EQ(c.quits, engine_quit_keys_down())
        << "keys " << ::testing::PrintToString(c.down) << " enabled " << c.enabled;
  }
  tmx::input::input_override_end();
}

TEST(WindowText, WholeWordAndRendererName) {
  EXPECT_TRUE(runtime_contains_whole_word("WGL_ARB_multisample", "WGL_ARB_multisample"));
  EXPECT_TRUE(runtime_contains_whole_word("A WGL_ARB_multisample B", "WGL_ARB_multisample"));
  EXPECT_TRUE(runtime_contains_whole_word("WGL_ARB_multisampleX WGL_ARB_multisample", "WGL_ARB_multisample"));
  EXPECT_FALSE(runtime_contains_whole_word("WGL_ARB_multisampleX", "WGL_ARB_multisample"));
  EXPECT_FALSE(runtime_contains_whole_word("XWGL_ARB_multisample", "WGL_ARB_multisample"));
  EXPECT_FALSE(runtime_contains_whole_word("", "WGL_ARB_multisample"));
  EXPECT_TRUE(runtime_renderer_name_is_generic("Mesa Windows GDI Driver"));
  EXPECT_FALSE(runtime_renderer_name_is_generic("Mesa Windows GDI Driver 2"));
  EXPECT_FALSE(runtime_renderer_name_is_generic("Mesa Windows GDI"));
  EXPECT_NE(nullptr, std::strstr(kSoftwareWarningText, "unterst\xFCtzt!"));
  // The warning's text reaches the error stream and the box as UTF-8.
  EXPECT_EQ("unterst\xC3\xBCtzt! \xC3\xBF\xC2\x80", platform_latin1_to_utf8("unterst\xFCtzt! \xFF\x80"));
  EXPECT_EQ("plain", platform_latin1_to_utf8("plain"));
  EXPECT_EQ("", platform_latin1_to_utf8(nullptr));
}

TEST(Paths, ExecutableDirectory) {
  EXPECT_EQ("/opt/game", engine_exe_dir_from_path("/opt/game/skorvane"));
  EXPECT_EQ("C:/Games/x", engine_exe_dir_from_path("C:\\Games\\x\\run.exe"));
  EXPECT_EQ("noslash", engine_exe_dir_from_path("noslash"));
}

namespace {
int g_messages = 0;
void count_message() { ++g_messages; }
}  // namespace

// The event pump: the message routine once before every event, typed text as
// single bytes (Latin-1, Return as 13), focus events to runtime_set_pause.
TEST_F(SubsTest, PumpServesEveryEvent) {
  ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_EVENTS));
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  // Typed characters go to the input's queue.
  tmx::input::create_state();
  g_messages = 0;

  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::snprintf(e.text.text, sizeof e.text.text, "%s", "h\xC3\xA9\xE2\x82\xAC!");  // h, e-acute, euro sign, !
  SDL_PushEvent(&e);
  SDL_Event k{};
  k.type = SDL_KEYDOWN;
  k.key.keysym.sym = SDLK_RETURN;
  k.key.keysym.scancode = SDL_SCANCODE_RETURN;
  SDL_PushEvent(&k);
  SDL_Event f{};
  f.type = SDL_WINDOWEVENT;
  f.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&f);

  engine_pump_messages(&count_message);
  std::vector<int> chars;
  for (int c = tmx::input::take_char(); c != 0; c = tmx::input::take_char()) chars.push_back(c);
  tmx::input::input_shutdown();
  EXPECT_EQ(3, g_messages);
  // No Latin-1 form: left out; Return reaches the queue, which keeps it as a
  // line feed.
  EXPECT_EQ((std::vector<int>{'h', 0xE9, '!', 10}), chars);
  EXPECT_EQ(1, g_runtime.frame.paused);
  EXPECT_EQ(std::vector<std::string>{"pause"}, g_calls);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

// Once a large block has been mapped and freed, a later large block is still
// served from a mapping of its own rather than cut from the heap, where the
// hole it leaves would stay resident.
TEST(Allocator, AFreedLargeBlockDoesNotMoveLaterLargeBlocksOntoTheHeap) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's allocator replaces the system's";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer's allocator replaces the system's";
#endif
#endif
  platform_keep_allocator_thresholds();
  static void* volatile sink;
  sink = std::malloc(8 << 20);
  std::free(sink);
  const size_t mapped = mallinfo2().hblks;
  sink = std::malloc(512 << 10);
  EXPECT_EQ(mallinfo2().hblks, mapped + 1);
  std::free(sink);
}
