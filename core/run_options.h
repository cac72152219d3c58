// Run options every program built on the engine understands:
//   --seed N, --frames N, --record FILE, --replay FILE, --fast,
//   --screenshot FILE, --screenshot-at N,N,..., --state-out FILE, --help.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tamblix/input_script.h"

struct RunOptions {
  bool seed_given = false;
  uint32_t seed = 0;
  int64_t frames = 0;  // 0: no limit
  std::string record_path, replay_path, screenshot_path, state_out_path;
  // Frames (calls of sys_show_screen) also written as screenshots, each to
  // the screenshot file with "-N" before its extension; ascending.
  std::vector<int64_t> screenshot_frames;
  bool fast = false;
  bool help = false;
};

// Parses the engine's options out of argv. False with a message on a
// malformed option, and on an unknown one starting with "--" unless the
// program reads options of its own. Other arguments, and everything after
// "--", are left for the program.
// The screenshot file of frame n: "-n" before the extension of path.
std::string core_screenshot_frame_path(const std::string& path, int64_t n);
bool core_run_options_parse(int argc, char** argv, RunOptions& out, std::string& error,
                            bool program_reads_options = false);
// The text of --help.
const char* core_run_options_help();
