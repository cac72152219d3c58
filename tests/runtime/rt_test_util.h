// Helpers for the runtime tests: a private temporary directory per test.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

inline std::string rt_make_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/rt_test_XXXXXX";
  char* made = mkdtemp(tmpl.data());
  if (!made) return std::string();
  return std::string(made);
}

inline void rt_remove_tree(const std::string& dir) {
  if (dir.size() < 8) return;
  std::string cmd = "rm -rf '" + dir + "'";
  (void)std::system(cmd.c_str());
}

inline std::string rt_read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void rt_write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A temporary directory that also serves as TMPDIR while the test runs.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    old_tmpdir_ = old ? old : "";
    had_tmpdir_ = old != nullptr;
    dir_ = rt_make_temp_dir();
    ASSERT_FALSE(dir_.empty());
    setenv("TMPDIR", dir_.c_str(), 1);
    char cwd[4096];
    old_cwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  }
  void TearDown() override {
    if (chdir(old_cwd_.c_str()) != 0) {}
    if (had_tmpdir_) {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    rt_remove_tree(dir_);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
  std::string old_tmpdir_;
  bool had_tmpdir_ = false;
  std::string old_cwd_;
};
