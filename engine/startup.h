// The start-up sequence (engine_init, run_program), the program's named
// subroutines and the call-by-name dispatcher.
#pragma once
#include <string>
#include <vector>

#include "tamblix/runtime.h"

// engine_init: 1 on completion, 0 when creating the window failed.
// show_command 0 starts with the window hidden.
int engine_init(int show_command, const char* caption);

// The table find_sub/call_sub search (the program's, set by run_program).
void engine_set_sub_table(const SubEntry* table);

// The process command line, as one string, and the arguments as given.
const std::string& engine_command_line();
const std::vector<std::string>& engine_program_args();

// The executable's directory (no trailing "/"), as start-up computed it.
const std::string& engine_exe_dir();
// The executable's directory from a path: "\\" becomes "/", cut at the last "/".
std::string engine_exe_dir_from_path(const std::string& exe_path);
