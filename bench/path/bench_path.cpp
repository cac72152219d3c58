// rt_find_path against Boost.Graph's astar_search on the same grid: random
// maps of 256^2, 512^2 and 1024^2 cells with 22 % walls, from the top-left to
// the bottom-right corner, four-neighbour moves whose cost is the cost of the
// cell entered (v / max + 1), Manhattan distance as the heuristic.
//
// Weight 0.5 orders by (g + h) / 2, i.e. the same order as Boost's A*
// (g + h); weight 0 is a uniform-cost search on both sides (Boost with a zero
// heuristic). Both blends are admissible here (every step costs more than
// 1), so before timing each benchmark checks that both find a path of the
// same total cost, and stops with an error otherwise.
//
// Boost gets its property maps allocated once, outside the timed loop;
// rt_find_path builds its cost grid and allocates its memory in every call.
#include <benchmark/benchmark.h>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/astar_search.hpp>
#include <boost/property_map/property_map.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <queue>
#include <random>
#include <vector>

#include "tamblix.h"

namespace {

using Graph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                    boost::property<boost::edge_weight_t, double>>;
using Vertex = boost::graph_traits<Graph>::vertex_descriptor;

struct Grid {
  int32_t n = 0;
  BasicArray<double> map;  // n x n, first index x
  std::vector<double> cost;  // per cell, y * n + x; -1 for a wall
  Graph graph;
  std::vector<Vertex> pred;
  std::vector<double> dist, rank;
  std::vector<boost::default_color_type> color;
};

// True when the bottom-right corner is reachable from the top-left one.
bool connected(const std::vector<double>& v, int32_t n) {
  std::vector<char> seen(v.size());
  std::queue<int32_t> q;
  q.push(0);
  seen[0] = 1;
  while (!q.empty()) {
    const int32_t c = q.front();
    q.pop();
    if (c == n * n - 1) return true;
    const int32_t x = c % n, y = c / n;
    const int32_t nx[4] = {x, x + 1, x - 1, x}, ny[4] = {y - 1, y, y, y + 1};
    for (int k = 0; k < 4; ++k) {
      if (nx[k] < 0 || nx[k] >= n || ny[k] < 0 || ny[k] >= n) continue;
      const int32_t m = ny[k] * n + nx[k];
      if (v[m] > 0 && !seen[m]) {
        seen[m] = 1;
        q.push(m);
      }
    }
  }
  return false;
}

// The map of size n: 22 % walls, values 1..255, corners open; the first seed
// whose corners connect.
Grid& grid(int32_t n) {
  static std::map<int32_t, std::unique_ptr<Grid>> grids;
  auto& slot = grids[n];
  if (slot) return *slot;
  slot = std::make_unique<Grid>();
  Grid& g = *slot;
  g.n = n;
  std::vector<double> v(static_cast<size_t>(n) * n);
  for (uint32_t seed = 1;; ++seed) {
    std::mt19937 rng(seed * 7919u + static_cast<uint32_t>(n));
    std::uniform_real_distribution<double> u(0, 1);
    for (double& x : v) x = u(rng) < 0.22 ? 0 : static_cast<double>(1 + rng() % 255);
    v[0] = v.back() = 100;
    if (connected(v, n)) break;
  }
  arr_dim(g.map, n, n);
  double m = 0;
  for (double x : v) m = std::max(m, x);
  g.cost.resize(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    g.map.data()[i] = v[i];
    g.cost[i] = v[i] > 0 ? static_cast<float>(v[i] / m + 1.0) : -1.0;
  }
  // Edges into every open cell from its open neighbours (the start's cell
  // may be left from even if it were a wall).
  std::vector<std::pair<int32_t, int32_t>> edges;
  std::vector<double> weights;
  for (int32_t y = 0; y < n; ++y)
    for (int32_t x = 0; x < n; ++x) {
      const int32_t c = y * n + x;
      if (g.cost[c] < 0) continue;
      const int32_t nx[4] = {x, x + 1, x - 1, x}, ny[4] = {y - 1, y, y, y + 1};
      for (int k = 0; k < 4; ++k) {
        if (nx[k] < 0 || nx[k] >= n || ny[k] < 0 || ny[k] >= n) continue;
        const int32_t t = ny[k] * n + nx[k];
        if (g.cost[t] < 0) continue;
        edges.emplace_back(c, t);
        weights.push_back(g.cost[t]);
      }
    }
  g.graph = Graph(edges.begin(), edges.end(),
                  weights.begin(), static_cast<size_t>(n) * n);
  const size_t cells = static_cast<size_t>(n) * n;
  g.pred.resize(cells);
  g.dist.resize(cells);
  g.rank.resize(cells);
  g.color.resize(cells);
  return g;
}

class Manhattan : public boost::astar_heuristic<Graph, double> {
 public:
  Manhattan(int32_t n, int32_t goal, bool zero) : n_(n), gx_(goal % n), gy_(goal / n), zero_(zero) {}
  double operator()(Vertex v) const {
    if (zero_) return 0;
    const int32_t x = static_cast<int32_t>(v) % n_, y = static_cast<int32_t>(v) / n_;
    return std::abs(gx_ - x) + std::abs(gy_ - y);
  }

