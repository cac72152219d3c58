#include "platform/gl_proc.h"

#include <SDL.h>

void* platform_gl_proc_address(const char* name) {
  if (!name || !*name) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

bool platform_gl_current_drawable_size(int* width, int* height) {
  SDL_Window* w = SDL_GL_GetCurrentWindow();
  if (!w) return false;
  SDL_GL_GetDrawableSize(w, width, height);
  return *width > 0 && *height > 0;
}
