// What the line editor (inp_input) needs from the graphics area and the frame
// presentation. The background steps are skipped while null; print defaults
// to gfx_print, the frame steps to the runtime's present_frame and
// begin_frame_state (without the engine's window the editor serves the
// window's events itself). Tests put their own frame steps here.
#pragma once

namespace tmx::input {

struct LineEditorServices {
  // Copies the current back buffer into background image 3.
  void (*capture_background)() = nullptr;
  // draw_background(3).
  void (*draw_background)() = nullptr;
  // Frees background image 3.
  void (*free_background)() = nullptr;
  // Prints with the current font (null: gfx_print).
  void (*print)(const char* text, int x, int y, int kerning) = nullptr;
  // present_frame and begin_frame_state of the frame presentation.
  void (*present_frame)() = nullptr;
  void (*begin_frame_state)() = nullptr;
};

LineEditorServices& line_editor_services();

}  // namespace tmx::input
