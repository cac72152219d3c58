// Internal state and operations of the 2-D graphics context.
#pragma once

#define GL_GLEXT_PROTOTYPES 0
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gfx/screenshot.h"

// ------------------------------------------------------------ GL entry points
struct GlExtProcs {
  PFNGLACTIVETEXTUREARBPROC ActiveTextureARB = nullptr;
  PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB = nullptr;
  PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB = nullptr;
  PFNGLGENBUFFERSARBPROC GenBuffersARB = nullptr;
  PFNGLBINDBUFFERARBPROC BindBufferARB = nullptr;
  PFNGLBUFFERDATAARBPROC BufferDataARB = nullptr;
  PFNGLDELETEBUFFERSARBPROC DeleteBuffersARB = nullptr;
  PFNGLMAPBUFFERARBPROC MapBufferARB = nullptr;
  PFNGLUNMAPBUFFERARBPROC UnmapBufferARB = nullptr;
  PFNGLGETBUFFERPARAMETERIVARBPROC GetBufferParameterivARB = nullptr;

  PFNGLGENFRAMEBUFFERSEXTPROC GenFramebuffersEXT = nullptr;
  PFNGLDELETEFRAMEBUFFERSEXTPROC DeleteFramebuffersEXT = nullptr;
  PFNGLBINDFRAMEBUFFEREXTPROC BindFramebufferEXT = nullptr;
  PFNGLGENRENDERBUFFERSEXTPROC GenRenderbuffersEXT = nullptr;
  PFNGLDELETERENDERBUFFERSEXTPROC DeleteRenderbuffersEXT = nullptr;
  PFNGLBINDRENDERBUFFEREXTPROC BindRenderbufferEXT = nullptr;
  PFNGLFRAMEBUFFERTEXTURE2DEXTPROC FramebufferTexture2DEXT = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC FramebufferRenderbufferEXT = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC CheckFramebufferStatusEXT = nullptr;
  PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC GetFramebufferAttachmentParameterivEXT = nullptr;
  PFNGLRENDERBUFFERSTORAGEEXTPROC RenderbufferStorageEXT = nullptr;
};
extern GlExtProcs g_glx;

// Looks up the multitexture / buffer-object group (when the extension string
// names it). Missing names are logged.
void gfx_load_gl_extensions();
// Looks up the framebuffer-object functions and sets the FBO-available flag.
void gfx_init_fbo();
// BGRA flag and texture size limit.
void gfx_record_gl_caps();

// ------------------------------------------------------------------ records
constexpr int kSlotCount = 65537;
constexpr int kScratchSlot = 65503;
constexpr int kFontSlotBase = 65504;
constexpr int kFontCount = 32;
constexpr int kScreenCount = 32;
constexpr int kBackgroundCount = 8;

struct SpriteSlot {
  uint32_t texture;
  uint32_t mipmapTexture;
  float sExtent;
  float tExtent;
  int16_t textureWidth;
  int16_t textureHeight;
  int16_t width;
  int16_t height;
  int16_t frameWidth;
  int16_t frameHeight;
};

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

struct GlyphRecord {
  uint8_t left;
  uint8_t width;
  float s0;
  float s1;
};

struct ScreenRecord {
  uint32_t framebuffer = 0;
  uint32_t depthBuffer = 0;
  int32_t previousBinding = -1;
  int32_t width = 0;
  int32_t height = 0;
  int32_t slot = -1;
};

struct BackgroundImage {
  uint32_t tiles[64];
  int16_t tileTexWidth[64];
  int16_t tileTexHeight[64];
  int16_t tileWidth[64];
  int16_t tileHeight[64];
  uint8_t columns;
  uint8_t rows;
};

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

struct OpenGLZadodare {
  OpenGLZadodare();
  ~OpenGLZadodare();

