// Audio and input costs: parsing a WAV, converting it for the mixer, a play
// with voice rotation, and key queries between frames.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "audio/sound.h"
#include "audio/wav_reader.h"
#include "input/input_state.h"
#include "platform/mixer.h"
#include "tamblix/audio.h"
#include "tamblix/input.h"
#include "tamblix/string.h"
#include "wav_util.h"

namespace {

std::vector<uint8_t> one_second_wav() {
  wavtest::Fmt f;
  return wavtest::wav(f, wavtest::dc16(1000, 22050));
}

void BM_ParseWav(benchmark::State& st) {
  const auto bytes = one_second_wav();
  for (auto _ : st) {
    tmx::audio::WavSound s;
    benchmark::DoNotOptimize(tmx::audio::parse_wav({bytes.data(), bytes.size(), false}, s));
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseWav);

struct Device {
  Device() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SDL_Init(0);
    tmx::audio::sound_start(nullptr);
  }
  ~Device() {
    tmx::audio::sound_shutdown();
    SDL_Quit();
  }
};

void BM_ConvertForMixer(benchmark::State& st) {
  Device d;
  const auto data = wavtest::dc16(1000, 22050);
  tmx::platform::PcmLayout l{1, 1, 44100, 2, 16};  // resampled to the device rate
  for (auto _ : st) {
    auto* s = tmx::platform::mix_samples_create(l, data.data(), static_cast<uint32_t>(data.size()));
    benchmark::DoNotOptimize(s);
    tmx::platform::mix_samples_free(s);
  }
}
BENCHMARK(BM_ConvertForMixer);

void BM_PlayRotatingVoices(benchmark::State& st) {
  Device d;
  char path[] = "/tmp/tmx_bench_XXXXXX.wav";
  int fd = mkstemps(path, 4);
  close(fd);
  wavtest::write_file(path, one_second_wav());
  snd_load(BasicString(path), 1, 4);
  for (auto _ : st) benchmark::DoNotOptimize(snd_play(1, 0.3, 0.7));
  snd_stop_all();
  unlink(path);
}
BENCHMARK(BM_PlayRotatingVoices);

void BM_KeyQueries(benchmark::State& st) {
  tmx::input::create_state();
  for (auto _ : st) {
    int n = 0;
    for (int c = 0; c < 256; ++c) n += inp_key(c);
    benchmark::DoNotOptimize(n);
  }
  tmx::input::input_shutdown();
}
BENCHMARK(BM_KeyQueries);

}  // namespace
