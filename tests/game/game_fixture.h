// Shared set-up for the game's tests: a fresh double, a fresh game after its
// start-up, and helpers to step frames with given controls.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "command_double.h"
#include "skorvane.h"

namespace game_test {

using cmd_double::Call;
using cmd_double::dbl;
using cmd_double::Input;
using cmd_double::Op;
using skorvane::g;

// Key codes.
constexpr int kW = 17, kA = 30, kS = 31, kD = 32, kZ = 44, kX = 45, kSpace = 57;
constexpr int kUp = 200, kLeft = 203, kRight = 205, kDown = 208;

inline Input keys(std::initializer_list<int> k) { return Input::of_keys(k); }

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dbl().reset();
    g = skorvane::GameState{};
    rt_seed(20261210);
    game_startup();
    dbl().frame.clear();
    dbl().audio.clear();
  }

  // One frame with these controls held.
  void step(const Input& in = Input()) {
    dbl().input = in;
    game_frame();
  }
  void step(std::initializer_list<int> k) { step(keys(k)); }
  void steps(int n, const Input& in = Input()) {
    for (int i = 0; i < n; ++i) step(in);
  }

  // From the title: the action press starts a run on level 0.
  void start_run() {
    step(Input());
    step({kSpace});
    ASSERT_EQ(g.game_state, 1);
    step(Input());  // release the action
  }

  // Puts the hero on foot at the start of `level`, with nothing else going on.
  void play_level(double level) {
    g.level = level;
    g.game_state = skorvane::kOnFoot;
    const bool odd = static_cast<int>(level) % 2 != 0;
    g.hero_x = odd ? 608 : 0;
    g.hero_y = odd ? 320 : 120;
    g.hero_facing = odd ? 0 : 1;
    g.hero_vx = g.hero_vy = 0;
    g.action_hold = 0;
    // The cloud has finished its pass; new obstacles would go to slot 100.
    g.cloud_x = odd ? -48 : 656;
    g.spawn_col = odd ? 0 : 18;
    g.spawn_slot = 100;
  }

  // The calls of the frame shown last.
  const std::vector<Call>& shown() const { return dbl().last_frame; }
  std::vector<double> sounds_shown() const {
    std::vector<double> out;
    for (const Call& c : cmd_double::calls_of(shown(), Op::SndPlay)) out.push_back(c.a[0]);
    return out;
  }
  // Steps `frames` frames with no control held; the sound slots played, in
  // order.
  std::vector<double> sounds_over(int frames) {
    std::vector<double> heard;
    for (int f = 0; f < frames; ++f) {
      step();
      for (double s : sounds_shown()) heard.push_back(s);
    }
    return heard;
  }

  // A fresh obstacle in `slot`.
  static Obstacle& put(int slot, double kind, double floor, double x, double y, double phase = 1) {
    Obstacle& o = skorvane::obstacles(slot);
    o = Obstacle{phase, kind, x, y, x, y, floor, 1};
    return o;
  }
};

}  // namespace game_test
