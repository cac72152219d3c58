// The viewport and the orientation of the window.
#pragma once

// Viewport (x, y, w, h) in logical pixels of the current target; w or h not
// positive: the whole target.
void gfx_apply_viewport(int x, int y, int w, int h);
void gfx_window_size_changed(int w, int h);
