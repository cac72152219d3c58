// The single-file game next to the normal one: the whole life of a program
// that shows one frame and ends (`--frames 1`: start, first frame, quit),
// normal and packed interleaved in one run (ABBA order), with the medians of
// both and their ratio as counters; and the sizes on disk.
//
// Run under a display (Xvfb with Mesa for the software GL):
//   DISPLAY=:99 ./bench_pack
// The packed game runs from a directory of its own (beside Media/ it would
// read the files on disk, not its archive).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int64_t file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t dir_size(const std::string& dir) {
  int64_t total = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const int64_t s = file_size(dir + "/" + e->d_name);
      if (s > 0) total += s;
    }
    closedir(d);
  }
  return total;
}

// Runs the program to its end; the wall time in milliseconds, -1 on failure.
double run_ms(const std::string& exe, const std::string& tmp) {
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("TAMBLIX_NO_DIALOGS", "1", 1);
    execl(exe.c_str(), exe.c_str(), "--frames", "1", "--seed", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool copy_file(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  FILE* out = in ? std::fopen(to.c_str(), "wb") : nullptr;
  bool ok = in && out;
  char buf[1 << 16];
  size_t n;
  while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) ok = std::fwrite(buf, 1, n, out) == n;
  if (in) std::fclose(in);
  if (out) ok = std::fclose(out) == 0 && ok;
  return ok && chmod(to.c_str(), 0755) == 0;
}

void BM_StartFirstFrameQuit(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) {
    state.SkipWithError("no display: set DISPLAY (e.g. a private Xvfb)");
    return;
  }
  char tmpl[] = "/tmp/bench_pack_XXXXXX";
  if (!mkdtemp(tmpl)) {
    state.SkipWithError("no scratch directory");
    return;
  }
  const std::string dir = tmpl, packed = dir + "/skorvane-packed", tmp = dir + "/tmp";
  mkdir(tmp.c_str(), 0700);
  if (!copy_file(SKORVANE_PACKED_EXE, packed)) {
    state.SkipWithError("cannot copy the packed game");
    return;
  }
  // One of each first: the files are in the page cache for both.
  run_ms(SKORVANE_EXE, tmp);
  run_ms(packed, tmp);
  std::vector<double> normal, pack;
  bool packed_first = false;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      const bool run_packed = (k == 0) == packed_first;
      const double ms = run_ms(run_packed ? packed : SKORVANE_EXE, tmp);
      if (ms < 0) {
        state.SkipWithError("a run failed");
        break;
      }
      (run_packed ? pack : normal).push_back(ms);
    }
    packed_first = !packed_first;
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  const double n = median(normal), p = median(pack);
  state.counters["normal_ms"] = n;
  state.counters["packed_ms"] = p;
  state.counters["packed_over_normal"] = n > 0 ? p / n : 0;
  state.counters["normal_exe_plus_media_bytes"] = static_cast<double>(file_size(SKORVANE_EXE) + dir_size(SKORVANE_MEDIA));
  state.counters["packed_bytes"] = static_cast<double>(file_size(SKORVANE_PACKED_EXE));
}
BENCHMARK(BM_StartFirstFrameQuit)->Iterations(15)->Unit(benchmark::kMillisecond);

}  // namespace
