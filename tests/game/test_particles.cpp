// The particle pool, the death routine and the floor-clearing bursts.
#include "game_fixture.h"

namespace game_test {
namespace {

using skorvane::particles;

struct SpawnCase {
  double count;
  double emitted;
};

class SpawnCount : public GameTest, public ::testing::WithParamInterface<SpawnCase> {};

TEST_P(SpawnCount, EmitsWholeParticlesUpToTheCount) {
  g.particle_next = 100;
  particles_spawn(50, 60, GetParam().count, 1, 2, 3);
  EXPECT_EQ(g.particle_next, 100 + GetParam().emitted);
}

INSTANTIATE_TEST_SUITE_P(Counts, SpawnCount,
                         ::testing::Values(SpawnCase{0, 0}, SpawnCase{0.5, 0}, SpawnCase{-3, 0}, SpawnCase{1, 1},
                                           SpawnCase{1.5, 1}, SpawnCase{32, 32}));

// The particles of a seeded burst, drawn in the documented order: life, then
// vx and vy until they are not both 0.
TEST_F(GameTest, SpawnWrapsTheRingAndDrawsItsRandomNumbersInOrder) {
  g.particle_next = 510;
  rt_seed(77);
  particles_spawn(100, 50, 4, 10, 20, 30);
  EXPECT_EQ(g.particle_next, 2);
  rt_seed(77);
  for (int slot : {511, 0, 1, 2}) {
    SCOPED_TRACE(slot);
    const Particle& p = particles(slot);
    const double life = rt_rnd(63) + 192;
    double vx, vy;
    do {
      vx = rt_rnd(256) - 128;
      vy = rt_rnd(256) - 128;
    } while (vx == 0 && vy == 0);
    EXPECT_EQ(p.life, life);
    EXPECT_EQ(p.vx, vx);
    EXPECT_EQ(p.vy, vy);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 50);
    EXPECT_EQ(p.red, 10);
    EXPECT_EQ(p.green, 20);
    EXPECT_EQ(p.blue, 30);
    EXPECT_GE(p.life, 192);
    EXPECT_LE(p.life, 255);
  }
  EXPECT_EQ(particles(3).life, 0);
  EXPECT_EQ(particles(510).life, 0);
}

TEST_F(GameTest, ParticleUpdateMovesAgesAndDraws) {
  particles(0) = Particle{200, 10, 20, 32, -16, 255, 128, 1};
  particles(1) = Particle{132, 50, 60, -0.25, 0, 300, 0, 0};  // dies this frame, still drawn
  particles(2) = Particle{0, 70, 80, 16, 16, 255, 255, 255};  // dead: neither moved nor drawn
  particles_update();
  const auto rects = cmd_double::calls_of(dbl().frame, Op::DrawRect);
  ASSERT_EQ(rects.size(), 2u);

  EXPECT_EQ(particles(0).x, 12);
  EXPECT_EQ(particles(0).y, 19);
  EXPECT_EQ(particles(0).vx, 31.75);
  EXPECT_EQ(particles(0).vy, -10);
  EXPECT_EQ(particles(0).life, 196);
  EXPECT_EQ(rects[0].a, (std::array<double, 6>{12, 19, 4, 4, 255 + 256 * 128 + 65536 * 1, 0}));

  EXPECT_EQ(particles(1).life, 0);
  EXPECT_EQ(particles(1).vx, 0);
  EXPECT_EQ(particles(1).x, 49.984375);
  EXPECT_EQ(rects[1].a[0], 49);
  EXPECT_EQ(rects[1].a[4], 300 % 256);  // each channel modulo 256
  EXPECT_EQ(particles(2).x, 70);

  particles(1).life = 200;
  particles_update();
  EXPECT_EQ(particles(1).vx, 0);  // stays at 0
}

TEST_F(GameTest, AParticleLivesSixteenToThirtyTwoFrames) {
  particles(0) = Particle{192, 0, 0, 1, 1, 0, 0, 0};
  particles(1) = Particle{255, 0, 0, 1, 1, 0, 0, 0};
  int alive0 = 0, alive1 = 0;
  for (int f = 0; f < 40; ++f) {
    particles_update();
    alive0 += particles(0).life > 0;
    alive1 += particles(1).life > 0;
  }
  EXPECT_EQ(alive0, 15);  // drawn for 16 frames, the last one at life 0
  EXPECT_EQ(alive1, 31);
}

struct DeathCase {
  double level;
  double hero_x, hero_y;
  double start_x, start_y, facing;
};

class Death : public GameTest, public ::testing::WithParamInterface<DeathCase> {};

TEST_P(Death, SendsTheHeroBackToTheFloorStart) {
  const DeathCase& c = GetParam();
  g.level = c.level;
  g.game_state = 3;
  g.hero_x = c.hero_x;
  g.hero_y = c.hero_y;
  g.hero_vx = 7;
  g.hero_vy = -4;
  g.lives = 2;
  g.particle_next = 0;
  rt_seed(5);
  PlyrDie();
  EXPECT_EQ(g.hero_x, c.start_x);
  EXPECT_EQ(g.hero_y, c.start_y);
  EXPECT_EQ(g.hero_facing, c.facing);
  EXPECT_EQ(g.hero_vx, 0);
  EXPECT_EQ(g.hero_vy, 0);
  EXPECT_EQ(g.game_state, 10);
  EXPECT_EQ(g.lives, 1);
  EXPECT_EQ(g.shake_x, 8);
  EXPECT_EQ(g.shake_y, 8);

  const auto sounds = cmd_double::calls_of(dbl().frame, Op::SndPlay);
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].a[0], 1);
  EXPECT_EQ(sounds[0].a[2], 1);
  rt_seed(5);
  EXPECT_EQ(sounds[1].a[0], 3 + rt_rnd(3));
  EXPECT_EQ(sounds[1].a[2], 0.5);

  // Six bursts, 224 particles, around where the hero was hit.
  EXPECT_EQ(g.particle_next, 224);
  const Particle& first = particles(1);
  EXPECT_EQ(first.x, c.hero_x + 16);
  EXPECT_EQ(first.y, c.hero_y + 8);
  EXPECT_EQ(first.red, 254);
  const Particle& red = particles(97);  // first of the 64 red ones
  EXPECT_EQ(red.y, c.hero_y + 40);
  EXPECT_EQ(red.red, 255);
  EXPECT_EQ(red.green, 0);
  const Particle& last = particles(224);
  EXPECT_EQ(last.red, 100);
  EXPECT_EQ(last.green, 72);
  EXPECT_EQ(last.blue, 24);
}