  // ---- texture store
  std::vector<SpriteSlot> slots;            // kSlotCount entries
  std::vector<uint8_t*> collisionMasks;     // kSlotCount pointers
  // Last texture parameters set on a slot's texture (filter and wrap), so that
  // drawing does not repeat them; 0xFF = unknown.
  std::vector<uint8_t> texParams;
  int32_t spriteKey = 0x8000FF;
  int32_t fontKey = 0;
  bool bgra = false;
  int32_t maxTextureSize = 0;

  // ---- drawing state
  bool smoothing = true;
  float globalAlpha = 1.0f;
  float alphaTestRef = 1.0f;
  int32_t boundSlot = -1;
  int32_t boundSecondSlot = -1;
  bool boundMipmap = false;

  // ---- fonts
  GlyphRecord glyphs[kFontCount][256];
  float fontScale[kFontCount];
  int32_t currentFont = 0;
  VertexArray<TextVertex> textVerts;

  // ---- surfaces, viewport, frame clear
  ScreenRecord screens[kScreenCount];
  int32_t currentScreen = -1;
  int32_t orientation = 0;
  int32_t vpX = 0, vpY = 0, vpW = 0, vpH = 0;
  int32_t windowWidth = 0, windowHeight = 0;
  bool clearColourFlag = false;
  bool depthClearRequest = true;
  float clearColour[4] = {0, 0, 0, 1};
  BackgroundImage backgrounds[kBackgroundCount];
  // Fallback path of surfaces (no framebuffer objects).
  int32_t savedOrientation = 0;
  int32_t fallbackScreen = -1;
  std::vector<uint8_t> readBuffer;  // reused by gfx_grab_sprite
};

extern OpenGLZadodare* g_gfx;

// Program-wide (outlive a context).
extern bool g_fbo_available;
extern VertexArray<PolyVertex> g_poly;
struct PolyState {
  int32_t mode = 0;
  float invTexWidth = 1.0f;
  float invTexHeight = 1.0f;
  bool colourArray = false;
  bool stripJoin = false;
};
extern PolyState g_poly_state;
extern int32_t g_last_bound_slot;

// ------------------------------------------------------------ file access
// Reads a whole file (disk, or a "mem://" block) into out; false when the
// name is empty or the file cannot be read.
bool gfx_read_file(const char* name, std::vector<uint8_t>& out);
// Media lookup; out receives the name to open. False: not found.
bool gfx_resolve_media(const char* name, std::string& out);
bool gfx_is_memory_name(const char* name);
// Reads an image file by its content: the BMP reader, then the PNG reader
// (both with the colour key), then, when jpeg is set and the file is not a
// memory file, the JPEG reader. False when none of them accepts it.
bool read_image_file(ImageBuffer& image, const char* name, int32_t key, bool jpeg);

// ------------------------------------------------------------ texture store
bool valid_slot(int slot);
void free_sprite_slot(int slot);
void free_collision_mask(int slot);
bool load_sprite_file(int slot, const char* name, int32_t key, bool normalMap);
bool upload_sprite(int slot, ImageBuffer& image, bool normalMap);
bool upload_texture_region(const ImageBuffer& image, int x0, int y0, int w, int h, uint32_t* texName,
                           uint32_t* mipName, bool normalMap, bool nearest);
bool read_bmp(ImageBuffer& image, const char* name, int32_t key);
bool read_png(ImageBuffer& image, const char* name, int32_t key);
bool read_jpeg(ImageBuffer& image, const char* name);
// Same readers on bytes already in memory.
bool decode_bmp(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key);
bool decode_png(ImageBuffer& image, const uint8_t* data, size_t size, int32_t key, const char* name);
bool decode_jpeg(ImageBuffer& image, const uint8_t* data, size_t size);
void bleed_transparent_colours(ImageBuffer& image);
int pow2_at_least(int v, int minimum);
// Internal slot loader taking a plain name (the commands wrap it).
void gfx_load_sprite_named(const char* name, int slot);

