// rt_find_path and the planner: the expansion order against a plain model of
// the sorted-list planner on many random maps, and the command's edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <queue>
#include <random>
#include <vector>

#include "path/planner.h"
#include "tamblix.h"
#include "tests/path/reference_planner.h"

using namespace tmx::path;

namespace {

using Cells = std::vector<std::pair<int32_t, int32_t>>;

BasicArray<double> make_map(const std::vector<double>& v, int32_t w, int32_t h) {
  BasicArray<double> a;
  arr_dim(a, w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) a(x, y) = v[static_cast<size_t>(y) * w + x];
  return a;
}

template <class T>
Cells cells_of(BasicArray<T>& path, int n) {
  Cells c;
  for (int i = 0; i < n; ++i)
    c.emplace_back(static_cast<int32_t>(path(i, 0)), static_cast<int32_t>(path(i, 1)));
  return c;
}

// The least total cost from start to goal (the start's own cost not counted).
double least_cost(const std::vector<double>& v, int32_t w, int32_t h, int sx, int sy, int gx,
                  int gy) {
  double m = 0;
  for (double x : v) m = std::max(m, x);
  std::vector<double> dist(v.size(), std::numeric_limits<double>::infinity());
  using Item = std::pair<double, int32_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
  dist[sy * w + sx] = 0;
  q.push({0, sy * w + sx});
  while (!q.empty()) {
    auto [d, c] = q.top();
    q.pop();
    if (d > dist[c]) continue;
    const int32_t x = c % w, y = c / w;
    const int32_t nx[4] = {x, x + 1, x - 1, x}, ny[4] = {y - 1, y, y, y + 1};
    for (int k = 0; k < 4; ++k) {
      if (nx[k] < 0 || nx[k] >= w || ny[k] < 0 || ny[k] >= h) continue;
      const int32_t n = ny[k] * w + nx[k];
      if (!(v[n] > 0)) continue;
      const double nd = d + static_cast<float>(v[n] / m + 1.0);
      if (nd < dist[n]) {
        dist[n] = nd;
        q.push({nd, n});
      }
    }
  }
  return dist[gy * w + gx];
}

double path_cost(const std::vector<double>& v, int32_t w, const Cells& p) {
  double m = 0;
  for (double x : v) m = std::max(m, x);
  double sum = 0;
  for (size_t i = 1; i < p.size(); ++i)
    sum += static_cast<float>(v[p[i].second * w + p[i].first] / m + 1.0);
  return sum;
}

// A random map: walls with a random density, values from a small set (many
// equal costs, so many equal priorities) or any real.
std::vector<double> random_map(std::mt19937& rng, int32_t w, int32_t h) {
  std::uniform_real_distribution<double> u(0, 1);
  const double walls = u(rng) * 0.45;
  const bool few_values = u(rng) < 0.7;
  std::vector<double> v(static_cast<size_t>(w) * h);
  for (double& x : v) {
    if (u(rng) < walls) {
      x = u(rng) < 0.5 ? 0 : -3;
    } else {
      x = few_values ? static_cast<double>(1 + rng() % 3) : 0.01 + u(rng) * 100;
    }
  }
  return v;
}

TEST(FindPath, SameCellsAsTheSortedListPlannerOnRandomMaps) {
  std::mt19937 rng(20261210);
  const double weights[] = {0.0, 0.5, 1.0, 0.25, 0.8};
  int compared = 0, found = 0;
  for (int round = 0; round < 10000; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 20);
    const int32_t h = 1 + static_cast<int32_t>(rng() % 20);
    const std::vector<double> v = random_map(rng, w, h);
    BasicArray<double> map = make_map(v, w, h);
    for (int k = 0; k < 4; ++k) {
      const double weight = k < 3 ? weights[k] : weights[3 + rng() % 2];
      // Mostly inside; now and then outside.
      auto coord = [&](int32_t n) { return static_cast<int>(rng() % (n + 2)) - (rng() % 16 == 0); };
      const int sx = coord(w) % (w + 1), sy = coord(h) % (h + 1);
      const int gx = coord(w) % (w + 1), gy = coord(h) % (h + 1);
      const ref::Result want = ref::find_path(v, w, h, weight, sx, sy, gx, gy);
      BasicArray<double> path;
      const int n = rt_find_path(map, path, weight, sx, sy, gx, gy);
      const Cells got = cells_of(path, n);
      ASSERT_EQ(got, want.path) << "map " << w << "x" << h << " round " << round << " weight "
                                << weight << " from " << sx << "," << sy << " to " << gx << ","
                                << gy;
      ASSERT_EQ(path.dim0(), n);
      if (n > 0) {
        ASSERT_EQ(path.dim1(), 2);
        ++found;
        EXPECT_EQ(got.front(), std::make_pair(sx, sy));
        EXPECT_EQ(got.back(), std::make_pair(gx, gy));
        for (size_t i = 1; i < got.size(); ++i)
          ASSERT_EQ(std::abs(got[i].first - got[i - 1].first) +
                        std::abs(got[i].second - got[i - 1].second),
                    1);
        if (weight == 0) {
          const double best = least_cost(v, w, h, sx, sy, gx, gy);
          EXPECT_NEAR(path_cost(v, w, got), best, 1e-4 * best);
        }
      }
      ++compared;
    }
  }
  EXPECT_GT(found, compared / 3);
}

