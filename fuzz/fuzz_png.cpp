// The PNG reader on arbitrary bytes, without and with a colour key.
#include <cstddef>
#include <cstdint>

#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer image;
  if (gfx_decode_png(image, data, size, -1, "fuzz.png")) gfx_bleed_transparent_colours(image);
  ImageBuffer keyed;
  gfx_decode_png(keyed, data, size, 0, "fuzz.png");
  return 0;
}
