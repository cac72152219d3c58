// The BMP reader on arbitrary bytes, without and with a colour key, and the
// colour bleeding that follows a decode in the sprite loader.
#include <cstddef>
#include <cstdint>

#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer image;
  if (gfx_decode_bmp(image, data, size, -1)) gfx_bleed_transparent_colours(image);
  ImageBuffer keyed;
  if (gfx_decode_bmp(keyed, data, size, 0)) gfx_bleed_transparent_colours(keyed);
  return 0;
}
