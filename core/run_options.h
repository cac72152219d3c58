// Run options every program built on the engine understands:
//   --seed N, --frames N, --record FILE, --replay FILE, --fast,
//   --screenshot FILE, --state-out FILE, --help.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "tamblix/input_script.h"

struct RunOptions {
  bool seed_given = false;
  uint32_t seed = 0;
  int64_t frames = 0;  // 0: no limit
  std::string record_path, replay_path, screenshot_path, state_out_path;
  bool fast = false;
  bool help = false;
};

// Parses the engine's options out of argv. Unknown arguments are left for the
// program. False with a message on a malformed option.
bool run_options_parse(int argc, char** argv, RunOptions& out, std::string& error);
// The text of --help.
const char* run_options_help();
