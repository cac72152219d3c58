// Grid path-finding.
//
// rt_find_path searches a map of cell values (first index x, second index y)
// from the start cell to the goal cell and fills path with the cells of the
// path found: path becomes n x 2, element (i, 0) the x and (i, 1) the y of
// the i-th cell, from the start (i = 0) to the goal (i = n - 1). It
// returns n. A map of three or four dimensions is searched over its first
// two: the cells whose further indices are all 0.
//
// A cell value v <= 0 is a wall; any other cell costs v / m + 1 to enter,
// where m is the largest value of the map (so between 1 and 2). Moves go to
// the four neighbours. The weight (clamped to 0..1) blends the cost travelled
// and the Manhattan distance still to go: 0 gives a path of least cost, 1 a
// greedy search towards the goal, values between (1 - weight) x cost +
// weight x distance.
//
// Results of 0:
//  - the start or the goal outside the map, start equal to goal, a map
//    without any positive cell, an empty or one-dimensional map (its first
//    or second dimension is 0, so no cell is inside it; a log line says so):
//    the real variant empties path, the integer variant leaves it as it was;
//    the error code is not changed;
//  - no path (the goal walled or cut off): path is emptied;
//  - a map too large for the search's memory: error 7 ("out of memory") is
//    raised and logged, and path is treated as in the first case.
#pragma once
#include <cstdint>

#include "tamblix/array.h"

int rt_find_path(BasicArray<double>& map, BasicArray<double>& path, double weight, int start_x,
                 int start_y, int goal_x, int goal_y);
int rt_find_path(BasicArray<int32_t>& map, BasicArray<int32_t>& path, double weight, int start_x,
                 int start_y, int goal_x, int goal_y);