INSTANTIATE_TEST_SUITE_P(Levels, Death,
                         ::testing::Values(DeathCase{4, 300, 60, 0, 120, 1}, DeathCase{7, 250, 320, 608, 320, 0}));

TEST_F(GameTest, DeathWithNoSpareLifeEndsTheRunAtTheEndOfTheFrame) {
  play_level(1);
  g.lives = 0;
  g.hero_x = 300;
  put(0, 2, 1, 280, 352);
  step({kLeft});
  EXPECT_EQ(g.game_state, 1000);
  EXPECT_EQ(g.level, -1);
  EXPECT_EQ(g.lives, 1);
  EXPECT_EQ(g.hero_x, 1024);
  EXPECT_EQ(g.hero_y, 1024);
  EXPECT_EQ(skorvane::obstacles(0).phase, 0);
  const auto& audio = dbl().audio;
  ASSERT_GE(audio.size(), 2u);
  EXPECT_EQ(audio[audio.size() - 2].op, Op::MusPlay);
  EXPECT_EQ(audio[audio.size() - 2].file, "blank.mp3");
  EXPECT_EQ(audio.back().op, Op::MusStop);
}

struct ClearCase {
  double kind;
  double first[3], second[3];
};

class ClearingBurst : public GameTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(ClearingBurst, ColoursByKind) {
  const ClearCase& c = GetParam();
  g.particle_next = 0;
  Obstacle o{1, c.kind, 100, 200, 0, 0, 0, 1};
  skorvane::clearing_burst(o);
  EXPECT_EQ(g.particle_next, 64);
  EXPECT_EQ(g.shake_x, 4);
  EXPECT_EQ(g.shake_y, 4);
  const Particle& a = particles(1);
  const Particle& b = particles(33);
  EXPECT_EQ(a.x, 116);
  EXPECT_EQ(a.y, 216);
  EXPECT_EQ((std::array<double, 3>{a.red, a.green, a.blue}), (std::array<double, 3>{c.first[0], c.first[1], c.first[2]}));
  EXPECT_EQ((std::array<double, 3>{b.red, b.green, b.blue}),
            (std::array<double, 3>{c.second[0], c.second[1], c.second[2]}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClearingBurst,
                         ::testing::Values(ClearCase{1, {255, 0, 0}, {128, 0, 0}}, ClearCase{4, {255, 0, 0}, {128, 0, 0}},
                                           ClearCase{5, {255, 0, 0}, {255, 128, 0}},
                                           ClearCase{6, {0, 255, 0}, {0, 128, 0}},
                                           ClearCase{7, {0, 255, 255}, {0, 128, 128}}));

TEST_F(GameTest, LandingClearsTheFloorLeftWithBursts) {
  play_level(0);
  put(0, 1, 0, 300, 168);     // floor 0, block
  put(1, 6, 0, 200, 120, 4);  // floor 0, hazard, hidden
  skorvane::obstacles(1).live = 0;
  put(2, 5, 1, 300, 216);  // floor 1 stays
  g.hero_x = 600;
  g.particle_next = 0;
  int frames = 0;
  while (g.level == 0 && frames < 30) {
    step();
    ++frames;
  }
  EXPECT_EQ(frames, 13);
  EXPECT_EQ(skorvane::obstacles(0).phase, 0);
  EXPECT_EQ(skorvane::obstacles(1).phase, 0);  // live or not
  EXPECT_EQ(skorvane::obstacles(2).phase, 2);  // floor 1 is played now: its hazard sets off
  EXPECT_EQ(g.particle_next, 128 + 2 * 64);
}

}  // namespace
}  // namespace game_test
