// A directory of the process's own for the temporary files it writes, and
// files created there without trusting anything already at their name.
#pragma once
#include <string>

#include "platform/file_system.h"

// Makes a new directory `parent` + `prefix` + six random characters, readable
// and writable by this user only, and gives its path with a trailing "/";
// "" when it cannot be made.
std::string platform_make_private_dir(const std::string& parent, const char* prefix);

// Creates a new file for writing, readable and writable by this user only.
// Fails when anything already has that name (a file, a directory, a link,
// which is never followed).
PlatformFile platform_create_new_file(const char* path);
