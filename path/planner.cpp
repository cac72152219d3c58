// The grid planner: cost grid, node records, open list and the search.
#include "path/planner.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace tmx::path {

namespace {

constexpr float kDiagonalFactor = 1.4142137f;
// Cell indices and open-list places stay below the two state markers.
constexpr uint64_t kMaxCells = 0xFFFFFFF0u;

// The cost of entering a cell of value v on a map whose largest value is m:
// -1 (wall) unless v > 0 (a NaN is a wall too), else v / m + 1. An infinite
// value makes m infinite: it costs 2 and every finite cell 1.
inline float cell_cost(double v, double m) {
  if (!(v > 0)) return -1.0f;
  const double c = v / m + 1.0;
  return c == c ? static_cast<float>(c) : 2.0f;
}

// The largest positive value of the map; 0 when there is none.
template <class T>
double largest_value(const T* map, size_t n) {
  double m = 0;
  for (size_t i = 0; i < n; ++i) {
    const double v = static_cast<double>(map[i]);
    if (v > m) m = v;
  }
  return m;
}

}  // namespace

void FixedDeque::renumber() {
  std::sort(heap_, heap_ + size_, [](const Entry& a, const Entry& b) { return a.key < b.key; });
  // A sorted array is a heap.
  for (uint32_t i = 0; i < size_; ++i) {
    heap_[i].key = (heap_[i].key & 0xFFFFFFFF00000000u) | i;
    nodes_[heap_[i].cell].where = i;
  }
  next_ = size_;
}

void Planner::AlignedFree::operator()(FixedDeque::Entry* p) const {
  ::operator delete[](p, std::align_val_t{64});
}

Planner::~Planner() = default;

void Planner::reset() {
  finished_ = false;
  searches_ = 0;
  path_end_ = Node::kNowhere;
}

void Planner::release() {
  factory_.release(open_.size());
  open_.clear();
  path_end_ = Node::kNowhere;
  finished_ = true;
}

Planner::Config Planner::configure(const PathParams& p) {
  const int32_t w = p.width, h = p.height;
  if (w <= 0 || h <= 0 || (p.map == nullptr && p.map_int == nullptr)) return Config::kRejected;
  if (p.start_x < 0 || p.start_x >= w || p.start_y < 0 || p.start_y >= h || p.goal_x < 0 ||
      p.goal_x >= w || p.goal_y < 0 || p.goal_y >= h)
    return Config::kRejected;
  if (p.start_x == p.goal_x && p.start_y == p.goal_y) return Config::kRejected;

  path_end_ = Node::kNowhere;
  ready_ = false;
  const uint64_t n = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  const uint64_t padded = (static_cast<uint64_t>(w) + 2) * (static_cast<uint64_t>(h) + 2);
  if (n > SIZE_MAX || padded > kMaxCells || padded > SIZE_MAX / sizeof(Node)) return Config::kNoMemory;
  const double m = p.map != nullptr ? largest_value(p.map, n) : largest_value(p.map_int, n);
  if (!(m > 0)) return Config::kRejected;

  // Storage, kept when large enough.
  if (node_count_ < padded) {
    nodes_.reset();
    node_count_ = 0;
    nodes_.reset(new (std::nothrow) Node[padded]);
    if (!nodes_) return Config::kNoMemory;
    node_count_ = padded;
  }
  if (entry_count_ < n) {
    entries_.reset();
    entry_count_ = 0;
    static_assert(sizeof(FixedDeque::Entry) == 16, "four entries to a 64-byte line");
    entries_.reset(static_cast<FixedDeque::Entry*>(::operator new[](
        (n + FixedDeque::kLead) * sizeof(FixedDeque::Entry), std::align_val_t{64}, std::nothrow)));
    if (!entries_) return Config::kNoMemory;
    entry_count_ = n;
  }

  // The cost grid inside its border of walls.
  stride_ = static_cast<uint32_t>(w) + 2;
  cells_ = static_cast<uint32_t>(padded);
  Node* nodes = nodes_.get();
  const Node wall{-1.0f, 0.0f, 0, Node::kNowhere};
  std::fill(nodes, nodes + stride_, wall);
  std::fill(nodes + static_cast<size_t>(h + 1) * stride_, nodes + padded, wall);
  for (int32_t y = 0; y < h; ++y) {
    Node* row = nodes + static_cast<size_t>(y + 1) * stride_;
    row[0] = wall;
    row[w + 1] = wall;
    const size_t base = static_cast<size_t>(y) * static_cast<size_t>(w);
    if (p.map != nullptr) {
      const double* src = p.map + base;
      for (int32_t x = 0; x < w; ++x) row[x + 1] = Node{cell_cost(src[x], m), 0.0f, 0, Node::kNowhere};
    } else {
      const int32_t* src = p.map_int + base;
      for (int32_t x = 0; x < w; ++x)
        row[x + 1] = Node{cell_cost(static_cast<double>(src[x]), m), 0.0f, 0, Node::kNowhere};
    }
  }
  dirty_ = false;

  factory_.reset(p.pool_size > 0 ? static_cast<uint64_t>(p.pool_size) : n);
  open_.attach(entries_.get() + FixedDeque::kLead, static_cast<uint32_t>(n), nodes);
  closed_ = NodeHashTable(nodes);

  params_ = p;
  params_.open_capacity = static_cast<int32_t>(std::min<uint64_t>(n, INT32_MAX));
  params_.closed_exponent = std::clamp(p.closed_exponent, 0, 24) & ~1;
  const float wt = p.weight;
  params_.weight = wt > 0 ? (wt < 1 ? wt : 1.0f) : 0.0f;
  finished_ = true;
  ready_ = true;
  return Config::kOk;
}

