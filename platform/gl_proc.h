// GL entry points that are not part of the GL 1.1 library interface: looked
// up by name through the platform's GL loader.
#pragma once

// Address of a GL entry point of the current context, or null.
void* platform_gl_proc_address(const char* name);

// The size in pixels of the drawable of the window whose GL context is
// current; false when there is none.
bool platform_gl_current_drawable_size(int* width, int* height);
