// Line files: one small text file at a time held as 256 lines of up to 1023
// bytes, written back when another file is asked for and at program end.
#include <array>
#include <cstring>
#include <string>

#include "files/channel_io.h"
#include "files/files.h"
#include "runtime/virtual_file.h"
#include "tamblix/errors.h"
#include "tamblix/files.h"

using namespace tmx::files;

namespace {

constexpr int kLines = 256;
constexpr size_t kLineBytes = 1023;  // a slot's text, without its terminator

struct LineFileCache {
  std::string name;  // empty: none
  std::array<std::string, kLines> lines;
  int last_line = 0;
  bool modified = false;
};

LineFileCache g_cache;

void clear_cache() {
  g_cache.name.clear();
  for (std::string& l : g_cache.lines) l.clear();
  g_cache.last_line = 0;
  g_cache.modified = false;
}

// 0 when loaded (or already held), 3 when not found.
int select_line_file(const std::string& name) {
  if (name == g_cache.name && !name.empty()) return 0;
  const int written = files_flush_line_file();
  if (written != 0) sys_raise_error(written);
  g_cache.name = name;
  std::string found;
  if (!runtime_resolve_general_file(runtime_native_path(name.c_str()).c_str(), found)) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return TMX_ERR_NO_SUCH_FILE;
  }
  Channel in;
  if (!in.open_read(found.c_str())) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return TMX_ERR_NO_SUCH_FILE;
  }
  std::string line;
  for (int i = 0; i < kLines && in.read_line(line, kLineBytes + 1); ++i) {
    if (line.size() > kLineBytes) line.resize(kLineBytes);
    g_cache.lines[static_cast<size_t>(i)] = line;
    g_cache.last_line = i;
  }
  in.close();
  return 0;
}

}  // namespace

int files_flush_line_file() {
  int result = 0;
  const std::string name = g_cache.name;
  if (!name.empty() && g_cache.modified && !runtime_is_memory_file_name(name.c_str())) {
    const bool ok = files_write_file_whole(runtime_native_path(name.c_str()), [](const WriteBytes& put) {
      for (int i = 0; i <= g_cache.last_line; ++i) {
        const std::string& l = g_cache.lines[static_cast<size_t>(i)];
        if (!l.empty() && !put(l.data(), static_cast<int64_t>(l.size()))) return false;
        if (!put("\r\n", 2)) return false;
      }
      return true;
    });
    if (!ok) {
      log_append(("line file: cannot write " + name + "; the old file is kept\n").c_str());
      result = TMX_ERR_NO_SUCH_FILE;
    }
  }
  clear_cache();
  return result;
}

int sys_get_file_line(const BasicString& name, int line, BasicString& out) {
  clear_error();
  files_flush_all_channels("sys_get_file_line");
  if (static_cast<unsigned>(line) >= kLines) {
    out = "NO_DATA";
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return TMX_ERR_OUT_OF_MEMORY;
  }
  const int found = select_line_file(name.c_str());
  if (found != 0) {
    out = "NO_FILE";
    return found;
  }
  std::string text = g_cache.lines[static_cast<size_t>(line)];
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 32) text.pop_back();
  out = BasicString(text.c_str());
  return 0;
}

int sys_put_file_line(const BasicString& name, int line, const BasicString& text) {
  clear_error();
  files_flush_all_channels("sys_put_file_line");
  if (static_cast<unsigned>(line) >= kLines) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return TMX_ERR_OUT_OF_MEMORY;
  }
  select_line_file(name.c_str());
  // A slot holds 1023 bytes; a longer text is cut there.
  std::string t(text.c_str(), std::min<size_t>(text.length(), kLineBytes));
  const size_t zero = t.find('\0');
  if (zero != std::string::npos) t.resize(zero);
  g_cache.lines[static_cast<size_t>(line)] = t;
  if (line > g_cache.last_line) g_cache.last_line = line;
  g_cache.modified = true;
  return 0;
}
