// Skorvane: the game's data and routines.
//
// The game is written against the engine's command set only (tamblix.h). It
// keeps all its variables in one record `g` and its fixed tables beside it.
// Every value is a 64-bit real; where a command takes an integer the real is
// truncated toward zero (ix()).
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tamblix.h"

// One square particle of the effects pool.
struct Particle {
  double life, x, y, vx, vy, red, green, blue;
};

// One slot of the obstacle ring.
//   phase: 0 empty, 1..5 life-cycle phase
//   kind:  1..4 block of height 16 * kind, 5 low, 6 middle, 7 high hazard
struct Obstacle {
  double phase, kind, x, y, spawn_x, spawn_y, floor, live;
};

namespace skorvane {

// Game state numbers.
constexpr int kOnFoot = 1;
constexpr int kDucking = 2;
constexpr int kJumping = 3;
constexpr int kFalling = 4;
constexpr int kDrop = 5;            // the goal of floor 0: tumbling down
constexpr int kRise = 6;            // the goal of floor 1: tumbling up
constexpr int kHitWaitRelease = 10; // after a death, until every control is released
constexpr int kHitWaitControl = 11; // then until a control is used
constexpr int kTitle = 999;
constexpr int kGameOver = 1000;
constexpr int kRunComplete = 1001;

constexpr int kObstacleSlots = 128;
constexpr int kLevelRowSlots = 64;
constexpr int kLevelCount = 40;  // rows 0..39 of the level table

// Every global variable of the game, with its value at program start.
struct GameState {
  double game_state = kTitle;
  double level = -1;
  double lives = 0;
  double hero_x = 0, hero_y = 0;
  double hero_vx = 0, hero_vy = 0;
  double hero_facing = 0;
  double anim_frame = 0;
  double anim_step = 0;
  double key_up = 0, key_down = 0, key_left = 0, key_right = 0;
  double action_hold = 0;
  double cloud_x = 0;
  double spawn_col = 0;
  double spawn_slot = 0;
  BasicString row_char;
  double time_frac = 0, time_sec = 0, time_min = 0;
  double end_frac = 0, end_sec = 0, end_min = 0, end_lives = 0;
  double count_up = 0;
  double level_reached = 0;
  double marker_timer = 0, marker_frame = 0;
  double shake_x = 0, shake_y = 0;
  double particle_next = 0, particle_max = 512;
  double screen_w = 0, screen_h = 0;
  double draw_x = 0, draw_y = 0;
  double running = 1;
};

extern GameState g;

// The fixed tables, created once at start-up.
extern BasicArray<Particle> particles;
extern BasicArray<Obstacle> obstacles;
extern BasicArray<BasicString> level_rows;
extern BasicArray<double> tumble_frames;
extern BasicArray<double> marker_offsets;

// The 40 rows of the level table, in order.
extern const char* const kLevelTable[kLevelCount];

// Truncation toward zero, for every real handed to an integer argument.
inline int ix(double v) { return static_cast<int>(v); }

// Frame steps, each in the module that owns it.
void read_controls();            // player.cpp
void update_hero_state();        // player.cpp (states 1..4)
void draw_hero();                // player.cpp
void update_cloud();             // level.cpp
void update_obstacles();         // level.cpp
void draw_floors_and_obstacles();// level.cpp
void draw_cloud_and_marker();    // level.cpp
void clear_floor(double floor);  // level.cpp
void place_row_char(double floor, double x, double y);  // level.cpp
void draw_hud();                 // screens.cpp
void title_screen();             // screens.cpp
void game_over_screen();         // screens.cpp
void run_complete_screen();      // screens.cpp
void clearing_burst(const Obstacle& o);  // particles.cpp
void start_run();                // frame.cpp
void complete_run();             // frame.cpp
void end_run();                  // frame.cpp

// ---- state listing (for tools and end-to-end checks) ----

// One global variable of the data model: numbers carry `number`, row_char
// carries `text`.
struct NamedValue {
  const char* name;
  double number;
  std::string text;
  bool is_text;
};
// Every global variable of the data model under its own name, in the order
// of the data model.
std::vector<NamedValue> list_globals();
// Field names of the two record tables, in field order.
extern const char* const kParticleFields[8];
extern const char* const kObstacleFields[8];
// The records of a table as rows of their fields in order.
std::vector<std::vector<double>> list_particles();
std::vector<std::vector<double>> list_obstacles();

// The whole game (variables and tables), for tools that try controls from a
// saved point. Random numbers are not part of it.
struct Snapshot {
  GameState state;
  std::vector<Particle> particles;
  std::vector<Obstacle> obstacles;
};
Snapshot save_snapshot();
// The whole state as one JSON object: every global variable under its name,
// then "obstacles" and "particles" as arrays of records (fields in order).
void write_state_json(std::FILE* out);
void restore_snapshot(const Snapshot& s);

}  // namespace skorvane

// ---- the game's named routines ----

// Start-up of game_main: media, window, surface, rate, tables; ends on the
// title screen.
void game_startup();
// One frame of the main loop, ending with sys_show_screen.
void game_frame();
// The main routine: start-up, then frames while running > 0.
double game_main();
// The death routine; also reachable by name as "PlyrDie".
void PlyrDie();
void particles_spawn(double x, double y, double count, double red, double green, double blue);
void particles_update();
