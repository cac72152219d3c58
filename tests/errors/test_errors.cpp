// Error codes, the error log, the debugger channel and the orderly end.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/program_end.h"
#include "tamblix.h"
#include "tests/common/read_file.h"

namespace {

// Every test gets a temporary directory of its own for the error log.
class ErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tmx_errors_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TMPDIR", dir_.c_str(), 1);
    log_path_ = dir_ + "/ErrorLog.txt";
    g_error_state = {0, 0, 0, 0};
    g_program_settings.debug = 0;
    core_program_end_reset_for_tests();
    core_debug_channel_override(0);
  }
  void TearDown() override {
    core_debug_channel_override(-1);
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)std::system(cmd.c_str());
  }
  std::string dir_, log_path_;
};

TEST_F(ErrorsTest, RaiseErrorRecordsCodeAndReportsOnlyToAnAttachedDebugger) {
  struct Case { int code; const char* sent; };
  const Case cases[] = {{3, "TXerror: 3\n"}, {9, "TXerror: 9\n"}, {20, "TXerror: 14\n"}, {0, ""}};
  for (const Case& c : cases) {
    core_debug_channel_override(1);
    g_error_state.currentLine = 12;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sys_raise_error(c.code), c.code);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.sent) << c.code;
    EXPECT_EQ(g_error_state.code, c.code);
    EXPECT_EQ(g_error_state.errorLine, 12);

    core_debug_channel_override(0);
    testing::internal::CaptureStderr();
    sys_raise_error(c.code);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.code;
    EXPECT_EQ(g_error_state.code, c.code);
  }
  clear_error();
  EXPECT_EQ(g_error_state.code, 0);
}

TEST_F(ErrorsTest, LastErrorTextNamesTheCode) {
  struct Case { int code; const char* text; };
  const Case cases[] = {{0, "0000 success"},       {3, "0003 no such file"},
                        {7, "0007 out of memory"}, {8, "0008 unknown error"},
                        {9, "0009 out of bounds"}, {20, "0020 out of data"},
                        {21, "0021 unknown error"}, {-1, "-0001 unknown error"}};
  for (const Case& c : cases) {
    g_error_state.code = c.code;
    EXPECT_STREQ(sys_last_error_text().c_str(), c.text);
  }
}

TEST_F(ErrorsTest, LogAppendsLinesAsWrittenToTheTemporaryDirectory) {
  EXPECT_EQ(std::string(error_log_path()), dir_ + "/ErrorLog.txt");
  log_append("Start new log...\n");
  log_append("timer\n");
  log_append(nullptr);
  log_append("");
  log_append("no newline");
  EXPECT_EQ(read_file(log_path_), "Start new log...\ntimer\nNULLno newline");
}

