// What the line editor (inp_input) needs from the frame presentation and the
// graphics area. Filled by those areas; a null entry skips that step, and
// without present_frame the editor serves the window's events itself.
#pragma once

namespace tmx::input {

struct LineEditorServices {
  // Copies the current back buffer into background image 3.
  void (*capture_background)() = nullptr;
  // draw_background(3).
  void (*draw_background)() = nullptr;
  // Frees background image 3.
  void (*free_background)() = nullptr;
  // gfx_print with the current font (null: gfx_print itself when linked).
  void (*print)(const char* text, int x, int y, int kerning) = nullptr;
  // present_frame and begin_frame_state of the frame presentation.
  void (*present_frame)() = nullptr;
  void (*begin_frame_state)() = nullptr;
};

LineEditorServices& line_editor_services();

}  // namespace tmx::input
