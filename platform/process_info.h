// Process-level services on POSIX: the temporary directory and whether a
// debugger (a tracer) is attached. No SDL: the engine core uses these.
#pragma once
#include <string>

// The temporary directory with "/" separators and a trailing "/":
// $TMPDIR when set and not empty, otherwise "/tmp/".
std::string platform_temp_dir();

// True while another process traces this one (a debugger is attached).
bool platform_tracer_attached();
