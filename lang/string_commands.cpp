// The string commands: search, cutting, replacing, trimming, case, character
// codes, hexadecimal, formatting, URL encoding, and the data-list reader.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tamblix/errors.h"
#include "tamblix/random.h"
#include "tamblix/string.h"

int32_t string_search(const char* text, int32_t n, const char* needle, int32_t m) {
  if (m <= 0 || n <= 0 || n < m || text == nullptr || needle == nullptr) return -1;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* f = reinterpret_cast<const unsigned char*>(needle);
  if (m == 1) {
    const void* hit = std::memchr(t, f[0], static_cast<size_t>(n));
    return hit ? static_cast<int32_t>(static_cast<const unsigned char*>(hit) - t) : -1;
  }
  // Horspool: the window moves by the shift of the text byte under the
  // needle's last position; candidates are compared from their last byte.
  int32_t shift[256];
  for (int32_t& s : shift) s = m;
  for (int32_t i = 0; i < m - 1; ++i) shift[f[i]] = m - 1 - i;
  const int32_t last = m - 1;
  for (int32_t pos = 0; pos <= n - m;) {
    const unsigned char c = t[pos + last];
    if (c == f[last]) {
      int32_t i = last - 1;
      while (i >= 0 && t[pos + i] == f[i]) --i;
      if (i < 0) return pos;
    }
    pos += shift[c];
  }
  return -1;
}

BasicString rt_mid(const BasicString& text, int32_t start, int32_t count) {
  const int64_t length = text.length();
  int64_t a = start, c = count;
  if (c < 0) c = length;
  if (a + c > length) c = length - a;
  if (c <= 0 || a >= length || a < 0) return BasicString();
  return BasicString(text.c_str() + a, static_cast<uint32_t>(c));
}

int32_t rt_instr(const BasicString& text, const BasicString& find, int32_t start) {
  const int32_t length = static_cast<int32_t>(text.length());
  if (start < 0) start = 0;  // a negative start searches the whole text
  if (start >= length) return -1;
  const int32_t d = string_search(text.c_str() + start, length - start, find.c_str(),
                                  static_cast<int32_t>(find.length()));
  return d < 0 ? -1 : start + d;
}

int32_t rt_rev_instr(const BasicString& text, const BasicString& find, int32_t start) {
  const int32_t length = static_cast<int32_t>(text.length());
  const int32_t m = static_cast<int32_t>(find.length());
  int64_t a = start;
  if (a < 0) {
    a = static_cast<int64_t>(length) - m;
    if (a < 0) return -1;
  }
  int32_t found = -1;
  int32_t from = 0;
  while (from < length) {
    const int32_t d = string_search(text.c_str() + from, length - from, find.c_str(), m);
    if (d < 0 || from + d > a) break;
    found = from + d;
    from = found + 1;  // occurrences may overlap
  }
  return found;
}

BasicString rt_replace(const BasicString& text, const BasicString& find, const BasicString& with) {
  const int32_t length = static_cast<int32_t>(text.length());
  const int32_t m = static_cast<int32_t>(find.length());
  const char* s = text.c_str();
  int32_t d = string_search(s, length, find.c_str(), m);
  if (d < 0) return text;
  // The result is allocated once: appending piece by piece would grow it 16
  // bytes at a time, copying the text over and over.
  uint64_t occurrences = 0;
  for (int32_t p = d; p >= 0;) {
    ++occurrences;
    p += m;
    const int32_t next = p < length ? string_search(s + p, length - p, find.c_str(), m) : -1;
    p = next < 0 ? -1 : p + next;
  }
  const uint64_t total = static_cast<uint64_t>(length) + occurrences * with.length() - occurrences * m;
  if (total >= UINT32_MAX - 32) lang_out_of_memory();
  BasicString out;
  string_reserve(out, static_cast<uint32_t>(total), false);
  // Left to right over the original text; after each occurrence the scan
  // goes on behind it, so the inserted text is never searched again.
  int32_t p = 0;
  while (d >= 0) {
    out.append(s + p, static_cast<uint32_t>(d));
    out += with;
    p += d + m;
    d = p < length ? string_search(s + p, length - p, find.c_str(), m) : -1;
  }
  out.append(s + p, static_cast<uint32_t>(length - p));
  return out;
}

