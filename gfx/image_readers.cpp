// Image readers: BMP (own reader), PNG (libpng) and JPEG (libjpeg), each
// producing a top-down RGBA ImageBuffer, plus the bleeding of transparent
// colours.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>

#include "gfx/image_decode.h"
#include "tamblix/errors.h"

// ------------------------------------------------------------ ImageBuffer

void ImageBuffer::clear() {
  std::free(pixels);
  pixels = nullptr;
  capacity = 0;
  width = height = 0;
  hasOwnAlpha = true;
}

bool ImageBuffer::resize(int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide) return false;
  int64_t pixelsCount = int64_t(w) * h;
  if (pixelsCount > kMaxImagePixels) return false;
  int32_t bytes = int32_t(pixelsCount * 4);
  if (!pixels || capacity < bytes) {
    std::free(pixels);
    pixels = static_cast<uint8_t*>(std::malloc(size_t(bytes)));
    capacity = pixels ? bytes : 0;
    if (!pixels) {
      width = height = 0;
      return false;
    }
  }
  width = w;
  height = h;
  return true;
}

// ------------------------------------------------------------ bleeding

void gfx_bleed_transparent_colours(ImageBuffer& img) {
  const int w = img.width, h = img.height;
  uint8_t* p = img.pixels;
  if (!p) return;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* px = p + (size_t(y) * w + x) * 4;
      if (px[3] != 0) continue;
      int sr = 0, sg = 0, sb = 0, n = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        int ny = y + dy;
        if (ny < 1 || ny > h - 2) continue;
        for (int dx = -1; dx <= 1; ++dx) {
          if (!dx && !dy) continue;
          int nx = x + dx;
          if (nx < 1 || nx > w - 2) continue;
          const uint8_t* q = p + (size_t(ny) * w + nx) * 4;
          if (q[3] == 0) continue;
          sr += q[0];
          sg += q[1];
          sb += q[2];
          ++n;
        }
      }
      if (n) {
        px[0] = uint8_t(sr / n);
        px[1] = uint8_t(sg / n);
        px[2] = uint8_t(sb / n);
      } else {
        px[0] = px[1] = px[2] = 0;
      }
    }
  }
}

// ------------------------------------------------------------ helpers

namespace {

inline void apply_key(uint8_t* px, int32_t key) {
  if (key == -1) return;
  int32_t c = px[0] + 256 * px[1] + 65536 * px[2];
  if (c == key) px[0] = px[1] = px[2] = px[3] = 0;
}

inline uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Shift and width of a contiguous colour mask; width 0 for an empty mask.
void mask_shape(uint32_t mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (!mask) return;
  while (!(mask & 1u)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1u) {
    mask >>= 1;
    ++bits;
  }
}

inline uint8_t mask_value(uint32_t v, uint32_t mask, int shift, int bits) {
  if (!bits) return 0;
  uint32_t c = (v & mask) >> shift;
  uint32_t maxv = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  return uint8_t(uint64_t(c) * 255 / maxv);
}

// One decoded row of w pixels with 1 (grey), 3 (RGB) or 4 (RGBA) bytes each
// into RGBA; the colour key applies to RGB pixels only.
void expand_row_to_rgba(const uint8_t* in, uint8_t* out, uint32_t w, int channels, int32_t key) {
  for (uint32_t x = 0; x < w; ++x, out += 4) {
    if (channels == 1) {
      out[0] = out[1] = out[2] = in[x];
      out[3] = 255;
    } else if (channels == 3) {
      out[0] = in[3 * x];
      out[1] = in[3 * x + 1];
      out[2] = in[3 * x + 2];
      out[3] = 255;
      apply_key(out, key);
    } else {
      std::memcpy(out, in + 4 * x, 4);
    }
  }
}

}  // namespace

// ------------------------------------------------------------ BMP

