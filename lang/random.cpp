// The ISAAC generator, remainders, the box test and the real functions.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "tamblix/random.h"

namespace {

RandomState g_random;

inline void mix(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t& f,
                uint32_t& g, uint32_t& h) {
  a ^= b << 11; d += a; b += c;
  b ^= c >> 2;  e += b; c += d;
  c ^= d << 8;  f += c; d += e;
  d ^= e >> 16; g += d; e += f;
  e ^= f << 10; h += e; f += g;
  f ^= g >> 4;  a += f; g += h;
  g ^= h << 8;  b += g; h += a;
  h ^= a >> 9;  c += h; a += b;
}

inline void mix(uint32_t w[8]) { mix(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]); }

}  // namespace

RandomState& random_state() { return g_random; }

uint32_t isaac_next() {
  RandomState& r = g_random;
  uint32_t* m = r.memory;
  r.c += 1;
  r.b += r.c;
  uint32_t a = r.a, b = r.b;
  for (int i = 0; i < 256; ++i) {
    switch (i & 3) {
      case 0: a ^= a << 13; break;
      case 1: a ^= a >> 6; break;
      case 2: a ^= a << 2; break;
      default: a ^= a >> 16; break;
    }
    const uint32_t x = m[i];
    a += m[(i + 128) & 255];
    const uint32_t y = m[(x >> 2) & 255] + a + b;
    m[i] = y;
    b = m[(y >> 10) & 255] + x;
    r.results[i] = b;
  }
  r.a = a;
  r.b = b;
  return r.results[0];
}

void rt_seed(int32_t seed) {
  RandomState& r = g_random;
  const uint32_t s = static_cast<uint32_t>(seed);
  std::memset(&r, 0, sizeof r);
  uint32_t w[8];
  for (uint32_t& v : w) v = 0x9E3779B9u;
  for (int k = 0; k < 256; k += 8) {
    w[0] += s;
    mix(w);
    std::memcpy(r.memory + k, w, sizeof w);
  }
  for (int i = 0; i < 4; ++i) mix(w);
  for (int k = 0; k < 256; k += 8) {
    for (int i = 0; i < 8; ++i) w[i] += r.results[k + i];
    mix(w);
    std::memcpy(r.memory + k, w, sizeof w);
  }
  for (int k = 0; k < 256; k += 8) {
    for (int i = 0; i < 8; ++i) w[i] += r.memory[k + i];
    mix(w);
    std::memcpy(r.memory + k, w, sizeof w);
  }
  isaac_next();
  r.count = 256;
}

int32_t rt_rnd(int32_t n) {
  if (n <= 0) return 0;
  return static_cast<int32_t>(isaac_next() % (static_cast<uint32_t>(n) + 1u));
}

int32_t rt_mod(int32_t a, int32_t b) {
  // b = -1 always leaves 0; handled apart because INT32_MIN % -1 traps.
  if (b == 0 || b == -1) return 0;
  return a % b;
}

double rt_fmod(double x, double y) { return y == 0 ? 0.0 : std::fmod(x, y); }

namespace {

// The covered range [lo, hi] of a box along one axis.
inline void box_range(int32_t x, int32_t w, int64_t& lo, int64_t& hi) {
  const int64_t last = w > 0 ? int64_t{x} + w - 1 : (w == 0 ? int64_t{x} : int64_t{x} + w + 1);
  lo = last < x ? last : x;
  hi = last < x ? x : last;
}

}  // namespace

int32_t rt_box_collide(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2,
                       int32_t w2, int32_t h2) {
  int64_t lo1, hi1, lo2, hi2;
  box_range(x1, w1, lo1, hi1);
  box_range(x2, w2, lo2, hi2);
  if ((lo1 > lo2 ? lo1 : lo2) > (hi1 < hi2 ? hi1 : hi2)) return 0;
  box_range(y1, h1, lo1, hi1);
  box_range(y2, h2, lo2, hi2);
  return (lo1 > lo2 ? lo1 : lo2) <= (hi1 < hi2 ? hi1 : hi2) ? 1 : 0;
}

namespace {
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;
}  // namespace

double rt_sin(double degrees) { return std::sin(degrees * kDegToRad); }
double rt_cos(double degrees) { return std::cos(degrees * kDegToRad); }
double rt_tan(double degrees) { return std::tan(degrees * kDegToRad); }
double rt_atan(double y, double x) { return std::atan2(y, x) * kRadToDeg; }
double rt_asin(double x) {
  if (x >= 1) return 90;
  if (x <= -1) return -90;
  return std::asin(x) * kRadToDeg;
}
double rt_acos(double x) {
  if (x >= 1) return 0;
  if (x <= -1) return 180;
  return std::acos(x) * kRadToDeg;
}
double rt_sqrt(double x) { return std::sqrt(x); }
double rt_log(double x) { return std::log(x); }
double rt_pow(double x, double y) { return std::pow(x, y); }
double rt_floor(double x) { return std::floor(x); }
double rt_ceil(double x) { return std::ceil(x); }

int32_t trunc_to_int(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}
