// perfect_run: finds control scripts for whole runs of Skorvane by searching
// with the game logic itself (against the command-boundary test double).
//
// The obstacles move the same way whatever the hero does and whatever the
// random numbers are, so each level is searched on its own: a beam search
// over a few control choices per frame, keeping each distinct hero state of a
// frame once and, when there are too many, the furthest ones beside an even
// spread of the rest. The scripts are written in
// the engine's input script format (seed, then "F keys..." lines).
//
// Usage: perfect_run [--out DIR] [--seed N] [--from SCRIPT] [--only FILE]
//   --from SCRIPT  first learn each level's controls from an earlier script
//   --only FILE    write only that one of the scripts
// Writes DIR/perfect.txt, DIR/one_death.txt, DIR/two_deaths.txt and
// DIR/game_over.txt (DIR defaults to the current directory).
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "command_double.h"
#include "skorvane.h"

using cmd_double::dbl;
using skorvane::g;

namespace {

constexpr int kSpace = 57, kLeft = 203, kRight = 205, kDown = 208;
constexpr int kMaxFramesPerLevel = 600;

using Keys = std::set<int>;

// Steps the game and keeps the keys each frame read.
struct Runner {
  std::vector<Keys> per_frame;     // keys read by game frame n at index n - 1
  std::vector<int64_t> snapshot;   // the sys_show_screen call whose snapshot it read
  std::vector<std::pair<int64_t, std::string>> notes;  // (script frame, text)
  int64_t first_snapshot = 0;

  // The sys_show_screen call whose snapshot the next game frame reads. The
  // searches step the game as well, so the double's own count of calls runs
  // ahead of the script's: count from the first frame of the run instead.
  int64_t next_snapshot() const {
    return per_frame.empty() ? dbl().frames_shown : first_snapshot + static_cast<int64_t>(per_frame.size());
  }

  void step(const Keys& keys) {
    if (per_frame.empty()) first_snapshot = dbl().frames_shown;
    dbl().input.keys = keys;
    snapshot.push_back(next_snapshot());
    game_frame();
    per_frame.push_back(keys);
  }
  // The script: each game frame reads the snapshot of the last sys_show_screen
  // call before it (start-up's window sizing makes five of them).
  InputScript script(uint32_t seed) const {
    InputScript s;
    s.seed = seed;
    Keys last;
    for (size_t n = 1; n <= per_frame.size(); ++n) {
      const Keys& k = per_frame[n - 1];
      if (n == 1) {
        if (!k.empty()) std::fprintf(stderr, "the first frame must have no key down\n");
        continue;
      }
      if (k != last) s.key_lines.push_back({snapshot[n - 1], std::vector<int>(k.begin(), k.end())});
      last = k;
    }
    return s;
  }
  long frames() const { return static_cast<long>(per_frame.size()); }
};

// The search: a beam over the hero's states, frame by frame. The world (cloud,
// obstacles, clock) is the same for every hero that has not been hit, so one
// copy of the obstacle table per frame serves every hero state of that frame.
struct Node {
  skorvane::GameState state;
  int parent;
  int option;
};

struct HeroKey {
  double x, y, vx, vy, state, hold;
  bool operator<(const HeroKey& o) const {
    return std::tie(x, y, vx, vy, state, hold) < std::tie(o.x, o.y, o.vx, o.vy, o.state, o.hold);
  }
};

class LevelSearch {
 public:
  // beam: the most hero states kept per frame. diverse: keep one state per
  // (8-pixel column, speed, state, action) first, so that heroes waiting for
  // a hazard to pass survive beside the ones that run ahead.
  LevelSearch(bool towards_right, size_t beam, bool diverse)
      : right_(towards_right), beam_(beam), diverse_(diverse) {
    const int toward = towards_right ? kRight : kLeft;
    const int away = towards_right ? kLeft : kRight;
    options_ = {{toward}, {toward, kSpace}, {}, {kSpace}, {kDown}, {away}, {away, kSpace}};
  }

