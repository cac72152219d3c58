// The particle pool, the death routine and the floor-clearing bursts.
#include "skorvane.h"

using namespace skorvane;

// Emits `count` particles at (x, y) in the given colour. The pool is a ring:
// each particle takes the slot after the one used last, alive or not.
void particles_spawn(double x, double y, double count, double red, double green, double blue) {
  if (count < 1) return;
  for (double c = 1; c <= count; c += 1) {
    g.particle_next += 1;
    if (g.particle_next == g.particle_max) g.particle_next = 0;
    Particle& p = particles(ix(g.particle_next));
    p.x = x;
    p.y = y;
    p.life = rt_rnd(63) + 192;
    p.red = red;
    p.green = green;
    p.blue = blue;
    p.vx = 0;
    p.vy = 0;
    do {
      p.vx = rt_rnd(256) - 128;
      p.vy = rt_rnd(256) - 128;
    } while (p.vx == 0 && p.vy == 0);
  }
}

// Moves, ages and draws every live particle; a particle is drawn on the frame
// it dies as well.
void particles_update() {
  for (int i = 0; i < ix(g.particle_max); ++i) {
    Particle& p = particles(i);
    if (!(p.life > 0)) continue;
    p.x += p.vx * 0.0625;
    p.y += p.vy * 0.0625;
    if (p.vx < 0) p.vx += 0.25;
    if (p.vx > 0) p.vx -= 0.25;
    p.vy += 6;
    p.life -= 4;
    if (p.life <= 128) p.life = 0;
    const int colour = (ix(p.red) & 255) + 256 * (ix(p.green) & 255) + 65536 * (ix(p.blue) & 255);
    gfx_draw_rect(ix(p.x), ix(p.y), 4, 4, colour);
  }
}

void PlyrDie() {
  snd_play(1, 0, 1);
  snd_play(3 + rt_rnd(3), 0, 0.5);

  // Bursts around the hero where it was hit.
  const double x = g.hero_x + 16;
  particles_spawn(x, g.hero_y + 8, 32, 254, 226, 142);
  particles_spawn(x, g.hero_y + 24, 32, 254, 226, 142);
  particles_spawn(x, g.hero_y + 24, 32, 255, 255, 255);
  particles_spawn(x, g.hero_y + 40, 64, 255, 0, 0);
  particles_spawn(x, g.hero_y + 40, 32, 30, 0, 204);
  particles_spawn(x, g.hero_y + 40, 32, 100, 72, 24);

  g.shake_y = 8;
  g.shake_x = 8;

  // Back to the start of the current floor.
  if (rt_mod(ix(g.level), 2) == 0) {
    g.hero_x = 0;
    g.hero_vx = 0;
    g.hero_y = 120;
    g.hero_vy = 0;
    g.hero_facing = 1;
  } else {
    g.hero_x = 608;
    g.hero_y = 320;
    g.hero_vx = g.hero_vy = 0;
    g.hero_facing = 0;
  }
  g.game_state = kHitWaitRelease;
  g.lives -= 1;
}

namespace skorvane {

// The two bursts of an obstacle whose floor is cleared, coloured by kind.
void clearing_burst(const Obstacle& o) {
  const double x = o.x + 16, y = o.y + 16;
  switch (ix(o.kind)) {
    case 5:
      particles_spawn(x, y, 32, 255, 0, 0);
      particles_spawn(x, y, 32, 255, 128, 0);
      break;
    case 6:
      particles_spawn(x, y, 32, 0, 255, 0);
      particles_spawn(x, y, 32, 0, 128, 0);
      break;
    case 7:
      particles_spawn(x, y, 32, 0, 255, 255);
      particles_spawn(x, y, 32, 0, 128, 128);
      break;
    default:
      particles_spawn(x, y, 32, 255, 0, 0);
      particles_spawn(x, y, 32, 128, 0, 0);
      break;
  }
  g.shake_x = g.shake_y = 4;
}

}  // namespace skorvane
