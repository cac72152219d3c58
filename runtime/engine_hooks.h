// The calls the runtime (start-up, window and GL context, frame presentation,
// event pump, pause loop, shutdown) makes into graphics, audio and input.
//
// The runtime never calls those areas by symbol. Each area fills its entries
// from a static registrar object in one of its own .cpp files, e.g.
//
//   namespace {
//   struct Registrar {
//     Registrar() { g_gfx_hooks.reset_2d_state = &reset_2d_state; ... }
//   } registrar;
//   }
//
// A null entry means "that subsystem is not there": the runtime skips the step.
// The tables are constant-initialised (all null) before any registrar runs, so
// the order of static initialisation does not matter.
//
// All hooks run on the main thread, which owns the GL context.
#pragma once
#include <cstdint>

// ---------------------------------------------------------------- graphics --
struct GfxHooks {
  // Start-up step "ruvi": creates the graphics context OpenGLZadodare (sprite
  // table, fonts, surfaces, caches). Runs before any window or GL context.
  void (*create_context)() = nullptr;
  // Shutdown: destroys the graphics context (its textures and tables). The GL
  // context is still current on the window.
  void (*destroy_context)() = nullptr;
  // Whether the graphics context exists (shutdown runs its engine steps only
  // then). Null: the runtime tracks it itself (create_context was called).
  bool (*context_exists)() = nullptr;

  // create_gl_window, after the first buffer swap, with the GL context
  // current: look up the GL extension entry points (one
  // "ext: %-35s   [FAILED]" log line per missing name).
  void (*load_gl_extensions)() = nullptr;
  // Right after load_gl_extensions: record the BGRA capability and the largest
  // texture size, writing their log lines ("BGRA ext supported\n" / "BGRA ext
  // NOT supported\n%s\n", "Texture size limit: %d\n").
  void (*record_gl_caps)() = nullptr;
  // After the runtime logged "init fbo\n": framebuffer-object set-up.
  void (*init_fbo)() = nullptr;
  // Before the window is destroyed (window re-creation for a multisample
  // format, program end): free every sprite slot and the background images'
  // textures.
  void (*release_window_textures)() = nullptr;
  // The window's client size changed (window created, sys_set_screen,
  // fullscreen switch). Called before set_viewport.
  void (*window_size_changed)(int width, int height) = nullptr;
  // set_viewport(x, y, w, h); w or h <= 0 means the whole target. The runtime
  // calls it with size 0 after every window mode change.
  void (*set_viewport)(int x, int y, int w, int h) = nullptr;

  // Frame end, before the buffer swap: end drawing into an off-screen surface,
  // the back buffer becomes the target again.
  void (*end_screen_drawing)() = nullptr;
  // After the buffer swap and again at the start of begin_frame_state:
  // background image / colour clear / pending depth clear.
  void (*clear_frame)() = nullptr;
  // begin_frame_state steps 2-3: alpha test off (gfx_alpha_test(1.0)),
  // blending on with (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), global alpha 1, colour
  // (1,1,1,1) through the state and colour caches.
  void (*begin_frame_blend)() = nullptr;
  // reset_2d_state: start-up ("2D VP", "mk2D") and every begin_frame_state.
  void (*reset_2d_state)() = nullptr;
  // Start-up: the 3-D scene object leaves its drawing mode / per-frame reset
  // (present_frame step 5, begin_frame_state step 5). Optional.
  void (*leave_3d_mode)() = nullptr;

  // Start-up "reptr": the current font becomes `slot` (no loading).
  void (*select_font_slot)(int slot) = nullptr;
  // Start-up "mk2D": install_builtin_font(slot).
  void (*install_builtin_font)(int slot) = nullptr;
  // Start-up "finding font...": gfx_load_font(file, slot) with a name found by
  // resolve_media_file (may be a "mem://" name).
  void (*load_font)(const char* file, int slot) = nullptr;
  // Start-up: gfx_set_font(slot, scale).
  void (*set_font)(int slot, double scale) = nullptr;
  // Start-up "clear screen": gfx_clear_screen(colour).
  void (*clear_screen)(int colour) = nullptr;
  // Start-up, after the fonts: draw each kind of 2-D drawing once off-screen
  // so the GL driver prepares its code before the first frame. Optional.
  void (*warm_up)() = nullptr;
};

// ------------------------------------------------------------------- audio --
struct AudioHooks {
  // Start-up (last step): create SoundDevice and the 4096-slot sound table,
  // then sound_init with the main window. `window` is the platform window
  // (an SDL_Window*).
  void (*sound_start)(void* window) = nullptr;
  // sound_bind_window: right after sound_start and after every screen mode
  // change (sys_set_screen).
  void (*sound_bind_window)(void* window) = nullptr;
  // Shutdown: sound_shutdown (slots 4095..0, table, device), free SoundDevice.
  void (*sound_shutdown)() = nullptr;
  // music_loop_check: once per frame (present_frame) and every pass of the
  // pause loop.
  void (*music_loop_check)() = nullptr;
  // Shutdown: stop the music as mus_stop does.
  void (*music_stop)() = nullptr;
};

// ------------------------------------------------------------------- input --
struct InputHooks {
  // Start-up "Input": create the InputState record.
  void (*create_state)() = nullptr;
  // Start-up "Create DXin": input_init with the main window (an SDL_Window*)
  // and the exclusive-mouse setting.
  void (*input_init)(void* window, int exclusive_mouse) = nullptr;
  // The window the input reads from ("reptr", sys_set_screen).
  void (*set_window)(void* window) = nullptr;
  // Shutdown: input_shutdown and freeing InputState.
  void (*input_shutdown)() = nullptr;

  // present_frame step 3: key query counter = 0, refresh_keyboard, then
  // read_mouse with the update flag once per mouse record.
  void (*frame_snapshot)() = nullptr;
  // The key state test of the snapshot (set-1 scan codes, +128 extended);
  // used for the quit keys. Does not count as a key query.
  int (*key_down)(int code) = nullptr;

  // The event pump: every platform event taken from the queue, before the
  // runtime handles it itself (an SDL_Event*). Mouse, wheel, joystick, ...
  void (*platform_event)(const void* event) = nullptr;
  // The event pump: one typed character (a byte; 13 for Return, 8 for
  // Backspace, 9 for Tab).
  void (*queue_char)(int c) = nullptr;

  // Start-up step 24: the mouse mode and the pointer (arrow shown when
  // exclusive_mouse is 0, hidden otherwise), recorded in InputState.
  void (*start_pointer)(int exclusive_mouse) = nullptr;
  // sys_set_screen step 3: re-apply the mouse mode and pointer from the
  // pointer-shown flag of InputState.
  void (*restore_pointer)() = nullptr;
  // Start-up step 21: blank the pointer until start_pointer.
  void (*blank_pointer)() = nullptr;
};

inline GfxHooks g_gfx_hooks{};
inline AudioHooks g_audio_hooks{};
inline InputHooks g_input_hooks{};
