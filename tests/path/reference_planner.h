// A plain model of the grid planner for the tests: the open list is an array
// kept sorted by f from the largest (front) to the smallest (back), filled by
// binary search and searched cell by cell from the back; the closed set is a
// table of 256 buckets indexed by the low bits of x and y; nodes come from a
// pool in order. Slow on purpose (every insertion moves the list), exact on
// purpose: the engine's planner must expand in the same order.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace ref {

struct Node {
  Node* parent;
  int32_t x, y;
  float f, g;
  Node* next;
};

struct Result {
  bool configured = false;
  std::vector<std::pair<int32_t, int32_t>> path;
  size_t nodes_taken = 0;  // from the pool, the start's included
};

// map: width x height values, first index x. pool_size 0: width x height.
inline Result find_path(const std::vector<double>& map, int32_t width, int32_t height,
                        double weight_in, int32_t sx, int32_t sy, int32_t gx, int32_t gy,
                        bool diagonal_moves = false, int32_t pool_size = 0) {
  Result r;
  if (sx < 0 || sx >= width || sy < 0 || sy >= height || gx < 0 || gx >= width || gy < 0 ||
      gy >= height || (sx == gx && sy == gy))
    return r;
  double m = 0;
  for (double v : map) m = std::max(m, v);
  if (!(m > 0)) return r;
  std::vector<float> cost(map.size());
  for (size_t i = 0; i < map.size(); ++i)
    cost[i] = map[i] > 0 ? static_cast<float>(map[i] / m + 1.0) : -1.0f;
  r.configured = true;
  float weight = static_cast<float>(weight_in > 0 ? (weight_in < 1 ? weight_in : 1.0) : 0.0);

  const size_t cells = static_cast<size_t>(width) * height;
  std::vector<Node> pool(pool_size > 0 ? static_cast<size_t>(pool_size) : cells);
  size_t used = 0;
  auto take = [&]() -> Node* { return used < pool.size() ? &pool[used++] : nullptr; };

  std::vector<Node*> open;
  Node* buckets[256] = {};
  auto bucket = [](int32_t x, int32_t y) { return (x & 15) | ((y & 15) << 4); };
  auto closed_find = [&](int32_t x, int32_t y) -> Node** {
    for (Node** p = &buckets[bucket(x, y)]; *p != nullptr; p = &(*p)->next)
      if ((*p)->x == x && (*p)->y == y) return p;
    return nullptr;
  };
  auto closed_insert = [&](Node* n) {
    for (Node* p = buckets[bucket(n->x, n->y)]; p != nullptr; p = p->next)
      if (p == n) return;
    n->next = buckets[bucket(n->x, n->y)];
    buckets[bucket(n->x, n->y)] = n;
  };
  auto open_insert = [&](Node* n) {
    auto at = std::partition_point(open.begin(), open.end(), [&](Node* o) { return o->f > n->f; });
    open.insert(at, n);
  };

  Node* s = take();
  *s = Node{nullptr, sx, sy, 0.0f, 0.0f, nullptr};
  open.push_back(s);
  Node* end = nullptr;
  static const int kOrder[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                   {-1, 0},  {-1, 1}, {0, 1},  {1, 1}};
  bool pool_out = false;
  while (!open.empty() && !pool_out) {
    Node* cur = open.back();
    open.pop_back();
    if (cur->x == gx && cur->y == gy) {
      closed_insert(cur);
      end = cur;
      break;
    }
    for (const auto& d : kOrder) {
      const bool diagonal = d[0] != 0 && d[1] != 0;
      if (diagonal && !diagonal_moves) continue;
      const int32_t x = cur->x + d[0], y = cur->y + d[1];
      if (x < 0 || x >= width || y < 0 || y >= height) continue;
      const float c = cost[static_cast<size_t>(y) * width + x];
      if (c == -1.0f) continue;
      const float g2 = diagonal ? static_cast<float>(static_cast<double>(cur->g) +
                                                     static_cast<double>(c) * 1.4142137f)
                                : cur->g + c;
      const double h = std::abs(gx - x) + std::abs(gy - y);
      const float f2 = static_cast<float>(g2 + weight * (h - g2));
      if (Node** p = closed_find(x, y)) {
        Node* n = *p;
        if (n->g > g2) {
          *p = n->next;
          n->next = nullptr;
          n->parent = cur;
          n->g = g2;
          n->f = f2;
          open_insert(n);
        }
        continue;
      }
      auto it = std::find_if(open.rbegin(), open.rend(),
                             [&](Node* o) { return o->x == x && o->y == y; });
      if (it != open.rend()) {
        Node* n = *it;
        if (n->g > g2) {
          open.erase(std::next(it).base());
          n->parent = cur;
          n->g = g2;
          n->f = f2;
          open_insert(n);
        }
        continue;
      }
      Node* n = take();
      if (n == nullptr) {
        pool_out = true;  // the pool is used up: no path
        break;
      }
      *n = Node{cur, x, y, f2, g2, nullptr};
      open_insert(n);
    }
    closed_insert(cur);
  }
  r.nodes_taken = used;
  for (Node* n = end; n != nullptr; n = n->parent) r.path.emplace_back(n->x, n->y);
  std::reverse(r.path.begin(), r.path.end());
  return r;
}

}  // namespace ref