  // From the current game state: controls that reach this level's goal
  // without a hit, or false.
  bool run(std::vector<Keys>& out) {
    const double lives = g.lives;
    std::vector<std::vector<Node>> frames{{Node{g, -1, -1}}};
    std::vector<Obstacle> world = table();
    for (int t = 0; t < kMaxFramesPerLevel; ++t) {
      const std::vector<Node>& now = frames.back();
      std::vector<Node> next;
      std::set<HeroKey> seen;
      std::vector<Obstacle> next_world;
      for (size_t i = 0; i < now.size(); ++i) {
        for (size_t o = 0; o < options_.size(); ++o) {
          g = now[i].state;
          set_table(world);
          dbl().input.keys = options_[o];
          game_frame();
          ++tried_;
          if (g.lives < lives || g.game_state == skorvane::kHitWaitRelease) continue;
          if (g.game_state == skorvane::kDrop || g.game_state == skorvane::kRise) {
            frames.push_back({Node{g, static_cast<int>(i), static_cast<int>(o)}});
            out = path(frames);
            return true;
          }
          if (!seen.insert(HeroKey{g.hero_x, g.hero_y, g.hero_vx, g.hero_vy, g.game_state, g.action_hold}).second)
            continue;
          if (next_world.empty()) next_world = table();
          next.push_back(Node{g, static_cast<int>(i), static_cast<int>(o)});
        }
      }
      if (next.empty()) return false;
      frames.push_back(prune(std::move(next)));
      world = std::move(next_world);
    }
    return false;
  }
  size_t tried() const { return tried_; }

 private:
  static std::vector<Obstacle> table() {
    std::vector<Obstacle> t;
    for (int i = 0; i < skorvane::kObstacleSlots; ++i) t.push_back(skorvane::obstacles(i));
    return t;
  }
  static void set_table(const std::vector<Obstacle>& t) {
    for (int i = 0; i < skorvane::kObstacleSlots; ++i) skorvane::obstacles(i) = t[i];
  }
  double progress(const Node& n) const { return right_ ? n.state.hero_x : 608 - n.state.hero_x; }

  // Keeps the furthest half of the beam and an even spread of the rest, so
  // that heroes which wait for a hazard survive too.
  std::vector<Node> prune(std::vector<Node> nodes) const {
    if (diverse_) {
      std::set<std::tuple<int, double, double, double, bool>> groups;
      std::vector<Node> kept;
      for (const Node& n : nodes) {
        const auto key = std::make_tuple(static_cast<int>(n.state.hero_x) / 8, n.state.hero_vx, n.state.game_state,
                                         n.state.hero_vy, n.state.action_hold > 0);
        if (groups.insert(key).second) kept.push_back(n);
      }
      nodes = std::move(kept);
    }
    if (nodes.size() <= beam_) return nodes;
    std::stable_sort(nodes.begin(), nodes.end(),
                     [this](const Node& a, const Node& b) { return progress(a) > progress(b); });
    std::vector<Node> kept(nodes.begin(), nodes.begin() + beam_ / 2);
    const size_t rest = nodes.size() - beam_ / 2, want = beam_ - beam_ / 2;
    for (size_t k = 0; k < want; ++k) kept.push_back(nodes[beam_ / 2 + k * rest / want]);
    return kept;
  }

  std::vector<Keys> path(const std::vector<std::vector<Node>>& frames) const {
    std::vector<Keys> p;
    int idx = 0;
    for (size_t t = frames.size() - 1; t > 0; --t) {
      const Node& n = frames[t][idx];
      p.push_back(options_[n.option]);
      idx = n.parent;
    }
    return std::vector<Keys>(p.rbegin(), p.rend());
  }

