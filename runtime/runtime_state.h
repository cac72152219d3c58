// The runtime's state in one record: the window and its GL context, the
// display size, the frame flags and times, and the two file resolvers.
// The graphics context (gfx/context.h) is the other record of the engine.
#pragma once
#include <cstdint>

#include "platform/window.h"

struct FileResolver;

using MessageRoutine = void (*)();

// The window fields of the graphics context.
struct GlWindow {
  PlatformWindow window = nullptr;
  int32_t width = 0, height = 0;   // client size, also the fullscreen mode size
  int32_t colourBits = 0;          // 0 asks for the desktop's depth
  uint8_t fullscreen = 0;          // 1 while a fullscreen mode is active
  int32_t antialiasSamples = 0;
  PlatformGLContext glContext = nullptr;
  double nextFrameDue = 0, framePeriod = 0;  // the frame limiter's schedule
};

struct FrameState {
  int32_t paused = 0;            // 1 while the window is in the background
  int32_t pauseEnabled = 1;      // runtime_set_pause ignores pause requests while 0
  int32_t exitKeysEnabled = 1;   // lets Escape end the program
  int32_t messageLookup = -1;    // -1 not looked up yet, 0 none, 1 found
  MessageRoutine messageRoutine = nullptr;
};

// The frame times (current, previous), in timer_ms units.
struct FrameTimes {
  double current = 0;
  double previous = 0;
};

struct RuntimeState {
  GlWindow window;
  // The display size in force (the desktop, or the fullscreen mode).
  int32_t desktopWidth = 0, desktopHeight = 0;
  FrameState frame;
  FrameTimes frameTimes;
  // The general resolver (images, fonts, sounds, file reading; memory files
  // allowed) and the one for music and video (files on disk).
  FileResolver* generalResolver = nullptr;
  FileResolver* mediaResolver = nullptr;
};
extern RuntimeState g_runtime;
