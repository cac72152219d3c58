#include "system/command_line.h"

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

bool system_split_command_line(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool in_word = false;
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    char c = line[i];
    if (is_blank(c)) {
      if (in_word) {
        words.push_back(word);
        word.clear();
        in_word = false;
      }
      ++i;
    } else if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) return false;
      word.append(line, i + 1, end - i - 1);
      in_word = true;
      i = end + 1;
    } else if (c == '"') {
      in_word = true;
      ++i;
      for (;;) {
        if (i >= n) return false;
        char d = line[i];
        if (d == '"') {
          ++i;
          break;
        }
        if (d == '\\' && i + 1 < n &&
            (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$' || line[i + 1] == '`')) {
          word += line[i + 1];
          i += 2;
        } else {
          word += d;
          ++i;
        }
      }
    } else if (c == '\\') {
      if (i + 1 >= n) return false;
      word += line[i + 1];
      in_word = true;
      i += 2;
    } else {
      word += c;
      in_word = true;
      ++i;
    }
  }
  if (in_word) words.push_back(word);
  return true;
}
