// Random numbers and numeric helpers.
//
// The generator is ISAAC with 256 words of state; one rt_rnd runs one whole
// generation pass and uses its first result. rt_seed rebuilds the state from
// a 32-bit seed.
#pragma once
#include <cstdint>

// The program's one generator state.
struct RandomState {
  uint32_t count;  // results left in the batch (256 after seeding)
  uint32_t results[256];
  uint32_t memory[256];
  uint32_t a, b, c;  // accumulator, last result, pass counter
};
RandomState& random_state();

// One generation pass; returns its first result.
uint32_t isaac_next();

// ---- commands -----------------------------------------------------------

// 0 for n <= 0 (the generator does not advance); otherwise the next output
// modulo n + 1 (unsigned): 0..n inclusive.
int32_t rt_rnd(int32_t n);
// Reseeds the generator; the seed is taken as unsigned 32-bit.
void rt_seed(int32_t seed);
// Remainder of a / b truncated toward zero (sign of a); 0 when b is 0.
int32_t rt_mod(int32_t a, int32_t b);
// fmod(x, y); 0 when y is 0.
double rt_fmod(double x, double y);
// 1 when the two boxes overlap. A box covers x .. x + w - 1 for w > 0, the
// single column x for w = 0, and x + w + 1 .. x for w < 0; likewise along y.
int32_t rt_box_collide(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2,
                       int32_t w2, int32_t h2);

// Trigonometry in degrees.
double rt_sin(double degrees);
double rt_cos(double degrees);
double rt_tan(double degrees);
// atan2(y, x) in degrees.
double rt_atan(double y, double x);
// Clamped to 90 / -90 (asin) and 0 / 180 (acos) outside -1..1.
double rt_asin(double x);
double rt_acos(double x);
double rt_sqrt(double x);
double rt_log(double x);
double rt_pow(double x, double y);
double rt_floor(double x);
double rt_ceil(double x);

// ---- helpers for the engine's own code ----------------------------------

// a if a > b, else b.
inline double max_real(double a, double b) { return a > b ? a : b; }
// a if b > a, else b.
inline double min_real(double a, double b) { return b > a ? a : b; }
// a if b > a, else b; b widened exactly before the comparison.
inline double min_real_single(double a, float b) {
  return static_cast<double>(b) > a ? a : static_cast<double>(b);
}
// a if b < a, else b.
inline int32_t max_int(int32_t a, int32_t b) { return b < a ? a : b; }
// x truncated toward zero and clamped into the 32-bit range; not-a-number
// gives 0.
int32_t trunc_to_int(double x);
// max_int(a, trunc_to_int(x)).
inline int32_t max_int_trunc(int32_t a, double x) { return max_int(a, trunc_to_int(x)); }
// a if a < b, else b.
inline int32_t min_int(int32_t a, int32_t b) { return a < b ? a : b; }