  bool right_;
  size_t beam_;
  bool diverse_;
  std::vector<Keys> options_;
  size_t tried_ = 0;
};

bool towards_right() { return rt_mod(static_cast<int>(g.level), 2) == 0; }

// A fresh game after its start-up, with nothing recorded.
void fresh_game(uint32_t seed) {
  dbl().reset();
  dbl().record = false;
  g = skorvane::GameState{};
  rt_seed(static_cast<int32_t>(seed));
  game_startup();
}

// Controls found for each level. A level starts from the same obstacles
// whatever happened before (the cloud has finished its pass long before the
// goal), so a path found once usually works again in another run; it is
// checked before it is used.
std::map<int, std::vector<Keys>> g_found;

// True when `path` takes the hero from here to the goal without a hit. The
// game is left as it was.
bool path_works(const std::vector<Keys>& path) {
  const skorvane::Snapshot start = skorvane::save_snapshot();
  const double lives = g.lives;
  bool ok = false;
  for (const Keys& k : path) {
    dbl().input.keys = k;
    game_frame();
    if (g.lives < lives) break;
    if (g.game_state == skorvane::kDrop || g.game_state == skorvane::kRise) {
      ok = true;
      break;
    }
  }
  skorvane::restore_snapshot(start);
  return ok;
}

// Plays the current level to its goal without a hit, then lets the hero
// tumble to the other floor.
bool play_level_clean(Runner& r) {
  const double level = g.level;
  const skorvane::Snapshot start = skorvane::save_snapshot();
  std::vector<Keys> path;
  bool found = false;
  size_t tried = 0;
  auto known = g_found.find(static_cast<int>(level));
  if (known != g_found.end() && path_works(known->second)) {
    path = known->second;
    found = true;
  }
  const std::pair<size_t, bool> tries[] = {{64, false}, {256, false}, {1024, true}, {4096, true}};
  for (const auto& [beam, diverse] : tries) {
    if (found) break;
    LevelSearch search(towards_right(), beam, diverse);
    found = search.run(path);
    tried += search.tried();
    skorvane::restore_snapshot(start);
  }
  if (!found) {
    std::fprintf(stderr, "level %g: no way through (%zu frames tried)\n", level, tried);
    return false;
  }
  g_found[static_cast<int>(level)] = path;
  for (const Keys& k : path) r.step(k);
  while (g.game_state == skorvane::kDrop || g.game_state == skorvane::kRise) r.step({});
  std::fprintf(stderr, "level %g: %zu frames (%zu frames tried)\n", level, path.size(), tried);
  return g.level == level + 1 || g.game_state == skorvane::kRunComplete;
}

// Learns the controls of each level from an earlier script.
bool learn_from(const std::string& file) {
  InputScript s;
  std::string error;
  if (!cmd_double::read_script_file(file, s, error)) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
    return false;
  }
  fresh_game(s.seed);
  cmd_double::load_script(dbl(), s);
  const long frames = s.key_lines.empty() ? 0 : s.key_lines.back().frame + 1;
  std::map<int, std::vector<Keys>> paths;
  for (long f = 0; f < frames; ++f) {
    const bool playing = g.game_state >= skorvane::kOnFoot && g.game_state <= skorvane::kFalling;
    const int level = static_cast<int>(g.level);
    const Keys keys = dbl().input.keys;
    game_frame();
    if (playing) paths[level].push_back(keys);
  }
  g_found = paths;
  std::fprintf(stderr, "learnt %zu levels from %s\n", paths.size(), file.c_str());
  return true;
}

// Walks into the first obstacle ahead until hit, then releases every control.
bool die_once(Runner& r) {
  const double lives = g.lives;
  const int toward = towards_right() ? kRight : kLeft;
  for (int f = 0; f < kMaxFramesPerLevel && g.lives == lives; ++f) r.step({toward});
  if (g.lives == lives) return false;
  r.step({});
  return true;
}

void start_from_title(Runner& r) {
  r.step({});
  r.step({kSpace});
  r.step({});
}

// Steps with no control until the screen's count-up is done, then presses the
// action to return to the title.
bool back_to_title(Runner& r) {
  for (int f = 0; f < 60; ++f) r.step({});
  r.step({kSpace});
  r.step({});
  return g.game_state == skorvane::kTitle;
}


