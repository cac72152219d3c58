// Process-level services on POSIX: the temporary directory and whether a
// debugger (a tracer) is attached. No SDL: the engine core uses these.
#pragma once
#include <string>

// The temporary directory with "/" separators and a trailing "/":
// $TMPDIR when set and not empty, otherwise "/tmp/".
std::string platform_temp_dir();

// True while another process traces this one (a debugger is attached).
bool platform_tracer_attached();

// Keeps the allocator's threshold for serving a block from its own mapping at
// its default (128 KiB) for the rest of the process. Without it, freeing one
// large mapped block (a decoded image, a driver's staging buffer) raises the
// threshold to that block's size, so later large blocks are cut from the heap
// and leave holes the heap never gives back: over a long run resident memory
// climbs in steps although the memory in use stays flat.
void platform_keep_allocator_thresholds();

// Gives the pages of freed heap memory back to the system (the allocator
// keeps them otherwise: a heap whose free space is scattered between blocks in
// use never shrinks from its top). Costs a walk over the free blocks.
void platform_release_free_memory();
