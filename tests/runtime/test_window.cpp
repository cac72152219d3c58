// Real starts of a program on the engine under a private Xvfb server: the
// start-up log, the window, and the clean ends by Escape, by the close
// request, by the session's quit request, by sys_end and by returning.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/private_display.h"
#include "tests/runtime/archive_writer.h"
#include "tests/runtime/rt_test_util.h"

namespace {

PrivateDisplay* const g_xserver =
    static_cast<PrivateDisplay*>(::testing::AddGlobalTestEnvironment(new PrivateDisplay("1280x800x24")));

struct ProbeRun {
  int status = -1;       // exit code, or -1 when killed / timed out
  std::string out;       // standard output
  std::string log;       // ErrorLog.txt
};

class WindowTest : public TempDirTest {
 protected:
  pid_t start(const std::string& mode, const char* option = nullptr, const char* value = nullptr,
              const std::string& program = RT_PROBE_PATH) {
    out_path_ = path("stdout.txt");
    pid_t pid = fork();
    if (pid == 0) {
      setenv("TMPDIR", dir_.c_str(), 1);
      setenv("DISPLAY", g_xserver->display().c_str(), 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      setenv("TAMBLIX_NO_DIALOGS", "1", 1);
      FILE* f = std::freopen(out_path_.c_str(), "w", stdout);
      FILE* g = std::freopen(path("stderr.txt").c_str(), "w", stderr);
      (void)f;
      (void)g;
      for (const auto& [key, value] : extra_env_) setenv(key.c_str(), value.c_str(), 1);
      if (chdir(dir_.c_str()) != 0) _exit(126);
      execl(program.c_str(), program.c_str(), mode.c_str(), option, value, static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
  bool wait_for_output(const std::string& text, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      if (rt_read_file(out_path_).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  ProbeRun finish(pid_t pid, int seconds = 30) {
    ProbeRun r;
    int st = 0;
    bool done = false;
    for (int i = 0; i < seconds * 20 && !done; ++i) {
      if (waitpid(pid, &st, WNOHANG) == pid) {
        done = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!done) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
    } else if (WIFEXITED(st)) {
      r.status = WEXITSTATUS(st);
    }
    r.out = rt_read_file(out_path_);
    r.log = rt_read_file(path("ErrorLog.txt"));
    return r;
  }
  ProbeRun run(const std::string& mode) { return finish(start(mode)); }

  static void expect_in_order(const std::string& text, const std::vector<std::string>& parts) {
    size_t at = 0;
    for (const std::string& p : parts) {
      size_t found = text.find(p, at);
      ASSERT_NE(std::string::npos, found) << "missing in order: " << p << "\n--- in:\n" << text;
      at = found + p.size();
    }
  }
  static void expect_clean_end(const ProbeRun& r) {
    EXPECT_EQ(0, r.status);
    ASSERT_GE(r.out.size(), 5u);
    EXPECT_EQ("exit\n", r.out.substr(r.out.size() - 5)) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("TMX_ON_QUIT\n"));
    const std::string tail = "Shut down TMX\ntmx is shut down\n";
    ASSERT_GE(r.log.size(), tail.size());
    EXPECT_EQ(tail, r.log.substr(r.log.size() - tail.size())) << r.log;
  }
  std::string out_path_;
  std::vector<std::pair<std::string, std::string>> extra_env_;
};

}  // namespace

TEST_F(WindowTest, StartUpLogWindowAndEndBySysEnd) {
  ProbeRun r = run("end");
  expect_clean_end(r);
  EXPECT_EQ(0u, r.log.rfind("Start new log...\n", 0));
  const std::string exe_dir = std::string(RT_PROBE_PATH).substr(0, std::string(RT_PROBE_PATH).rfind('/'));
  expect_in_order(r.log, {"Start new log...\n", "timer\n", "ruvi\n", "ruvi init\n", "WIN32 init video\n",
                          "get accurate timer - 1st call\n", "flip - 1st call\n", "BGRA ext supported\n", "init fbo\n", "2D VP\n",
                          "ZOZU init [OK]\n", "Cptn\n", "Network\n", "Input\n", "Window mode\n", "Create DXin\n",
                          "reptr\n", "getexe\n", "cd\n", "exepath=curdir= " + exe_dir + "\n", "kitpacking...\n",
                          "init gettimer\n", "clear screen\n", "flip\n", "mk2D\n", "finding font...\n",
                          "no smalfont.png or smalfont.bmp: font 0 is the built-in font\n", "Init Finalized\n", "Shut down TMX\n"});
  // The GL capabilities sit between the first flip and the framebuffer set-up.
  const size_t caps = r.log.find("BGRA ext supported\nTexture size limit: ");
  ASSERT_NE(std::string::npos, caps) << r.log;
  EXPECT_LT(caps, r.log.find("init fbo\n"));
  // The window: the application's title, the settings' size, the display's
  // size reported; after sys_set_screen the new client size centred in the
  // work area.
  EXPECT_NE(std::string::npos, r.out.find("start title=Probe client=640x400 pos=320,200 work=1280x800 "
                                          "desktop=1280x800 visible=1"))
      << r.out;
  EXPECT_NE(std::string::npos, r.out.find("screen title=Probe client=800x500 pos=240,150")) << r.out;
  // A width of 0 keeps the width in force.
  EXPECT_NE(std::string::npos, r.out.find("keep title=Probe client=800x450 pos=240,175")) << r.out;
}

// The screen saver stays off while the program runs, even where the
// environment lets SDL programs allow it.
TEST_F(WindowTest, ScreenSaverIsKeptOff) {
  extra_env_ = {{"SDL_VIDEO_ALLOW_SCREENSAVER", "1"}};
  ProbeRun r = run("end");
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("start title=Probe")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("saver=1")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("saver=0")) << r.out;
}

TEST_F(WindowTest, PreviousLogIsReplacedEvenWhenADirectory) {
  ASSERT_EQ(0, mkdir(path("ErrorLog.txt").c_str(), 0755));
  ProbeRun r = run("end");
  expect_clean_end(r);
  EXPECT_EQ(0u, r.log.rfind("Start new log...\n", 0));
}

TEST_F(WindowTest, EndsByTheCloseRequest) {
  for (const char* mode : {"close", "quit"}) {
    SCOPED_TRACE(mode);
    ProbeRun r = run(mode);
    expect_clean_end(r);
    EXPECT_EQ(std::string::npos, r.out.find("still running"));
  }
}

TEST_F(WindowTest, EndsWhenTheMainRoutineReturns) { expect_clean_end(run("return")); }

// The start-up draws every kind of drawing once to prepare the GL driver;
// the program then finds the slots free and a cleared back buffer.
TEST_F(WindowTest, StartUpWarmUpLeavesNothingBehind) {
  ProbeRun r = run("warm");
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("warm screen=31 sprites=0x0,0x0 pixels=0,0,0")) << r.out;
}

TEST_F(WindowTest, PausesWhileInTheBackground) {
  ProbeRun r = run("pause");
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("paused title=Probe <pause>")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("resumed title=Probe client")) << r.out;
  expect_in_order(r.log, {"Init Finalized\n", "pause loop in showscreen/hibernate\n", "pause loop ended\n",
                          "Shut down TMX\n"});
}

TEST_F(WindowTest, EndsByEscape) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool missing";
  pid_t pid = start("escape");
  ASSERT_TRUE(wait_for_output("ready", 30));
  std::string cmd = "DISPLAY=" + g_xserver->display() +
                    " xdotool search --sync --name '^Probe$' windowfocus --sync key --delay 100 Escape >/dev/null 2>&1";
  ProbeRun r;
  for (int attempt = 0; attempt < 5; ++attempt) {
    (void)std::system(cmd.c_str());
    if (wait_for_output("exit\n", 2)) break;
  }
  r = finish(pid, 10);
  expect_clean_end(r);
}

TEST_F(WindowTest, FullscreenWithoutModesUsesTheDesktopSize) {
  ProbeRun r = run("fullscreen");
  expect_clean_end(r);
  // Xvfb offers no 640 x 400 mode: a desktop-sized fullscreen window stands
  // in and the sizes report what is in force.
  EXPECT_NE(std::string::npos, r.out.find("full title=Probe client=1280x800 pos=0,0 work=1280x800 desktop=1280x800"))
      << r.out;
  EXPECT_NE(std::string::npos, r.out.find("back title=Probe client=800x500 pos=240,150")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("fullmode title=Probe client=1280x800 pos=0,0 work=1280x800 desktop=1280x800"))
      << r.out;
  EXPECT_EQ(std::string::npos, r.log.find("No Fullscreen Mode available"));
  // The integer and the real form of the screen size agree in every mode.
  EXPECT_EQ(std::string::npos, r.out.find("the two screen size forms differ")) << r.out;
}

// The program's end writes a changed line file back and the buffered bytes
// of an open channel out.
TEST_F(WindowTest, TheEndWritesLineFilesAndChannelsOut) {
  extra_env_ = {{"PROBE_LINE_FILE", path("lines.txt")}, {"PROBE_CHANNEL_FILE", path("channel.bin")}};
  ProbeRun r = run("linefile");
  expect_clean_end(r);
  EXPECT_EQ(rt_read_file(path("lines.txt")), "\r\nkept at the end\r\n");
  EXPECT_EQ(rt_read_file(path("channel.bin")), "buffered");
}

// sys_limit_fps(rate, 1) asks the platform for vsync (adaptive where
// offered), 0 turns it off, and a fast run never waits for the retrace. The
// platform's swap control is a stand-in here: Xvfb's renderer has none.
TEST_F(WindowTest, VsyncFollowsTheLimiterAndFastRunsNeverWait) {
  struct Case {
    const char* adaptive;
    const char* option;
    const char* on;
  } cases[] = {
      {"1", nullptr, "vsync on: interval=-1\n"},
      {"0", nullptr, "vsync on: interval=1\n"},
      {"1", "--fast", "vsync on: interval=0\n"},
  };
  for (const Case& c : cases) {
    extra_env_ = {{"LD_PRELOAD", SWAP_SHIM_PATH}, {"SWAP_SHIM_ADAPTIVE", c.adaptive}};
    ProbeRun r = finish(start("vsync", c.option));
    expect_clean_end(r);
    EXPECT_NE(std::string::npos, r.out.find(c.on)) << c.on << r.out;
    EXPECT_NE(std::string::npos, r.out.find("vsync off: interval=0\n")) << r.out;
  }
  // Without any swap control the limiter paces alone and nothing fails.
  extra_env_.clear();
  ProbeRun plain = run("vsync");
  expect_clean_end(plain);
  EXPECT_NE(std::string::npos, plain.out.find("vsync on: interval=0\n")) << plain.out;
}

TEST_F(WindowTest, MultisampleRequestFallsBackToWhatExists) {
  ProbeRun r = run("msaa");
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("start title=Probe client=640x400")) << r.out;
  expect_in_order(r.log, {"WIN32 init video\n", "ZOZU init [OK]\n", "Init Finalized\n"});
}

