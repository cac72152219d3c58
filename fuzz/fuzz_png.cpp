// The PNG reader on arbitrary bytes, without and with a colour key.
#include <cstddef>
#include <cstdint>

#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer image;
  if (decode_png(image, data, size, -1, "fuzz.png")) bleed_transparent_colours(image);
  ImageBuffer keyed;
  decode_png(keyed, data, size, 0, "fuzz.png");
  return 0;
}
