// Arrays: capacities, layout, the guard and its report, push, redim, copy,
// data fill.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lang_test_env.h"
#include "tamblix.h"

namespace {

struct Particle {
  double life, x, y, vx, vy, red, green, blue;
};

std::string str(const BasicString& s) { return std::string(s.c_str(), s.length()); }

TEST(ArrayCapacity, FollowsTheElementTypeRule) {
  BasicArray<double> reals;
  EXPECT_EQ(reals.data(), nullptr);
  EXPECT_EQ(reals.rank(), 0);
  arr_dim(reals, 0);
  EXPECT_EQ(reals.capacity(), 8);  // storage even for no elements
  EXPECT_EQ(reals.rank(), 0);
  EXPECT_EQ(reals.dim0(), 0);
  arr_dim(reals, 10);
  EXPECT_EQ(reals.capacity(), 16);
  arr_dim(reals, 16);  // still fits
  EXPECT_EQ(reals.capacity(), 16);
  arr_dim(reals, 17);
  EXPECT_EQ(reals.capacity(), 24);

  BasicArray<int32_t> ints;
  arr_dim(ints, 7);
  EXPECT_EQ(ints.capacity(), 8);
  PixelArray pixels;
  arr_dim(pixels, 7);
  EXPECT_EQ(pixels.capacity(), 7);
  BasicArray<int64_t> wide;
  arr_dim(wide, 3, 3);
  EXPECT_EQ(wide.capacity(), 9);
  arr_dim(wide, 0);
  EXPECT_EQ(wide.data(), nullptr);

  BasicArray<BasicString> texts;
  arr_dim(texts, 64);
  EXPECT_EQ(texts.capacity(), 128);
  BasicArray<Particle> particles;
  arr_dim(particles, 100);
  EXPECT_EQ(particles.capacity(), 128);
  arr_dim(particles, 0);
  EXPECT_EQ(particles.data(), nullptr);
  EXPECT_EQ(particles.capacity(), 0);
  BasicArray<uint8_t> bytes;
  arr_dim(bytes, 1);
  EXPECT_EQ(bytes.capacity(), 64);
}

TEST(ArrayCapacity, SmallerDimKeepsStorageAndZeroes) {
  BasicArray<BasicString> texts;
  arr_dim(texts, 64);
  for (int i = 0; i < 64; ++i) texts(i) = BasicString("t") + i;
  BasicString* storage = texts.data();
  arr_dim(texts, 10);
  EXPECT_EQ(texts.data(), storage);
  EXPECT_EQ(texts.capacity(), 128);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(texts(i).length(), 0u) << i;
  EXPECT_EQ(texts.count(), 10);

  BasicArray<Particle> particles;
  arr_dim(particles, 5);
  particles(4).x = 3;
  Particle* p = particles.data();
  arr_dim(particles, 5);
  EXPECT_EQ(particles.data(), p);
  EXPECT_EQ(particles(4).x, 0);

  BasicArray<double> reals;
  arr_dim(reals, 16);
  reals(15) = 1;
  arr_dim(reals, 0);  // d0 <= 0 always renews the storage
  arr_dim(reals, 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(reals(i), 0);
}

TEST(ArrayLayout, FirstIndexVariesFastest) {
  BasicArray<double> a;
  arr_dim(a, 5, 3);
  EXPECT_EQ(a.rank(), 2);
  EXPECT_EQ(a.count(), 15);
  EXPECT_EQ(a.size0(), 5);
  EXPECT_EQ(a.size01(), 15);
  a(4, 2) = 7;
  EXPECT_EQ(a.data()[14], 7);
  a(1, 1) = 3;
  EXPECT_EQ(a.data()[6], 3);

  BasicArray<int32_t> b;
  arr_dim(b, 2, 3, 4, 5);
  EXPECT_EQ(b.rank(), 4);
  EXPECT_EQ(b.count(), 120);
  b(1, 2, 3, 4) = 9;
  EXPECT_EQ(b.data()[1 + 2 * 2 + 3 * 6 + 4 * 24], 9);
  EXPECT_EQ(b(-1, 2, 3, 4), 9);  // only the first index wraps

  // An absent middle dimension still gives every element its own place.
  BasicArray<double> gap;
  arr_dim(gap, 5, 0, 3);
  EXPECT_EQ(gap.rank(), 3);
  EXPECT_EQ(gap.count(), 15);
  gap(4, 0, 2) = 1;
  gap(4, 0, 0) = 2;
  EXPECT_EQ(gap.data()[14], 1);
  EXPECT_EQ(gap.data()[4], 2);

  BasicArray<double> c;
  arr_dim(c, 8);
  for (int i = 0; i < 8; ++i) c(i) = i;
  EXPECT_EQ(c(-1), 7);
  EXPECT_EQ(c(-8), 0);
  EXPECT_EQ(arr_bounds(c, 0), 8);
  EXPECT_EQ(arr_bounds(c, 1), 0);
  EXPECT_EQ(arr_bounds(b, 3), 5);
  EXPECT_EQ(arr_bounds(b, 4), 0);
  EXPECT_EQ(arr_bounds(b, -1), 0);
}

TEST(ArrayCommands, PushGrowsInPlaceThenThroughRedim) {
  BasicArray<BasicString> a;
  arr_dim(a, 63);
  a(0) = "first";
  BasicString* storage = a.data();
  arr_push(a, "x");  // 64 is not below the capacity: reallocated
  EXPECT_EQ(a.dim0(), 64);
  EXPECT_EQ(a.capacity(), 128);
  EXPECT_NE(a.data(), storage);
  EXPECT_EQ(str(a(63)), "x");
  EXPECT_EQ(str(a(0)), "first");
  storage = a.data();
  arr_push(a, a(0));  // a value from the array itself
  EXPECT_EQ(a.data(), storage);  // in place while the slack lasts
  EXPECT_EQ(a.dim0(), 65);
  EXPECT_EQ(a.count(), 65);
  EXPECT_EQ(str(a(-1)), "first");

  BasicArray<BasicString> empty;
  arr_push(empty, "only");
  EXPECT_EQ(empty.dim0(), 1);
  EXPECT_EQ(empty.rank(), 1);
  EXPECT_EQ(str(empty(0)), "only");

  BasicArray<double> reals;
  arr_dim(reals, 0);
  arr_push(reals, 2.5);
  EXPECT_EQ(reals.dim0(), 1);
  EXPECT_EQ(reals(0), 2.5);
}

// Pushing an element of the array itself when the storage has to grow: the
// old storage is released by the growth, so the value must be read first.
// The large array's old storage goes back to the system at once, so reading
// it afterwards would fault.
TEST(ArrayCommands, PushOfOwnElementSurvivesTheGrowth) {
  BasicArray<Particle> small;
  arr_dim(small, 64);  // capacity 128: grow by pushing up to it
  for (int i = 0; i < 64; ++i) small(i) = Particle{1.5, 2, 3, 4, 5, 6, 7, 8.0 + i};
  while (small.dim0() + 1 < small.capacity()) arr_push(small, small(0));
  Particle* storage = small.data();
  arr_push(small, small(3));  // the first push that reallocates
  EXPECT_NE(small.data(), storage);
  const Particle& last = small(-1);
  EXPECT_EQ(last.life, 1.5);
  EXPECT_EQ(last.x, 2);
  EXPECT_EQ(last.blue, 11);

  const int32_t n = 1 << 16;  // 512 KiB of reals, far above the mmap threshold
  BasicArray<double> big;
  arr_dim(big, n - 1);  // capacity n: the n-th push reallocates
  big(0) = 0.25;
  big(n - 2) = -7.5;
  arr_push(big, big(n - 2));
  arr_push(big, big(0));
  EXPECT_EQ(big.dim0(), n + 1);
  EXPECT_EQ(big(n - 1), -7.5);
  EXPECT_EQ(big(n), 0.25);

  BasicArray<int64_t> exact;  // exact capacity: every push reallocates
  arr_push(exact, int64_t{-42});
  for (int i = 0; i < 5; ++i) arr_push(exact, exact(-1));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(exact(i), -42) << i;
}

TEST(ArrayCommands, RedimKeepsTheOverlap) {
  BasicArray<BasicString> a;
  arr_dim(a, 3, 2);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) a(i, j) = BasicString("") + i + "," + j;
  arr_redim(a, 2, 4);
  EXPECT_EQ(a.dim0(), 2);
  EXPECT_EQ(a.dim1(), 4);
  EXPECT_EQ(str(a(1, 1)), "1,1");
  EXPECT_EQ(str(a(0, 0)), "0,0");
  EXPECT_EQ(str(a(1, 3)), "");
  arr_redim(a, 0);
  EXPECT_EQ(a.dim0(), 0);
  EXPECT_EQ(a.rank(), 0);
  EXPECT_EQ(a.count(), 0);

  BasicArray<double> cube;
  arr_dim(cube, 2, 2, 2);
  cube(1, 1, 1) = 5;
  arr_redim(cube, 3, 3, 3);  // three-dimensional elements are kept as well
  EXPECT_EQ(cube(1, 1, 1), 5);
}

TEST(ArrayCommands, CopyAndDataFill) {
  BasicArray<Particle> a, b;
  arr_dim(a, 3, 2);
  a(2, 1).blue = 4;
  arr_copy(b, a);
  EXPECT_EQ(b.dim0(), 3);
  EXPECT_EQ(b.dim1(), 2);
  EXPECT_EQ(b(2, 1).blue, 4);
  arr_copy(b, b);  // copying onto itself changes nothing
  EXPECT_EQ(b(2, 1).blue, 4);
  BasicArray<BasicString> s, t;
  arr_dim(s, 2);
  s(1) = "deep";
  arr_copy(t, s);
  s(1) += "!";
  EXPECT_EQ(str(t(1)), "deep");

  BasicArray<double> r;
  rt_dim_data(r, {0, 32, 64, 96, 64, 32});
  EXPECT_EQ(r.dim0(), 6);
  const double expected[] = {0, 32, 64, 96, 64, 32};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r(i), expected[i]);
  rt_dim_data(r, 0, nullptr);
  EXPECT_EQ(r.dim0(), 0);
}

