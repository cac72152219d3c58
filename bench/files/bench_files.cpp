// Reading and writing a 64 MiB file through the file channels, next to
// plain reads and stdio on the same file: MiB/s (bytes_per_second).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tamblix.h"

namespace {

constexpr int64_t kBytes = 64ll * 1024 * 1024;

// A text file of lines of 20..100 bytes, made once.
const std::string& text_file() {
  static std::string path;
  if (path.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tamblix-bench-files.txt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    uint32_t seed = 1;
    int64_t written = 0;
    std::string line;
    while (written < kBytes) {
      seed = seed * 1664525u + 1013904223u;
      line.assign(20 + (seed >> 24) % 80, static_cast<char>('a' + (seed >> 8) % 26));
      line += "\r\n";
      std::fwrite(line.data(), 1, line.size(), f);
      written += static_cast<int64_t>(line.size());
    }
    std::fclose(f);
  }
  return path;
}

int64_t file_bytes(const std::string& path) {
  return sys_file_size(path.c_str());
}

void BM_PlainRead(benchmark::State& state) {
  const std::string& p = text_file();
  std::vector<char> buf(64 * 1024);
  for (auto _ : state) {
    int fd = open(p.c_str(), O_RDONLY);
    int64_t total = 0;
    for (ssize_t n; (n = read(fd, buf.data(), buf.size())) > 0;) total += n;
    close(fd);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * file_bytes(p));
}

void BM_StdioLines(benchmark::State& state) {
  const std::string& p = text_file();
  for (auto _ : state) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    char* line = nullptr;
    size_t cap = 0;
    int64_t lines = 0;
    while (getline(&line, &cap, f) > 0) ++lines;
    std::free(line);
    std::fclose(f);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * file_bytes(p));
}

void BM_ChannelLines(benchmark::State& state) {
  const std::string& p = text_file();
  const int64_t size = file_bytes(p);
  BasicString s;
  for (auto _ : state) {
    sys_open_file(0, p.c_str(), 1);
    int64_t lines = 0;
    while (sys_file_position(0) < size) {
      sys_read_line(0, s);
      ++lines;
    }
    sys_close_file(0);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_ChannelText(benchmark::State& state) {
  const std::string& p = text_file();
  const int64_t size = file_bytes(p);
  BasicString s;
  for (auto _ : state) {
    sys_open_file(0, p.c_str(), 1);
    for (int64_t at = 0; at < size; at += 65536) sys_read_text(0, s, size - at < 65536 ? size - at : 65536);
    sys_close_file(0);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_ChannelTypedReads(benchmark::State& state) {
  const std::string& p = text_file();
  const int64_t size = file_bytes(p) / 4 * 4;
  int32_t v = 0;
  for (auto _ : state) {
    sys_open_file(0, p.c_str(), 1);
    int64_t sum = 0;
    for (int64_t at = 0; at < size; at += 4) {
      sys_read_i32(0, v);
      sum += v;
    }
    sys_close_file(0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_ChannelTypedWrites(benchmark::State& state) {
  const std::string out = text_file() + ".out";
  for (auto _ : state) {
    sys_open_file(1, out.c_str(), 0);
    for (int64_t at = 0; at < kBytes; at += 4) sys_write_i32(1, static_cast<int32_t>(at));
    sys_close_file(1);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
  std::remove(out.c_str());
}

void BM_ChannelLineWrites(benchmark::State& state) {
  const std::string out = text_file() + ".lines";
  const BasicString line(std::string(62, 'x').c_str());
  for (auto _ : state) {
    sys_open_file(1, out.c_str(), 0);
    for (int64_t at = 0; at < kBytes; at += 64) sys_write_line(1, line);
    sys_close_file(1);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
  std::remove(out.c_str());
}

}  // namespace

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdioLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelTypedReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelTypedWrites)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelLineWrites)->Unit(benchmark::kMillisecond);
