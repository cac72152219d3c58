// The graphics context record: sprite slots, fonts, surfaces, viewport and
// backgrounds of one window, and its lifetime.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/vertex_array.h"

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
  // The slot gets a mipmap texture, built from its texture when a draw first
  // asks for it (mipmapTexture stays 0 until then).
  bool mipmapPending;
};

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

// Context lifetime (the engine's start-up and teardown; tests call them directly).
void gfx_context_create();
void gfx_context_destroy();
// GL-side set-up for the current GL context: extensions, capabilities,
// framebuffer objects, 2-D state. Tests call this after making a context.
void gfx_gl_setup(int windowWidth, int windowHeight);

// Whether the graphics context exists.
bool gfx_context_exists();
// The current font becomes `slot` (no loading).
void gfx_select_font_slot(int slot);
// Frame end, before the buffer swap: drawing into an off-screen surface ends
// (the back buffer becomes the target again), and the frame about to be
// shown is kept for a screenshot when captures are on.
void gfx_end_of_frame();
// Start-up, after the fonts: draws each kind of 2-D drawing once off-screen
// so the GL driver prepares its code before the first frame; leaves nothing
// behind.
void gfx_warm_up();
// Frees every slot's textures and the background tiles.
void gfx_release_window_textures();