// Larger maps re-open closed nodes often (weights above 0.5 overrate the
// distance to go); the integer variant must give the same cells.
TEST(FindPath, SameCellsOnLargerMapsAndInTheIntegerVariant) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    const int32_t w = 20 + static_cast<int32_t>(rng() % 30);
    const int32_t h = 20 + static_cast<int32_t>(rng() % 30);
    std::vector<double> v(static_cast<size_t>(w) * h);
    for (double& x : v) x = rng() % 5 == 0 ? 0 : static_cast<double>(1 + rng() % 9);
    const int sx = rng() % w, sy = rng() % h, gx = rng() % w, gy = rng() % h;
    const double weight = (round % 5) * 0.25;
    const ref::Result want = ref::find_path(v, w, h, weight, sx, sy, gx, gy);

    BasicArray<double> map = make_map(v, w, h);
    BasicArray<double> path;
    const int n = rt_find_path(map, path, weight, sx, sy, gx, gy);
    ASSERT_EQ(cells_of(path, n), want.path) << "round " << round;

    BasicArray<int32_t> imap;
    arr_dim(imap, w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) imap(x, y) = static_cast<int32_t>(v[y * w + x]);
    BasicArray<int32_t> ipath;
    const int in = rt_find_path(imap, ipath, weight, sx, sy, gx, gy);
    ASSERT_EQ(cells_of(ipath, in), want.path) << "round " << round;
  }
}

PathParams params_for(const std::vector<double>& v, int32_t w, int32_t h, double weight, int sx,
                      int sy, int gx, int gy) {
  PathParams p;
  p.start_x = sx;
  p.start_y = sy;
  p.goal_x = gx;
  p.goal_y = gy;
  p.weight = static_cast<float>(weight);
  p.width = w;
  p.height = h;
  p.map = v.data();
  return p;
}

Cells planner_path(AStarPlanner& planner) {
  Cells c(planner.path_length());
  planner.trace([&](uint32_t i, int32_t x, int32_t y) { c[i] = {x, y}; });
  return c;
}

