// A small JSON reader for the state files the engine writes at the end of a
// run: objects, arrays, numbers, strings, true/false/null.
#pragma once
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  double number = 0;
  bool boolean = false;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    auto it = members.find(key);
    if (kind != Object || it == members.end()) throw std::runtime_error("no member " + key);
    return it->second;
  }
  const Json& operator[](size_t i) const {
    if (kind != Array || i >= items.size()) throw std::runtime_error("no item " + std::to_string(i));
    return items[i];
  }
  bool has(const std::string& key) const { return kind == Object && members.count(key) != 0; }
  double num() const {
    if (kind != Number) throw std::runtime_error("not a number");
    return number;
  }

  static Json parse(const std::string& s) {
    size_t p = 0;
    Json j = value(s, p, 0);
    skip(s, p);
    if (p != s.size()) throw std::runtime_error("trailing text at " + std::to_string(p));
    return j;
  }

 private:
  static void skip(const std::string& s, size_t& p) {
    while (p < s.size() && (s[p] == ' ' || s[p] == '\n' || s[p] == '\r' || s[p] == '\t')) ++p;
  }
  static void expect(const std::string& s, size_t& p, char c) {
    skip(s, p);
    if (p >= s.size() || s[p] != c) throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(p));
    ++p;
  }
  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  static std::string string_at(const std::string& s, size_t& p) {
    expect(s, p, '"');
    std::string out;
    while (p < s.size() && s[p] != '"') {
      char c = s[p++];
      if (c == '\\' && p < s.size()) {
        char e = s[p++];
        switch (e) {
          case 'n': out += '\n'; break;
          case 't': out += '\t'; break;
          case 'r': out += '\r'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'u': {
            unsigned v = 0;
            for (int k = 0; k < 4; ++k, ++p) {
              const int d = p < s.size() ? hex_digit(s[p]) : -1;
              if (d < 0) throw std::runtime_error("bad escape at " + std::to_string(p));
              v = v * 16 + static_cast<unsigned>(d);
            }
            if (v < 0x80) {
              out += static_cast<char>(v);
            } else if (v < 0x800) {
              out += static_cast<char>(0xC0 | (v >> 6));
              out += static_cast<char>(0x80 | (v & 0x3F));
            } else {
              out += static_cast<char>(0xE0 | (v >> 12));
              out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
              out += static_cast<char>(0x80 | (v & 0x3F));
            }
            break;
          }
          default: out += e;
        }
      } else {
        out += c;
      }
    }
    if (p >= s.size()) throw std::runtime_error("unterminated string");
    ++p;
    return out;
  }
  // Deeper nesting than any state file has is refused rather than recursed
  // into until the stack runs out.
  static constexpr int kMaxDepth = 64;

  static Json value(const std::string& s, size_t& p, int depth) {
    skip(s, p);
    if (p >= s.size()) throw std::runtime_error("unexpected end");
    if (depth > kMaxDepth) throw std::runtime_error("nested too deeply at " + std::to_string(p));
    Json j;
    char c = s[p];
    if (c == '{') {
      j.kind = Object;
      ++p;
      skip(s, p);
      if (p < s.size() && s[p] == '}') { ++p; return j; }
      for (;;) {
        std::string k = string_at(s, p);
        expect(s, p, ':');
        j.members[k] = value(s, p, depth + 1);
        skip(s, p);
        if (p < s.size() && s[p] == ',') { ++p; continue; }
        expect(s, p, '}');
        return j;
      }
    }
    if (c == '[') {
      j.kind = Array;
      ++p;
      skip(s, p);
      if (p < s.size() && s[p] == ']') { ++p; return j; }
      for (;;) {
        j.items.push_back(value(s, p, depth + 1));
        skip(s, p);
        if (p < s.size() && s[p] == ',') { ++p; continue; }
        expect(s, p, ']');
        return j;
      }
    }
    if (c == '"') {
      j.kind = String;
      j.text = string_at(s, p);
      return j;
    }
    if (s.compare(p, 4, "true") == 0) { p += 4; j.kind = Bool; j.boolean = true; return j; }
    if (s.compare(p, 5, "false") == 0) { p += 5; j.kind = Bool; return j; }
    if (s.compare(p, 4, "null") == 0) { p += 4; return j; }
    // A number is a digit after an optional minus sign (no "nan", "-inf", "+1").
    const size_t first_digit = p + (c == '-' ? 1 : 0);
    if (first_digit >= s.size() || s[first_digit] < '0' || s[first_digit] > '9')
      throw std::runtime_error("bad value at " + std::to_string(p));
    char* end = nullptr;
    j.number = std::strtod(s.c_str() + p, &end);
    if (end == s.c_str() + p) throw std::runtime_error("bad value at " + std::to_string(p));
    p = static_cast<size_t>(end - s.c_str());
    j.kind = Number;
    return j;
  }
};
