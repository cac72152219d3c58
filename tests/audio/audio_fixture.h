// A sound device on SDL's disk driver: everything mixed goes to a raw file
// (signed 16-bit stereo at the device rate, 48000 Hz on the disk driver) in a
// private temporary directory.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/sound.h"
#include "platform/audio_device.h"
#include "wav_util.h"

class DiskAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tmx_audio_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    out_ = dir_ + "/mixed.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
    ASSERT_EQ(SDL_Init(0), 0);
    tmx::audio::sound_start(nullptr);
    ASSERT_TRUE(tmx::audio::sound_device_present()) << SDL_GetError();
  }
  void TearDown() override {
    tmx::audio::sound_shutdown();
    SDL_Quit();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = dir_ + "/" + name;
    EXPECT_TRUE(wavtest::write_file(p, bytes));
    return p;
  }
  // A mono 16-bit sound of one value, `ms` long.
  std::string dc_sound(const std::string& name, int16_t value, int ms) {
    return file(name, wavtest::wav(wavtest::Fmt{}, wavtest::dc16(value, 22050u * ms / 1000)));
  }

  // The mixed output so far, as (left, right) frames.
  std::vector<std::pair<int, int>> output() {
    std::vector<std::pair<int, int>> frames;
    std::FILE* f = std::fopen(out_.c_str(), "rb");
    if (!f) return frames;
    int16_t lr[2];
    while (std::fread(lr, sizeof lr, 1, f) == 1) frames.emplace_back(lr[0], lr[1]);
    std::fclose(f);
    return frames;
  }

  static void wait_ms(int ms) { SDL_Delay(static_cast<Uint32>(ms)); }
  // Output frames in `ms` milliseconds.
  static size_t device_frames(int ms) {
    return static_cast<size_t>(tmx::platform::audio_device_rate()) * static_cast<size_t>(ms) / 1000;
  }

  size_t output_frames() {
    std::error_code ec;
    auto n = std::filesystem::file_size(out_, ec);
    return ec ? 0 : static_cast<size_t>(n / 4);
  }
  // Waits until the device has written at least `frames` frames (at most 5 s),
  // so that slow machines still see the whole stretch asked for.
  void wait_output(size_t frames) {
    for (int i = 0; i < 500 && output_frames() < frames; ++i) wait_ms(10);
  }

  std::string dir_, out_;
};
