// The line editor's backdrop: while a line is typed, the picture that was on
// the screen when editing began stays behind the text (background image 3).
#include "gfx/backgrounds.h"
#include "input/line_editor.h"

namespace {

constexpr int kEditorBackground = 3;

void capture() { gfx_capture_background(kEditorBackground); }
void draw() { draw_background(kEditorBackground); }
void release() { free_background(kEditorBackground); }

struct Registrar {
  Registrar() {
    tmx::input::LineEditorServices& s = tmx::input::line_editor_services();
    s.capture_background = capture;
    s.draw_background = draw;
    s.free_background = release;
  }
} registrar;

}  // namespace
