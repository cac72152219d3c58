// The shader slots inside the engine.
#pragma once

// Looks the shader-object entry points up when the GL extension string
// `extensions` offers fragment programs ("ext: ... [FAILED]" for each
// missing name). Called once the GL context is current.
void shaders_load_entry_points(const char* extensions);
// Deletes every slot's objects while the GL context is still current; the
// slots are empty and no shader is in use afterwards.
void shaders_release();

// Integer uniform and float attribute of the program in use ("undefined
// uniform:" / "undefined attrib:" on the debug output when missing).
void shaders_set_int(const char* name, int value);
void shaders_set_attrib_float(const char* name, double value);

// The current slot, -1 for the fixed pipeline.
int shaders_current_slot();
