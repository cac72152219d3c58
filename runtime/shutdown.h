// The engine teardown run by sys_end, step by step.
//
// The error/log/end module lives in the engine core, which has no platform
// dependencies. The parts of the engine that create objects register how to
// tear them down here; a step whose hook is null is skipped (its object does
// not exist). shutdown_engine runs the steps in this fixed order.
#pragma once

struct ShutdownHooks {
  // Offers the program's "TMX_ON_QUIT" callback (call_sub).
  void (*call_quit_callback)() = nullptr;
  // Whether the graphics context exists; when it does not (or the hook is
  // null) only the quit callback runs.
  bool (*graphics_context_exists)() = nullptr;
  // Stops the music as mus_stop does.
  void (*music_stop)() = nullptr;
  // Makes the executable's directory the working directory again.
  void (*restore_exe_dir)() = nullptr;
  // Closes the eight file channels.
  void (*close_file_channels)() = nullptr;
  // Shuts the network state and the socket layer down.
  void (*net_shutdown)() = nullptr;
  // input_shutdown and freeing InputState.
  void (*input_shutdown)() = nullptr;
  // sound_shutdown (slots 4095..0, table, device) and freeing SoundDevice.
  void (*sound_shutdown)() = nullptr;
  // Destroys the graphics context (textures, tables) and the 3-D scene object.
  void (*destroy_graphics)() = nullptr;
  // Releases both file resolvers (held block freed or temp file deleted).
  void (*release_resolvers)() = nullptr;
  // Destroys the main window.
  void (*destroy_window)() = nullptr;
  // Runs once at the start of sys_end, before the teardown, while the window
  // and the program's state still exist (e.g. the screenshot and the state
  // output of the run options). Not part of the teardown order itself.
  void (*before_exit)() = nullptr;
  // The debug field of ProgramSettings (end report in the log when non-zero).
  int (*debug_setting)() = nullptr;
};

ShutdownHooks& shutdown_hooks();

// The teardown of sys_end (without the end report, "exit" and the exit).
void shutdown_engine();

// sys_end with one more step between the teardown and "exit": what must
// happen once the engine is gone (starting the program of sys_shell_end).
void sys_end_after_teardown(void (*after_teardown)());

// The exit code sys_end ends the process with (0 unless set): a run whose
// requested outputs could not be written ends with a failure code.
void sys_end_set_exit_code(int code);
int sys_end_exit_code();

// Test seams for the debugger channel: -1 asks the platform (a tracer attached
// to the process), 0 forces it off, 1 forces it on.
void debug_channel_override(int mode);

// Resets the shutdown flags (ending, quit-called); for tests only.
void shutdown_flags_reset_for_tests();
