// The random generator, remainders, the box test and the numeric helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "lang_test_env.h"
#include "tamblix.h"

namespace {

TEST(Random, SeedZeroGivesTheKnownOutputs) {
  rt_seed(0);
  const uint32_t expected[] = {0x52F1B2DA, 0x2BDD209E, 0x688C57F1, 0x80D29A96, 0x45FC71A5};
  for (uint32_t e : expected) EXPECT_EQ(isaac_next(), e);
  EXPECT_EQ(random_state().count, 256u);
}

TEST(Random, RndSequencesForKnownSeeds) {
  rt_seed(0);
  const int32_t from0[] = {74, 94, 17, 82, 69, 10, 81, 2, 91, 29};
  for (int32_t e : from0) EXPECT_EQ(rt_rnd(99), e);
  rt_seed(1);
  const int32_t from1[] = {0, 6, 2, 2, 2, 1, 5, 0, 4, 2};
  for (int32_t e : from1) EXPECT_EQ(rt_rnd(6), e);
}

TEST(Random, NonPositiveRangeGivesZeroWithoutAdvancing) {
  rt_seed(1234);
  RandomState before;
  std::memcpy(&before, &random_state(), sizeof before);
  EXPECT_EQ(rt_rnd(0), 0);
  EXPECT_EQ(rt_rnd(-5), 0);
  EXPECT_EQ(rt_rnd(INT32_MIN), 0);
  EXPECT_EQ(std::memcmp(&before, &random_state(), sizeof before), 0);
  bool seen[3] = {};
  for (int i = 0; i < 200; ++i) {
    const int32_t v = rt_rnd(2);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 2);
    seen[v] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
  for (int i = 0; i < 50; ++i) EXPECT_GE(rt_rnd(INT32_MAX), 0);  // n + 1 = 2^31, unsigned
}

TEST(Random, SeedsAreUnsignedAndReseedingRepeats) {
  rt_seed(-1);
  const uint32_t a = isaac_next();
  rt_seed(static_cast<int32_t>(0xFFFFFFFFu));
  EXPECT_EQ(isaac_next(), a);
  rt_seed(2);
  EXPECT_NE(isaac_next(), a);
  // Negative seeds are their own 32-bit patterns: not folded to their
  // magnitude, not cut to 0 or to the largest positive seed.
  for (int32_t other : {1, 0, INT32_MAX}) {
    rt_seed(other);
    EXPECT_NE(isaac_next(), a) << other;
  }
  rt_seed(INT32_MIN);
  const uint32_t b = isaac_next();
  rt_seed(INT32_MAX);
  EXPECT_NE(isaac_next(), b);
  // Reseeding repeats the whole sequence, not only its first output.
  rt_seed(-1);
  uint32_t first[20];
  for (uint32_t& v : first) v = isaac_next();
  rt_seed(-1);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(isaac_next(), first[i]) << i;
}

TEST(Numeric, Remainders) {
  const struct {
    int32_t a, b, r;
  } cases[] = {{-1, 2, -1}, {7, -2, 1}, {5, 0, 0}, {7, 3, 1}, {-7, 3, -1},
               {INT32_MIN, -1, 0}, {INT32_MIN, 7, -2}, {12, 12, 0}};
  for (const auto& c : cases) EXPECT_EQ(rt_mod(c.a, c.b), c.r) << c.a << " mod " << c.b;
  EXPECT_EQ(rt_fmod(7.5, 2), 1.5);
  EXPECT_EQ(rt_fmod(-7.5, 2), -1.5);
  EXPECT_EQ(rt_fmod(3, 0), 0);
}

TEST(Numeric, BoxCollide) {
  const struct {
    int32_t b[8];
    int32_t hit;
  } cases[] = {
      {{0, 0, 32, 32, 32, 0, 32, 32}, 0},  // touching edges do not overlap
      {{0, 0, 32, 32, 31, 31, 1, 1}, 1},
      {{0, 0, 32, 32, 31, 32, 1, 1}, 0},
      {{5, 5, 0, 0, 5, 5, 1, 1}, 1},      // a zero size covers one column / row
      {{5, 5, 0, 0, 6, 5, 1, 1}, 0},
      {{10, 10, -3, -3, 8, 8, 1, 1}, 1},  // -3 covers 8..10
      {{10, 10, -3, -3, 7, 8, 1, 1}, 0},
      {{0, 0, 10, 10, 20, 0, -12, 10}, 1},  // -12 covers 9..20
      {{0, 0, 10, 10, 20, 0, -11, 10}, 0},  // -11 covers 10..20
      {{0, 0, 10, 10, 5, 20, 1, 1}, 0},  // x overlaps, y does not
      {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, -5, -5, INT32_MIN, INT32_MIN}, 0},
      {{INT32_MAX, 0, 1, 1, INT32_MAX, 0, 1, 1}, 1},
  };
  for (const auto& c : cases) {
    const int32_t* b = c.b;
    EXPECT_EQ(rt_box_collide(b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]), c.hit)
        << b[0] << "," << b[1] << "," << b[2] << "," << b[3] << " / " << b[4] << "," << b[5] << ","
        << b[6] << "," << b[7];
    EXPECT_EQ(rt_box_collide(b[4], b[5], b[6], b[7], b[0], b[1], b[2], b[3]), c.hit);
  }
}

