// rt_find_path: the command over AStarPlanner.
#include <cstdint>
#include <type_traits>

#include "path/planner.h"
#include "tamblix/errors.h"
#include "tamblix/path.h"

using namespace tmx::path;

namespace {

// A map the search cannot take: error 7 and a log line.
void refuse_map(const char* why) {
  sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
  log_append(why);
}

template <class T>
int find_path(BasicArray<T>& map, BasicArray<T>& path, double weight, int start_x, int start_y,
              int goal_x, int goal_y, bool empty_on_reject) {
  auto reject = [&] {
    if (empty_on_reject) arr_dim(path, 0);
    return 0;
  };
  // The grid is the map's first two dimensions. Its first index varies
  // fastest, so the w x h cells with any further indices 0 are the first
  // w x h elements: a 3-D or 4-D map is searched over that first layer.
  // A 1-D map (second dimension 0) is a grid of height 0, an empty map one of
  // width 0: no start or goal lies inside it, so it fails like any other map
  // the search cannot begin on, without an error code; the log line tells an
  // author why.
  const int32_t w = map.dim0(), h = map.dim1();
  if (w <= 0 || h <= 0) log_append("rt_find_path: the map has no cells (its first or second dimension is 0)\n");

  PathParams params;
  params.start_x = start_x;
  params.start_y = start_y;
  params.goal_x = goal_x;
  params.goal_y = goal_y;
  params.diagonal_cost = 1;
  params.diagonal_moves = 0;
  params.pool_size = 0;
  params.open_capacity = 0;
  params.closed_exponent = 8;
  params.weight = static_cast<float>(weight > 0 ? (weight < 1 ? weight : 1.0) : 0.0);
  params.width = w;
  params.height = h;
  if constexpr (std::is_same_v<T, double>) {
    params.map = map.data();
  } else {
    params.map_int = map.data();
  }

  AStarPlanner planner;
  switch (planner.configure(params)) {
    case Planner::Config::kOk: break;
    case Planner::Config::kRejected: return reject();
    case Planner::Config::kNoMemory:
      refuse_map("rt_find_path: the map is too large\n");
      return reject();
  }
  planner.start();
  planner.search();

  const uint32_t n = planner.path_length();
  if (n > INT32_MAX / 2) refuse_map("rt_find_path: the path is too long for an array\n");
  if (n == 0 || n > INT32_MAX / 2) {
    arr_dim(path, 0);
    planner.release();
    return 0;
  }
  arr_dim(path, static_cast<int32_t>(n), 2);
  T* out = path.data();
  planner.trace([&](uint32_t i, int32_t x, int32_t y) {
    out[i] = static_cast<T>(x);
    out[i + n] = static_cast<T>(y);
  });
  planner.release();
  return static_cast<int>(n);
}

}  // namespace

int rt_find_path(BasicArray<double>& map, BasicArray<double>& path, double weight, int start_x,
                 int start_y, int goal_x, int goal_y) {
  return find_path(map, path, weight, start_x, start_y, goal_x, goal_y, true);
}

int rt_find_path(BasicArray<int32_t>& map, BasicArray<int32_t>& path, double weight, int start_x,
                 int start_y, int goal_x, int goal_y) {
  return find_path(map, path, weight, start_x, start_y, goal_x, goal_y, false);
}
