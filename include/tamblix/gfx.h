// 2-D graphics: sprite slots and images, drawing, primitives, fonts, surfaces.
#pragma once
#include <cstdint>

class BasicString;

// ---- commands the game relies on (names and signatures are fixed) ----

// Desktop size recorded when the window was created.
void gfx_get_screen_size(double& width, double& height);
// Off-screen surface 0..31 whose pixels are the image of the sprite slot: 1 or 0.
int gfx_create_screen(int screen, int slot, int width, int height);
// Later drawing goes to that surface; negative: the window's back buffer.
void gfx_use_screen(int screen);

void gfx_load_sprite(const BasicString& file, int slot);
void gfx_set_sprite_anim(int slot, int frame_width, int frame_height);
void gfx_draw_sprite(int slot, int x, int y);
void gfx_draw_sprite_scaled(int slot, int x, int y, int width, int height);
void gfx_draw_anim(int slot, int frame, int x, int y);

void gfx_draw_rect(int x, int y, int width, int height, int colour);
void gfx_start_poly(int slot, int mode);
void gfx_poly_vertex(double x, double y, double tx, double ty, int colour);
void gfx_end_poly();
// 0 opaque; negative: normal blending with |mode| as opacity; positive: additive.
void gfx_alpha_mode(double mode);

void gfx_load_font(const BasicString& file, int slot);
void gfx_set_font(int slot, double scale);
void gfx_print(const BasicString& text, double x, double y, int kerning);
int gfx_text_width(const BasicString& text, int kerning);