// Returns false for anything that is not a BMP this reader can decode; never
// reads outside [data, data + size).
bool gfx_decode_bmp(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return false;
  if (size < 18) {
    image.clear();
    return false;
  }
  const uint32_t dataOffset = le32(data + 10);
  const uint32_t headerSize = le32(data + 14);
  int64_t width, height;
  int bitCount;
  uint32_t compression = 0;
  bool core = headerSize == 12;
  size_t headerEnd;
  if (core) {
    if (size < 14 + 12) return image.clear(), false;
    width = le16(data + 18);
    height = le16(data + 20);
    bitCount = int(le16(data + 24));
    headerEnd = 26;
  } else {
    if (headerSize < 40 || size < 14 + 40) return image.clear(), false;
    width = int32_t(le32(data + 18));
    height = int32_t(le32(data + 22));
    bitCount = int(le16(data + 28));
    compression = le32(data + 30);
    headerEnd = 14 + size_t(headerSize);
    if (headerEnd > size) return image.clear(), false;
  }
  bool topDown = false;
  if (height < 0) {
    topDown = true;
    height = -height;
  }
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return image.clear(), false;
  // Run-length, embedded JPEG/PNG and other compressed forms are refused; bit
  // fields (3, and 6 with alpha) are honoured for 16- and 32-bit pixels.
  bool bitfields = false;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitCount == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
  if (compression == 3 || compression == 6) {
    if (bitCount != 16 && bitCount != 32) return image.clear(), false;
    bitfields = true;
    if (headerSize >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = le32(data + 14 + 40 + 4 * i);
    } else {
      if (headerEnd + 12 > size) return image.clear(), false;
      for (int i = 0; i < 3; ++i) masks[i] = le32(data + headerEnd + 4 * i);
      headerEnd += 12;
    }
  } else if (compression != 0) {
    return image.clear(), false;
  }
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels)
    return image.clear(), false;

  // Palette: the entries between the end of the header and the pixel data.
  uint8_t palette[256][3];
  std::memset(palette, 0, sizeof palette);
  int paletteEntries = 0;
  if (bitCount <= 8) {
    size_t entrySize = core ? 3 : 4;
    size_t end = dataOffset >= headerEnd ? size_t(dataOffset) : headerEnd;
    if (end > size) end = size;
    size_t avail = end > headerEnd ? (end - headerEnd) / entrySize : 0;
    size_t maxEntries = size_t(1) << bitCount;
    if (avail > maxEntries) avail = maxEntries;
    paletteEntries = int(avail);
    for (int i = 0; i < paletteEntries; ++i) {
      const uint8_t* e = data + headerEnd + size_t(i) * entrySize;
      palette[i][0] = e[2];
      palette[i][1] = e[1];
      palette[i][2] = e[0];
    }
  }

  // Pixel data starts at the data offset, which must lie past the header.
  if (dataOffset < headerEnd || dataOffset > size) return image.clear(), false;
  const uint64_t stride = ((uint64_t(bitCount) * uint64_t(width) + 31) / 32) * 4;
  if (stride * uint64_t(height) > size - dataOffset) return image.clear(), false;
  if (!image.resize(int32_t(width), int32_t(height))) return image.clear(), false;

  int shifts[3], bits[3];
  for (int i = 0; i < 3; ++i) mask_shape(masks[i], shifts[i], bits[i]);

  const int w = int(width), h = int(height);
  for (int y = 0; y < h; ++y) {
    int fileRow = topDown ? y : h - 1 - y;
    const uint8_t* row = data + dataOffset + stride * uint64_t(fileRow);
    uint8_t* out = image.pixels + size_t(y) * w * 4;
    for (int x = 0; x < w; ++x, out += 4) {
      out[3] = 255;
      int index = -1;
      switch (bitCount) {
        case 1: index = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
        case 4: index = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4); break;
        case 8: index = row[x]; break;
        case 16: {
          uint32_t v = le16(row + 2 * x);
          if (bitfields) {
            for (int c = 0; c < 3; ++c) out[c] = mask_value(v, masks[c], shifts[c], bits[c]);
          } else {
            out[0] = uint8_t(((v >> 10) & 31) * 255 / 31);
            out[1] = uint8_t(((v >> 5) & 31) * 255 / 31);
            out[2] = uint8_t((v & 31) * 255 / 31);
          }
          break;
        }
        case 24:
          out[0] = row[3 * x + 2];
          out[1] = row[3 * x + 1];
          out[2] = row[3 * x];
          break;
        case 32:
          if (bitfields) {
            uint32_t v = le32(row + 4 * x);
            for (int c = 0; c < 3; ++c) out[c] = mask_value(v, masks[c], shifts[c], bits[c]);
          } else {
            out[0] = row[4 * x + 2];
            out[1] = row[4 * x + 1];
            out[2] = row[4 * x];
          }
          break;
      }
      if (index >= 0) {
        // Indices past the stored palette read as black.
        if (index < paletteEntries) {
          out[0] = palette[index][0];
          out[1] = palette[index][1];
          out[2] = palette[index][2];
        } else {
          out[0] = out[1] = out[2] = 0;
        }
      }
      apply_key(out, key);
    }
  }
  image.hasOwnAlpha = false;
  return true;
}

