// Frame presentation, the event pump, pausing and the lifecycle callbacks.
#pragma once
#include <cstdint>

#include "tamblix/string.h"

#include "runtime/pause.h"
#include "runtime/runtime_state.h"

// The title text the pause marker is appended to.
BasicString& engine_caption_copy();

void engine_present_frame();
void engine_begin_frame_state();
void engine_flip_and_wait(MessageRoutine routine);
void engine_pump_messages(MessageRoutine routine);

// How a window event is handled (the event pump's window procedure).
enum class WindowEvent { focus_lost, focus_gained, close_request };
void engine_handle_window_event(WindowEvent event);

// Whether the quit keys are down in the snapshot (Escape, key 129, or left
// Alt with F4), read through the input layer or, without one, from the
// platform's own key state.
bool engine_quit_keys_down();

// True once the program end has begun (a close request then does nothing).
bool engine_program_ending();
void engine_mark_program_ending();
