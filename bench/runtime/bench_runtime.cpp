// Costs of the runtime's hot paths: reading the clock, the media lookup in an
// archive appended to a program (directory scan and unpacking, no cache), and
// reading a memory file.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/timer.h"
#include "runtime/runtime_state.h"
#include "runtime/virtual_file.h"

namespace {

void put_i32(std::string& s, int32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
}

// An archive of `count` entries of `size` bytes each, behind 1 MiB of program.
std::string write_archive(int count, int size) {
  lzo_init();
  std::string out(1 << 20, 'E');
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  std::vector<std::pair<int32_t, int32_t>> pos;
  std::string data(static_cast<size_t>(size), '\0');
  for (int i = 0; i < size; ++i) data[static_cast<size_t>(i)] = static_cast<char>((i * 7) % 61);
  for (int e = 0; e < count; ++e) {
    std::vector<unsigned char> packed(data.size() + data.size() / 16 + 67);
    lzo_uint n = packed.size();
    lzo1x_1_compress(reinterpret_cast<const unsigned char*>(data.data()), data.size(), packed.data(), &n,
                     work.data());
    pos.emplace_back(static_cast<int32_t>(out.size()), static_cast<int32_t>(n + 4));
    put_i32(out, size);
    out.append(reinterpret_cast<char*>(packed.data()), n);
  }
  const int32_t dir = static_cast<int32_t>(out.size());
  for (int e = 0; e < count; ++e) {
    std::string name = "entry" + std::to_string(e) + ".png";
    out += static_cast<char>(name.size());
    out += name;
    put_i32(out, pos[static_cast<size_t>(e)].first);
    put_i32(out, pos[static_cast<size_t>(e)].second);
  }
  out += '\0';
  out += "kpX";
  put_i32(out, dir);
  char tmpl[] = "/tmp/bench_archive_XXXXXX";
  int fd = mkstemp(tmpl);
  close(fd);
  std::ofstream(tmpl, std::ios::binary) << out;
  return tmpl;
}

void BM_TimerMs(benchmark::State& state) {
  runtime_timer_init();
  for (auto _ : state) benchmark::DoNotOptimize(timer_ms());
}
BENCHMARK(BM_TimerMs);

// The last entry of the directory: a full scan plus unpacking each time.
void BM_ArchiveLookup(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const int size = static_cast<int>(state.range(1));
  const std::string archive = write_archive(count, size);
  runtime_set_archive_path(archive.c_str(), archive.c_str());
  const std::string name = "Media/entry" + std::to_string(count - 1) + ".png";
  std::string out;
  for (auto _ : state) {
    if (!runtime_resolve_media_file(*g_runtime.generalResolver, name.c_str(), out, true))
      state.SkipWithError("not found");
  }
  state.SetBytesProcessed(state.iterations() * size);
  runtime_release_resolvers();
  std::remove(archive.c_str());
}
BENCHMARK(BM_ArchiveLookup)->Args({20, 4096})->Args({200, 4096})->Args({20, 1 << 20});

void BM_MemoryFileRead(benchmark::State& state) {
  std::vector<uint8_t> block(1 << 20, 1);
  const std::string name = runtime_register_memory_file(block.data(), static_cast<uint32_t>(block.size()));
  std::vector<uint8_t> buf(4096);
  for (auto _ : state) {
    VirtualFile f;
    f.open_read(name.c_str());
    while (f.position < f.size) f.read(buf.data(), static_cast<int64_t>(buf.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
  runtime_release_memory_file(block.data());
}
BENCHMARK(BM_MemoryFileRead);

}  // namespace
