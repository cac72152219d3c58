// The polygon batch of the primitives (program-wide, outlives a context), and
// the mapping of logical pixels to window pixels.
#pragma once

#include <cstdint>

#include "gfx/vertex_array.h"

extern VertexArray<PolyVertex> g_poly;
struct PolyState {
  int32_t mode = 0;
  float invTexWidth = 1.0f;
  float invTexHeight = 1.0f;
  bool colourArray = false;
  bool stripJoin = false;
};
extern PolyState g_poly_state;

// Where logical pixel (x, y) of the window lies in GL window coordinates
// (origin bottom-left) under the current orientation.
void gfx_logical_to_window_pixel(int x, int y, int& wx, int& wy);
