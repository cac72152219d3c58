// Image decoding on bytes in memory (BMP, PNG, JPEG) into RGBA pixel buffers.
// No GL: the decoder tests link this alone.
#pragma once

#include <cstddef>
#include <cstdint>

struct ImageBuffer {
  bool hasOwnAlpha = true;
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* pixels = nullptr;
  int32_t capacity = 0;

  ImageBuffer() = default;
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;
  ~ImageBuffer() { clear(); }
  // Frees the pixels; hasOwnAlpha true, size 0.
  void clear();
  // Makes room for w x h pixels (reusing the array when it is large enough).
  // Refuses sizes that are not positive or larger than the image limits.
  bool resize(int32_t w, int32_t h);
};

// Largest side and pixel count an image may have (sprite fields are 16-bit).
constexpr int32_t kMaxImageSide = 32767;
constexpr int64_t kMaxImagePixels = int64_t(1) << 25;

bool gfx_decode_bmp(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key);
bool gfx_decode_png(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key, const char* name);
bool gfx_decode_jpeg(ImageBuffer& image, const uint8_t* data, size_t size);
void gfx_bleed_transparent_colours(ImageBuffer& image);
