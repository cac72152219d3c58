// Little-endian fields appended to a byte vector, for building image files in
// the graphics tests.
#pragma once

#include <cstdint>
#include <vector>

namespace gfxtest {

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

inline void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}

}  // namespace gfxtest