// The software renderer warning never waits for a person: without one it goes
// to the log and the error stream, with the text of "opengldriver.txt" when
// that file has any, else the built-in text.
TEST_F(WindowTest, SoftwareRendererWarningNeverBlocks) {
  rt_write_file(path("opengldriver.txt"), "Install the vendor driver.");
  ProbeRun r = run("end");
  expect_clean_end(r);
  const std::string err = rt_read_file(path("stderr.txt"));
  if (r.log.find("*** OpenGL Software Emulation - update driver!\n") == std::string::npos) {
    GTEST_SKIP() << "hardware renderer: no warning";
  }
  expect_in_order(r.log, {"WIN32 init video\n", "*** OpenGL Software Emulation - update driver!\n",
                          "get accurate timer - 1st call\n"});
  EXPECT_NE(std::string::npos, err.find("No OpenGL Hardware Drivers: Install the vendor driver.")) << err;
  rt_write_file(path("opengldriver.txt"), "");
  r = run("end");
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, rt_read_file(path("stderr.txt")).find("No OpenGL Hardware Drivers: Please update"));
}

// The run options reach the frame loop: --frames ends the program after that
// many frames, --fast does not wait for the frames' time.
TEST_F(WindowTest, RunOptionsEndAfterTheFrames) {
  ProbeRun r = finish(start("escape", "--frames", "40"));
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("ready"));
  EXPECT_EQ(std::string::npos, r.out.find("still running"));
  r = finish(start("escape", "--fast", nullptr));
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.out.find("still running"));  // 3000 frames, then sys_end
}

