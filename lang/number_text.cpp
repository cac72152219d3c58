// Numbers to text and text to numbers.
//
// real_to_text rounds the exact binary value to 10 significant digits with
// halves away from zero. The digits come from an exact big-integer expansion
// (value = r / s, scaled into [1, 10)), so the result never depends on the
// C library's formatting.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tamblix/string.h"

namespace {

// ---- a small fixed-size unsigned big integer --------------------------------

// 1280 bits: enough for any finite double scaled by a power of ten into
// [1, 10) times the digit base (about 2^1085 at most).
struct Big {
  static constexpr int kLimbs = 40;
  uint32_t limb[kLimbs];
  int used;  // limbs in use; the highest used limb is not zero (or used == 0)

  void set(uint64_t v) {
    used = 0;
    while (v != 0) {
      limb[used++] = static_cast<uint32_t>(v);
      v >>= 32;
    }
  }
  void trim() {
    while (used > 0 && limb[used - 1] == 0) --used;
  }
  void mul_small(uint32_t f) {
    uint64_t carry = 0;
    for (int i = 0; i < used; ++i) {
      uint64_t v = static_cast<uint64_t>(limb[i]) * f + carry;
      limb[i] = static_cast<uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) limb[used++] = static_cast<uint32_t>(carry);
  }
  void mul_pow10(int n) {
    while (n >= 9) {
      mul_small(1000000000u);
      n -= 9;
    }
    static const uint32_t p10[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    if (n > 0) mul_small(p10[n]);
  }
  void shl(int bits) {
    if (used == 0 || bits == 0) return;
    const int words = bits / 32, rest = bits % 32;
    limb[used + words] = 0;
    if (rest == 0) {
      for (int i = used - 1; i >= 0; --i) limb[i + words] = limb[i];
    } else {
      for (int i = used - 1; i >= 0; --i) {
        limb[i + words + 1] |= limb[i] >> (32 - rest);
        limb[i + words] = limb[i] << rest;
      }
    }
    for (int i = 0; i < words; ++i) limb[i] = 0;
    used += words + 1;
    trim();
  }
  // -1, 0, 1
  static int cmp(const Big& x, const Big& y) {
    if (x.used != y.used) return x.used < y.used ? -1 : 1;
    for (int i = x.used - 1; i >= 0; --i)
      if (x.limb[i] != y.limb[i]) return x.limb[i] < y.limb[i] ? -1 : 1;
    return 0;
  }
  // this -= y, with this >= y
  void sub(const Big& y) {
    int64_t borrow = 0;
    for (int i = 0; i < used; ++i) {
      int64_t v = static_cast<int64_t>(limb[i]) - (i < y.used ? y.limb[i] : 0) - borrow;
      borrow = v < 0 ? 1 : 0;
      limb[i] = static_cast<uint32_t>(v + (borrow << 32));
    }
    trim();
  }
};

uint32_t write_unsigned(uint64_t v, char* out) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  out[n] = 0;
  return static_cast<uint32_t>(n);
}

void put_ten_digits(uint64_t q, char digits[10]) {
  for (int i = 9; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + q % 10);
    q /= 10;
  }
}

