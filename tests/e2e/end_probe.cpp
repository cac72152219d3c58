// A small program on the engine for the end tests. argv[1] picks what it does
// once it has presented its first frames; it reports on standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "tamblix.h"

namespace {

std::string g_mode;

void say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void settings() {
  g_program_settings = {320, 200, 0, 0, 60, 0, 0};
  rt_app_name() = BasicString("End probe");
}

volatile unsigned long g_spins = 0;

double probe_main() {
  for (int i = 0; i < 3; ++i) sys_show_screen();
  if (g_mode == "three-frames") sys_end();
  if (g_mode == "spin") {
    // A loop that forgot to present its frames.
    say("spinning");
    for (;;) g_spins = g_spins + 1;
  }
  say("presenting");
  for (;;) sys_show_screen();
}

void on_quit() {
  say("quit callback");
  if (g_mode == "stuck-end") {
    for (;;) g_spins = g_spins + 1;  // an end that never finishes
  }
}

const SubEntry kSubs[] = {{&on_quit, "TMX_ON_QUIT"}, {nullptr, nullptr}};

}  // namespace

int main(int argc, char** argv) {
  g_mode = argc > 1 ? argv[1] : "";
  static const TamblixProgram program{&settings, &probe_main, kSubs};
  return run_program(argc, argv, program);
}