// A program finds its media beside it on disk and in the archive appended to
// its own executable; the working directory is the executable's directory.
TEST_F(WindowTest, FindsFilesInTheArchiveAppendedToTheProgram) {
  const std::string exe = path("packed_probe");
  std::string program = rt_read_file(RT_PROBE_PATH);
  ASSERT_FALSE(program.empty());
  program = build_archive(program, {{"Thing.TXT", "from the archive", "", 0, -1},
                                    {"disk.txt", "archive copy", "", 0, -1},
                                    {"song.mp3", std::string(2000, 'm'), "", 0, -1}},
                          true);
  rt_write_file(exe, program);
  ASSERT_EQ(0, chmod(exe.c_str(), 0755));
  ASSERT_EQ(0, mkdir(path("Media").c_str(), 0755));
  rt_write_file(path("Media/disk.txt"), "disk copy");
  ProbeRun r = finish(start("archive", nullptr, nullptr, exe));
  expect_clean_end(r);
  EXPECT_NE(std::string::npos, r.log.find("exepath=curdir= " + dir_ + "\n")) << r.log;
  EXPECT_NE(std::string::npos, r.out.find("Media/thing.txt -> 1 from the archive\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Media/disk.txt -> 1 disk copy\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Media/none.txt -> 0 \n")) << r.out;
  // Music is extracted into a directory of the program's own in TMPDIR.
  EXPECT_NE(std::string::npos, r.out.find("song -> 1 " + dir_ + "/tamblix-")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("/kpxAOsong.mp3\n")) << r.out;
  // The shutdown deleted the extracted music file and that directory.
  EXPECT_NE(0, std::system(("ls -d '" + dir_ + "'/kpx* >/dev/null 2>&1").c_str()));
  EXPECT_NE(0, std::system(("ls -d '" + dir_ + "'/tamblix-* >/dev/null 2>&1").c_str()));
}

// Without a window the program cannot run: it says so and ends with a failure
// status, after the start-up lines that ran.
TEST_F(WindowTest, NoDisplayEndsWithAFailure) {
  extra_env_ = {{"SDL_VIDEODRIVER", "x11"}, {"DISPLAY", ":9999"}};
  ProbeRun r = run("end");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(std::string::npos, r.out.find("exit"));
  // The graphics context exists by then: the teardown runs for what was made.
  // The failure line names the reason (the driver asked for and its error).
  EXPECT_EQ(0u, r.log.find("Start new log...\ntimer\nruvi\nruvi init\nwindow creation failed: video driver \"x11\": "))
      << r.log;
  const std::string tail = "\nShut down TMX\ntmx is shut down\n";
  EXPECT_EQ(r.log.size() - tail.size(), r.log.find(tail)) << r.log;
  EXPECT_NE(std::string::npos, rt_read_file(path("stderr.txt")).find("could not be created"));
}