 private:
  int32_t n_, gx_, gy_;
  bool zero_;
};

struct FoundGoal {};
class GoalVisitor : public boost::default_astar_visitor {
 public:
  explicit GoalVisitor(Vertex goal) : goal_(goal) {}
  void examine_vertex(Vertex u, const Graph&) {
    if (u == goal_) throw FoundGoal{};
  }

 private:
  Vertex goal_;
};

// Boost's search; returns the goal's distance (infinity without a path) and
// the number of path cells.
double boost_search(Grid& g, bool zero_heuristic, size_t* cells) {
  const Vertex start = 0, goal = static_cast<Vertex>(g.n) * g.n - 1;
  auto index = boost::get(boost::vertex_index, g.graph);
  try {
    boost::astar_search(
        g.graph, start, Manhattan(g.n, static_cast<int32_t>(goal), zero_heuristic),
        boost::visitor(GoalVisitor(goal))
            .predecessor_map(boost::make_iterator_property_map(g.pred.begin(), index))
            .distance_map(boost::make_iterator_property_map(g.dist.begin(), index))
            .rank_map(boost::make_iterator_property_map(g.rank.begin(), index))
            .color_map(boost::make_iterator_property_map(g.color.begin(), index)));
  } catch (const FoundGoal&) {
    size_t n = 1;
    for (Vertex v = goal; v != start; v = g.pred[v]) ++n;
    *cells = n;
    return g.dist[goal];
  }
  *cells = 0;
  return INFINITY;
}

// rt_find_path's path cost: the costs of the cells entered.
double engine_cost(Grid& g, BasicArray<double>& path, int n) {
  double sum = 0;
  for (int i = 1; i < n; ++i)
    sum += g.cost[static_cast<size_t>(path(i, 1)) * g.n + static_cast<size_t>(path(i, 0))];
  return sum;
}

// Both searches once; false (with the reason on the state) when they disagree.
bool same_cost(benchmark::State& state, Grid& g, double weight) {
  BasicArray<double> path;
  const int n = rt_find_path(g.map, path, weight, 0, 0, g.n - 1, g.n - 1);
  size_t cells = 0;
  const double theirs = boost_search(g, weight == 0, &cells);
  const double ours = n > 0 ? engine_cost(g, path, n) : INFINITY;
  if (n == 0 || cells == 0 || std::fabs(ours - theirs) > 1e-5 * theirs) {
    char text[160];
    std::snprintf(text, sizeof text, "path costs differ: rt_find_path %.6f (%d cells), Boost %.6f (%zu cells)",
                  ours, n, theirs, cells);
    state.SkipWithError(text);
    return false;
  }
  state.counters["cost"] = ours;
  state.counters["cells"] = n;
  return true;
}

void BM_FindPath(benchmark::State& state, double weight) {
  Grid& g = grid(static_cast<int32_t>(state.range(0)));
  if (!same_cost(state, g, weight)) return;
  BasicArray<double> path;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rt_find_path(g.map, path, weight, 0, 0, g.n - 1, g.n - 1));
  }
}

void BM_BoostAStar(benchmark::State& state, double weight) {
  Grid& g = grid(static_cast<int32_t>(state.range(0)));
  if (!same_cost(state, g, weight)) return;
  size_t cells = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(boost_search(g, weight == 0, &cells));
  }
}

// Side by side per size: the engine, then Boost.
void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK_CAPTURE(BM_FindPath, weight_0_5, 0.5)->Apply(sizes);
BENCHMARK_CAPTURE(BM_BoostAStar, weight_0_5, 0.5)->Apply(sizes);
BENCHMARK_CAPTURE(BM_FindPath, weight_0, 0.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_BoostAStar, weight_0, 0.0)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
