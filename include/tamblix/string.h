// BasicString and the string commands.
//
// BasicString is the engine's string value: a byte string with a zero
// terminator. Empty strings share one program-wide empty buffer that is never
// freed and never written (capacity 0). Every other buffer belongs to exactly
// one string. Capacities grow in steps of 16 (string_reserve) and never shrink
// on assignment from another BasicString, on appending or on truncation;
// assignment from a zero-terminated text replaces the buffer.
//
// Numbers become text by one rule: int_to_text, int64_to_text and
// real_to_text (at most 10 significant digits, "1.e+010", "5.e-002", ...).
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

// Numbers that mix with strings: every arithmetic type except char, which
// stands for one character.
template <class N>
concept TextNumber = std::is_arithmetic_v<N> && !std::is_same_v<std::remove_cv_t<N>, char>;

class BasicString;

// ---- number <-> text ----------------------------------------------------

// Decimal digits with a leading "-" for negative values. The result has
// capacity 32 (int_to_text) or 80 (int64_to_text, real_to_text).
BasicString int_to_text(int32_t value);
BasicString int64_to_text(int64_t value);
// At most 10 significant digits: fixed-point for 0.1 <= |x| < 1e10 with
// trailing zeros removed ("1234.5678", "0.3333333333", "100"), otherwise one
// digit, ".", up to 9 decimals, "e", sign and at least 3 exponent digits
// ("1.e+010", "1.23456789e+010", "5.e-002"). Halves round away from zero.
// Infinities and not-a-number give "inf", "-inf" and "nan".
BasicString real_to_text(double value);

// Writes the same texts into out (at least 32 bytes) with a terminator and
// returns their length; no allocation.
uint32_t format_int_text(int32_t value, char* out);
uint32_t format_int64_text(int64_t value, char* out);
uint32_t format_real_text(double value, char* out);

// Decimal text to number. Leading white space, an optional sign, digits with
// an optional fraction and exponent; the conversion stops at the first byte
// that does not fit; no number gives 0. No hexadecimal, infinity or nan words.
double text_to_real(const char* text);
// Leading white space, optional sign, decimal digits. Values beyond the 32-bit
// range saturate at INT32_MIN / INT32_MAX.
int32_t text_to_int(const char* text);
// Skips spaces and bytes 9..13, one optional sign, then decimal digits in
// 64-bit (wrapping) arithmetic.
int64_t text_to_int64(const char* text);

// ---- the string value ---------------------------------------------------

class BasicString {
 public:
  BasicString() noexcept : buffer_(empty_buffer()), capacity_(0), length_(0) {}
  BasicString(const char* text);  // null or "" gives the shared empty buffer
  BasicString(const char* text, uint32_t count);  // the first count bytes
  BasicString(const BasicString& other);
  BasicString(BasicString&& other) noexcept
      : buffer_(other.buffer_), capacity_(other.capacity_), length_(other.length_) {
    other.buffer_ = empty_buffer();
    other.capacity_ = 0;
    other.length_ = 0;
  }
  template <TextNumber N>
  BasicString(N value);  // int_to_text / int64_to_text / real_to_text
  ~BasicString() { release(); }

  // Copies into the existing buffer when it is large enough (the capacity
  // never shrinks).
  BasicString& operator=(const BasicString& other);
  // Like the copy, but takes the other's buffer when this one is too small.
  BasicString& operator=(BasicString&& other) noexcept;
  // Replaces the buffer by a new one made from the text.
  BasicString& operator=(const char* text);
  template <TextNumber N>
  BasicString& operator=(N value) { return *this = BasicString(value); }

  BasicString& operator+=(const BasicString& right);
  BasicString& operator+=(const char* right);
  BasicString& operator+=(char c);
  template <TextNumber N>
  BasicString& operator+=(N value);

