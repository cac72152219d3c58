// The pause flag: the program's window in the background pauses it.
#include "runtime/pause.h"

#include "runtime/runtime_state.h"
#include "tamblix/runtime.h"

void runtime_set_pause(int request) {
  int p = g_runtime.frame.pauseEnabled ? request : 0;
  int flag = p != 0 ? 1 : 0;
  if (flag == g_runtime.frame.paused) return;
  g_runtime.frame.paused = flag;
  call_sub(flag ? "TMX_ON_PAUSE" : "TMX_ON_RESUME");
}