// The planner's other settings: diagonal moves, a small node pool (the search
// ends without a path when it runs out), insertion numbers running out.
TEST(AStarPlanner, DiagonalMovesSmallPoolsAndRenumberingKeepTheOrder) {
  std::mt19937 rng(99);
  for (int round = 0; round < 600; ++round) {
    const int32_t w = 2 + static_cast<int32_t>(rng() % 14);
    const int32_t h = 2 + static_cast<int32_t>(rng() % 14);
    const std::vector<double> v = random_map(rng, w, h);
    const int sx = rng() % w, sy = rng() % h, gx = rng() % w, gy = rng() % h;
    if (sx == gx && sy == gy) continue;
    const double weight = (round % 3) * 0.5;
    const bool diagonal = round % 2 == 1;
    const int32_t pool = round % 4 == 0 ? 1 + static_cast<int32_t>(rng() % (w * h)) : 0;
    const ref::Result want = ref::find_path(v, w, h, weight, sx, sy, gx, gy, diagonal, pool);
    if (!want.configured) continue;

    PathParams p = params_for(v, w, h, weight, sx, sy, gx, gy);
    p.diagonal_moves = diagonal;
    p.pool_size = pool;
    AStarPlanner planner;
    ASSERT_EQ(planner.configure(p), Planner::Config::kOk);
    planner.start();
    if (round % 5 == 0) planner.open_list().set_next_number(UINT32_MAX - 1 - rng() % 40);
    EXPECT_EQ(planner.search(), 1);
    EXPECT_TRUE(planner.finished());
    ASSERT_EQ(planner_path(planner), want.path)
        << "round " << round << " diagonal " << diagonal << " pool " << pool;
    // The same nodes were generated on the way.
    EXPECT_EQ(planner.factory().used(), want.nodes_taken) << "round " << round;
    // A second run of the same planner gives the same path.
    planner.release();
    planner.start();
    planner.search();
    ASSERT_EQ(planner_path(planner), want.path) << "round " << round << " again";
    planner.release();
    EXPECT_FALSE(planner.has_path());
  }
}

TEST(AStarPlanner, ARunOutPoolEndsWithoutAPath) {
  const std::vector<double> v(10 * 10, 1.0);
  PathParams p = params_for(v, 10, 10, 0.0, 0, 0, 9, 9);
  p.pool_size = 5;
  AStarPlanner planner;
  ASSERT_EQ(planner.configure(p), Planner::Config::kOk);
  planner.start();
  EXPECT_EQ(planner.search(), 1);
  EXPECT_FALSE(planner.has_path());
  EXPECT_EQ(planner.factory().used(), 5u);
}

class FindPathCommand : public ::testing::Test {
 protected:
  void SetUp() override { clear_error(); }
};

// A grid whose size with its border does not fit the search's cell numbers is
// refused before the map is read.
TEST(AStarPlanner, AGridTooLargeIsRefusedBeforeReadingTheMap) {
  const double one = 1;
  PathParams p = params_for({}, 70000, 70000, 0.5, 0, 0, 5, 5);
  p.map = &one;
  AStarPlanner planner;
  EXPECT_EQ(planner.configure(p), Planner::Config::kNoMemory);
  p.width = 1 << 30;
  p.height = 2;
  p.goal_y = 1;
  EXPECT_EQ(planner.configure(p), Planner::Config::kNoMemory);
}

TEST_F(FindPathCommand, StraightRowAndTheWayAroundAWall) {
  BasicArray<double> row = make_map({1, 1, 1}, 3, 1);
  BasicArray<double> path;
  ASSERT_EQ(rt_find_path(row, path, 0.5, 0, 0, 2, 0), 3);
  EXPECT_EQ(cells_of(path, 3), (Cells{{0, 0}, {1, 0}, {2, 0}}));
  EXPECT_EQ(path.dim0(), 3);
  EXPECT_EQ(path.dim1(), 2);

  // Middle column walled but for (1, 2).
  BasicArray<double> map = make_map({1, 0, 1, 1, 0, 1, 1, 1, 1}, 3, 3);
  ASSERT_EQ(rt_find_path(map, path, 0.5, 0, 0, 2, 0), 7);
  EXPECT_EQ(cells_of(path, 7), (Cells{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}}));

  BasicArray<int32_t> imap;
  arr_dim(imap, 3, 3);
  for (int i = 0; i < 9; ++i) imap.data()[i] = i % 3 == 1 && i != 7 ? 0 : 5;
  BasicArray<int32_t> ipath;
  ASSERT_EQ(rt_find_path(imap, ipath, 0.0, 0, 0, 2, 0), 7);
  EXPECT_EQ(cells_of(ipath, 7), (Cells{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}}));
  EXPECT_EQ(g_error_state.code, 0);
}

