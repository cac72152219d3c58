// 2-D graphics: sprite slots and images, drawing, primitives, fonts, surfaces.
#pragma once
#include <cstdint>

#include "tamblix/array.h"

class BasicString;

// ---- commands the game relies on (names and signatures are fixed) ----

// Desktop size recorded when the window was created.
void gfx_get_screen_size(double& width, double& height);
void gfx_get_screen_size(int& width, int& height);
// Off-screen surface 0..31 whose pixels are the image of the sprite slot: 1 or 0.
// Clears the error code first; 0 comes with error 7 and a log line (a screen
// outside 0..31, a slot outside 0..65536, a size below 1 x 1 or above what a
// texture can hold, or a surface the graphics driver could not make).
int gfx_create_screen(int screen, int slot, int width, int height);
// Later drawing goes to that surface; negative: the window's back buffer. A
// screen above 31, or one without a surface, leaves drawing on the back
// buffer with error 7 and a log line.
void gfx_use_screen(int screen);

// Image loads (gfx_load_sprite, gfx_load_anim, gfx_load_bump_texture) clear
// the error code first and free the slot; an empty name stops there. A slot
// outside 0..65536: error 7. A file that is missing or that no reader accepts
// (BMP, PNG, JPEG): error 3 and an empty slot. Each failure writes one line to
// ErrorLog.txt naming the file and the reason, e.g.
// "gfx_load_sprite: Media/hero.png: damaged or unsupported PNG".
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

// Loads a 16-column glyph grid (BMP or PNG) into font slot 0..31 and makes it
// current. A slot out of range: error 7. A file that is missing or cannot be
// read: error 3, the slot gets the built-in 8 x 8 font at scale 4, and the
// log line says so.
void gfx_load_font(const BasicString& file, int slot);
// A slot outside 0..31: error 7 and a log line; nothing changes.
void gfx_set_font(int slot, double scale);
void gfx_print(const BasicString& text, double x, double y, int kerning);
int gfx_text_width(const BasicString& text, int kerning);

// ---- further commands of the graphics area ----

// Sprite slots and image loading (BMP, PNG, JPEG).
void gfx_load_anim(const BasicString& file, int slot, int frame_width, int frame_height);
// Loads the image converted to a normal map (blue = height).
void gfx_load_bump_texture(const BasicString& file, int slot);
void gfx_get_sprite_size(int slot, int& width, int& height);
void gfx_get_sprite_size(double slot, double& width, double& height);
// Sprite and font colour key for later loads (-1: none).
void gfx_set_transparency(int colour);
int gfx_get_sprite_texture(int slot);
// Highest empty sprite slot <= 65503, or -1.
int gfx_gen_sprite();
// One element per pixel (bytes red, green, blue, alpha from the lowest): 1 or 0.
// Clears the error code first; 0 comes with a log line and error 7 (a slot
// outside 0..65536, an element count other than width x height, a size below
// 1 x 1 or too large) or error 9 (an empty array for a 0-pixel picture), and
// the slot is unchanged; a picture the graphics driver cannot take leaves the
// slot empty, with error 7.
int gfx_mem_to_sprite(const BasicArray<int32_t>& pixels, int slot, int width, int height);

// Sprite and animation drawing.
void gfx_zoom_sprite(int slot, int x, int y, double factor_x, double factor_y);
void gfx_rotate_sprite(int slot, int x, int y, double angle);
void gfx_rotozoom_sprite(int slot, int x, int y, double angle, double zoom);
void gfx_stretch_anim(int slot, int frame, int x, int y, int width, int height);
void gfx_rotozoom_anim(int slot, int frame, double x, double y, double angle, double zoom);
void gfx_smooth_shading(int flag);
// Pixels with alpha above the reference pass; 1 or more: no alpha test.
void gfx_alpha_test(double reference);

// Primitives and polygon batches.
void gfx_set_pixel(int x, int y, int colour);
void gfx_draw_line(int x1, int y1, int x2, int y2, int colour);
int gfx_get_pixel(int x, int y);
void gfx_poly_new_strip();

// Fonts.
int gfx_get_font();
void gfx_get_font_size(double& width, double& height);
void gfx_get_font_size(int& width, int& height);
int gfx_gen_font();

// Surfaces, viewport, orientation, frame clear, swap file.
int gfx_gen_screen();
void gfx_get_target_size(double& width, double& height);
void gfx_get_target_size(int& width, int& height);
void gfx_set_viewport(int x, int y, int width, int height);
void gfx_get_viewport(int& x, int& y, int& width, int& height);
void gfx_get_viewport(double& x, double& y, double& width, double& height);
void gfx_set_orientation(int orientation);
int gfx_get_orientation();
// Colour cleared before every frame; -1: no clear.
void gfx_clear_screen(int colour);
// A file that cannot be loaded: error 3, a log line, and a black frame clear.
void gfx_load_background(const BasicString& file);
// Copies a rectangle of the drawing target into the slot; a width or height of
// 0 empties the slot. A slot outside 0..65536 or a rectangle larger than a
// sprite can be: error 7 and a log line; the slot keeps its picture.
void gfx_grab_sprite(int slot, int x, int y, int width, int height);
// 0 writes all sprite images to the swap file, otherwise loads them back.
int gfx_swap_textures(int flag);
