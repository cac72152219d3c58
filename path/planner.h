// The grid planner behind rt_find_path: a best-first search whose priority
// blends the cost travelled (g) and the Manhattan distance to the goal (h),
// f = g + weight x (h - g), rounded to single precision.
//
// Expansion order. The next node is the open one with the lowest f; among
// equal f the one inserted into the open list first. A node whose g improves
// while it is open is taken out and inserted again, and a closed node whose g
// improves is re-opened the same way: either way it counts as a new insertion
// and goes behind every open node of the same f.
//
// Structure. Every grid cell owns one Node record, laid out in a grid with a
// border of walls one cell wide, so neighbours are fixed offsets and need no
// bounds test. The record carries the cell's cost, g, the parent cell and
// where the node is: nowhere, closed, or its place in the open list. The open
// list (FixedDeque) is a binary heap of (f, insertion number) keys with a
// fixed capacity; NodeFactory counts the nodes handed out against the pool
// size; NodeHashTable is the closed set, answered from the cell records. All
// memory of a search is allocated in configure; nothing is allocated per node.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tmx::path {

// The search parameters.
struct PathParams {
  int32_t start_x = 0, start_y = 0;
  int32_t goal_x = 0, goal_y = 0;
  uint8_t diagonal_cost = 1;  // a diagonal step costs the target's cost x 1.4142137
  uint8_t diagonal_moves = 0;  // the four diagonal neighbours are considered at all
  int32_t pool_size = 0;  // nodes available to the search; 0: width x height
  // Open list capacity. The list always has room for every cell (a cell has
  // at most one node), so no node is ever dropped from a full list; a value
  // given here is not needed and not used.
  int32_t open_capacity = 0;
  // Size exponent of a bucketed closed table (clamped to 24, rounded down to
  // an even number). The per-cell closed set has no buckets; the value is
  // kept so that a parameter block means the same everywhere.
  int32_t closed_exponent = 8;
  float weight = 0.5f;  // clamped to 0..1 (NaN counts as 0)
  int32_t width = 0, height = 0;
  // The map, width x height values, first index x: one of the two is set.
  const double* map = nullptr;
  const int32_t* map_int = nullptr;
};

// One per grid cell (the border included).
struct Node {
  float cost;  // cost of entering the cell; -1 for a wall and the border
  float g;  // cost of the best path found to the cell
  uint32_t parent;  // the cell this one was reached from (the start: itself)
  uint32_t where;  // kNowhere, kClosed, or the place in the open list
  static constexpr uint32_t kNowhere = 0xFFFFFFFFu;
  static constexpr uint32_t kClosed = 0xFFFFFFFEu;
};

// Hands out nodes up to the pool size; release only lowers the count.
class NodeFactory {
 public:
  void reset(uint64_t pool_size) {
    pool_size_ = pool_size;
    used_ = 0;
  }
  // False when the pool is used up.
  bool take() {
    if (used_ >= pool_size_) return false;
    ++used_;
    return true;
  }
  void release(uint64_t n) { used_ = n < used_ ? used_ - n : 0; }
  uint64_t used() const { return used_; }

 private:
  uint64_t pool_size_ = 0;
  uint64_t used_ = 0;
};

// The closed set: a node is in it when its record says so.
class NodeHashTable {
 public:
  explicit NodeHashTable(Node* nodes = nullptr) : nodes_(nodes) {}
  bool contains(uint32_t cell) const { return nodes_[cell].where == Node::kClosed; }
  // A node already in the set stays as it is.
  void insert(uint32_t cell) { nodes_[cell].where = Node::kClosed; }
  void erase(uint32_t cell) { nodes_[cell].where = Node::kNowhere; }

 private:
  Node* nodes_;
};

// The open list: a min-heap of (f, insertion number) keys, four children per
// entry, with a fixed capacity. Each entry's place is kept in its node's
// `where`. f is never negative, so its bit pattern orders like the number;
// the insertion number makes every key distinct, so the order of removal does
// not depend on the heap's shape. When the insertion numbers run out the open
// entries are renumbered in their order.
class FixedDeque {
 public:
  struct Entry {
    uint64_t key;  // f's bits << 32 | insertion number
    uint32_t cell;
  };
  static constexpr uint32_t kArity = 4;
  // Entries to allocate before the first, so that the children of every
  // entry share one 64-byte line when the storage begins on a line.
  static constexpr uint32_t kLead = 3;

  // Uses storage for capacity entries (owned by the planner).
  void attach(Entry* storage, uint32_t capacity, Node* nodes) {
    heap_ = storage;
    capacity_ = capacity;
    nodes_ = nodes;
    size_ = 0;
    next_ = 0;
  }
  bool empty() const { return size_ == 0; }
  uint32_t size() const { return size_; }
  uint32_t capacity() const { return capacity_; }
  const Entry* entries() const { return heap_; }

  // False (nothing inserted) when the list is full.
  bool insert(uint32_t cell, float f) {
    if (size_ >= capacity_) return false;
    const uint64_t key = make_key(f);
    sift_up(size_++, Entry{key, cell});
    return true;
  }
  // The open node at `place` gets priority f as a new insertion.
  void reinsert(uint32_t place, float f) {
    const uint32_t cell = heap_[place].cell;
    const Entry e{make_key(f), cell};
    place = nodes_[cell].where;  // a renumbering moves the entries
    if (place > 0 && e.key < heap_[(place - 1) / kArity].key) {
      sift_up(place, e);
    } else {
      sift_down(place, e);
    }
  }
  // Removes and returns the cell of the lowest key (the list is not empty).
  uint32_t pop() {
    const uint32_t cell = heap_[0].cell;
    nodes_[cell].where = Node::kNowhere;
    const Entry last = heap_[--size_];
    if (size_ > 0) sift_down(0, last);
    return cell;
  }
  void clear() {
    for (uint32_t i = 0; i < size_; ++i) nodes_[heap_[i].cell].where = Node::kNowhere;
    size_ = 0;
  }
  // The next insertion number (tests start it near its end).
  void set_next_number(uint32_t n) { next_ = n; }

