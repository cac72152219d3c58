// The file commands inside the engine.
#pragma once

// The teardown's step: closes the eight channels and writes a modified line
// file back. A channel whose buffered bytes cannot all be written is
// reported (error 3 and a log line) and the others are closed all the same.
void files_close_all();

// Every channel's buffered bytes reach their files before something else
// looks at them (a started program, the whole-file and line-file commands).
// Bytes that cannot all be written end the program with error 3 and a line
// naming the channel and `command`.
void files_flush_all_channels(const char* command);

// Writes the line-file cache back when it holds a modified file, and empties
// it. 0, or 3 when the file could not be written (the old file stays).
int files_flush_line_file();
