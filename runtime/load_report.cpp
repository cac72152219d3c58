#include "runtime/load_report.h"

#include <cstdio>
#include <map>
#include <string>

#include "tamblix/errors.h"

namespace {

constexpr size_t kMaxLoggedName = 160;
constexpr int kMaxRefusalLines = 16;

std::map<std::string, int> g_refusal_lines;  // lines written per command

void write_line(const std::string& line) {
  log_append(line.c_str());
  debug_print(line.c_str());
}

// The name as it appears in a log line.
std::string shown_name(const char* name) {
  std::string text = name ? name : "";
  if (text.empty()) return "(no file name)";
  if (text.size() > kMaxLoggedName) {
    // The end of a path names the file: keep it, starting on a whole UTF-8
    // character.
    size_t from = text.size() - (kMaxLoggedName - 3);
    while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) ++from;
    text = "..." + text.substr(from);
  }
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

void runtime_report_failed_load(const char* what, const char* name, const char* reason) {
  sys_raise_error(TMX_ERR_NO_SUCH_FILE);
  write_line(std::string(what) + ": " + shown_name(name) + ": " + reason + "\n");
}

void runtime_report_refused(const char* command, const char* detail, int code) {
  sys_raise_error(code);
  int& lines = g_refusal_lines[command];
  if (lines >= kMaxRefusalLines) return;
  ++lines;
  char tail[96];
  if (lines == kMaxRefusalLines) {
    std::snprintf(tail, sizeof tail, " (error %d; later refusals of %s are not logged)\n", code, command);
  } else {
    std::snprintf(tail, sizeof tail, " (error %d)\n", code);
  }
  write_line(std::string(command) + ": " + detail + tail);
}

void runtime_report_reset_counts() { g_refusal_lines.clear(); }
