// Tamblix: the engine's command set and value types.
//
// A program written against the engine includes this one header and links
// the `tamblix` library (CMake: find_package(Tamblix), Tamblix::tamblix).
// Every command is declared at global scope under its command-set name.
#pragma once

#include "tamblix/errors.h"   // error state, log, debug output, program end
#include "tamblix/string.h"   // BasicString and the string commands
#include "tamblix/array.h"    // BasicArray and the array commands
#include "tamblix/random.h"   // random numbers and numeric helpers
#include "tamblix/runtime.h"  // start-up, window, frames, timing, files
#include "tamblix/gfx.h"      // sprites, primitives, fonts, surfaces
#include "tamblix/audio.h"    // sound effects and music
#include "tamblix/input.h"    // keyboard, joysticks, mouse, typed text
#include "tamblix/options.h"  // what a program offers to the run options
#include "tamblix/files.h"    // file channels, whole-file commands, line files
#include "tamblix/net.h"      // TCP and UDP sockets
#include "tamblix/path.h"     // grid path-finding
#include "tamblix/shaders.h"  // shader programs
#include "tamblix/system.h"   // other programs, environment, console, dialogs