TEST(ArrayReport, LinesShowDimensionsAndIndices) {
  const struct {
    int32_t dims[4], idx[4];
    const char *bounds, *access;
  } cases[] = {
      {{64, 0, 0, 0}, {64, 0, 0, 0}, "bounds: [  64]\n", "access: [  64]\n"},
      {{5, 3, 0, 0}, {1, 3, 0, 0}, "bounds: [   5][   3]\n", "access: [   1][   3]\n"},
      {{2, 3, 4, 5}, {0, 0, -2, 9}, "bounds: [   2][   3][   4][   5]\n", "access: [   0][   0][  -2][   9]\n"},
      {{8, 0, 0, 0}, {3, 1, 0, 0}, "bounds: [   8]\n", "access: [   3][   1]\n"},
      {{INT32_MIN, 0, 0, 0}, {INT32_MIN, 0, 0, 0}, "bounds: [-2147483648]\n", "access: [-2147483648]\n"},
  };
  for (const auto& c : cases) {
    char l1[64], l2[64];
    arr_format_bounds_report(c.dims, c.idx, l1, l2);
    EXPECT_STREQ(l1, c.bounds);
    EXPECT_STREQ(l2, c.access);
  }
}

TEST(ArrayDeathTest, IndexPastTheEndReportsAndEnds) {
  BasicArray<double> a;
  arr_dim(a, 64);
  EXPECT_FATAL(a(64) = 1, "TXbounds: \\[  64\\]\nTXaccess: \\[  64\\]\n.*error: 9\n");
  EXPECT_EXIT(a(64) = 1, ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
              "^bounds: \\[  64\\]\naccess: \\[  64\\]\nfatal error 9: array index out of bounds\n$");
}