TEST_F(ErrorsTest, LogLineIsDroppedWhenTheFileStaysLockedOrUnwritable) {
  log_append("first\n");
  int fd = ::open(log_path_.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  log_append("lost while locked\n");
  ::flock(fd, LOCK_UN);
  ::close(fd);
  log_append("second\n");
  EXPECT_EQ(read_file(log_path_), "first\nsecond\n");

  // A temporary directory that does not exist: every line is dropped quietly.
  setenv("TMPDIR", (dir_ + "/missing/dir").c_str(), 1);
  log_append("nowhere\n");
  setenv("TMPDIR", dir_.c_str(), 1);
  EXPECT_EQ(read_file(log_path_), "first\nsecond\n");
}

// The hooks below log their step name so that the order shows in the log.
// The engine's end sequence as the core sees it: one installed step between
// the end report and "exit".
void sequence() { log_append("quit callback\nteardown\n"); }

using ErrorsDeathTest = ErrorsTest;

TEST_F(ErrorsDeathTest, EndRunsTheInstalledSequencePrintsExitAndEndsWithCodeZero) {
  core_program_end_install(sequence);
  EXPECT_EXIT(
      {
        dup2(2, 1);  // "exit" goes to standard output; show it to the matcher
        sys_end();
      },
      ::testing::ExitedWithCode(0), "^exit\n$");
  EXPECT_EQ(read_file(log_path_), "quit callback\nteardown\n");
}

TEST_F(ErrorsDeathTest, EndWithDebugSettingWritesTheEndReportFirst) {
  core_program_end_install(sequence);
  g_program_settings.debug = 1;
  EXPECT_EXIT(sys_end(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(log_path_).substr(0, 22), "-End On Line\n0\n-1\n0\n0\n");
}

TEST_F(ErrorsDeathTest, WithoutAnEngineTheEndOnlyExits) {
  EXPECT_EXIT(sys_end(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(log_path_), "");
}

// A second end requested from inside the sequence (a close message arriving
// during the quit callback) returns at once; the sequence runs once.
void sequence_ends_again() {
  log_append("quit callback\n");
  sys_end();
  log_append("callback goes on\n");
  log_append("teardown\n");
}

TEST_F(ErrorsDeathTest, SecondEndDuringTheTeardownReturnsAtOnce) {
  core_program_end_install(sequence_ends_again);
  EXPECT_EXIT(sys_end(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(log_path_), "quit callback\ncallback goes on\nteardown\n");
}

// A fatal error inside the teardown must not let the failing code go on.
void sequence_fails_fatally() {
  log_append("quit callback\n");
  sys_raise_error(9);
  sys_end_fatal();
  log_append("must not run\n");
}

TEST_F(ErrorsDeathTest, FatalErrorDuringTheTeardownEndsAtOnce) {
  core_program_end_install(sequence_fails_fatally);
  EXPECT_EXIT(sys_end(), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "fatal error 9: out of bounds\n");
  EXPECT_EQ(read_file(log_path_), "quit callback\nfatal error 9: out of bounds\n");
}

TEST_F(ErrorsDeathTest, FailedAssertionRaises21AndEnds) {
  core_debug_channel_override(1);
  EXPECT_EXIT(rt_assert(0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
              "TXAssertion: Value = 0\nTXerror: 15\nfatal error 21: assertion failed \\(value 0\\)\n");
  rt_assert(1);  // a true value does nothing
  EXPECT_EQ(g_error_state.code, 0);
}

// Every fatal runtime error ends through the orderly end (the sequence runs,
// "exit" is written) but with an exit code of its own, so that whoever started
// the program can tell a failure from a quit; standard error and the log name
// what failed.
const DataItem kOneItem[] = {{5, nullptr, 0}};

// The death tests' matcher is a regular expression: the text, literally.
std::string literally(const std::string& text) {
  std::string re;
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) re += '\\';
    re += c;
  }
  return re;
}
DataList g_short_list = {kOneItem, 1, 0};

TEST_F(ErrorsDeathTest, FatalErrorsEndWithTheirOwnExitCodeAndSayWhatFailed) {
  struct Case {
    const char* name;
    void (*fail)();
    const char* said;  // on standard error and in the log
  } cases[] = {
      {"index out of bounds",
       [] {
         BasicArray<double> a;
         arr_dim(a, 3);
         a(5) = 1;
       },
       "fatal error 9: array index out of bounds"},
      {"READ past the DATA",
       [] {
         rt_restore(g_short_list);
         int32_t v = 0;
         rt_read_int(v);
         rt_read_int(v);
       },
       "fatal error 20: READ past the end of the DATA"},
      {"append to two dimensions",
       [] {
         BasicArray<double> a;
         arr_dim(a, 2, 2);
         arr_push(a, 1.0);
       },
       "fatal error 8: append to an array of more than one dimension"},
      {"failed assertion", [] { rt_assert(0); }, "fatal error 21: assertion failed (value 0)"},
      // A failed output does not hide the fatal error.
      {"fatal error after a failed output",
       [] {
         core_end_set_exit_code(TMX_EXIT_OUTPUT_FAILED);
         sys_raise_error(TMX_ERR_OUT_OF_BOUNDS);
         sys_end_fatal();
       },
       "fatal error 9: out of bounds"},
  };
  for (const Case& c : cases) {
    std::remove(log_path_.c_str());
    core_program_end_install(sequence);
    EXPECT_EXIT(
        {
          dup2(2, 1);  // "exit" too
          c.fail();
        },
        ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), literally(std::string(c.said) + "\nexit\n"))
        << c.name;
    EXPECT_EQ(read_file(log_path_), std::string(c.said) + "\nquit callback\nteardown\n") << c.name;
  }
}

// The orderly ends keep exit code 0, including the end that must not return
// (run_program after the main routine); an end that finds one in progress
// ends there with the code in force.
TEST_F(ErrorsDeathTest, TheEndThatNeverReturnsKeepsTheCodeInForce) {
  core_program_end_install(sequence);
  EXPECT_EXIT(core_end_and_exit(), ::testing::ExitedWithCode(0), "");
  std::remove(log_path_.c_str());
  core_program_end_install([] {
    core_end_set_exit_code(TMX_EXIT_OUTPUT_FAILED);
    core_end_and_exit();
    log_append("must not run\n");
  });
  EXPECT_EXIT(sys_end(), ::testing::ExitedWithCode(TMX_EXIT_OUTPUT_FAILED), "");
  EXPECT_EQ(read_file(log_path_), "");
}

}  // namespace
