// The game's state as JSON: every global variable under its name, then the
// obstacle and particle tables as arrays of records (each an array of its
// fields in order). Numbers are written so that they read back exactly.
#include <cstdio>
#include <string>

#include "skorvane.h"

namespace {

void write_number(std::FILE* out, double v) {
  if (v != v || v - v != 0) {
    std::fputs("null", out);  // not representable in JSON
    return;
  }
  std::fprintf(out, "%.17g", v);
}

void write_text(std::FILE* out, const std::string& s) {
  std::fputc('"', out);
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      std::fputc('\\', out);
      std::fputc(c, out);
    } else if (c < 0x20 || c >= 0x7F) {
      std::fprintf(out, "\\u%04x", c);
    } else {
      std::fputc(c, out);
    }
  }
  std::fputc('"', out);
}

void write_table(std::FILE* out, const char* name, const std::vector<std::vector<double>>& rows) {
  std::fprintf(out, ",\n\"%s\":[", name);
  for (size_t r = 0; r < rows.size(); ++r) {
    std::fputs(r ? ",\n[" : "\n[", out);
    for (size_t f = 0; f < rows[r].size(); ++f) {
      if (f) std::fputc(',', out);
      write_number(out, rows[r][f]);
    }
    std::fputc(']', out);
  }
  std::fputs("]", out);
}

}  // namespace

namespace skorvane {

void write_state_json(std::FILE* out) {
  std::fputc('{', out);
  bool first = true;
  for (const NamedValue& v : list_globals()) {
    std::fprintf(out, "%s\n\"%s\":", first ? "" : ",", v.name);
    first = false;
    if (v.is_text) {
      write_text(out, v.text);
    } else {
      write_number(out, v.number);
    }
  }
  write_table(out, "obstacles", list_obstacles());
  write_table(out, "particles", list_particles());
  std::fputs("\n}\n", out);
}

}  // namespace skorvane
