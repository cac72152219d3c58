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

const TamblixProgram kProgram = {set_program_settings, game_main, kSubTable};

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, kProgram); }
