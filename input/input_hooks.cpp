// Connects the input record to the runtime's start-up, frame loop, event pump
// and shutdown.
#include "input/input_state.h"
#include "runtime/engine_hooks.h"

namespace tmx::input {
void start_pointer(int exclusive_mouse);
void restore_pointer();
void blank_pointer();
}  // namespace tmx::input

namespace {

void hook_input_init(void* window, int exclusive) { tmx::input::input_init(window, exclusive); }
void hook_queue_char(int c) { tmx::input::queue_char(c); }

struct InputRegistrar {
  InputRegistrar() {
    g_input_hooks.create_state = &tmx::input::create_state;
    g_input_hooks.input_init = &hook_input_init;
    g_input_hooks.set_window = &tmx::input::set_window;
    g_input_hooks.input_shutdown = &tmx::input::input_shutdown;
    g_input_hooks.frame_snapshot = &tmx::input::frame_snapshot;
    g_input_hooks.key_down = &tmx::input::key_state_down;
    g_input_hooks.platform_event = &tmx::input::handle_platform_event;
    g_input_hooks.queue_char = &hook_queue_char;
    g_input_hooks.start_pointer = &tmx::input::start_pointer;
    g_input_hooks.restore_pointer = &tmx::input::restore_pointer;
    g_input_hooks.blank_pointer = &tmx::input::blank_pointer;
  }
} g_input_registrar;

}  // namespace
