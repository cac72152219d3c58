// Writing the whole of an output file the program was asked for (a
// screenshot, a recording, a state file) without ever damaging what is there.
#pragma once
#include <cstddef>
#include <string>

// Writes `n` bytes as the new content of `path`. The bytes go to a new file
// of a unique name beside the target (created exclusively), are forced to the
// disk, and only then is that file renamed over the target: a failure at any
// step leaves the old file as it was and removes only the new file. A target
// that exists and is not a regular file (a folder, a device, a named pipe) is
// refused; a symbolic link is followed and the file it leads to replaced. A
// replaced file keeps its permission bits.
// False with a short reason in `why` (and a line in the error log).
bool runtime_write_output_file(const std::string& path, const void* bytes, size_t n, std::string& why);