  const char* c_str() const noexcept { return buffer_; }
  // Writable characters; only valid to write after string_reserve.
  char* data() noexcept { return buffer_; }
  uint32_t length() const noexcept { return length_; }
  uint32_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return length_ == 0; }
  // Byte at i (the terminator at length()); no check beyond that.
  char operator[](uint32_t i) const noexcept { return buffer_[i]; }
  // Frees the buffer unless it is the shared empty one; the string is empty.
  void destroy() noexcept;

  // The text's value: text_to_real / text_to_int.
  double to_real() const { return text_to_real(buffer_); }
  int32_t to_int() const { return text_to_int(buffer_); }

  // Appends count bytes (which may lie inside this string).
  BasicString& append(const char* bytes, uint32_t count);

  // a followed by b, allocated once with the capacity that copying a and
  // then appending b would give.
  static BasicString concat(const char* a, uint32_t na, const char* b, uint32_t nb);

  // The program-wide empty text.
  static char* empty_buffer() noexcept { return &s_empty_; }

 private:
  friend void string_reserve(BasicString& s, uint32_t n, bool keep);
  friend void string_recount(BasicString& s);
  friend void string_set_length(BasicString& s, uint32_t n) noexcept;
  friend void rt_truncate(BasicString& s, int32_t n);
  void release() noexcept;
  void copy_from(const char* bytes, uint32_t n);  // construct-time copy

  char* buffer_;
  uint32_t capacity_;
  uint32_t length_;
  static char s_empty_;
};

// Makes room for n characters and the terminator. Nothing happens when n is 0
// or the capacity already holds n + 1 bytes; otherwise the new capacity is the
// smallest multiple of 16 above n + 1 (14 -> 16, 15 -> 32, 63 -> 80) and the
// content is kept only when keep is set. The length is not changed.
// A failed allocation raises error 7 and ends the program.
void string_reserve(BasicString& s, uint32_t n, bool keep);
// After direct writes: length = bytes before the first zero, at most
// capacity - 1 (that byte then becomes the terminator).
void string_recount(BasicString& s);
// After direct writes of n bytes, when their count is known: length = n and
// byte n becomes the terminator. Nothing happens unless n is below the
// capacity.
inline void string_set_length(BasicString& s, uint32_t n) noexcept {
  if (n >= s.capacity_) return;
  s.length_ = n;
  s.buffer_[n] = 0;
}

// Ends the program with error 7 ("out of memory"); used by the allocators of
// strings and arrays.
[[noreturn]] void lang_out_of_memory();

// ---- operators ----------------------------------------------------------

namespace tamblix_detail {
template <TextNumber N>
inline uint32_t number_text(N value, char* out) {
  if constexpr (std::is_floating_point_v<N>) {
    return format_real_text(static_cast<double>(value), out);
  } else if constexpr (std::is_signed_v<N> ? sizeof(N) <= 4 : sizeof(N) < 4) {
    return format_int_text(static_cast<int32_t>(value), out);
  } else {
    return format_int64_text(static_cast<int64_t>(value), out);
  }
}
}  // namespace tamblix_detail

template <TextNumber N>
BasicString::BasicString(N value) : BasicString() {
  if constexpr (std::is_floating_point_v<N>) {
    *this = real_to_text(static_cast<double>(value));
  } else if constexpr (std::is_signed_v<N> ? sizeof(N) <= 4 : sizeof(N) < 4) {
    *this = int_to_text(static_cast<int32_t>(value));
  } else {
    *this = int64_to_text(static_cast<int64_t>(value));
  }
}

template <TextNumber N>
BasicString& BasicString::operator+=(N value) {
  char text[32];
  uint32_t n = tamblix_detail::number_text(value, text);
  return append(text, n);
}

