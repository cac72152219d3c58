// A stand-in for a driver's swap control, loaded with LD_PRELOAD into the
// probe: the software renderer under Xvfb offers none, so the engine's vsync
// decision is seen through this one. SWAP_SHIM_ADAPTIVE=1 also offers
// adaptive vsync (a negative interval).
#include <stdlib.h>

static int current = 0;

int SDL_GL_SetSwapInterval(int interval) {
  const char* adaptive = getenv("SWAP_SHIM_ADAPTIVE");
  if (interval < 0 && !(adaptive && adaptive[0] == '1')) return -1;
  current = interval;
  return 0;
}

int SDL_GL_GetSwapInterval(void) { return current; }