// ------------------------------------------------------------ PNG

namespace {

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool failed;
  jmp_buf jump;
};

void png_read_cb(png_structp png, png_bytep out, png_size_t n) {
  auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
  if (n > src->size - src->pos) {
    png_error(png, "read past the end of the file");
  }
  std::memcpy(out, src->data + src->pos, n);
  src->pos += n;
}

void png_error_cb(png_structp png, png_const_charp) {
  auto* src = static_cast<PngSource*>(png_get_error_ptr(png));
  src->failed = true;
  longjmp(src->jump, 1);
}

void png_warning_cb(png_structp, png_const_charp) {}

}  // namespace

namespace {

// Walks the chunk lengths up to IEND: a chunk that claims more bytes than the
// file holds marks a cut or damaged file, refused before libpng would
// allocate what the length asks for. That includes the last chunk of a file
// cut inside a chunk (fewer than 12 bytes left): libpng reads its length and
// type and, for some chunks (eXIf), allocates the length before reading on.
bool png_chunks_fit(const uint8_t* data, size_t size) {
  size_t pos = 8;
  while (pos + 8 <= size) {
    const uint32_t len = uint32_t(data[pos]) << 24 | uint32_t(data[pos + 1]) << 16 | uint32_t(data[pos + 2]) << 8 |
                         uint32_t(data[pos + 3]);
    if (len > 0x7FFFFFFFu || len > size - pos - 8) return false;
    if (pos + 12 > size) return true;  // a cut last chunk whose data fit: libpng finds the cut
    if (len > size - pos - 12) return false;
    if (std::memcmp(data + pos + 4, "IEND", 4) == 0) return true;
    pos += 12 + size_t(len);
  }
  // A file cut between chunks is left to libpng (it needs no IEND).
  return true;
}

}  // namespace

bool gfx_decode_png(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key, const char* name) {
  if (size < 4 || data[1] != 'P' || data[2] != 'N' || data[3] != 'G') return false;
  if (!png_chunks_fit(data, size)) {
    image.clear();
    return false;
  }
  PngSource src{data, size, 0, false, {}};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &src, png_error_cb, png_warning_cb);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  // Volatile: live across the longjmp of the error callback.
  uint8_t* volatile block = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(src.jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(block);
    std::free(rows);
    image.clear();
    return false;
  }
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  // Decompressed text and profile chunks are capped too.
  png_set_chunk_malloc_max(png, 16u << 20);
  png_set_read_fn(png, &src, png_read_cb);
  png_read_info(png, info);
  if (src.failed) longjmp(src.jump, 1);

  png_uint_32 w = 0, h = 0;
  int bitDepth = 0, colourType = 0;
  png_get_IHDR(png, info, &w, &h, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if (bitDepth < 8) png_set_packing(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (src.failed) longjmp(src.jump, 1);

  png_get_IHDR(png, info, &w, &h, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  const int channels = png_get_channels(png, info);
  if (channels != 1 && channels != 3 && channels != 4) longjmp(src.jump, 1);
  if (bitDepth != 8) {
    std::printf("File %s has bit depth %d.\n", name ? name : "", bitDepth);
    std::puts("Only bit depth of 8 is supported.");
    longjmp(src.jump, 1);
  }
  if (colourType != PNG_COLOR_TYPE_GRAY && colourType != PNG_COLOR_TYPE_RGB &&
      colourType != PNG_COLOR_TYPE_RGB_ALPHA) {
    std::printf("File %s has unsupported color type.\n", name ? name : "");
    std::puts("Types GRAY, RGB and RGB_ALPHA are supported.");
    longjmp(src.jump, 1);
  }
  if (w == 0 || h == 0 || w > uint32_t(kMaxImageSide) || h > uint32_t(kMaxImageSide) ||
      int64_t(w) * h > kMaxImagePixels)
    longjmp(src.jump, 1);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (rowBytes < size_t(w) * channels) longjmp(src.jump, 1);
  block = static_cast<uint8_t*>(std::malloc(rowBytes * h));
  rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * h));
  if (!block || !rows) longjmp(src.jump, 1);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = block + rowBytes * y;
  png_read_image(png, rows);
  if (src.failed) longjmp(src.jump, 1);
  if (!image.resize(int32_t(w), int32_t(h))) longjmp(src.jump, 1);

  for (png_uint_32 y = 0; y < h; ++y) expand_row_to_rgba(rows[y], image.pixels + size_t(y) * w * 4, w, channels, key);
  image.hasOwnAlpha = channels == 4;
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(block);
  std::free(rows);
  return true;
}

