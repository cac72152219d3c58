// The line editor behind inp_input: the text typed at a position, drawn over
// the picture that was on the screen when editing began (background image 3),
// one frame per pass until Enter.
//
// The frame steps and the printing default to the frame presentation and
// gfx_print (without the engine's window the editor serves the window's
// events itself). Tests put their own steps here.
#pragma once
#include <string>

namespace tmx::engine {

struct LineEditorServices {
  // Prints with the current font (null: gfx_print).
  void (*print)(const char* text, int x, int y, int kerning) = nullptr;
  // engine_present_frame and engine_begin_frame_state of the frame presentation.
  void (*present_frame)() = nullptr;
  void (*begin_frame_state)() = nullptr;
};

LineEditorServices& line_editor_services();

// Edits `s` at (x, y); returns the text when Enter was typed or the window
// system asked to quit.
std::string edit_line(std::string s, int x, int y, int kerning);

}  // namespace tmx::engine