// deaths[level] = lives to lose on that level before crossing it cleanly.
bool whole_run(Runner& r, const std::vector<int>& deaths, int game_over_level) {
  start_from_title(r);
  while (g.game_state != skorvane::kRunComplete && g.game_state != skorvane::kGameOver) {
    const int level = static_cast<int>(g.level);
    r.notes.push_back({r.next_snapshot(), "level " + std::to_string(level)});
    if (level == game_over_level) {
      while (g.game_state != skorvane::kGameOver)
        if (!die_once(r)) return false;
      break;
    }
    for (int d = 0; d < (level < static_cast<int>(deaths.size()) ? deaths[level] : 0); ++d)
      if (!die_once(r)) return false;
    if (!play_level_clean(r)) return false;
  }
  return back_to_title(r);
}

// The script in the engine's input script format, with a comment line before
// the first line of each level.
bool write(const std::string& path, const InputScript& s, const Runner& r, const std::string& about) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "%u\n# %s\n# Written by tools/perfect_run; run it again after changing the level table.\n",
               s.seed, about.c_str());
  size_t note = 0;
  for (const auto& line : s.key_lines) {
    while (note < r.notes.size() && r.notes[note].first <= line.frame)
      std::fprintf(f, "# %s\n", r.notes[note++].second.c_str());
    std::fprintf(f, "%lld", static_cast<long long>(line.frame));
    for (int k : line.keys) std::fprintf(f, " %d", k);
    std::fprintf(f, "\n");
  }
  return std::fclose(f) == 0;
}

// Replays a script from a fresh game and reports the state it ends in.
double replay(const InputScript& s, long frames) {
  fresh_game(s.seed);
  cmd_double::load_script(dbl(), s);
  for (long f = 0; f < frames; ++f) game_frame();
  return g.game_state;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = ".";
  std::string only;
  uint32_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
      out = argv[++i];
    } else if (!std::strcmp(argv[i], "--from") && i + 1 < argc) {
      if (!learn_from(argv[++i])) return 1;
    } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
      only = argv[++i];
    } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr, "usage: perfect_run [--out DIR] [--seed N] [--from SCRIPT] [--only FILE]\n");
      return 2;
    }
  }

  struct Scenario {
    const char* file;
    const char* about;
    std::vector<int> deaths;
    int game_over_level;
  };
  const Scenario scenarios[] = {
      {"perfect.txt", "a run through levels 0 to 40 without a hit: PLOT TWIST", {}, -1},
      {"one_death.txt", "a run that loses one life on level 1: PLOT TWIST", {0, 1}, -1},
      {"two_deaths.txt", "a run that loses two lives on level 3: CONGRATULATIONS, 39 lives", {0, 0, 0, 2}, -1},
      {"game_over.txt", "a clean run to level 12, then every life lost there: NO MORE, level 12", {}, 12},
  };
  int failures = 0;
  for (const Scenario& sc : scenarios) {
    if (!only.empty() && only != sc.file) continue;
    std::fprintf(stderr, "== %s\n", sc.file);
    fresh_game(seed);
    Runner r;
    if (!whole_run(r, sc.deaths, sc.game_over_level)) {
      std::fprintf(stderr, "%s: no script found\n", sc.file);
      ++failures;
      continue;
    }
    const InputScript s = r.script(seed);
    // The script must give the same run when replayed from the start.
    const double end_state = replay(s, r.frames());
    if (end_state != skorvane::kTitle) {
      std::fprintf(stderr, "%s: the replay ends in state %g\n", sc.file, end_state);
      ++failures;
      continue;
    }
    const std::string path = out + "/" + sc.file;
    if (!write(path, s, r, sc.about)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      ++failures;
      continue;
    }
    std::fprintf(stderr, "%s: %ld frames, %zu lines\n", path.c_str(), r.frames(), s.key_lines.size());
  }
  return failures == 0 ? 0 : 1;
}