// ------------------------------------------------------------ JPEG

namespace {

// An error manager that returns to the reader instead of ending the process.
struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void jpeg_error_exit_cb(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  longjmp(err->jump, 1);
}

// Progressive files of real pictures have about a dozen scans; a file with
// thousands of tiny scans would keep the decoder busy over the whole image
// again for each of them.
constexpr int kMaxJpegScans = 1000;

void jpeg_progress_cb(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) jpeg_error_exit_cb(cinfo);
}

void jpeg_output_message_cb(j_common_ptr) {}

}  // namespace

bool gfx_decode_jpeg(ImageBuffer& image, const uint8_t* data, size_t size) {
  if (size < 2) return false;
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpeg_error_exit_cb;
  err.mgr.output_message = jpeg_output_message_cb;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = jpeg_progress_cb;
  uint8_t* volatile block = nullptr;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(block);
    image.clear();
    return false;
  }
  jpeg_create_decompress(&cinfo);
  // Set after the creation, which clears the structure.
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.do_fancy_upsampling = FALSE;
  if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > uint32_t(kMaxImageSide) ||
      cinfo.image_height > uint32_t(kMaxImageSide) ||
      int64_t(cinfo.image_width) * cinfo.image_height > kMaxImagePixels)
    longjmp(err.jump, 1);
  jpeg_start_decompress(&cinfo);
  const int comps = cinfo.output_components;
  const uint32_t w = cinfo.output_width, h = cinfo.output_height;
  if (comps != 1 && comps != 3 && comps != 4) {
    char line[64];
    std::snprintf(line, sizeof line, "JPEG: Channels: %d not supported!\n", comps);
    log_append(line);
    longjmp(err.jump, 1);
  }
  if (w == 0 || h == 0 || w > uint32_t(kMaxImageSide) || h > uint32_t(kMaxImageSide)) longjmp(err.jump, 1);
  const size_t rowBytes = size_t(w) * comps;
  block = static_cast<uint8_t*>(std::malloc(rowBytes * h));
  if (!block) longjmp(err.jump, 1);
  while (cinfo.output_scanline < h) {
    JSAMPROW row = block + rowBytes * cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) longjmp(err.jump, 1);
  }
  jpeg_finish_decompress(&cinfo);
  if (!image.resize(int32_t(w), int32_t(h))) longjmp(err.jump, 1);
  // No colour key for JPEG pictures.
  for (uint32_t y = 0; y < h; ++y) expand_row_to_rgba(block + rowBytes * y, image.pixels + size_t(y) * w * 4, w, comps, -1);
  image.hasOwnAlpha = comps == 4;
  jpeg_destroy_decompress(&cinfo);
  std::free(block);
  return true;
}