// ------------------------------------------------------------ drawing state
void state_enable(GLenum cap);
void state_disable(GLenum cap);
void state_cache_invalidate();
void set_colour_rgba(float r, float g, float b, float a);
void colour_cache_invalidate();
void bind_sprite_texture(int slot, int second = -1, bool mipmap = false, const uint32_t* table = nullptr);
// Filtering of the bound slot's texture by the smoothing flag.
void apply_sprite_filter();
void set_bound_filter(bool linear);
struct QuadVertex {
  float x, y, s, t;
};
void draw_textured_quad(const QuadVertex v[4]);
// One quad in immediate mode (texture coordinates when tex).
void emit_quad(const QuadVertex v[4], bool tex);
void reset_2d_state();
// Forget what is known about GL bindings (after foreign GL code ran).
void gl_binding_cache_invalidate();
// The texture of a slot was (re)created or deleted.
void texture_params_forget(int slot);
// Client arrays switched through a small cache.
void client_arrays(bool vertex, bool texcoord, bool colour);
void gfx_begin_frame_blend();
void colour_to_rgb(int colour, float& r, float& g, float& b);
// Pixel transfers of tightly packed RGBA rows: alignment 4, no row length, no
// skipped rows or pixels, whatever code outside the 2-D drawing left there
// (a skip would move the transfer past the end of the engine's buffers).
void pixel_pack_defaults();
void pixel_unpack_defaults();

// ------------------------------------------------------------ fonts and text
bool install_builtin_font(int slot);
bool load_font_file(int slot, const char* name);
void draw_text(int font, const char* text, float x, float y, float z, bool kerning, bool useScale);
void gfx_load_font_named(const char* name, int slot);

// ------------------------------------------------------------ surfaces, viewport, backgrounds
void set_viewport(int x, int y, int w, int h);
void end_screen_drawing();
void clear_frame();
bool create_framebuffer(ScreenRecord& rec, int w, int h, uint32_t texture, bool withDepth);
void destroy_framebuffer(ScreenRecord& rec);
bool read_sprite_pixels(int slot, ImageBuffer& image);
void free_background(int b);
void draw_background(int b);
// Background image b from a picture (tiles of at most 512 x 512, 8 x 8 at most).
void fill_background(int b, const ImageBuffer& img);
// Background image b from the window's back buffer; false when it cannot be read.
bool gfx_capture_background(int b);
bool save_textures();
bool restore_textures();
const std::string& swap_file_name();
void gfx_window_size_changed(int w, int h);
void gfx_load_background_named(const char* name);
void gfx_load_sprite_c(const char* name, int slot);
void gfx_load_anim_c(const char* name, int slot, int frame_width, int frame_height);
void gfx_load_bump_texture_c(const char* name, int slot);
int gfx_mem_to_sprite_raw(const int32_t* pixels, int count, int slot, int width, int height);
void gfx_print_c(const char* text, double x, double y, int kerning);
int gfx_text_width_c(const char* text, int kerning);

// Context lifetime (the runtime's hooks; tests call them directly).
void gfx_context_create();
void gfx_context_destroy();
// GL-side set-up for the current GL context: extensions, capabilities,
// framebuffer objects, 2-D state. Tests call this after making a context.
void gfx_gl_setup(int windowWidth, int windowHeight);
// Frees every slot's textures and the background tiles.
void gfx_release_window_textures();

// Screenshots (gfx/screenshot.h) and the frame capture behind them.
void gfx_capture_frame();
// Frees the kept frame's texture (captures stay on): its GL context is about
// to go, and the next capture makes a new one.
void gfx_drop_captured_frame();
// Reads the window's front (presented) or back buffer, rows top-down RGBA.
bool gfx_read_window_pixels(bool front, int& w, int& h, std::vector<uint8_t>& rgba);
// Writes RGBA pixels (rows top-down) as a PNG file.
bool write_png_file(const char* path, int w, int h, const uint8_t* rgba);
