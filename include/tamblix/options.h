// What a program offers to the engine's run options.
#pragma once
#include <cstdio>

// The program's named values for --state-out: at the end of the program the
// writer gets the open file and writes one JSON object.
void sys_set_state_writer(void (*writer)(std::FILE* out));
