// The game's variables, its tables and the level table.
#include "skorvane.h"

namespace skorvane {

GameState g;

BasicArray<Particle> particles;
BasicArray<Obstacle> obstacles;
BasicArray<BasicString> level_rows;
BasicArray<double> tumble_frames;
BasicArray<double> marker_offsets;

// Row r is read by the cloud during level r and met by the hero on level r + 1.
// Positions 2..17 are the columns of the floor (x = 32 * position).
//   A nothing, B..E block 1..4, F low, K middle, P high hazard,
//   G..J / L..O / Q..T a low / middle / high hazard over a block 1..4.
const char* const kLevelTable[kLevelCount] = {
    "--AAAAAAACBAAAAAAA--",  //  0
    "--AAAAAAACDAAAAAAA--",  //  1
    "--AAAAAAAEDAAAAAAA--",  //  2
    "--AAAAAABCBAAAAAAA--",  //  3
    "--AAPAAAAAAAAAAAAA--",  //  4
    "--AAAAAACDCAAAAAAA--",  //  5
    "--AKAAAAAAAAAAAAAA--",  //  6
    "--AAAAAADEDAAAAAAA--",  //  7
    "--FAAAAAAAAAAAAAAA--",  //  8
    "--AABCBAAAAAABCBAA--",  //  9
    "--AKPAAAAAAAAAAAAA--",  // 10
    "--AACDCAAAAAACDCAA--",  // 11
    "--AFKAAAAAAAAAAAAA--",  // 12
    "--AADEDAAAAAADEDAA--",  // 13
    "--KPAAAAAAAFKAAAAA--",  // 14
    "--ABAAAAABBAAAAABA--",  // 15
    "--FFAAAAAAKPAAAAFF--",  // 16
    "--ACAAAAACCAAAAACA--",  // 17
    "--KPAAAFFAAAAAKPAA--",  // 18
    "--ADAAAAADDAAAAADA--",  // 19
    "--FAFAFAAAAAAPAPAP--",  // 20
    "--AEAAAAAEEAAAAAEA--",  // 21
    "--FAFAFAAAAAAKAKAK--",  // 22
    "--CBAAACBAACBAAACB--",  // 23
    "--FAFAFAAAAAAFAFAF--",  // 24
    "--AAAAABCDEBAAAAAA--",  // 25
    "--AFFAFFAFFAAAAAAA--",  // 26
    "--AABCDEBAAAABCDEB--",  // 27
    "--PAAACAAAAAACAAAP--",  // 28
    "--BAABAABAACAACAAC--",  // 29
    "--KAAADAAAAAADAAAK--",  // 30
    "--CAACAACAADAADAAD--",  // 31
    "--FAAAEAAAAAAEAAAF--",  // 32
    "--DAADAADAAEAAEAAE--",  // 33
    "--HGFFFFFAAAAAAAAA--",  // 34
    "--AAAAABDCEDAAAAAA--",  // 35
    "--IHGFFFFAAAAAAAAA--",  // 36
    "--AABDCEDAAAABDCED--",  // 37
    "--JIHGFFFAAAAAAAAA--",  // 38
    "--AAAAAAAAAAAAAAAA--",  // 39
};

const char* const kParticleFields[8] = {"life", "x", "y", "vx", "vy", "red", "green", "blue"};
const char* const kObstacleFields[8] = {"phase", "kind", "x", "y", "spawn_x", "spawn_y", "floor", "live"};

std::vector<NamedValue> list_globals() {
  auto n = [](const char* name, double v) { return NamedValue{name, v, std::string(), false}; };
  return {
      n("game_state", g.game_state),
      n("level", g.level),
      n("lives", g.lives),
      n("hero_x", g.hero_x),
      n("hero_y", g.hero_y),
      n("hero_vx", g.hero_vx),
      n("hero_vy", g.hero_vy),
      n("hero_facing", g.hero_facing),
      n("anim_frame", g.anim_frame),
      n("anim_step", g.anim_step),
      n("key_up", g.key_up),
      n("key_down", g.key_down),
      n("key_left", g.key_left),
      n("key_right", g.key_right),
      n("action_hold", g.action_hold),
      n("cloud_x", g.cloud_x),
      n("spawn_col", g.spawn_col),
      n("spawn_slot", g.spawn_slot),
      NamedValue{"row_char", 0, std::string(g.row_char.c_str()), true},
      n("time_frac", g.time_frac),
      n("time_sec", g.time_sec),
      n("time_min", g.time_min),
      n("end_frac", g.end_frac),
      n("end_sec", g.end_sec),
      n("end_min", g.end_min),
      n("end_lives", g.end_lives),
      n("count_up", g.count_up),
      n("level_reached", g.level_reached),
      n("marker_timer", g.marker_timer),
      n("marker_frame", g.marker_frame),
      n("shake_x", g.shake_x),
      n("shake_y", g.shake_y),
      n("particle_next", g.particle_next),
      n("particle_max", g.particle_max),
      n("screen_w", g.screen_w),
      n("screen_h", g.screen_h),
      n("draw_x", g.draw_x),
      n("draw_y", g.draw_y),
      n("running", g.running),
  };
}

namespace {

std::vector<double> fields(const Particle& p) { return {p.life, p.x, p.y, p.vx, p.vy, p.red, p.green, p.blue}; }
std::vector<double> fields(const Obstacle& o) {
  return {o.phase, o.kind, o.x, o.y, o.spawn_x, o.spawn_y, o.floor, o.live};
}

// The tables exist once start-up has made them: list what is there.
template <class Table>
std::vector<std::vector<double>> rows_of(Table& table) {
  std::vector<std::vector<double>> rows;
  const int n = arr_bounds(table, 0);
  rows.reserve(n > 0 ? n : 0);
  for (int i = 0; i < n; ++i) rows.push_back(fields(table(i)));
  return rows;
}

}  // namespace

std::vector<std::vector<double>> list_particles() { return rows_of(particles); }
std::vector<std::vector<double>> list_obstacles() { return rows_of(obstacles); }

Snapshot save_snapshot() {
  Snapshot s;
  s.state = g;
  for (int i = 0; i < ix(g.particle_max); ++i) s.particles.push_back(particles(i));
  for (int i = 0; i < kObstacleSlots; ++i) s.obstacles.push_back(obstacles(i));
  return s;
}

void restore_snapshot(const Snapshot& s) {
  g = s.state;
  for (size_t i = 0; i < s.particles.size(); ++i) particles(static_cast<int>(i)) = s.particles[i];
  for (size_t i = 0; i < s.obstacles.size(); ++i) obstacles(static_cast<int>(i)) = s.obstacles[i];
}

}  // namespace skorvane
