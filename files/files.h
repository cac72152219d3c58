// The file commands inside the engine.
#pragma once

// The teardown's step: closes the eight channels and writes a modified line
// file back.
void files_close_all();

// Writes the line-file cache back when it holds a modified file, and empties
// it. 0, or 3 when the file could not be written (the old file stays).
int files_flush_line_file();