TEST(ArrayDeathTest, WrappedIndexIsReported) {
  BasicArray<int32_t> a;
  arr_dim(a, 8);
  EXPECT_EXIT(a(-9), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   8\\]\naccess: \\[  -1\\]\n");
}

TEST(ArrayDeathTest, FurtherIndicesAreCheckedUnwrapped) {
  BasicArray<double> a;
  arr_dim(a, 5, 3);
  EXPECT_EXIT(a(0, -1), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "access: \\[   0\\]\\[  -1\\]\n");
  EXPECT_EXIT(a(4, 3), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
              "bounds: \\[   5\\]\\[   3\\]\naccess: \\[   4\\]\\[   3\\]\n");
  // A dimension the array does not have admits only index 0.
  BasicArray<double> line;
  arr_dim(line, 8);
  EXPECT_EQ(line(7, 0), 0);
  EXPECT_EXIT(line(0, 1), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
              "bounds: \\[   8\\]\naccess: \\[   0\\]\\[   1\\]\n");
  // A negative dimension admits no index.
  BasicArray<double> odd;
  arr_dim(odd, 4, -2);
  EXPECT_EQ(odd.count(), 4);
  EXPECT_EQ(odd.rank(), 2);
  EXPECT_EXIT(odd(0, 0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   4\\]\naccess: \\[   0\\]\n");
}

TEST(ArrayDeathTest, ArraysWithoutElementsRejectEveryAccess) {
  BasicArray<BasicString> never;
  EXPECT_EXIT(never(0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   0\\]\naccess: \\[   0\\]\n");
  BasicArray<double> zero;
  arr_dim(zero, 0);  // storage for 8, but no element
  EXPECT_EXIT(zero(0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   0\\]");
  BasicArray<double> emptied;
  arr_dim(emptied, 5);
  arr_redim(emptied, 0);  // storage kept, no element
  EXPECT_EXIT(emptied(0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   0\\]");
  EXPECT_EXIT(emptied(-1), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   0\\]");
  BasicArray<Particle> moved_from;
  arr_dim(moved_from, 3, 2);
  BasicArray<Particle> taker(std::move(moved_from));
  EXPECT_EQ(taker.dim0(), 3);
  EXPECT_EXIT(moved_from(0), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
              "bounds: \\[   0\\]");  // NOLINT: moved-from
  EXPECT_EXIT(moved_from(0, 1), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "bounds: \\[   0\\]");
}

TEST(ArrayDeathTest, PushOnTwoDimensionsEndsWithError8) {
  BasicArray<BasicString> a;
  arr_dim(a, 3, 2);
  EXPECT_FATAL(arr_push(a, "x"), "TXerror: 8\n");
}

TEST(ArrayDeathTest, ImpossibleSizesEndWithOutOfMemory) {
  BasicArray<double> a;
  EXPECT_FATAL(arr_dim(a, 65536, 65536), "TXerror: 7\n");
  EXPECT_FATAL(arr_dim(a, 2, 2, 2, INT32_MAX), "TXerror: 7\n");
  BasicArray<Particle> p;
  EXPECT_FATAL(arr_dim(p, INT32_MAX), "TXerror: 7\n");  // the slack passes the 32-bit range
}

}  // namespace