// The same for m * 2^k when the scaled value fits 128 bits (most values of
// everyday size); false when it does not.
bool ten_digits_fast(uint64_t m, int k, int e, char digits[10], int& exp10) {
  using u128 = unsigned __int128;
  static const uint64_t p10[20] = {1ull,
                                   10ull,
                                   100ull,
                                   1000ull,
                                   10000ull,
                                   100000ull,
                                   1000000ull,
                                   10000000ull,
                                   100000000ull,
                                   1000000000ull,
                                   10000000000ull,
                                   100000000000ull,
                                   1000000000000ull,
                                   10000000000000ull,
                                   100000000000000ull,
                                   1000000000000000ull,
                                   10000000000000000ull,
                                   100000000000000000ull,
                                   1000000000000000000ull,
                                   10000000000000000000ull};
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int p = 9 - e;  // q = floor(m * 2^k * 10^p)
    uint64_t q;
    bool up;
    if (k < 0 && p >= 0) {
      if (-k > 120 || p > 19) return false;
      const u128 n = static_cast<u128>(m) * p10[p];  // < 2^117
      const int sh = -k;
      q = static_cast<uint64_t>(n >> sh);
      const u128 rest = n & ((static_cast<u128>(1) << sh) - 1);
      up = rest >= (static_cast<u128>(1) << (sh - 1));
      if ((n >> sh) >= static_cast<u128>(p10[19])) return false;
    } else if (k >= 0 && p <= 0) {
      if (k > 70 || -p > 19) return false;
      const u128 n = static_cast<u128>(m) << k;  // < 2^123
      const u128 d = p10[-p];
      const u128 qq = n / d;
      if (qq >= static_cast<u128>(p10[19])) return false;
      q = static_cast<uint64_t>(qq);
      up = 2 * (n % d) >= d;
    } else {
      return false;
    }
    if (q < 1000000000ull) {
      --e;
      continue;
    }
    if (q >= 10000000000ull) {
      ++e;
      continue;
    }
    if (up && ++q == 10000000000ull) {
      q = 1000000000ull;  // into the next decade
      ++e;
    }
    put_ten_digits(q, digits);
    exp10 = e;
    return true;
  }
  return false;
}

// The 10 significant digits of |x| (x finite, not 0), rounded half away from
// zero, and the decimal exponent of the rounded value.
void ten_digits(double x, char digits[10], int& exp10) {
  int bexp;
  double frac = std::frexp(std::fabs(x), &bexp);  // |x| = frac * 2^bexp, frac in [0.5, 1)
  uint64_t m = static_cast<uint64_t>(std::ldexp(frac, 53));
  int k = bexp - 53;  // |x| = m * 2^k exactly
  while ((m & 1) == 0) {
    m >>= 1;
    ++k;
  }
  int e = static_cast<int>(std::floor(std::log10(std::fabs(x))));
  if (ten_digits_fast(m, k, e, digits, exp10)) return;
  Big r, s;
  r.set(m);
  s.set(1);
  if (k >= 0) {
    r.shl(k);
  } else {
    s.shl(-k);
  }
  if (e >= 0) {
    s.mul_pow10(e);
  } else {
    r.mul_pow10(-e);
  }
  // Make 1 <= r / s < 10 exactly (the estimate may be one off).
  Big ten_s = s;
  ten_s.mul_small(10);
  while (Big::cmp(r, ten_s) >= 0) {
    s = ten_s;
    ten_s.mul_small(10);
    ++e;
  }
  while (Big::cmp(r, s) < 0) {
    r.mul_small(10);
    --e;
  }
  for (int i = 0; i < 10; ++i) {
    int d = 0;
    while (Big::cmp(r, s) >= 0) {
      r.sub(s);
      ++d;
    }
    digits[i] = static_cast<char>('0' + d);
    if (i < 9) r.mul_small(10);
  }
  // Remainder r / s in [0, 1): a half or more rounds the magnitude up.
  r.shl(1);
  if (Big::cmp(r, s) >= 0) {
    int i = 9;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';  // 9999999999.5 -> 10000000000: into the next decade
      ++e;
    }
  }
  exp10 = e;
}

}  // namespace

uint32_t format_int64_text(int64_t value, char* out) {
  if (value < 0) {
    out[0] = '-';
    return 1 + write_unsigned(0u - static_cast<uint64_t>(value), out + 1);
  }
  return write_unsigned(static_cast<uint64_t>(value), out);
}

uint32_t format_int_text(int32_t value, char* out) { return format_int64_text(value, out); }

