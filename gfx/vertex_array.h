// Vertex layouts of the polygon batch and the text buffer, and the growable
// array holding them.
#pragma once

#include <cstdint>

// Vertex of the polygon batch.
struct PolyVertex {
  float x, y, s, t;
  uint8_t r, g, b, a;
};
static_assert(sizeof(PolyVertex) == 20);

// Vertex of the text buffer.
struct TextVertex {
  float x, y, z, s, t;
};
static_assert(sizeof(TextVertex) == 20);

// Growable vertex array shared by the polygon batch and the text buffer:
// grows to the reserve first, then in whole growth steps; never shrinks.
template <class V>
struct VertexArray {
  V* data = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t growthStep = 128;
  int32_t reserve = 512;
  // False (and the array freed, emptied) when the allocation fails.
  bool grow(int32_t n);
  ~VertexArray() { delete[] data; }
};
