// Strings, number texts, arrays and the generator on the per-frame path.
#include <benchmark/benchmark.h>

#include "tamblix.h"

namespace {

struct Particle {
  double life, x, y, vx, vy, red, green, blue;
};

// A HUD text built the way a frame builds it.
void BM_HudText(benchmark::State& state) {
  double lives = 3, level = 17, time = 123.456;
  for (auto _ : state) {
    BasicString s = BasicString("LIVES ") + lives + "  LEVEL " + level + "  TIME " + time;
    benchmark::DoNotOptimize(s.c_str());
  }
}
BENCHMARK(BM_HudText);

// Appending one piece at a time to a growing string.
void BM_AppendBuild(benchmark::State& state) {
  const int pieces = static_cast<int>(state.range(0));
  for (auto _ : state) {
    BasicString s;
    for (int i = 0; i < pieces; ++i) s += "ab";
    benchmark::DoNotOptimize(s.c_str());
  }
  state.SetItemsProcessed(state.iterations() * pieces);
}
BENCHMARK(BM_AppendBuild)->Arg(16)->Arg(1024);

// Reusing one variable across frames: no allocation once it is large enough.
void BM_AssignReuse(benchmark::State& state) {
  BasicString target;
  const BasicString a("SCORE "), b("12345");
  for (auto _ : state) {
    target = a;
    target += b;
    benchmark::DoNotOptimize(target.c_str());
  }
}
BENCHMARK(BM_AssignReuse);

void BM_RealToText(benchmark::State& state) {
  const double values[] = {3, -2.5, 1.0 / 3, 1234.5678, 1e10, 0.05, 123456789012.0, 1.5e300};
  char out[32];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format_real_text(values[i++ & 7], out));
  }
}
BENCHMARK(BM_RealToText);

void BM_IntToText(benchmark::State& state) {
  int32_t v = 0;
  for (auto _ : state) {
    BasicString s(v++);
    benchmark::DoNotOptimize(s.c_str());
  }
}
BENCHMARK(BM_IntToText);

void BM_Instr(benchmark::State& state) {
  BasicString text;
  for (int i = 0; i < 100; ++i) text += "the quick brown fox ";
  text += "needle";
  const BasicString needle("needle");
  for (auto _ : state) benchmark::DoNotOptimize(rt_instr(text, needle, 0));
}
BENCHMARK(BM_Instr);

// Replacing in a long text whose result differs in length.
void BM_ReplaceLongText(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  BasicString text;
  for (int i = 0; i < n; ++i) text += i % 3 ? 'a' : ',';
  const BasicString comma(","), comma_space(", ");
  for (auto _ : state) {
    BasicString out = rt_replace(text, comma, comma_space);
    benchmark::DoNotOptimize(out.c_str());
  }
  state.SetBytesProcessed(state.iterations() * n);
}
BENCHMARK(BM_ReplaceLongText)->Arg(1000)->Arg(100000);

// Guarded element access over a particle table.
void BM_ArrayRecordAccess(benchmark::State& state) {
  BasicArray<Particle> p;
  arr_dim(p, 1000);
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) {
      Particle& q = p(i);
      q.x += q.vx;
      q.y += q.vy;
      q.life -= 1;
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ArrayRecordAccess);

void BM_Array2DAccess(benchmark::State& state) {
  BasicArray<double> grid;
  arr_dim(grid, 40, 25);
  for (auto _ : state) {
    double sum = 0;
    for (int j = 0; j < 25; ++j)
      for (int i = 0; i < 40; ++i) sum += grid(i, j);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Array2DAccess);

void BM_Redim(benchmark::State& state) {
  BasicArray<double> a;
  for (auto _ : state) {
    arr_dim(a, 100);  // storage is reused
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_Redim);

void BM_Rnd(benchmark::State& state) {
  rt_seed(1);
  for (auto _ : state) benchmark::DoNotOptimize(rt_rnd(99));
}
BENCHMARK(BM_Rnd);

}  // namespace
