// Skorvane's program entry: settings, main routine and call-by-name table.
#include "skorvane.h"

namespace {

void set_program_settings() {
  g_program_settings.width = 640;
  g_program_settings.height = 400;
  g_program_settings.fullscreen = 0;
  g_program_settings.exclusiveMouse = 0;
  g_program_settings.frameRate = 60;
  g_program_settings.debug = 0;
  g_program_settings.antialiasSamples = 0;
  rt_app_name() = BasicString("Skorvane");
}

const SubEntry kSubTable[] = {
    {PlyrDie, "PlyrDie"},
    {nullptr, nullptr},
};

// The main routine: the game's values go to the run options' state output.
double skorvane_main() {
  sys_set_state_writer(skorvane::write_state_json);
  return game_main();
}

const TamblixProgram kProgram = {set_program_settings, skorvane_main, kSubTable};

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, kProgram); }