uint32_t format_real_text(double x, char* out) {
  char* p = out;
  if (std::isnan(x)) {
    std::memcpy(out, "nan", 4);
    return 3;
  }
  if (x == 0) {
    std::memcpy(out, "0", 2);
    return 1;
  }
  if (std::signbit(x)) *p++ = '-';
  if (std::isinf(x)) {
    std::memcpy(p, "inf", 4);
    return static_cast<uint32_t>(p - out) + 3;
  }
  // Whole numbers below 10^10 are their own digits.
  const double ax = std::fabs(x);
  if (ax < 1e10 && ax == std::floor(ax)) {
    return static_cast<uint32_t>(p - out) + write_unsigned(static_cast<uint64_t>(ax), p);
  }
  char d[10];
  int e;
  ten_digits(x, d, e);
  if (e >= -1 && e <= 9) {
    // Fixed point: e + 1 integer digits (or "0"), then 9 - e decimals.
    int last = 9;
    while (last > e && d[last] == '0') --last;  // trailing zeros of the decimals
    if (e < 0) {
      *p++ = '0';
    } else {
      for (int i = 0; i <= e; ++i) *p++ = d[i];
    }
    if (last > e) {
      *p++ = '.';
      for (int i = e + 1; i <= last; ++i) *p++ = d[i];
    }
  } else {
    int last = 9;
    while (last > 0 && d[last] == '0') --last;
    *p++ = d[0];
    *p++ = '.';  // the point stays even without decimals
    for (int i = 1; i <= last; ++i) *p++ = d[i];
    *p++ = 'e';
    *p++ = e < 0 ? '-' : '+';
    int ae = e < 0 ? -e : e;
    if (ae < 100) *p++ = '0';
    if (ae < 10) *p++ = '0';
    p += write_unsigned(static_cast<uint64_t>(ae), p);
  }
  *p = 0;
  return static_cast<uint32_t>(p - out);
}

namespace {

// A fresh string with room for room characters, written by format.
template <class V>
BasicString formatted_text(V value, uint32_t room, uint32_t (*format)(V, char*)) {
  BasicString s;
  string_reserve(s, room, false);
  format(value, s.data());
  string_recount(s);
  return s;
}

}  // namespace

BasicString int_to_text(int32_t value) { return formatted_text(value, 15, format_int_text); }
BasicString int64_to_text(int64_t value) { return formatted_text(value, 63, format_int64_text); }
BasicString real_to_text(double value) { return formatted_text(value, 63, format_real_text); }

namespace {

inline bool is_space(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

double text_to_real(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // The longest prefix of the form digits [. digits] [e [sign] digits].
  const char* start = p;
  const char* q = p;
  int mantissa_digits = 0;
  while (is_digit(static_cast<unsigned char>(*q))) ++q, ++mantissa_digits;
  if (*q == '.') {
    ++q;
    while (is_digit(static_cast<unsigned char>(*q))) ++q, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return 0;
  const char* end = q;
  if (*q == 'e' || *q == 'E') {
    const char* x = q + 1;
    if (*x == '+' || *x == '-') ++x;
    if (is_digit(static_cast<unsigned char>(*x))) {
      while (is_digit(static_cast<unsigned char>(*x))) ++x;
      end = x;
    }
  }
  double v = 0;
  auto res = std::from_chars(start, end, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: strtod gives +-HUGE_VAL or the
    // nearest tiny value, as atof does.
    char local[512];
    size_t n = static_cast<size_t>(end - start);
    if (n < sizeof local) {
      std::memcpy(local, start, n);
      local[n] = 0;
      v = std::strtod(local, nullptr);
    } else {
      char* heap = static_cast<char*>(std::malloc(n + 1));
      if (heap == nullptr) lang_out_of_memory();
      std::memcpy(heap, start, n);
      heap[n] = 0;
      v = std::strtod(heap, nullptr);
      std::free(heap);
    }
  } else if (res.ec != std::errc()) {
    v = 0;
  }
  return negative ? -v : v;
}

int32_t text_to_int(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t v = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  while (is_digit(static_cast<unsigned char>(*p))) {
    if (v < limit) v = v * 10 + (*p - '0');
    if (v > limit) v = limit;  // saturate
    ++p;
  }
  return static_cast<int32_t>(negative ? -v : v);
}

int64_t text_to_int64(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint64_t v = 0;  // 64-bit arithmetic that wraps instead of overflowing
  while (is_digit(static_cast<unsigned char>(*p))) v = v * 10 + static_cast<uint64_t>(*p++ - '0');
  return static_cast<int64_t>(negative ? 0 - v : v);
}