BasicString operator+(const BasicString& left, const BasicString& right);
BasicString operator+(const BasicString& left, const char* right);
BasicString operator+(const char* left, const BasicString& right);
BasicString operator+(const BasicString& left, char right);
BasicString operator+(char left, const BasicString& right);
inline BasicString operator+(BasicString&& left, const BasicString& right) {
  left += right;
  return std::move(left);
}
inline BasicString operator+(BasicString&& left, const char* right) {
  left += right;
  return std::move(left);
}
inline BasicString operator+(BasicString&& left, char right) {
  left += right;
  return std::move(left);
}
template <TextNumber N>
BasicString operator+(const BasicString& left, N right) {
  char text[32];
  uint32_t n = tamblix_detail::number_text(right, text);
  return BasicString::concat(left.c_str(), left.length(), text, n);
}
template <TextNumber N>
BasicString operator+(BasicString&& left, N right) {
  left += right;
  return std::move(left);
}
template <TextNumber N>
BasicString operator+(N left, const BasicString& right) {
  BasicString s(left);
  s += right;
  return s;
}

// Relations between texts. BasicString with BasicString or with a
// zero-terminated text: equality compares the lengths and then the bytes;
// ordering compares unsigned bytes up to the first zero (as strcmp).
int string_text_compare(const char* a, const char* b);  // strcmp sign: -1, 0, 1
bool operator==(const BasicString& a, const BasicString& b);
bool operator==(const BasicString& a, const char* b);
inline bool operator==(const char* a, const BasicString& b) { return b == a; }
inline bool operator!=(const BasicString& a, const BasicString& b) { return !(a == b); }
inline bool operator!=(const BasicString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const BasicString& b) { return !(b == a); }
#define TAMBLIX_TEXT_RELATION(op)                                                  \
  inline bool operator op(const BasicString& a, const BasicString& b) {             \
    return string_text_compare(a.c_str(), b.c_str()) op 0;                          \
  }                                                                                 \
  inline bool operator op(const BasicString& a, const char* b) {                    \
    return string_text_compare(a.c_str(), b) op 0;                                  \
  }                                                                                 \
  inline bool operator op(const char* a, const BasicString& b) {                    \
    return string_text_compare(a, b.c_str()) op 0;                                  \
  }
TAMBLIX_TEXT_RELATION(<)
TAMBLIX_TEXT_RELATION(<=)
TAMBLIX_TEXT_RELATION(>)
TAMBLIX_TEXT_RELATION(>=)
#undef TAMBLIX_TEXT_RELATION

namespace tamblix_detail {
// The text's value and the number in the type they are compared in: 64-bit
// reals for reals, 32-bit integers for integers of up to 32 bits, 64-bit
// integers for wider ones.
template <TextNumber N>
inline auto text_value(const char* text) {
  if constexpr (std::is_floating_point_v<N>) {
    return text_to_real(text);
  } else if constexpr (std::is_signed_v<N> ? sizeof(N) <= 4 : sizeof(N) < 4) {
    return text_to_int(text);
  } else {
    return text_to_int64(text);
  }
}
template <TextNumber N>
inline auto number_value(N value) {
  if constexpr (std::is_floating_point_v<N>) {
    return static_cast<double>(value);
  } else if constexpr (std::is_signed_v<N> ? sizeof(N) <= 4 : sizeof(N) < 4) {
    return static_cast<int32_t>(value);
  } else {
    return static_cast<int64_t>(value);
  }
}
}  // namespace tamblix_detail

// Three-way compare of a text's value with a number: -1 if the text's value is
// smaller, 1 if greater, else 0.
template <TextNumber N>
int string_compare(const char* text, N value) {
  const auto t = tamblix_detail::text_value<N>(text);
  const auto v = tamblix_detail::number_value(value);
  return t < v ? -1 : (t > v ? 1 : 0);
}
template <TextNumber N>
int string_compare(const BasicString& s, N value) {
  return string_compare(s.c_str(), value);
}