uint32_t Planner::path_length() const {
  if (path_end_ == Node::kNowhere || !ready_) return 0;
  uint32_t n = 1;
  for (uint32_t cell = path_end_; nodes_[cell].parent != cell && n < cells_; ++n)
    cell = nodes_[cell].parent;
  return n;
}

void AStarPlanner::start() {
  Planner::reset();
  if (!ready_) return;
  Node* nodes = nodes_.get();
  if (dirty_) {
    for (uint32_t i = 0; i < cells_; ++i) nodes[i].where = Node::kNowhere;
    factory_.reset(params_.pool_size > 0 ? static_cast<uint64_t>(params_.pool_size)
                                         : static_cast<uint64_t>(params_.width) * params_.height);
    dirty_ = false;
  }
  open_.attach(entries_.get() + FixedDeque::kLead, open_.capacity(), nodes);
  const uint32_t s = cell_of(params_.start_x, params_.start_y);
  if (!factory_.take()) return;
  nodes[s].g = 0.0f;
  nodes[s].parent = s;
  open_.insert(s, 0.0f);
}

int AStarPlanner::search() {
  ++searches_;
  if (!ready_) return 1;
  dirty_ = true;
  if (params_.diagonal_moves) {
    run<true>();
  } else {
    run<false>();
  }
  finished_ = true;
  return 1;
}

template <bool kDiagonal>
void AStarPlanner::run() {
  Node* const nodes = nodes_.get();
  const int64_t gx = params_.goal_x, gy = params_.goal_y;
  const uint32_t goal = cell_of(params_.goal_x, params_.goal_y);
  const double weight = params_.weight;
  const bool diagonal_cost = params_.diagonal_cost != 0;
  const uint32_t row = stride_;

  while (!open_.empty()) {
    const uint32_t cur = open_.pop();
    if (cur == goal) {
      closed_.insert(cur);
      path_end_ = cur;
      return;
    }
    int32_t x, y;
    cell_xy(cur, x, y);
    const float g = nodes[cur].g;

    // One neighbour; false when the node pool is used up.
    auto visit = [&](int32_t dx, int32_t dy, bool diagonal) __attribute__((always_inline)) -> bool {
      // Unsigned arithmetic wraps for a step back.
      const uint32_t nb = cur + static_cast<uint32_t>(dy) * row + static_cast<uint32_t>(dx);
      Node& n = nodes[nb];
      const float c = n.cost;
      if (c < 0) return true;
      const float g2 = (diagonal && diagonal_cost)
                           ? static_cast<float>(static_cast<double>(g) +
                                                static_cast<double>(c) * kDiagonalFactor)
                           : g + c;
      const uint32_t where = n.where;
      const bool fresh = where == Node::kNowhere;
      if (!fresh && !(n.g > g2)) return true;
      if (fresh && !factory_.take()) return false;
      const int64_t hx = gx - (x + dx), hy = gy - (y + dy);
      const double hd = static_cast<double>((hx < 0 ? -hx : hx) + (hy < 0 ? -hy : hy));
      const double gd = g2;
      const float f2 = static_cast<float>(gd + weight * (hd - gd));
      n.g = g2;
      n.parent = cur;
      if (where == Node::kClosed || fresh) {
        closed_.erase(nb);
        open_.insert(nb, f2);
      } else {
        open_.reinsert(where, f2);
      }
      return true;
    };

    bool ok;
    if constexpr (kDiagonal) {
      ok = visit(-1, -1, true) && visit(0, -1, false) && visit(1, -1, true) &&
           visit(1, 0, false) && visit(-1, 0, false) && visit(-1, 1, true) &&
           visit(0, 1, false) && visit(1, 1, true);
    } else {
      ok = visit(0, -1, false) && visit(1, 0, false) && visit(-1, 0, false) && visit(0, 1, false);
    }
    if (!ok) {
      // The node pool is used up: the search ends without a path.
      closed_.insert(cur);
      return;
    }
    closed_.insert(cur);
  }
}

}  // namespace tmx::path