TEST_F(FindPathCommand, AWalledStartIsLeftAndNeverEnteredAgain) {
  BasicArray<double> map = make_map({0, 1, 1, 1}, 4, 1);
  BasicArray<double> path;
  ASSERT_EQ(rt_find_path(map, path, 1.0, 0, 0, 3, 0), 4);
  EXPECT_EQ(cells_of(path, 4), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
  ASSERT_EQ(rt_find_path(map, path, 0.5, 3, 0, 0, 0), 0);  // the goal walled
}

// Failures: the real variant empties the path array; the integer variant
// keeps it when the search cannot begin, and empties it when no path exists.
TEST_F(FindPathCommand, FailuresPerVariant) {
  struct Case {
    const char* what;
    int sx, sy, gx, gy;
    bool all_walls;
    bool int_kept;  // the search cannot begin
  };
  const Case cases[] = {
      {"start = goal", 1, 1, 1, 1, false, true},
      {"start outside", -1, 0, 2, 2, false, true},
      {"start outside right", 3, 0, 2, 2, false, true},
      {"goal outside", 0, 0, 0, 3, false, true},
      {"no positive cell", 0, 0, 2, 2, true, true},
      {"goal walled", 0, 0, 2, 2, false, false},
      {"goal cut off", 0, 0, 2, 0, false, false},
  };
  for (const Case& c : cases) {
    // 3 x 3: (2, 2) walled; (2, 0) cut off by (1, 0) and (2, 1).
    std::vector<double> v = {1, 0, 1, 1, 1, 0, 1, 1, 0};
    if (c.all_walls) v.assign(9, -1);
    BasicArray<double> map = make_map(v, 3, 3);
    BasicArray<double> path = make_map({4, 4, 4, 4}, 2, 2);
    EXPECT_EQ(rt_find_path(map, path, 0.5, c.sx, c.sy, c.gx, c.gy), 0) << c.what;
    EXPECT_EQ(path.dim0(), 0) << c.what;
    EXPECT_EQ(path.rank(), 0) << c.what;

    BasicArray<int32_t> imap;
    arr_dim(imap, 3, 3);
    for (int i = 0; i < 9; ++i) imap.data()[i] = static_cast<int32_t>(v[i]);
    BasicArray<int32_t> ipath;
    arr_dim(ipath, 2, 2);
    ipath(1, 1) = 9;
    EXPECT_EQ(rt_find_path(imap, ipath, 0.5, c.sx, c.sy, c.gx, c.gy), 0) << c.what;
    if (c.int_kept) {
      EXPECT_EQ(ipath.dim0(), 2) << c.what;
      EXPECT_EQ(ipath(1, 1), 9) << c.what;
    } else {
      EXPECT_EQ(ipath.dim0(), 0) << c.what;
    }
    EXPECT_EQ(g_error_state.code, 0) << c.what;
  }
}

// A map whose second dimension is 0 has no cell inside it: the search cannot
// begin, as with a start outside the map. No error code is raised.
TEST_F(FindPathCommand, AMapWithoutASecondDimensionFailsLikeAStartOutside) {
  BasicArray<double> one, flat3, empty;
  arr_dim(one, 9);
  arr_dim(flat3, 3, 0, 2);  // 3 x 0 x 2: six elements, still no second dimension
  for (BasicArray<double>* a : {&one, &flat3})
    for (int i = 0; i < a->count(); ++i) a->data()[i] = 1;
  for (BasicArray<double>* a : {&one, &flat3, &empty}) {
    BasicArray<double> path = make_map({4, 4}, 1, 2);
    EXPECT_EQ(rt_find_path(*a, path, 0.5, 0, 0, 1, 0), 0);
    EXPECT_EQ(g_error_state.code, 0);
    EXPECT_EQ(path.dim0(), 0);
  }
  BasicArray<int32_t> ione, ipath;
  arr_dim(ione, 4);
  for (int i = 0; i < 4; ++i) ione(i) = 1;
  arr_dim(ipath, 3);
  ipath(2) = 8;
  EXPECT_EQ(rt_find_path(ione, ipath, 0.5, 0, 0, 1, 0), 0);
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(ipath.dim0(), 3);
  EXPECT_EQ(ipath(2), 8);
}

// A 3-D or 4-D map is searched over the cells (x, y, 0, 0). The other layers
// hold a straight way, so taking any of them (or the wrong elements for the
// first layer) gives another path.
TEST_F(FindPathCommand, MapsOfMoreDimensionsAreSearchedOverTheirFirstLayer) {
  const Cells around = {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}};
  // First layer: the middle column walled but for (1, 2); every other layer
  // open along the top row and walled below it.
  auto value = [](int32_t x, int32_t y, int32_t k, int32_t l) -> int32_t {
    if (k == 0 && l == 0) return x == 1 && y != 2 ? 0 : 1;
    return y == 0 ? 1 : 0;
  };
  const int32_t dims[][2] = {{2, 0}, {2, 3}};  // (3, 3, 2) and (3, 3, 2, 3)
  for (const auto& d : dims) {
    BasicArray<double> map;
    BasicArray<int32_t> imap;
    arr_dim(map, 3, 3, d[0], d[1]);
    arr_dim(imap, 3, 3, d[0], d[1]);
    for (int32_t l = 0; l < std::max(1, d[1]); ++l)
      for (int32_t k = 0; k < d[0]; ++k)
        for (int32_t y = 0; y < 3; ++y)
          for (int32_t x = 0; x < 3; ++x) {
            double& cell = d[1] ? map(x, y, k, l) : map(x, y, k);
            int32_t& icell = d[1] ? imap(x, y, k, l) : imap(x, y, k);
            icell = value(x, y, k, l);
            cell = icell;
          }
    BasicArray<double> path;
    ASSERT_EQ(rt_find_path(map, path, 0.0, 0, 0, 2, 0), 7) << "rank " << map.rank();
    EXPECT_EQ(cells_of(path, 7), around);
    EXPECT_EQ(path.rank(), 2);
    BasicArray<int32_t> ipath;
    ASSERT_EQ(rt_find_path(imap, ipath, 0.0, 0, 0, 2, 0), 7) << "rank " << imap.rank();
    EXPECT_EQ(cells_of(ipath, 7), around);
    // The map is left as it was.
    EXPECT_EQ(map.rank(), d[1] ? 4 : 3);
  }
  EXPECT_EQ(g_error_state.code, 0);
}