// A text and a number compare as numbers (the text is converted); a
// not-a-number operand makes every relation but != false.
#define TAMBLIX_NUMBER_RELATION(op)                                                 \
  template <TextNumber N>                                                           \
  bool operator op(const BasicString& s, N v) {                                     \
    return tamblix_detail::text_value<N>(s.c_str()) op tamblix_detail::number_value(v); \
  }                                                                                 \
  template <TextNumber N>                                                           \
  bool operator op(N v, const BasicString& s) {                                     \
    return tamblix_detail::number_value(v) op tamblix_detail::text_value<N>(s.c_str()); \
  }
TAMBLIX_NUMBER_RELATION(==)
TAMBLIX_NUMBER_RELATION(!=)
TAMBLIX_NUMBER_RELATION(<)
TAMBLIX_NUMBER_RELATION(<=)
TAMBLIX_NUMBER_RELATION(>)
TAMBLIX_NUMBER_RELATION(>=)
#undef TAMBLIX_NUMBER_RELATION

// ---- search -------------------------------------------------------------

// Leftmost occurrence of needle (m bytes) in text (n bytes), Boyer-Moore-
// Horspool; -1 when the needle is empty or absent or longer than the text.
int32_t string_search(const char* text, int32_t n, const char* needle, int32_t m);

// ---- string commands ----------------------------------------------------

// Substring of count bytes from start (0-based); a negative count means up to
// the end; out-of-range positions give "".
BasicString rt_mid(const BasicString& text, int32_t start, int32_t count);
// First occurrence at or after start, or -1. A negative start searches from 0.
int32_t rt_instr(const BasicString& text, const BasicString& find, int32_t start);
// Last occurrence beginning at or before start (negative: from the end), or -1.
int32_t rt_rev_instr(const BasicString& text, const BasicString& find, int32_t start);
// Every occurrence of find replaced by with, scanning left to right; the scan
// goes on behind each inserted text, so inserted text is never rescanned.
BasicString rt_replace(const BasicString& text, const BasicString& find, const BasicString& with);
// Without the leading / trailing bytes that occur in the set.
BasicString rt_trim_left(const BasicString& text, const BasicString& set);
BasicString rt_trim_right(const BasicString& text, const BasicString& set);
// a-z to upper case / A-Z to lower case; other bytes unchanged.
BasicString rt_upper(const BasicString& text);
BasicString rt_lower(const BasicString& text);
// One character: the code's low byte (also 0).
BasicString rt_chr(int32_t code);
// Lower-case hexadecimal digits of the 32-bit value, no prefix.
BasicString rt_hex(int32_t value);
// printf "%<width>.<decimals>f", "%<width>d", "%<width>lld"; width and
// decimals truncated toward zero; at most 143 characters. A negative
// decimals count means the default precision (6), as printf treats it.
BasicString rt_format_real(double width, double decimals, double value);
BasicString rt_format_int(double width, int32_t value);
BasicString rt_format_int64(double width, int64_t value);
// 0-9, A-Z, a-z stay; bytes 128..255 become their UTF-8 form percent-encoded
// ("%c3%a9"); every other byte "%" and two lower-case hex digits.
BasicString rt_url_encode(const BasicString& text);
// Two hex digits per byte, high nibble first; "" for count <= 0.
BasicString rt_hex_bytes(const void* data, int32_t count, int32_t upper);
// Cuts the string to n characters when 0 <= n < length.
void rt_truncate(BasicString& s, int32_t n);

// ---- data lists ---------------------------------------------------------

struct DataItem {
  double value;      // the numeric value
  const char* text;  // the text, or null for a numeric item
  int32_t reserved;
};
struct DataList {
  const DataItem* items;
  int32_t count;
  int32_t position;  // next item to read, from 0
};

// Selects the list and rewinds it.
void rt_restore(DataList& list);
// Read the next item of the selected list. Text items convert with
// text_to_int / text_to_real; numeric items truncate toward zero (int) or
// become real_to_text (string). No list or no item left: error 20 ("out of
// data") and the program ends.
void rt_read_int(int32_t& value);
void rt_read_real(double& value);
void rt_read_string(BasicString& value);
