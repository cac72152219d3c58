// The smallest windowed program, as the README shows it (built, not run).
#include <tamblix.h>

void settings() { g_program_settings.width = 640; g_program_settings.height = 400;
                  g_program_settings.frameRate = 60; rt_app_name() = "My game"; }
double main_routine() { for (;;) { gfx_draw_rect(10, 10, 50, 50, 0xFFFFFF); sys_show_screen(); } }
const SubEntry subs[] = {{nullptr, nullptr}};

int main(int argc, char** argv) {
  return run_program(argc, argv, TamblixProgram{settings, main_routine, subs});
}