TEST(Numeric, DegreeTrigonometry) {
  EXPECT_EQ(rt_sin(90), 1);
  EXPECT_NEAR(rt_cos(180), -1, 1e-15);
  EXPECT_NEAR(rt_tan(45), 1, 1e-15);
  EXPECT_NEAR(rt_atan(1, 1), 45, 1e-12);
  EXPECT_NEAR(rt_atan(1, -1), 135, 1e-12);
  EXPECT_EQ(rt_asin(2), 90);
  EXPECT_EQ(rt_asin(-1), -90);
  EXPECT_NEAR(rt_asin(0.5), 30, 1e-12);
  EXPECT_EQ(rt_acos(-3), 180);
  EXPECT_EQ(rt_acos(1), 0);
  EXPECT_NEAR(rt_acos(0.5), 60, 1e-12);
  EXPECT_EQ(rt_sqrt(16), 4);
  EXPECT_EQ(rt_pow(2, 10), 1024);
  EXPECT_EQ(rt_floor(-1.5), -2);
  EXPECT_EQ(rt_ceil(-1.5), -1);
  EXPECT_NEAR(rt_log(std::exp(2.0)), 2, 1e-15);
}

TEST(Numeric, MinMaxHelpers) {
  EXPECT_EQ(max_real(-1, min_real_single(1, 1.5f)), 1);   // joystick clamp
  EXPECT_EQ(max_real(-1, min_real_single(1, -7.0f)), -1);
  EXPECT_EQ(max_real(-1, min_real_single(1, 0.25f)), 0.25);
  EXPECT_EQ(min_real(2, 3), 2);
  EXPECT_EQ(max_int(1, 0), 1);
  EXPECT_EQ(max_int(1, 5), 5);
  EXPECT_EQ(min_int(-3, 2), -3);
  EXPECT_EQ(max_int_trunc(1, 7.9), 7);
  EXPECT_EQ(max_int_trunc(1, -7.9), 1);
  EXPECT_EQ(max_int_trunc(0, 1e300), INT32_MAX);
  EXPECT_EQ(max_int_trunc(0, std::nan("")), 0);
  const struct {
    double x;
    int32_t expected;
  } truncations[] = {{-0.5, 0},
                     {-7.9, -7},
                     {2147483646.9, 2147483646},
                     {2147483647.0, INT32_MAX},
                     {-2147483648.9, INT32_MIN},
                     {-2147483647.9, -2147483647},
                     {std::numeric_limits<double>::infinity(), INT32_MAX},
                     {-std::numeric_limits<double>::infinity(), INT32_MIN},
                     {-std::nan(""), 0}};
  for (const auto& t : truncations) EXPECT_EQ(trunc_to_int(t.x), t.expected) << t.x;
}

}  // namespace