// Odd values: a NaN weight counts as 0, a NaN cell is a wall, an infinite
// cell costs 2 (and makes every finite cell cost 1), the path may be the map.
TEST_F(FindPathCommand, OddValuesAndTheMapAsItsOwnPath) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  BasicArray<double> map = make_map({1, nan, 1, 1, 1, 1}, 3, 2);
  BasicArray<double> path;
  ASSERT_EQ(rt_find_path(map, path, nan, 0, 0, 2, 0), 5);
  EXPECT_EQ(cells_of(path, 5), (Cells{{0, 0}, {0, 1}, {1, 1}, {2, 1}, {2, 0}}));

  // Through the infinite cell (cost 2) the way is 2 + 1; around it 1 + 1 + 1 + 1.
  BasicArray<double> inf_map = make_map({1, inf, 1, 1, 1, 1}, 3, 2);
  ASSERT_EQ(rt_find_path(inf_map, path, 0.0, 0, 0, 2, 0), 3);

  BasicArray<double> self = make_map({1, 1, 1, 1}, 2, 2);
  ASSERT_EQ(rt_find_path(self, self, 0.5, 0, 0, 1, 1), 3);
  EXPECT_EQ(self.dim0(), 3);
  EXPECT_EQ(self(2, 0), 1);
  EXPECT_EQ(self(2, 1), 1);
  EXPECT_EQ(g_error_state.code, 0);
}

}  // namespace
