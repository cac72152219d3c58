// Splitting a command line into a program and its arguments.
#pragma once
#include <string>
#include <vector>

// Splits `line` into words the way a POSIX shell splits a simple command,
// without running a shell and without any expansion:
//  - blanks (space, tab, newline) separate words;
//  - '...' keeps everything up to the next ' literally;
//  - "..." keeps its text literally except that \" \\ \$ \` stand for the
//    character after the backslash (a backslash before anything else stays);
//  - outside quotes a backslash makes the next character literal;
//  - quotes join with the text around them ("a"'b'c is one word abc), and ""
//    is an empty word.
// Nothing else is special: ; | & < > $ * ~ ( ) reach the program as they are.
// Returns false for an unterminated quote or a trailing lone backslash.
bool system_split_command_line(const std::string& line, std::vector<std::string>& words);

// The words that run the file dialog `program` (zenity or kdialog): the open
// or save dialog starting in `dir`, one filter per description/patterns
// pair of `filter` ("desc|*.a;*.b|desc2|*.c").
std::vector<std::string> system_file_dialog_command(const std::string& program, bool open, const std::string& filter,
                                                    const std::string& dir);
