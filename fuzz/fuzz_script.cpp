// The input script reader of --replay on arbitrary bytes. A script it accepts
// must play through, and what the recorder would write of it must read back
// to the same script.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/run_options.h"

namespace {

bool same_script(const InputScript& a, const InputScript& b) {
  if (a.seed != b.seed || a.key_lines.size() != b.key_lines.size() || a.joy_lines.size() != b.joy_lines.size())
    return false;
  for (size_t i = 0; i < a.key_lines.size(); ++i)
    if (a.key_lines[i].frame != b.key_lines[i].frame || a.key_lines[i].keys != b.key_lines[i].keys) return false;
  for (size_t i = 0; i < a.joy_lines.size(); ++i)
    if (a.joy_lines[i].frame != b.joy_lines[i].frame || !(a.joy_lines[i].joy == b.joy_lines[i].joy)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  InputScript script;
  std::string error;
  if (!input_script_parse(text, script, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  InputScriptPlayer player(script);
  std::vector<int64_t> frames;
  for (const auto& line : script.key_lines) frames.push_back(line.frame);
  for (const auto& line : script.joy_lines) frames.push_back(line.frame);
  std::sort(frames.begin(), frames.end());
  for (int64_t f : frames) player.advance_to(f);
  (void)player.keys();

  const std::string again = input_script_format(script);
  InputScript reread;
  if (!input_script_parse(again, reread, error) || !same_script(script, reread)) std::abort();
  return 0;
}
