// The game's frame against the command-boundary double: a busy playing frame,
// the particle pool at full load, and a burst of particles.
#include <benchmark/benchmark.h>

#include "command_double.h"
#include "skorvane.h"

using cmd_double::dbl;
using skorvane::g;

namespace {

void fresh_game(bool record_draws) {
  dbl().reset();
  dbl().record_draws = record_draws;
  g = skorvane::GameState{};
  rt_seed(1);
  game_startup();
}

// Level 17 with its hazards going round; the hero waits in the hit state.
void BM_PlayingFrame(benchmark::State& state) {
  fresh_game(state.range(0) != 0);
  g.level = 17;
  g.game_state = skorvane::kHitWaitControl;
  for (int i = 0; i < 8; ++i) {
    // phase, kind, x, y, spawn_x, spawn_y, floor, live: hazards on floor 1,
    // the floor level 17 is played on, so they go round their cycle.
    const double x = 640.0 - 32 * i;
    skorvane::obstacles(i) = Obstacle{1, static_cast<double>(5 + i % 3), x, 216, x, 216, 1, 1};
  }
  for (auto _ : state) game_frame();
}
BENCHMARK(BM_PlayingFrame)->Arg(0)->Arg(1);

void BM_ParticlesFull(benchmark::State& state) {
  fresh_game(true);
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 512; ++i) skorvane::particles(i) = Particle{250, 100, 100, 16, -16, 255, 0, 0};
    dbl().frame.clear();
    state.ResumeTiming();
    particles_update();
  }
}
BENCHMARK(BM_ParticlesFull);

void BM_SpawnBurst(benchmark::State& state) {
  fresh_game(false);
  for (auto _ : state) particles_spawn(100, 100, 64, 255, 0, 0);
}
BENCHMARK(BM_SpawnBurst);

}  // namespace