namespace {

struct ByteSet {
  bool has[256] = {};
  explicit ByteSet(const BasicString& set) {
    for (uint32_t i = 0; i < set.length(); ++i) has[static_cast<unsigned char>(set.c_str()[i])] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};

}  // namespace

BasicString rt_trim_left(const BasicString& text, const BasicString& set) {
  if (set.length() == 0 || text.length() == 0) return text;
  const ByteSet in(set);
  uint32_t i = 0;
  while (i < text.length() && in(text.c_str()[i])) ++i;
  if (i == 0) return text;
  return BasicString(text.c_str() + i, text.length() - i);
}

BasicString rt_trim_right(const BasicString& text, const BasicString& set) {
  if (set.length() == 0 || text.length() == 0) return text;
  const ByteSet in(set);
  uint32_t n = text.length();
  while (n > 0 && in(text.c_str()[n - 1])) --n;
  if (n == text.length()) return text;
  return BasicString(text.c_str(), n);
}

namespace {

// The text with the bytes first..last moved by shift.
BasicString shift_letters(const BasicString& text, char first, char last, int shift) {
  BasicString out(text);
  char* p = out.data();
  for (uint32_t i = 0; i < out.length(); ++i)
    if (p[i] >= first && p[i] <= last) p[i] = static_cast<char>(p[i] + shift);
  return out;
}

}  // namespace

BasicString rt_upper(const BasicString& text) { return shift_letters(text, 'a', 'z', 'A' - 'a'); }
BasicString rt_lower(const BasicString& text) { return shift_letters(text, 'A', 'Z', 'a' - 'A'); }

BasicString rt_chr(int32_t code) {
  const char c = static_cast<char>(static_cast<uint32_t>(code) & 0xFF);
  return BasicString(&c, 1);  // length 1, also for code 0
}

BasicString rt_hex(int32_t value) {
  static const char digits[] = "0123456789abcdef";
  char tmp[9];
  int n = 0;
  uint32_t v = static_cast<uint32_t>(value);
  do {
    tmp[n++] = digits[v & 15];
    v >>= 4;
  } while (v != 0);
  char out[9];
  for (int i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  return BasicString(out, static_cast<uint32_t>(n));
}

namespace {

// Formatted numbers are cut to this many characters (snprintf into a buffer
// of kFormatMax + 1 bytes does the cutting).
constexpr int kFormatMax = 143;

// Width or decimals truncated toward zero. Beyond the clamp the visible
// (cut) result no longer changes: wider fields only add padding past the
// cut, and more decimals than a double has add only zeros.
int format_number(double v, int limit) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  if (v > limit) return limit;
  if (v < -limit) return -limit;
  return static_cast<int>(v);
}

}  // namespace

BasicString rt_format_real(double width, double decimals, double value) {
  char text[kFormatMax + 1];
  std::snprintf(text, sizeof text, "%*.*f", format_number(width, 4096), format_number(decimals, 1100), value);
  return BasicString(text);
}

BasicString rt_format_int(double width, int32_t value) {
  char text[kFormatMax + 1];
  std::snprintf(text, sizeof text, "%*d", format_number(width, 4096), value);
  return BasicString(text);
}

BasicString rt_format_int64(double width, int64_t value) {
  char text[kFormatMax + 1];
  std::snprintf(text, sizeof text, "%*lld", format_number(width, 4096), static_cast<long long>(value));
  return BasicString(text);
}

BasicString rt_url_encode(const BasicString& text) {
  static const char hex[] = "0123456789abcdef";
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.c_str());
  const uint32_t n = text.length();
  uint64_t total = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const unsigned char c = s[i];
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    total += plain ? 1 : (c >= 128 ? 6 : 3);
  }
  if (total == 0) return BasicString();
  if (total >= UINT32_MAX - 32) lang_out_of_memory();
  BasicString out;
  string_reserve(out, static_cast<uint32_t>(total), false);
  char* p = out.data();
  for (uint32_t i = 0; i < n; ++i) {
    unsigned char c = s[i];
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      *p++ = static_cast<char>(c);
      continue;
    }
    if (c >= 128) {
      // The UTF-8 form of the Latin-1 character.
      *p++ = '%';
      *p++ = 'c';
      *p++ = c >= 192 ? '3' : '2';
      c = static_cast<unsigned char>((c & 63) + 128);
    }
    *p++ = '%';
    *p++ = hex[c >> 4];
    *p++ = hex[c & 15];
  }
  *p = 0;
  string_recount(out);
  return out;
}

BasicString rt_hex_bytes(const void* data, int32_t count, int32_t upper) {
  if (count <= 0 || data == nullptr) return BasicString();
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned char* b = static_cast<const unsigned char*>(data);
  BasicString out;
  string_reserve(out, static_cast<uint32_t>(count) * 2u, false);
  char* p = out.data();
  for (int32_t i = 0; i < count; ++i) {
    *p++ = digits[b[i] >> 4];
    *p++ = digits[b[i] & 15];
  }
  *p = 0;
  string_recount(out);
  return out;
}

void rt_truncate(BasicString& s, int32_t n) {
  if (n >= 0 && static_cast<uint32_t>(n) < s.length_) {
    s.buffer_[n] = 0;
    s.length_ = static_cast<uint32_t>(n);
  }
}

// ---- data lists -----------------------------------------------------------

namespace {

DataList* g_data_list = nullptr;

// The next item of the selected list; ends the program when there is none.
const DataItem& next_item() {
  DataList* list = g_data_list;
  if (list == nullptr || list->items == nullptr || list->position < 0 || list->position >= list->count) {
    sys_raise_error(TMX_ERR_OUT_OF_DATA);
    sys_end_fatal(list == nullptr ? "READ with no DATA list selected" : "READ past the end of the DATA");
  }
  return list->items[list->position++];
}

}  // namespace

void rt_restore(DataList& list) {
  g_data_list = &list;
  list.position = 0;
}

void rt_read_int(int32_t& value) {
  const DataItem& item = next_item();
  value = item.text != nullptr ? text_to_int(item.text) : trunc_to_int(item.value);
}

void rt_read_real(double& value) {
  const DataItem& item = next_item();
  value = item.text != nullptr ? text_to_real(item.text) : item.value;
}

void rt_read_string(BasicString& value) {
  const DataItem& item = next_item();
  if (item.text != nullptr) {
    value = BasicString(item.text);
  } else {
    value = real_to_text(item.value);
  }
}
