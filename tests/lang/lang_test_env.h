// Shared set-up for the language runtime tests: a private temporary
// directory (TMPDIR) so that error logs of death tests never collide with
// other test programs running at the same time.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/program_end.h"
#include "tamblix/errors.h"

class LangTempDir : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/tmx_lang_XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    setenv("TMPDIR", dir_.c_str(), 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::string dir_;
};

inline const bool kLangTempDirRegistered = [] {
  ::testing::AddGlobalTestEnvironment(new LangTempDir);
  return true;
}();

// Runs statement in a death test with the debugger channel on, so that the
// error code line ("TXerror: 9") reaches standard error.
#define EXPECT_FATAL(statement, regex)  \
  EXPECT_EXIT(                          \
      {                                 \
        core_debug_channel_override(1); \
        statement;                      \
      },                                \
      ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), regex)
