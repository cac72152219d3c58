// The JPEG reader on arbitrary bytes: every error must come back to the
// caller, never end the process.
#include <cstddef>
#include <cstdint>

#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer image;
  gfx_decode_jpeg(image, data, size);
  return 0;
}
