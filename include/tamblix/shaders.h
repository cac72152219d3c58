// Shader programs: 255 numbered slots, each one linked program of a vertex
// and a fragment shader read from text files (disk or "mem://" names).
// Sprites, primitives, text and surfaces drawn while a slot is in use go
// through its program: the sprite's texture is on unit 0, its texture
// coordinates in gl_MultiTexCoord0 and its colour in gl_Color.
#pragma once
#include "tamblix/string.h"

// Builds slot 0..254 from the two files; an empty or missing file skips that
// stage. Returns 1 when the program was built, 0 otherwise (the slot is then
// empty). Compile and link logs go to the debug output when the program's
// debug setting is on. A file over 1 MiB, empty or not text gives error 3.
int gfx_load_shader(int slot, const BasicString& vertex_file, const BasicString& fragment_file);
// Slot 0..254 is put in use; anything else selects the fixed pipeline. At
// the start of every frame no shader is in use.
void gfx_use_shader(int slot);
// Sets a float uniform of the program in use ("undefined uniform:" on the
// debug output when it has none of that name).
void gfx_set_shader_float(const BasicString& name, double value);