 private:
  uint64_t make_key(float f) {
    if (next_ == UINT32_MAX) renumber();
    uint32_t bits;
    static_assert(sizeof bits == sizeof f);
    __builtin_memcpy(&bits, &f, sizeof bits);
    return (static_cast<uint64_t>(bits) << 32) | next_++;
  }
  void renumber();
  void sift_up(uint32_t place, Entry e) {
    while (place > 0) {
      const uint32_t up = (place - 1) / kArity;
      if (heap_[up].key <= e.key) break;
      heap_[place] = heap_[up];
      nodes_[heap_[place].cell].where = place;
      place = up;
    }
    heap_[place] = e;
    nodes_[e.cell].where = place;
  }
  void sift_down(uint32_t place, Entry e) {
    const uint32_t n = size_;
    for (;;) {
      const uint64_t first64 = static_cast<uint64_t>(place) * kArity + 1;
      if (first64 >= n) break;
      const uint32_t first = static_cast<uint32_t>(first64);
      uint32_t best = first;
      uint64_t best_key = heap_[first].key;
      if (first + kArity <= n) {
        // All four children: pick the least without branches.
        const uint64_t k0 = best_key, k1 = heap_[first + 1].key;
        const uint64_t k2 = heap_[first + 2].key, k3 = heap_[first + 3].key;
        const uint32_t i01 = k1 < k0 ? 1 : 0, i23 = k3 < k2 ? 3 : 2;
        const uint64_t m01 = k1 < k0 ? k1 : k0, m23 = k3 < k2 ? k3 : k2;
        best = first + (m23 < m01 ? i23 : i01);
        best_key = m23 < m01 ? m23 : m01;
      } else {
        for (uint32_t c = first + 1; c < n; ++c) {
          const uint64_t k = heap_[c].key;
          if (k < best_key) {
            best_key = k;
            best = c;
          }
        }
      }
      if (e.key <= best_key) break;
      heap_[place] = heap_[best];
      nodes_[heap_[place].cell].where = place;
      place = best;
    }
    heap_[place] = e;
    nodes_[e.cell].where = place;
  }

  Entry* heap_ = nullptr;
  Node* nodes_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t size_ = 0;
  uint32_t next_ = 0;
};

// The planner's common state and the life cycle configure -> reset/start ->
// search -> release.
class Planner {
 public:
  Planner() = default;
  Planner(const Planner&) = delete;
  Planner& operator=(const Planner&) = delete;
  virtual ~Planner();

  // Clears the finished flag, the search count and the path end.
  virtual void reset();
  // Runs the search; 1 when it ran.
  virtual int search() = 0;
  // Empties the open list and the closed set, returns the open nodes to the
  // pool count, clears the path end and sets the finished flag.
  virtual void release();

  // Validates the parameters, builds the cost grid and allocates the search's
  // memory. Result:
  enum class Config {
    kOk,
    kRejected,  // start or goal outside, start = goal, no positive cell
    kNoMemory,  // the grid is too large (or the allocation failed)
  };
  Config configure(const PathParams& params);

  bool finished() const { return finished_; }
  bool has_path() const { return path_end_ != Node::kNowhere; }
  // The path's cells from the start to the goal, written as x, y pairs
  // through put(i, x, y); returns the number of cells (0 without a path).
  template <class Put>
  uint32_t trace(Put&& put) const;
  uint32_t path_length() const;

  const PathParams& params() const { return params_; }
  FixedDeque& open_list() { return open_; }
  const NodeFactory& factory() const { return factory_; }

 protected:
  uint32_t cell_of(int32_t x, int32_t y) const {
    return static_cast<uint32_t>(y + 1) * stride_ + static_cast<uint32_t>(x + 1);
  }
  void cell_xy(uint32_t cell, int32_t& x, int32_t& y) const {
    y = static_cast<int32_t>(cell / stride_) - 1;
    x = static_cast<int32_t>(cell % stride_) - 1;
  }

  bool finished_ = true;
  NodeFactory factory_;
  PathParams params_;
  uint32_t searches_ = 0;
  FixedDeque open_;
  NodeHashTable closed_;
  uint32_t path_end_ = Node::kNowhere;
  // Storage: the cell records (border included) and the open list.
  std::unique_ptr<Node[]> nodes_;
  struct AlignedFree {
    void operator()(FixedDeque::Entry* p) const;
  };
  std::unique_ptr<FixedDeque::Entry[], AlignedFree> entries_;  // kLead entries, then the list
  size_t node_count_ = 0;
  size_t entry_count_ = 0;
  uint32_t stride_ = 0;  // width + 2
  uint32_t cells_ = 0;  // (width + 2) x (height + 2)
  bool dirty_ = false;  // cell records hold a finished search's states
  bool ready_ = false;  // configured: storage and cost grid in place
};

class AStarPlanner final : public Planner {
 public:
  // The start: reset, then the start node (g = 0) into the open list.
  void reset() override { start(); }
  void start();
  int search() override;

 private:
  template <bool kDiagonal>
  void run();
};

template <class Put>
uint32_t Planner::trace(Put&& put) const {
  const uint32_t n = path_length();
  uint32_t cell = path_end_;
  for (uint32_t i = n; i-- > 0;) {
    int32_t x, y;
    cell_xy(cell, x, y);
    put(i, x, y);
    cell = nodes_[cell].parent;
  }
  return n;
}

}  // namespace tmx::path
