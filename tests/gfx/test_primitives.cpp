// Rectangles, pixels, lines, reading pixels, blending modes and the polygon
// batch, read back from the window.
#include "gfx/poly_batch.h"
#include "gfx/texture_store.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

// Columns (or rows) lit along a line of the window.
std::pair<int, int> lit_span_x(int y) {
  int a = -1, b = -1;
  for (int x = 0; x < kWinW; ++x) {
    const Rgba c = GfxTest::pixel(x, y);
    if (c.r + c.g + c.b == 0) continue;
    if (a < 0) a = x;
    b = x;
  }
  return {a, b};
}
std::pair<int, int> lit_span_y(int x) {
  int a = -1, b = -1;
  for (int y = 0; y < kWinH; ++y) {
    const Rgba c = GfxTest::pixel(x, y);
    if (c.r + c.g + c.b == 0) continue;
    if (a < 0) a = y;
    b = y;
  }
  return {a, b};
}

// The batch lives for the whole program: start from a fresh one.
void fresh_batch() {
  delete[] g_poly.data;
  g_poly.data = nullptr;
  g_poly.capacity = g_poly.count = 0;
}

}  // namespace

using Primitives = GfxTest;

TEST_F(Primitives, RectanglesCoverTheirPixelsAndNegativeSizesMoveTheCorner) {
  struct Case {
    int x, y, w, h;
    int x0, x1, y0, y1;  // expected lit columns and rows (-1: none)
  };
  const Case cases[] = {
      {10, 20, 30, 5, 10, 39, 20, 24},
      {50, 20, -10, 5, 41, 50, 20, 24},
      {50, 40, 4, -3, 50, 53, 38, 40},
      {60, 20, 0, 5, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_draw_rect(c.x, c.y, c.w, c.h, 0x00FF00);
    const int probeY = c.y0 >= 0 ? c.y0 : c.y;
    const int probeX = c.x0 >= 0 ? c.x0 : c.x;
    EXPECT_EQ(lit_span_x(probeY), std::make_pair(c.x0, c.x1)) << c.x << "," << c.w;
    EXPECT_EQ(lit_span_y(probeX), std::make_pair(c.y0, c.y1)) << c.y << "," << c.h;
  }
  // The colour goes back to white at the global alpha afterwards.
  GLfloat cur[4];
  glGetFloatv(GL_CURRENT_COLOR, cur);
  EXPECT_FLOAT_EQ(cur[0], 1.0f);
  EXPECT_FLOAT_EQ(cur[1], 1.0f);
}

TEST_F(Primitives, PixelsLinesAndReadingThemBack) {
  gfx_set_pixel(5, 7, 0x123456);
  EXPECT_EQ(gfx_get_pixel(5, 7), 0x123456);
  EXPECT_EQ(pixel(5, 7), (Rgba{0x56, 0x34, 0x12, 255}));
  EXPECT_EQ(gfx_get_pixel(6, 7), 0);
  EXPECT_EQ(gfx_get_pixel(5, 8), 0);
  // A horizontal line lights both of its end pixels.
  gfx_draw_line(10, 30, 20, 30, 0xFFFFFF);
  EXPECT_EQ(lit_span_x(30), std::make_pair(10, 20));
  gfx_draw_line(40, 50, 40, 60, 0x0000FF);
  EXPECT_EQ(lit_span_y(40), std::make_pair(50, 60));
  EXPECT_EQ(gfx_get_pixel(40, 60), 0x0000FF);
}

TEST_F(Primitives, BlendingModesAndGlobalAlpha) {
  gfx_draw_rect(0, 0, 100, 10, 0x0000FF);  // red background
  struct Case {
    double mode;
    int colour;
    Rgba expect;
  };
  // White over red: -0.5 half blends, 3 adds at full strength, 0.25 adds a
  // quarter, 0 replaces.
  const Case cases[] = {{-0.5, 0xFFFFFF, {255, 128, 128, 255}},
                        {3.0, 0xFF0000, {255, 0, 255, 255}},
                        {0.25, 0xFFFFFF, {255, 64, 64, 255}},
                        {0.0, 0x00FF00, {0, 255, 0, 255}},
                        {-1.0, 0x00FF00, {0, 255, 0, 255}}};
  int x = 0;
  for (const Case& c : cases) {
    gfx_alpha_mode(c.mode);
    gfx_draw_rect(x, 0, 10, 10, c.colour);
    const Rgba got = pixel(x + 5, 5);
    EXPECT_NEAR(got.r, c.expect.r, 1) << c.mode;
    EXPECT_NEAR(got.g, c.expect.g, 1) << c.mode;
    EXPECT_NEAR(got.b, c.expect.b, 1) << c.mode;
    x += 20;
  }
  // The key colour draws with alpha 0: nothing shows while blending.
  gfx_alpha_mode(-1);
  gfx_draw_rect(0, 20, 10, 10, 0x0000FF);
  gfx_draw_rect(0, 20, 10, 10, 0x8000FF);
  EXPECT_EQ(pixel(5, 25), (Rgba{255, 0, 0, 255}));
}

TEST_F(Primitives, PolyBatchColoursAndTextureCoordinates) {
  fresh_batch();
  gfx_start_poly(-1, 1);
  EXPECT_EQ(g_poly.capacity, 512);
  gfx_poly_vertex(10, 10, 0, 0, 0xFFFFFF);
  gfx_poly_vertex(60, 10, 0, 0, 0xFFFFFF);
  gfx_poly_vertex(10, 60, 0, 0, 0xFFFFFF);
  EXPECT_FALSE(g_poly_state.colourArray);
  gfx_end_poly();
  EXPECT_EQ(pixel(15, 15), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(55, 55), (Rgba{0, 0, 0, 255}));

  gfx_start_poly(-1, 1);
  gfx_poly_vertex(100, 10, 0, 0, 0x0000FF);
  gfx_poly_vertex(150, 10, 0, 0, 0x0000FF);
  gfx_poly_vertex(100, 60, 0, 0, 0x0000FF);
  EXPECT_TRUE(g_poly_state.colourArray);
  EXPECT_EQ(g_poly.data[0].r, 255);
  EXPECT_EQ(g_poly.data[0].b, 0);
  gfx_end_poly();
  EXPECT_EQ(pixel(105, 15), (Rgba{255, 0, 0, 255}));
  // The batch keeps its vertices: a second end draws them again.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_end_poly();
  EXPECT_EQ(pixel(105, 15), (Rgba{255, 0, 0, 255}));
  // Half global alpha reaches the vertices.
  gfx_alpha_mode(-0.5);
  gfx_start_poly(-1, 0);
  gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(g_poly.data[0].a, 127);
  gfx_poly_vertex(0, 0, 0, 0, 0x8000FF);
  EXPECT_EQ(g_poly.data[1].a, 0);

  // Texture positions are image pixels from the top-left corner.
  ImageBuffer img;
  ASSERT_TRUE(img.resize(100, 50));
  std::memset(img.pixels, 255, 100 * 50 * 4);
  ASSERT_TRUE(gfx_upload_sprite(8, img, false));
  gfx_start_poly(8, 2);
  gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  gfx_poly_vertex(0, 0, 100, 50, 0xFFFFFF);
  EXPECT_FLOAT_EQ(g_poly.data[0].s, 0.0f);
  EXPECT_FLOAT_EQ(g_poly.data[0].t, 50.0f / 64.0f);
  EXPECT_FLOAT_EQ(g_poly.data[1].s, 100.0f / 128.0f);
  EXPECT_FLOAT_EQ(g_poly.data[1].t, 0.0f);
}

TEST_F(Primitives, PolyBatchGrowthStripsAndModes) {
  fresh_batch();
  gfx_start_poly(-1, 1);
  const PolyVertex* storage = g_poly.data;
  for (int i = 0; i < 512; ++i) gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(g_poly.capacity, 512);
  EXPECT_EQ(g_poly.data, storage);  // 512 vertices fit the reserve: no reallocation
  EXPECT_EQ(g_poly.count, 512);
  gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(g_poly.count, 513);
  EXPECT_EQ(g_poly.capacity, 640);
  for (int i = 0; i < 127; ++i) gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(g_poly.capacity, 640);
  gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(g_poly.capacity, 768);
  // The array is kept: a new batch starts empty in the same storage.
  gfx_start_poly(-1, 2);
  EXPECT_EQ(g_poly.count, 0);
  EXPECT_EQ(g_poly.capacity, 768);

  // A new strip before any vertex does nothing; between strips the joining
  // vertices are doubled: p1 p2 p3 p3 q1 q1 q2 q3.
  gfx_poly_new_strip();
  EXPECT_EQ(g_poly.count, 0);
  const float p[3][2] = {{10, 100}, {10, 140}, {50, 100}};
  const float q[4][2] = {{100, 100}, {100, 140}, {140, 100}, {140, 140}};
  for (auto& v : p) gfx_poly_vertex(v[0], v[1], 0, 0, 0xFFFFFF);
  gfx_poly_new_strip();
  gfx_poly_new_strip();  // already set: nothing more
  for (auto& v : q) gfx_poly_vertex(v[0], v[1], 0, 0, 0xFFFFFF);
  ASSERT_EQ(g_poly.count, 9);
  const float order[9][2] = {{10, 100}, {10, 140}, {50, 100}, {50, 100}, {100, 100},
                             {100, 100}, {100, 140}, {140, 100}, {140, 140}};
  for (int i = 0; i < 9; ++i) {
    EXPECT_FLOAT_EQ(g_poly.data[i].x, order[i][0]) << i;
    EXPECT_FLOAT_EQ(g_poly.data[i].y, order[i][1]) << i;
  }
  gfx_end_poly();
  EXPECT_EQ(pixel(15, 105), (Rgba{255, 255, 255, 255}));   // first strip
  EXPECT_EQ(pixel(120, 120), (Rgba{255, 255, 255, 255}));  // second strip
  EXPECT_EQ(pixel(75, 110), (Rgba{0, 0, 0, 255}));         // nothing between them

  // Mode 3 draws nothing.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_start_poly(-1, 3);
  gfx_poly_vertex(0, 0, 0, 0, 0xFFFFFF);
  gfx_poly_vertex(100, 0, 0, 0, 0xFFFFFF);
  gfx_poly_vertex(0, 100, 0, 0, 0xFFFFFF);
  gfx_end_poly();
  EXPECT_EQ(pixel(10, 10), (Rgba{0, 0, 0, 255}));
}
