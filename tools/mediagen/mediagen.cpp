// mediagen: draws and synthesises every media file of the Skorvane game.
//
// Usage: mediagen <media-dir> <work-dir>
//   <media-dir> receives the images, the font image and the sound effects;
//   <work-dir>  receives music.wav and blank.wav, which the build then encodes
//               to MP3 with lame into <media-dir>.
//
// Everything is drawn procedurally from code and small text tables and is
// fully deterministic: the only randomness comes from fixed-seed generators.

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Deterministic random numbers (splitmix64)
// ---------------------------------------------------------------------------
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed) {}
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uni() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
  double range(double a, double b) { return a + (b - a) * uni(); }
  int irange(int a, int b) { return a + int(next() % uint64_t(b - a + 1)); }
};

uint32_t hash2(int x, int y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}
double hashf(int x, int y, uint32_t seed) { return (hash2(x, y, seed) & 0xFFFFFF) / double(0x1000000); }

// Smooth value noise, optionally periodic in x.
double vnoise(double x, double y, uint32_t seed, int periodX = 0) {
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  double fx = x - x0, fy = y - y0;
  auto wrap = [&](int v) { return periodX > 0 ? ((v % periodX) + periodX) % periodX : v; };
  double a = hashf(wrap(x0), y0, seed), b = hashf(wrap(x0 + 1), y0, seed);
  double c = hashf(wrap(x0), y0 + 1, seed), d = hashf(wrap(x0 + 1), y0 + 1, seed);
  double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}
double fbm(double x, double y, uint32_t seed, int oct, int periodX = 0) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < oct; ++i) {
    sum += amp * vnoise(x, y, seed + i * 101, periodX);
    norm += amp;
    amp *= 0.5;
    x *= 2;
    y *= 2;
    periodX *= 2;
  }
  return sum / norm;
}

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
uint8_t to8(double v) { return uint8_t(std::lround(clamp01(v / 255.0) * 255.0)); }

// ---------------------------------------------------------------------------
// Images
// ---------------------------------------------------------------------------
struct RGBA {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};
RGBA rgb(int r, int g, int b, int a = 255) { return RGBA{uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)}; }
RGBA scale(RGBA c, double f) { return RGBA{to8(c.r * f), to8(c.g * f), to8(c.b * f), c.a}; }
RGBA mix(RGBA a, RGBA b, double t) {
  return RGBA{to8(a.r + (b.r - a.r) * t), to8(a.g + (b.g - a.g) * t), to8(a.b + (b.b - a.b) * t),
              to8(a.a + (b.a - a.a) * t)};
}
RGBA lighten(RGBA c, double t) { return mix(c, rgb(255, 255, 255, c.a), t); }

struct Image {
  int w = 0, h = 0;
  std::vector<RGBA> px;
  Image() = default;
  Image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_) {}
  bool in(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  RGBA get(int x, int y) const { return in(x, y) ? px[size_t(y) * w + x] : RGBA{}; }
  void set(int x, int y, RGBA c) {
    if (in(x, y)) px[size_t(y) * w + x] = c;
  }
  // "over" compositing of colour c with coverage cov.
  void blend(int x, int y, RGBA c, double cov = 1.0) {
    if (!in(x, y)) return;
    RGBA& d = px[size_t(y) * w + x];
    double sa = c.a / 255.0 * clamp01(cov), da = d.a / 255.0;
    double oa = sa + da * (1 - sa);
    if (oa <= 0) return;
    auto ch = [&](uint8_t s, uint8_t dd) { return to8((s * sa + dd * da * (1 - sa)) / oa); };
    d = RGBA{ch(c.r, d.r), ch(c.g, d.g), ch(c.b, d.b), to8(oa * 255)};
  }
  void blit(const Image& src, int dx, int dy, bool mirror = false) {
    for (int y = 0; y < src.h; ++y)
      for (int x = 0; x < src.w; ++x) set(dx + x, dy + y, src.get(mirror ? src.w - 1 - x : x, y));
  }
};

bool write_png(const std::string& path, const Image& img, bool alpha) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(size_t(img.w) * 4);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, img.w, img.h, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < img.h; ++y) {
    size_t o = 0;
    for (int x = 0; x < img.w; ++x) {
      RGBA c = img.get(x, y);
      row[o++] = c.r;
      row[o++] = c.g;
      row[o++] = c.b;
      if (alpha) row[o++] = c.a;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
bool write_file(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return (std::fclose(f) == 0) && ok;
}

// 24-bit uncompressed bottom-up BMP with a 40-byte information header.
bool write_bmp24(const std::string& path, const Image& img) {
  const uint32_t stride = ((24u * img.w + 31u) / 32u) * 4u;
  const uint32_t dataSize = stride * img.h;
  std::vector<uint8_t> v;
  v.push_back('B');
  v.push_back('M');
  put32(v, 54 + dataSize);
  put16(v, 0);
  put16(v, 0);
  put32(v, 54);
  put32(v, 40);
  put32(v, uint32_t(img.w));
  put32(v, uint32_t(img.h));
  put16(v, 1);
  put16(v, 24);
  put32(v, 0);  // BI_RGB
  put32(v, dataSize);
  put32(v, 2835);
  put32(v, 2835);
  put32(v, 0);
  put32(v, 0);
  for (int y = img.h - 1; y >= 0; --y) {
    size_t start = v.size();
    for (int x = 0; x < img.w; ++x) {
      RGBA c = img.get(x, y);
      v.push_back(c.b);
      v.push_back(c.g);
      v.push_back(c.r);
    }
    while (v.size() - start < stride) v.push_back(0);
  }
  return write_file(path, v);
}

// Mono 16-bit PCM RIFF/WAVE with exactly a "fmt " and a "data" chunk.
bool write_wav(const std::string& path, const std::vector<float>& s, uint32_t rate) {
  std::vector<uint8_t> v;
  const uint32_t dataSize = uint32_t(s.size() * 2);
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  put32(v, 36 + dataSize);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(v, 16);
  put16(v, 1);  // PCM
  put16(v, 1);  // mono
  put32(v, rate);
  put32(v, rate * 2);
  put16(v, 2);
  put16(v, 16);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  put32(v, dataSize);
  for (float f : s) {
    double c = std::max(-1.0, std::min(1.0, double(f)));
    put16(v, uint16_t(int16_t(std::lround(c * 32767.0))));
  }
  return write_file(path, v);
}

// ---------------------------------------------------------------------------
// The hero: a jointed figure rasterised without anti-aliasing, then outlined
// and shaded by part groups so that it reads as pixel art at 32 x 64.
// ---------------------------------------------------------------------------
namespace pal {
const RGBA skin = rgb(254, 226, 142);
const RGBA shirt = rgb(214, 38, 38);
const RGBA trousers = rgb(44, 40, 196);
const RGBA boots = rgb(110, 72, 30);
const RGBA hair = rgb(118, 70, 26);
const RGBA belt = rgb(240, 190, 60);
const RGBA band = rgb(250, 250, 250);
const RGBA eye = rgb(24, 20, 40);
const RGBA outline = rgb(26, 18, 38);
}  // namespace pal

enum Group { kBackArm = 0, kBackLeg = 1, kTorso = 2, kHead = 3, kFrontLeg = 4, kFrontArm = 5 };

struct Canvas {
  static constexpr int W = 32, H = 64;
  std::array<RGBA, W * H> col{};
  std::array<int, W * H> grp;
  double rot = 0, rcx = 16, rcy = 40;  // optional whole-figure rotation (degrees)
  bool dark = false;                    // draw darker (far limbs)
  Canvas() { grp.fill(-1); }
  void xf(double& x, double& y) const {
    if (rot == 0) return;
    double a = rot * kPi / 180, dx = x - rcx, dy = y - rcy;
    x = rcx + dx * std::cos(a) - dy * std::sin(a);
    y = rcy + dx * std::sin(a) + dy * std::cos(a);
  }
  void plot(int x, int y, RGBA c, int g) {
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    col[y * W + x] = dark ? scale(c, 0.72) : c;
    grp[y * W + x] = g;
  }
  void capsule(double ax, double ay, double bx, double by, double r, RGBA c, int g) {
    xf(ax, ay);
    xf(bx, by);
    double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double px = x + 0.5 - ax, py = y + 0.5 - ay;
        double t = l2 > 0 ? std::max(0.0, std::min(1.0, (px * dx + py * dy) / l2)) : 0;
        double ex = px - t * dx, ey = py - t * dy;
        if (ex * ex + ey * ey <= r * r) plot(x, y, c, g);
      }
  }
  void disc(double cx, double cy, double r, RGBA c, int g) { capsule(cx, cy, cx, cy, r, c, g); }
  // Filled disc whose colour is chosen per pixel from local head coordinates
  // (u forward, v up) relative to the disc centre, turned by 'tilt' degrees.
  void head(double cx, double cy, double r, double tilt, const std::function<RGBA(double, double)>& shade, int g) {
    xf(cx, cy);
    double a = (tilt + rot) * kPi / 180;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double px = x + 0.5 - cx, py = y + 0.5 - cy;
        if (px * px + py * py > r * r) continue;
        // Undo the tilt: local u (forward), v (up).
        double u = px * std::cos(a) + py * std::sin(a);
        double v = px * std::sin(a) - py * std::cos(a);
        plot(x, y, shade(u, v), g);
      }
  }

  Image finish() const {
    Image out(W, H);
    auto G = [&](int x, int y) { return (x < 0 || y < 0 || x >= W || y >= H) ? -1 : grp[y * W + x]; };
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        int g = G(x, y);
        if (g < 0) {
          bool near = G(x - 1, y) >= 0 || G(x + 1, y) >= 0 || G(x, y - 1) >= 0 || G(x, y + 1) >= 0;
          if (near) out.set(x, y, pal::outline);
          continue;
        }
        RGBA c = col[y * W + x];
        // A line where this part lies in front of another part.
        bool edge = false;
        const int nx[4] = {-1, 1, 0, 0}, ny[4] = {0, 0, -1, 1};
        for (int k = 0; k < 4; ++k) {
          int q = G(x + nx[k], y + ny[k]);
          if (q >= 0 && q < g && !(g == kHead && q == kTorso && y + ny[k] > y && false)) edge = true;
        }
        if (edge) {
          c = mix(c, pal::outline, 0.55);
        } else {
          // Light from above: rim highlight on top edges, shade on lower/right edges.
          bool topOpen = G(x, y - 1) < 0 || G(x, y - 1) != g;
          bool botOpen = G(x, y + 1) < 0;
          bool rightOpen = G(x + 1, y) < 0;
          if (topOpen) c = lighten(c, 0.28);
          else if (botOpen || rightOpen) c = scale(c, 0.78);
        }
        out.set(x, y, c);
      }
    return out;
  }
};

struct Limb {
  double a, k;  // angle from straight down (degrees, + forward) and bend
};
struct Pose {
  double hipx = 15;
  double lift = 0;   // raise above the ground (pixels)
  double lean = 4;   // torso lean forward (degrees)
  double tilt = 0;   // head tilt forward (degrees)
  Limb legN{0, 0}, legF{0, 0}, armN{0, 0}, armF{0, 0};
  double tailLift = 0;  // headband tails: 0 hang, 1 stream behind
  double tailWave = 0;
  double rot = 0;
  double hipyFixed = -1;  // when >= 0, use this hip height instead of standing on the ground
  double torso = 14;      // hip to neck length
};

double rad(double d) { return d * kPi / 180; }

struct LegGeom {
  double kx, ky, fx, fy, tx, ty;  // knee, ankle, toe
};
LegGeom leg_geom(double hx, double hy, Limb l) {
  const double L1 = 10, L2 = 10;
  LegGeom g;
  g.kx = hx + L1 * std::sin(rad(l.a));
  g.ky = hy + L1 * std::cos(rad(l.a));
  double s = rad(l.a - l.k);
  g.fx = g.kx + L2 * std::sin(s);
  g.fy = g.ky + L2 * std::cos(s);
  // Boot points forward, perpendicular to the shin.
  g.tx = g.fx + 4.0 * std::cos(s);
  g.ty = g.fy - 4.0 * std::sin(s);
  return g;
}

void draw_leg(Canvas& c, double hx, double hy, Limb l, int g) {
  LegGeom lg = leg_geom(hx, hy, l);
  c.capsule(hx, hy, lg.kx, lg.ky, 3.1, pal::trousers, g);
  c.capsule(lg.kx, lg.ky, lg.fx, lg.fy, 2.7, pal::trousers, g);
  c.capsule(lg.fx - 0.3, lg.fy, lg.tx, lg.ty, 2.3, pal::boots, g);
}

void draw_arm(Canvas& c, double sx, double sy, Limb l, int g) {
  const double U = 7, F = 6;
  double ex = sx + U * std::sin(rad(l.a)), ey = sy + U * std::cos(rad(l.a));
  double f = rad(l.a + l.k);
  double hx = ex + F * std::sin(f), hy = ey + F * std::cos(f);
  // Bare arm with a short sleeve at the shoulder.
  c.capsule(sx, sy, ex, ey, 1.9, pal::skin, g);
  c.capsule(ex, ey, hx, hy, 1.9, pal::skin, g);
  c.capsule(sx, sy, sx + 0.45 * (ex - sx), sy + 0.45 * (ey - sy), 2.5, pal::shirt, g);
  c.disc(hx, hy, 2.2, pal::skin, g);
}

RGBA head_side(double u, double v) {
  // Headband across the brow, hair above and behind, face in front.
  if (v > 1.2 && v < 3.4 && u > -7.5) return pal::band;
  if (v >= 3.4) return pal::hair;
  if (u < -2.5 && v > -5.5) return pal::hair;
  if (u > 2.2 && u < 4.3 && v < 0.8 && v > -2.2) return pal::eye;
  return pal::skin;
}

Image draw_side(const Pose& p) {
  Canvas c;
  c.rot = p.rot;
  // Hip height: put the lowest boot on the ground line (y = 63 bottom edge).
  double hipy = 40;
  if (p.hipyFixed >= 0) {
    hipy = p.hipyFixed;
  } else {
    LegGeom a = leg_geom(0, 0, p.legN), b = leg_geom(0, 0, p.legF);
    double low = std::max({a.fy, a.ty, b.fy, b.ty}) + 2.3;
    hipy = 63.0 - low - p.lift;
  }
  double hx = p.hipx;
  double t = rad(p.lean);
  double nx = hx + p.torso * std::sin(t), ny = hipy - p.torso * std::cos(t);
  double sx = hx + (p.torso - 3) * std::sin(t), sy = hipy - (p.torso - 3) * std::cos(t);
  double ht = rad(p.lean + p.tilt);
  double cx = nx + 7.0 * std::sin(ht), cy = ny - 7.0 * std::cos(ht);

  // Far arm and far leg, darker.
  c.dark = true;
  draw_arm(c, sx - 1 * std::cos(t), sy, p.armF, kBackArm);
  draw_leg(c, hx - 1, hipy, p.legF, kBackLeg);
  c.dark = false;
  // Headband tails flutter behind the head.
  {
    double bx = cx - 6.5 * std::cos(ht) + 2.2 * std::sin(ht), by = cy - 2.2 * std::cos(ht) - 6.5 * std::sin(ht);
    double ang = rad(20 + 60 * p.tailLift + p.lean);  // from straight down, pointing backwards
    double ex = bx - 7 * std::sin(ang), ey = by + 7 * std::cos(ang) + p.tailWave;
    c.capsule(bx, by, ex, ey, 1.3, pal::band, kBackArm);
    double ex2 = bx - 5 * std::sin(ang + 0.5), ey2 = by + 5 * std::cos(ang + 0.5) - p.tailWave * 0.5;
    c.capsule(bx, by, ex2, ey2, 1.2, scale(pal::band, 0.85), kBackArm);
  }
  // Torso: shirt with trousers at the hip.
  c.capsule(hx, hipy, nx, ny, 5.6, pal::shirt, kTorso);
  c.disc(hx, hipy + 0.5, 4.6, pal::trousers, kTorso);
  {
    // Belt across the torso just above the hip.
    double bx = hx + 3.6 * std::sin(t), by = hipy - 3.6 * std::cos(t);
    c.capsule(bx - 5.0 * std::cos(t), by - 5.0 * std::sin(t), bx + 5.0 * std::cos(t), by + 5.0 * std::sin(t), 0.9,
              pal::belt, kTorso);
  }
  c.head(cx, cy, 7.6, p.lean + p.tilt, head_side, kHead);
  // Nose.
  c.disc(cx + 7.3 * std::cos(ht) + 1.0 * std::sin(ht), cy + 7.3 * std::sin(ht) - 1.0 * std::cos(ht) + 1.2, 1.2,
         pal::skin, kHead);
  draw_leg(c, hx + 0.5, hipy, p.legN, kFrontLeg);
  draw_arm(c, sx, sy, p.armN, kFrontArm);
  return c.finish();
}

// Seen from the front (turn frame) or from behind.
Image draw_front(bool back) {
  Canvas c;
  const double hipy = 42;
  // Legs.
  c.capsule(12.5, hipy, 12.0, 58, 3.2, pal::trousers, kBackLeg);
  c.capsule(19.5, hipy, 20.0, 58, 3.2, pal::trousers, kBackLeg);
  c.capsule(10.5, 60.5, 13.0, 60.5, 2.4, pal::boots, kBackLeg);
  c.capsule(19.0, 60.5, 21.5, 60.5, 2.4, pal::boots, kBackLeg);
  // Torso.
  c.capsule(16, hipy - 1, 16, 29, 6.6, back ? scale(pal::shirt, 0.9) : pal::shirt, kTorso);
  c.capsule(12.8, hipy + 2, 19.2, hipy + 2, 3.6, pal::trousers, kTorso);
  c.capsule(10.2, hipy - 1.2, 21.8, hipy - 1.2, 1.0, pal::belt, kTorso);
  // Head.
  const double hcx = 16, hcy = 20;
  c.head(hcx, hcy, 8.2, 0,
         [&](double u, double v) {
           if (v > 1.5 && v < 3.7) return pal::band;
           if (v >= 3.7) return pal::hair;
           if (back) return (v > -6.0) ? pal::hair : pal::skin;
           if (std::fabs(u) > 6.6 && v > -2) return pal::hair;
           if ((std::fabs(u - 3.2) < 1.0 || std::fabs(u + 3.2) < 1.0) && v < 0.8 && v > -2.2) return pal::eye;
           if (std::fabs(u) < 1.6 && v < -4.6 && v > -5.8) return rgb(170, 70, 60);
           return pal::skin;
         },
         kHead);
  if (back) {
    // Knot and hanging tails of the headband.
    c.disc(18.5, hcy - 2.6, 1.7, pal::band, kFrontArm);
    c.capsule(18.5, hcy - 2.6, 25.5, hcy + 3.5, 1.3, pal::band, kFrontArm);
    c.capsule(18.5, hcy - 2.6, 26.5, hcy - 0.5, 1.2, scale(pal::band, 0.88), kFrontArm);
  }
  // Arms hanging at the sides.
  c.capsule(8.6, 29.5, 7.6, 36, 2.4, pal::shirt, kFrontArm);
  c.capsule(7.6, 36, 7.8, 41.5, 2.0, pal::skin, kFrontArm);
  c.disc(7.9, 42.5, 2.3, pal::skin, kFrontArm);
  c.capsule(23.4, 29.5, 24.4, 36, 2.4, pal::shirt, kFrontArm);
  c.capsule(24.4, 36, 24.2, 41.5, 2.0, pal::skin, kFrontArm);
  c.disc(24.1, 42.5, 2.3, pal::skin, kFrontArm);
  return c.finish();
}

// The 12 frames of the right-facing row; the left row is their mirror image.
std::vector<Image> hero_frames() {
  std::vector<Image> f(12);
  Pose stand;
  stand.hipx = 15;
  stand.lean = 2;
  stand.legN = {4, 4};
  stand.legF = {-4, 4};
  stand.armN = {-6, 18};
  stand.armF = {6, 18};
  stand.tailLift = 0.1;
  f[0] = draw_side(stand);

  // Run cycle: frames 1..7 loop; frame 3 and 7 put a foot down.
  auto run = [&](Limb ln, Limb lf, Limb an, Limb af, double lift, double tw) {
    Pose p;
    p.hipx = 14;
    p.lean = 12;
    p.tilt = -4;
    p.legN = ln;
    p.legF = lf;
    p.armN = an;
    p.armF = af;
    p.lift = lift;
    p.tailLift = 1.0;
    p.tailWave = tw;
    return draw_side(p);
  };
  f[3] = run({32, 12}, {-32, 70}, {-45, 85}, {42, 95}, 0, 1.0);
  f[4] = run({6, 36}, {-8, 105}, {-18, 95}, {18, 95}, -1, 0.0);
  f[5] = run({-24, 28}, {46, 100}, {22, 95}, {-26, 85}, 1, -1.0);
  f[6] = run({-44, 42}, {72, 100}, {55, 70}, {-55, 80}, 3, 0.0);  // also the jump frame
  f[7] = run({-32, 70}, {32, 12}, {42, 95}, {-45, 85}, 0, 1.0);   // also the fall frame
  f[1] = run({-8, 105}, {6, 36}, {18, 95}, {-18, 95}, -1, 0.0);
  f[2] = run({46, 100}, {-24, 28}, {-26, 85}, {22, 95}, 1, -1.0);

  // Duck: crouched low, everything below the top half of the frame.
  Pose duck;
  duck.hipx = 9;
  duck.lean = 46;
  duck.tilt = 6;
  duck.torso = 11;
  duck.legN = {84, 152};
  duck.legF = {72, 140};
  duck.armN = {60, 40};
  duck.armF = {50, 50};
  duck.tailLift = 0.2;
  f[8] = draw_side(duck);

  f[9] = draw_front(false);

  // Tumble: tucked into a ball and turned over.
  Pose tuck;
  tuck.hipx = 14;
  tuck.lean = 40;
  tuck.tilt = 20;
  tuck.legN = {110, 150};
  tuck.legF = {100, 150};
  tuck.armN = {80, 60};
  tuck.armF = {70, 60};
  tuck.tailLift = 1.0;
  tuck.rot = 100;
  tuck.hipyFixed = 44;
  f[10] = draw_side(tuck);

  f[11] = draw_front(true);
  return f;
}

// ---------------------------------------------------------------------------
// Supersampled shape helpers for the smooth atlas pieces
// ---------------------------------------------------------------------------
// Coverage of a pixel by an implicit shape (inside(x, y) in pixel units).
double coverage(int x, int y, const std::function<bool(double, double)>& inside, int ss = 4) {
  int n = 0;
  for (int j = 0; j < ss; ++j)
    for (int i = 0; i < ss; ++i)
      if (inside(x + (i + 0.5) / ss, y + (j + 0.5) / ss)) ++n;
  return double(n) / (ss * ss);
}

bool in_poly(const std::vector<std::pair<double, double>>& p, double x, double y) {
  bool c = false;
  for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    if (((p[i].second > y) != (p[j].second > y)) &&
        (x < (p[j].first - p[i].first) * (y - p[i].second) / (p[j].second - p[i].second) + p[i].first))
      c = !c;
  }
  return c;
}

// Cloud, drawn 64 x 32 as it appears on screen.
Image draw_cloud() {
  Image img(64, 32);
  struct Puff {
    double x, y, r;
  };
  const Puff puffs[] = {{12, 20, 8}, {22, 14, 10}, {34, 11, 11}, {46, 15, 9.5}, {54, 21, 7}, {32, 22, 9}, {20, 23, 7}, {44, 23, 7}};
  auto inside = [&](double x, double y, double grow) {
    if (y > 28.5 + grow) return false;
    for (const Puff& p : puffs) {
      double dx = x - p.x, dy = y - p.y;
      if (dx * dx + dy * dy <= (p.r + grow) * (p.r + grow)) return true;
    }
    return false;
  };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      double outer = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 1.2); });
      if (outer <= 0) continue;
      double inner = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 0); });
      // Shading: bright on top, blue-grey underneath, with puffy ridges.
      double cy = y + 0.5, cx = x + 0.5;
      double t = clamp01((cy - 6) / 24.0);
      RGBA body = mix(rgb(255, 255, 255), rgb(150, 160, 200), t * t);
      // Ridge darkening where an upper puff meets a lower one.
      double ridge = 0;
      for (const Puff& p : puffs) {
        double d = std::sqrt((cx - p.x) * (cx - p.x) + (cy - p.y) * (cy - p.y));
        if (d < p.r && d > p.r - 1.6 && cy > p.y) ridge = std::max(ridge, 0.35);
      }
      bool inOther = false;
      for (const Puff& p : puffs) {
        double d = std::sqrt((cx - p.x) * (cx - p.x) + (cy - p.y) * (cy - p.y));
        if (d < p.r - 1.6) inOther = true;
      }
      if (inOther) ridge = 0;
      body = mix(body, rgb(120, 128, 170), ridge);
      RGBA edge = rgb(80, 84, 130);
      RGBA c = mix(edge, body, inner);
      c.a = to8(255 * outer);
      img.set(x, y, c);
    }
  return img;
}

// Stone block texture 32 x 64 (for kinds 1..3, and with a pillar look for kind 4).
Image draw_block(bool pillar) {
  Image img(32, 64);
  RGBA base = pillar ? rgb(150, 52, 48) : rgb(176, 64, 52);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 32; ++x) {
      double n = fbm(x / 6.0, y / 6.0, pillar ? 77 : 55, 3);
      RGBA c = scale(base, 0.8 + 0.4 * n);
      if (pillar) {
        // Vertical flutes.
        double f = std::sin((x + 0.5) / 32.0 * kPi * 4);
        c = scale(c, 0.92 + 0.12 * f);
      } else {
        // Brick courses every 16 rows, staggered joints.
        int row = y / 16;
        int yy = y % 16;
        int off = (row % 2) ? 8 : 0;
        int xx = (x + off) % 16;
        if (yy == 0 || yy == 1) c = lighten(c, 0.22);
        if (yy == 14 || yy == 15) c = scale(c, 0.7);
        if (xx == 0) c = scale(c, 0.65);
        if (xx == 1) c = lighten(c, 0.15);
      }
      // Bevel: light left/top, dark right/bottom.
      if (x < 2 || y < 2) c = lighten(c, 0.35);
      if (x >= 30 || y >= 62) c = scale(c, 0.55);
      if (x == 0 || x == 31) c = scale(c, 0.5);
      c.a = 255;
      img.set(x, y, c);
    }
  if (!pillar) {
    // Top highlight bands at the two rows where the block texture may start.
    for (int x = 0; x < 32; ++x) {
      for (int y : {0, 1, 16, 17}) img.set(x, y, lighten(img.get(x, y), 0.25));
    }
  } else {
    // Pillar capital and base bands.
    for (int x = 0; x < 32; ++x)
      for (int y = 0; y < 64; ++y) {
        if ((y >= 16 && y < 21) || (y >= 56 && y < 61)) {
          RGBA c = rgb(200, 150, 70);
          c = scale(c, 0.8 + 0.3 * fbm(x / 4.0, y / 4.0, 9, 2));
          if (y == 16 || y == 56) c = lighten(c, 0.4);
          if (y == 20 || y == 60) c = scale(c, 0.6);
          if (x == 0 || x == 31) c = scale(c, 0.5);
          img.set(x, y, c);
        }
      }
  }
  return img;
}

// Hazard core 32 x 32: a spiky light-grey orb, tinted by vertex colours in game.
Image draw_hazard() {
  Image img(32, 32);
  const double cx = 16, cy = 16;
  auto radius = [&](double th) {
    double s = std::pow(std::max(0.0, std::cos(8 * th)), 3.0);
    double s2 = std::pow(std::max(0.0, std::cos(8 * th + kPi)), 6.0);
    return 9.0 + 5.5 * s + 2.0 * s2;
  };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      auto inside = [&](double X, double Y, double grow) {
        double dx = X - cx, dy = Y - cy;
        return std::sqrt(dx * dx + dy * dy) <= radius(std::atan2(dy, dx)) + grow;
      };
      double outer = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 1.0); });
      if (outer <= 0) continue;
      double inner = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 0.0); });
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::sqrt(dx * dx + dy * dy);
      double l = 1.0 - clamp01(d / 15.0);
      double v = 120 + 135 * std::pow(l, 0.8);
      // Bright inner core with a highlight towards the upper left.
      double hl = std::exp(-((dx + 3) * (dx + 3) + (dy + 3) * (dy + 3)) / 10.0);
      v = std::min(255.0, v + 80 * hl);
      if (d > 5.5 && d < 7.0) v *= 0.82;  // ring
      RGBA body = rgb(int(v), int(v), int(v));
      RGBA c = mix(rgb(40, 40, 40), body, inner);
      c.a = to8(255 * outer);
      img.set(x, y, c);
    }
  return img;
}

// Goal-marker frame: a star turning about its vertical axis.
Image draw_marker(double squeeze) {
  Image img(32, 32);
  std::vector<std::pair<double, double>> star;
  for (int i = 0; i < 10; ++i) {
    double a = -kPi / 2 + i * kPi / 5;
    double r = (i % 2) ? 5.2 : 13.0;
    star.push_back({16 + squeeze * r * std::cos(a), 17 + r * std::sin(a)});
  }
  auto inside = [&](double x, double y, double grow) {
    // Grow by testing a small neighbourhood.
    if (in_poly(star, x, y)) return true;
    if (grow <= 0) return false;
    for (int k = 0; k < 8; ++k) {
      double a = k * kPi / 4;
      if (in_poly(star, x + grow * std::cos(a), y + grow * std::sin(a))) return true;
    }
    return false;
  };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      double outer = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 1.1); });
      if (outer <= 0) continue;
      double inner = coverage(x, y, [&](double X, double Y) { return inside(X, Y, 0); });
      double dx = (x + 0.5 - 16), dy = y + 0.5 - 17;
      // Facets: the side facing the light is brighter, depending on the turn.
      double facet = (dx * (squeeze > 0.5 ? -1 : 1) + dy * -0.6) > 0 ? 1.0 : 0.78;
      double d = std::sqrt(dx * dx + dy * dy);
      double v = (170 + 85 * clamp01(1 - d / 12)) * facet;
      RGBA c = mix(rgb(50, 50, 60), rgb(int(v), int(v), int(v)), inner);
      c.a = to8(255 * outer);
      img.set(x, y, c);
    }
  // A little sparkle that moves from frame to frame.
  int sx = 16 + int(std::lround((squeeze - 0.5) * 20)), sy = 6;
  for (int k = -2; k <= 2; ++k) {
    img.blend(sx + k, sy, rgb(255, 255, 255), 1.0 - std::abs(k) * 0.3);
    img.blend(sx, sy + k, rgb(255, 255, 255), 1.0 - std::abs(k) * 0.3);
  }
  return img;
}

// Floor tiles 32 x 16, seamless left to right.
Image draw_floor(bool upper) {
  Image img(32, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      RGBA c;
      if (upper) {
        // Grass top over packed earth with pebbles.
        double n = fbm(x / 4.0, y / 4.0, 31, 3, 8);
        double blade = hashf(x, 0, 5);
        int grassDepth = 3 + int(blade * 3);
        if (y < grassDepth) {
          c = mix(rgb(70, 170, 60), rgb(150, 220, 90), (grassDepth - y) / 5.0);
          c = scale(c, 0.85 + 0.3 * n);
        } else if (y == grassDepth) {
          c = rgb(40, 90, 40);
        } else {
          c = scale(rgb(120, 82, 50), 0.75 + 0.4 * n);
          double p = vnoise(x / 2.5, y / 2.5, 91, 13);
          if (p > 0.78) c = lighten(rgb(140, 120, 100), 0.2);
          if (y == 15) c = scale(c, 0.6);
        }
      } else {
        // Cave stone slabs with mortar.
        double n = fbm(x / 4.0, y / 4.0, 47, 3, 8);
        c = scale(rgb(96, 84, 124), 0.75 + 0.45 * n);
        int xx = x % 16;
        if (y == 0) c = lighten(c, 0.35);
        if (y == 1) c = lighten(c, 0.15);
        if (y == 8 && true) c = scale(c, 0.55);
        int off = (y < 8) ? 0 : 8;
        int bx = (x + off) % 16;
        if (bx == 0 && y > 0) c = scale(c, 0.55);
        if (bx == 1 && y > 0 && y != 8) c = lighten(c, 0.12);
        if (y == 15) c = scale(c, 0.5);
        (void)xx;
      }
      c.a = 255;
      img.set(x, y, c);
    }
  return img;
}

// Give transparent pixels the colour of their opaque neighbours (alpha stays
// 0) so that filtering does not darken the edges.
void bleed(Image& img) {
  Image src = img;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      if (src.get(x, y).a != 0) continue;
      int r = 0, g = 0, b = 0, n = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if (!src.in(x + dx, y + dy)) continue;
          RGBA c = src.get(x + dx, y + dy);
          if (c.a == 0) continue;
          r += c.r;
          g += c.g;
          b += c.b;
          ++n;
        }
      if (n) img.set(x, y, rgb(r / n, g / n, b / n, 0));
    }
}

Image make_atlas() {
  Image atlas(512, 256);
  std::vector<Image> frames = hero_frames();
  for (int i = 0; i < 12; ++i) {
    atlas.blit(frames[i], i * 32, 0, true);   // facing left
    atlas.blit(frames[i], i * 32, 64, false);  // facing right
  }
  // Cloud: the on-screen picture laid on its side (screen x runs up the atlas).
  Image cloud = draw_cloud();
  for (int ty = 128; ty < 192; ++ty)
    for (int tx = 0; tx < 32; ++tx) atlas.set(tx, ty, cloud.get(191 - ty, tx));
  atlas.blit(draw_block(true), 32, 128);
  atlas.blit(draw_block(false), 64, 128);
  atlas.blit(draw_hazard(), 160, 160);
  atlas.blit(draw_floor(true), 192, 176);
  atlas.blit(draw_floor(false), 224, 176);
  const double squeeze[4] = {1.0, 0.7, 0.4, 0.12};
  for (int i = 0; i < 4; ++i) atlas.blit(draw_marker(squeeze[i]), i * 32, 224);
  bleed(atlas);
  return atlas;
}

// ---------------------------------------------------------------------------
// Background 640 x 400: dusk hills above, a cavern below.
// ---------------------------------------------------------------------------
Image make_background() {
  Image img(640, 400);
  Rng rng(0x5EED0001);
  // Upper half: sky.
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 640; ++x) {
      double t = y / 184.0;
      RGBA top = rgb(14, 16, 44), midc = rgb(60, 40, 96), low = rgb(214, 112, 96);
      RGBA c = t < 0.6 ? mix(top, midc, t / 0.6) : mix(midc, low, (t - 0.6) / 0.4);
      // Soft bands of haze.
      double h = fbm(x / 90.0, y / 14.0, 3, 4);
      c = mix(c, rgb(120, 80, 140), 0.18 * clamp01((h - 0.45) * 3) * (1 - t));
      img.set(x, y, c);
    }
  // Stars.
  for (int i = 0; i < 160; ++i) {
    int x = rng.irange(0, 639), y = rng.irange(0, 110);
    double b = rng.range(0.3, 1.0) * (1 - y / 130.0);
    img.blend(x, y, rgb(255, 250, 230), b);
    if (b > 0.75) {
      img.blend(x - 1, y, rgb(255, 250, 230), b * 0.35);
      img.blend(x + 1, y, rgb(255, 250, 230), b * 0.35);
      img.blend(x, y - 1, rgb(255, 250, 230), b * 0.35);
      img.blend(x, y + 1, rgb(255, 250, 230), b * 0.35);
    }
  }
  // Two pale moons.
  auto moon = [&](double mx, double my, double r, RGBA col) {
    for (int y = int(my - r - 8); y <= int(my + r + 8); ++y)
      for (int x = int(mx - r - 8); x <= int(mx + r + 8); ++x) {
        double d = std::sqrt((x + 0.5 - mx) * (x + 0.5 - mx) + (y + 0.5 - my) * (y + 0.5 - my));
        double glow = clamp01(1 - (d - r) / 10.0) * 0.25;
        if (d > r) {
          img.blend(x, y, col, glow);
          continue;
        }
        double n = fbm(x / 5.0, y / 5.0, 17, 3);
        double cov = clamp01(r - d + 0.5);
        RGBA c = scale(col, 0.85 + 0.2 * n);
        img.blend(x, y, c, cov);
      }
  };
  moon(508, 46, 17, rgb(250, 236, 200));
  moon(560, 78, 6, rgb(200, 210, 250));
  // Mountain ridges.
  auto ridge = [&](uint32_t seed, double base, double amp, double freq, RGBA col, RGBA top) {
    for (int x = 0; x < 640; ++x) {
      double hgt = base - amp * fbm(x / freq, 0.5, seed, 5);
      for (int y = std::max(0, int(hgt)); y < 184; ++y) {
        double cov = clamp01(y + 1 - hgt);
        double k = clamp01((y - hgt) / 40.0);
        img.blend(x, y, mix(top, col, k), cov);
      }
    }
  };
  ridge(11, 190, 110, 90, rgb(70, 46, 100), rgb(120, 80, 130));
  ridge(23, 196, 70, 60, rgb(44, 30, 72), rgb(80, 52, 100));
  ridge(37, 200, 38, 35, rgb(26, 22, 50), rgb(46, 40, 80));
  // Lower half: cavern wall.
  for (int y = 200; y < 400; ++y)
    for (int x = 0; x < 640; ++x) {
      double n = fbm(x / 40.0, y / 26.0, 41, 5);
      double m = fbm(x / 9.0, y / 9.0, 43, 3);
      RGBA c = mix(rgb(20, 18, 34), rgb(58, 46, 78), n);
      c = scale(c, 0.85 + 0.3 * m);
      // Darker near the ceiling and the floor.
      double v = 1.0 - 0.45 * clamp01((230 - y) / 30.0) - 0.25 * clamp01((y - 350) / 34.0);
      c = scale(c, v);
      img.set(x, y, c);
    }
  // Rock ledges: faint horizontal strata.
  for (int y = 200; y < 384; ++y)
    for (int x = 0; x < 640; ++x) {
      double s = std::sin(y / 7.0 + 2.5 * fbm(x / 70.0, y / 50.0, 51, 3) * 3);
      if (s > 0.93) img.set(x, y, scale(img.get(x, y), 1.18));
    }
  // Stalactites hanging from the ceiling.
  for (int i = 0; i < 26; ++i) {
    double x0 = rng.range(0, 640), len = rng.range(8, 34), w = rng.range(3, 8);
    for (int y = 200; y < 200 + int(len) + 1; ++y) {
      double t = (y - 200) / len;
      double hw = w * (1 - t);
      for (int x = int(x0 - hw - 1); x <= int(x0 + hw + 1); ++x) {
        double cov = clamp01(hw - std::fabs(x + 0.5 - x0) + 0.5);
        RGBA c = mix(rgb(16, 14, 26), rgb(60, 50, 82), clamp01((x + 0.5 - x0 + hw) / (2 * hw + 0.01)) * 0.8);
        img.blend(x, y, c, cov);
      }
    }
  }
  // Glowing crystals along the cavern floor and a few on the walls.
  const RGBA crystalCols[3] = {rgb(90, 220, 255), rgb(180, 110, 255), rgb(110, 255, 190)};
  for (int i = 0; i < 22; ++i) {
    double cx = rng.range(10, 630);
    double cy = (i < 16) ? rng.range(370, 384) : rng.range(250, 330);
    double hgt = rng.range(6, i < 16 ? 16 : 9), wid = hgt * 0.4;
    RGBA col = crystalCols[rng.irange(0, 2)];
    double lean = rng.range(-0.4, 0.4);
    // Glow.
    for (int y = int(cy - hgt - 14); y < int(cy + 10); ++y)
      for (int x = int(cx - 20); x < int(cx + 20); ++x) {
        double d = std::sqrt((x - cx) * (x - cx) + (y - cy + hgt / 2) * (y - cy + hgt / 2));
        if (y < 384) img.blend(x, y, col, 0.22 * clamp01(1 - d / 20));
      }
    std::vector<std::pair<double, double>> poly = {
        {cx - wid, cy}, {cx - wid * 0.8 + lean * hgt * 0.5, cy - hgt * 0.75},
        {cx + lean * hgt, cy - hgt}, {cx + wid * 0.8 + lean * hgt * 0.5, cy - hgt * 0.75}, {cx + wid, cy}};
    for (int y = int(cy - hgt - 1); y <= int(cy + 1); ++y)
      for (int x = int(cx - wid - hgt * 0.5 - 2); x <= int(cx + wid + hgt * 0.5 + 2); ++x) {
        double cov = coverage(x, y, [&](double X, double Y) { return in_poly(poly, X, Y); });
        if (cov <= 0) continue;
        double side = (x + 0.5 < cx + lean * (cy - y)) ? 1.0 : 0.7;
        img.blend(x, y, scale(lighten(col, 0.25), side), cov);
      }
  }
  // A gentle vignette over the whole picture.
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 640; ++x) {
      double dx = (x - 320) / 320.0, dy = ((y % 200) - 100) / 100.0;
      double v = 1.0 - 0.18 * (dx * dx) - 0.06 * dy * dy;
      RGBA c = scale(img.get(x, y), v);
      c.a = 255;
      img.set(x, y, c);
    }
  return img;
}

// Soft glow, 64 x 64, black at the rim: it is drawn additively.
Image make_light() {
  Image img(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double dx = x + 0.5 - 32, dy = y + 0.5 - 32;
      double d = std::sqrt(dx * dx + dy * dy) / 32.0;
      double i = clamp01(1 - d);
      i = i * i * (3 - 2 * i);
      i = std::pow(i, 1.4);
      RGBA c = rgb(int(std::lround(255 * i)), int(std::lround(236 * i)), int(std::lround(190 * i)));
      // Never hit the sprite colour key (red 255, green 0, blue 128).
      if (c.r == 255 && c.g == 0 && c.b == 128) c.b = 127;
      img.set(x, y, c);
    }
  return img;
}

// ---------------------------------------------------------------------------
// Font: 16 x 8 cells of 32 x 32 (128 characters), bold outlined glyphs.
// Glyphs are 5 x 8 bitmaps (capitals use rows 0..6, descenders row 7),
// smoothed with a 3x pixel-art scaler.
// ---------------------------------------------------------------------------
struct GlyphDef {
  char c;
  const char* rows;  // 8 rows of 5 characters separated by '|'
};

const GlyphDef kGlyphs[] = {
    {'!', "..#..|..#..|..#..|..#..|..#..|.....|..#..|....."},
    {'"', ".#.#.|.#.#.|.....|.....|.....|.....|.....|....."},
    {'#', ".#.#.|#####|.#.#.|.#.#.|.#.#.|#####|.#.#.|....."},
    {'$', "..#..|.####|#.#..|.###.|..#.#|####.|..#..|....."},
    {'%', "##...|##..#|...#.|..#..|.#...|#..##|...##|....."},
    {'&', ".##..|#..#.|#.#..|.#...|#.#.#|#..#.|.##.#|....."},
    {'\'', "..#..|..#..|.#...|.....|.....|.....|.....|....."},
    {'(', "...#.|..#..|.#...|.#...|.#...|..#..|...#.|....."},
    {')', ".#...|..#..|...#.|...#.|...#.|..#..|.#...|....."},
    {'*', ".....|..#..|#.#.#|.###.|#.#.#|..#..|.....|....."},
    {'+', ".....|..#..|..#..|#####|..#..|..#..|.....|....."},
    {',', ".....|.....|.....|.....|.....|.##..|..#..|.#..."},
    {'-', ".....|.....|.....|.###.|.....|.....|.....|....."},
    {'.', ".....|.....|.....|.....|.....|.##..|.##..|....."},
    {'/', "....#|...#.|...#.|..#..|.#...|.#...|#....|....."},
    {'0', ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.|....."},
    {'1', "..#..|.##..|..#..|..#..|..#..|..#..|.###.|....."},
    {'2', ".###.|#...#|....#|...#.|..#..|.#...|#####|....."},
    {'3', "####.|....#|....#|.###.|....#|....#|####.|....."},
    {'4', "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.|....."},
    {'5', "#####|#....|####.|....#|....#|#...#|.###.|....."},
    {'6', ".###.|#....|#....|####.|#...#|#...#|.###.|....."},
    {'7', "#####|....#|...#.|..#..|.#...|.#...|.#...|....."},
    {'8', ".###.|#...#|#...#|.###.|#...#|#...#|.###.|....."},
    {'9', ".###.|#...#|#...#|.####|....#|....#|.###.|....."},
    {':', ".....|.##..|.##..|.....|.##..|.##..|.....|....."},
    {';', ".....|.##..|.##..|.....|.##..|..#..|.#...|....."},
    {'<', "...#.|..#..|.#...|#....|.#...|..#..|...#.|....."},
    {'=', ".....|.....|#####|.....|#####|.....|.....|....."},
    {'>', ".#...|..#..|...#.|....#|...#.|..#..|.#...|....."},
    {'?', ".###.|#...#|....#|...#.|..#..|.....|..#..|....."},
    {'@', ".###.|#...#|#.###|#.#.#|#.###|#....|.###.|....."},
    {'A', ".###.|#...#|#...#|#####|#...#|#...#|#...#|....."},
    {'B', "####.|#...#|#...#|####.|#...#|#...#|####.|....."},
    {'C', ".###.|#...#|#....|#....|#....|#...#|.###.|....."},
    {'D', "###..|#..#.|#...#|#...#|#...#|#..#.|###..|....."},
    {'E', "#####|#....|#....|####.|#....|#....|#####|....."},
    {'F', "#####|#....|#....|####.|#....|#....|#....|....."},
    {'G', ".###.|#...#|#....|#.###|#...#|#...#|.####|....."},
    {'H', "#...#|#...#|#...#|#####|#...#|#...#|#...#|....."},
    {'I', "###..|.#...|.#...|.#...|.#...|.#...|###..|....."},
    {'J', "..###|...#.|...#.|...#.|...#.|#..#.|.##..|....."},
    {'K', "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#|....."},
    {'L', "#....|#....|#....|#....|#....|#....|#####|....."},
    {'M', "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#|....."},
    {'N', "#...#|##..#|#.#.#|#..##|#...#|#...#|#...#|....."},
    {'O', ".###.|#...#|#...#|#...#|#...#|#...#|.###.|....."},
    {'P', "####.|#...#|#...#|####.|#....|#....|#....|....."},
    {'Q', ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#|....."},
    {'R', "####.|#...#|#...#|####.|#.#..|#..#.|#...#|....."},
    {'S', ".###.|#...#|#....|.###.|....#|#...#|.###.|....."},
    {'T', "#####|..#..|..#..|..#..|..#..|..#..|..#..|....."},
    {'U', "#...#|#...#|#...#|#...#|#...#|#...#|.###.|....."},
    {'V', "#...#|#...#|#...#|#...#|#...#|.#.#.|..#..|....."},
    {'W', "#...#|#...#|#...#|#.#.#|#.#.#|#.#.#|.#.#.|....."},
    {'X', "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#|....."},
    {'Y', "#...#|#...#|.#.#.|..#..|..#..|..#..|..#..|....."},
    {'Z', "#####|....#|...#.|..#..|.#...|#....|#####|....."},
    {'[', "###..|#....|#....|#....|#....|#....|###..|....."},
    {'\\', "#....|.#...|.#...|..#..|...#.|...#.|....#|....."},
    {']', "..###|....#|....#|....#|....#|....#|..###|....."},
    {'^', "..#..|.#.#.|#...#|.....|.....|.....|.....|....."},
    {'_', ".....|.....|.....|.....|.....|.....|#####|....."},
    {'`', ".#...|..#..|.....|.....|.....|.....|.....|....."},
    {'a', ".....|.....|.###.|....#|.####|#...#|.####|....."},
    {'b', "#....|#....|####.|#...#|#...#|#...#|####.|....."},
    {'c', ".....|.....|.###.|#....|#....|#...#|.###.|....."},
    {'d', "....#|....#|.####|#...#|#...#|#...#|.####|....."},
    {'e', ".....|.....|.###.|#...#|#####|#....|.###.|....."},
    {'f', "..##.|.#...|###..|.#...|.#...|.#...|.#...|....."},
    {'g', ".....|.....|.####|#...#|#...#|.####|....#|.###."},
    {'h', "#....|#....|####.|#...#|#...#|#...#|#...#|....."},
    {'i', "..#..|.....|.##..|..#..|..#..|..#..|.###.|....."},
    {'j', "...#.|.....|..##.|...#.|...#.|...#.|#..#.|.##.."},
    {'k', "#....|#....|#..#.|#.#..|##...|#.#..|#..#.|....."},
    {'l', ".##..|..#..|..#..|..#..|..#..|..#..|.###.|....."},
    {'m', ".....|.....|##.#.|#.#.#|#.#.#|#.#.#|#.#.#|....."},
    {'n', ".....|.....|####.|#...#|#...#|#...#|#...#|....."},
    {'o', ".....|.....|.###.|#...#|#...#|#...#|.###.|....."},
    {'p', ".....|.....|####.|#...#|#...#|####.|#....|#...."},
    {'q', ".....|.....|.####|#...#|#...#|.####|....#|....#"},
    {'r', ".....|.....|#.##.|##..#|#....|#....|#....|....."},
    {'s', ".....|.....|.###.|#....|.###.|....#|####.|....."},
    {'t', ".#...|.#...|###..|.#...|.#...|.#..#|..##.|....."},
    {'u', ".....|.....|#...#|#...#|#...#|#..##|.##.#|....."},
    {'v', ".....|.....|#...#|#...#|#...#|.#.#.|..#..|....."},
    {'w', ".....|.....|#...#|#.#.#|#.#.#|#.#.#|.#.#.|....."},
    {'x', ".....|.....|#...#|.#.#.|..#..|.#.#.|#...#|....."},
    {'y', ".....|.....|#...#|#...#|#...#|.####|....#|.###."},
    {'z', ".....|.....|#####|...#.|..#..|.#...|#####|....."},
    {'{', "..##.|.#...|.#...|##...|.#...|.#...|..##.|....."},
    {'|', "..#..|..#..|..#..|..#..|..#..|..#..|..#..|....."},
    {'}', ".##..|...#.|...#.|...##|...#.|...#.|.##..|....."},
    {'~', ".....|.....|.#...|#.#.#|...#.|.....|.....|....."},
};

// AdvMAME3x / Scale3x on a boolean bitmap.
std::vector<uint8_t> scale3x(const std::vector<uint8_t>& src, int w, int h) {
  auto S = [&](int x, int y) -> uint8_t { return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : src[y * w + x]; };
  std::vector<uint8_t> out(size_t(w) * 3 * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t A = S(x - 1, y - 1), B = S(x, y - 1), C = S(x + 1, y - 1);
      uint8_t D = S(x - 1, y), E = S(x, y), F = S(x + 1, y);
      uint8_t G = S(x - 1, y + 1), H = S(x, y + 1), I = S(x + 1, y + 1);
      uint8_t e[9];
      for (auto& v : e) v = E;
      if (B != H && D != F) {
        e[0] = D == B ? D : E;
        e[1] = ((D == B && E != C) || (B == F && E != A)) ? B : E;
        e[2] = B == F ? F : E;
        e[3] = ((D == B && E != G) || (D == H && E != A)) ? D : E;
        e[5] = ((B == F && E != I) || (H == F && E != C)) ? F : E;
        e[6] = D == H ? D : E;
        e[7] = ((D == H && E != I) || (H == F && E != G)) ? H : E;
        e[8] = H == F ? F : E;
      }
      // Only ever add ink: strokes keep their square corners, inner steps fill in.
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) out[(y * 3 + j) * (w * 3) + x * 3 + i] = uint8_t(E | e[j * 3 + i]);
    }
  return out;
}

Image make_font() {
  const int CW = 32, CH = 32;
  Image img(16 * CW, 8 * CH);
  for (const GlyphDef& gd : kGlyphs) {
    std::vector<uint8_t> bits(5 * 8, 0);
    const char* p = gd.rows;
    for (int r = 0; r < 8; ++r) {
      for (int c = 0; c < 5; ++c) bits[r * 5 + c] = (p[c] == '#') ? 1 : 0;
      p += 5;
      if (*p == '|') ++p;
    }
    std::vector<uint8_t> big = scale3x(bits, 5, 8);  // 15 x 24
    const int ox = (gd.c % 16) * CW + 3, oy = (gd.c / 16) * CH + 3;
    auto B = [&](int x, int y) { return x >= 0 && y >= 0 && x < 15 && y < 24 && big[y * 15 + x]; };
    // Drop shadow, then outline, then the fill.
    for (int y = -2; y < 27; ++y)
      for (int x = -2; x < 18; ++x) {
        bool fill = B(x, y);
        bool out = false;
        for (int dy = -1; dy <= 1 && !out; ++dy)
          for (int dx = -1; dx <= 1 && !out; ++dx)
            if (B(x + dx, y + dy)) out = true;
        bool shadow = false;
        for (int dy = -1; dy <= 1 && !shadow; ++dy)
          for (int dx = -1; dx <= 1 && !shadow; ++dx)
            if (B(x - 2 + dx, y - 2 + dy)) shadow = true;
        int X = ox + x, Y = oy + y;
        if (fill) {
          double t = y / 23.0;
          RGBA c = t < 0.5 ? mix(rgb(255, 255, 255), rgb(255, 240, 190), t / 0.5)
                           : mix(rgb(255, 240, 190), rgb(255, 178, 64), (t - 0.5) / 0.5);
          // Bevel: a lighter pixel where the stroke's top edge is.
          if (!B(x, y - 1)) c = lighten(c, 0.5);
          else if (!B(x, y + 1)) c = scale(c, 0.86);
          img.set(X, Y, c);
        } else if (out) {
          img.set(X, Y, pal::outline);
        } else if (shadow) {
          img.set(X, Y, rgb(0, 0, 0, 150));
        }
      }
  }
  bleed(img);
  return img;
}

// ---------------------------------------------------------------------------
// Sound effects (22050 Hz, mono)
// ---------------------------------------------------------------------------
constexpr int kSfxRate = 22050;
using Buf = std::vector<float>;

struct OnePole {
  double a, y = 0;
  OnePole(double cutoff, double rate) { a = 1 - std::exp(-2 * kPi * cutoff / rate); }
  double lp(double x) { return y += a * (x - y); }
};

// Resonant band-pass (biquad, constant peak gain).
struct BandPass {
  double b0, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  BandPass(double f, double q, double rate) { set(f, q, rate); }
  void set(double f, double q, double rate) {
    double w = 2 * kPi * f / rate, al = std::sin(w) / (2 * q), a0 = 1 + al;
    b0 = al / a0;
    b2 = -al / a0;
    a1 = -2 * std::cos(w) / a0;
    a2 = (1 - al) / a0;
  }
  double run(double x) {
    double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

void normalize(Buf& b, double peak) {
  // Remove any remaining DC with a gentle high-pass.
  double px = 0, py = 0;
  for (float& v : b) {
    double y = v - px + 0.995 * py;
    px = v;
    py = y;
    v = float(y);
  }
  double m = 0;
  for (float v : b) m = std::max(m, double(std::fabs(v)));
  if (m > 0)
    for (float& v : b) v = float(v * peak / m);
  // Short fades against clicks.
  size_t f = std::min<size_t>(b.size() / 4, 44);
  for (size_t i = 0; i < f; ++i) {
    b[i] *= float(i) / f;
    b[b.size() - 1 - i] *= float(i) / f;
  }
}

// Pulse wave without its DC offset.
double sq(double ph, double duty = 0.5) { return ((ph - std::floor(ph)) < duty ? 1.0 : -1.0) - (2 * duty - 1); }

Buf sfx_scream(uint64_t seed) {
  Rng rng(seed);
  const int n = int(0.62 * kSfxRate);
  Buf b(n);
  BandPass f1(820, 6, kSfxRate), f2(1250, 8, kSfxRate), f3(2600, 10, kSfxRate);
  double ph = 0;
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate;
    double pitch = 330 + 120 * std::exp(-t * 12) - 130 * t + 9 * std::sin(2 * kPi * 7 * t);
    ph += pitch / kSfxRate;
    double saw = 2 * (ph - std::floor(ph)) - 1;
    double src = saw + 0.25 * rng.range(-1, 1);
    // The vowel closes from "aa" towards "gh" at the end.
    double close = clamp01((t - 0.38) / 0.2);
    f1.set(820 - 300 * close, 6, kSfxRate);
    f2.set(1250 - 350 * close, 8, kSfxRate);
    double v = f1.run(src) * 1.0 + f2.run(src) * 0.7 + f3.run(src) * 0.25;
    double env = clamp01(t / 0.02) * (t < 0.4 ? 1.0 : std::exp(-(t - 0.4) * 14));
    b[i] = float(v * env);
  }
  normalize(b, 0.85);
  return b;
}

Buf sfx_puff(uint64_t seed) {
  Rng rng(seed);
  const int n = int(0.22 * kSfxRate);
  Buf b(n);
  BandPass bp(900, 1.5, kSfxRate);
  double ph = 0;
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate;
    bp.set(1400 - 3000 * t, 1.4, kSfxRate);
    double noise = bp.run(rng.range(-1, 1));
    ph += (420 - 900 * t) / kSfxRate;
    double tone = std::sin(2 * kPi * ph) * std::exp(-t * 25);
    double env = clamp01(t / 0.01) * std::exp(-t * 16);
    b[i] = float((noise * 1.6 + tone * 0.5) * env);
  }
  normalize(b, 0.8);
  return b;
}

Buf sfx_crunch(uint64_t seed, double len, double thump, double bright) {
  Rng rng(seed);
  const int n = int(len * kSfxRate);
  Buf b(n);
  OnePole lp(3000, kSfxRate);
  double ph = 0, hold = 0;
  int holdLeft = 0;
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate;
    // Crushed noise: sample-and-hold with a rate that drops over time.
    if (holdLeft-- <= 0) {
      hold = rng.range(-1, 1);
      holdLeft = int(1 + t * 30 / bright);
    }
    lp.a = 1 - std::exp(-2 * kPi * (200 + 5000 * bright * std::exp(-t * 8)) / kSfxRate);
    double noise = lp.lp(hold);
    ph += (thump * std::exp(-t * 6) + 35) / kSfxRate;
    double boom = std::sin(2 * kPi * ph) * std::exp(-t * 7);
    double env = clamp01(t / 0.004) * std::exp(-t * (4.0 / len));
    b[i] = float((noise * 0.9 + boom * 0.8) * env);
  }
  normalize(b, 0.85);
  return b;
}

Buf sfx_sweep(double f0, double f1, double len, double duty, double vib) {
  const int n = int(len * kSfxRate);
  Buf b(n);
  double ph = 0;
  OnePole lp(5000, kSfxRate);
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate, u = t / len;
    double f = f0 * std::pow(f1 / f0, u) * (1 + vib * std::sin(2 * kPi * 30 * t));
    ph += f / kSfxRate;
    double env = clamp01(t / 0.005) * (1 - u) * (1 - u);
    b[i] = float(lp.lp(sq(ph, duty)) * env);
  }
  normalize(b, 0.7);
  return b;
}

// A short voiced "hup": breath, a rising "u" vowel closed by the lips, over a chirp.
Buf sfx_hup(uint64_t seed, double pitch, double chirp) {
  Rng rng(seed);
  const double len = 0.2;
  const int n = int(len * kSfxRate);
  Buf b(n);
  BandPass f1(380, 5, kSfxRate), f2(950, 7, kSfxRate), f3(2400, 9, kSfxRate);
  double ph = 0, cph = 0;
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate;
    double breath = rng.range(-1, 1) * clamp01(1 - t / 0.04) * 0.8;
    double voiced = t > 0.02 && t < 0.15 ? clamp01((t - 0.02) / 0.015) * clamp01((0.15 - t) / 0.01) : 0;
    ph += pitch * (1 + 0.35 * t / len) / kSfxRate;
    double pulse = std::pow(std::max(0.0, std::sin(2 * kPi * ph)), 6.0) * 3 - 0.6;
    double src = breath + pulse * voiced;
    double v = f1.run(src) + 0.6 * f2.run(src) + 0.2 * f3.run(src);
    double pop = (t > 0.15 && t < 0.16) ? rng.range(-0.2, 0.2) : 0;
    cph += (300 + 900 * t / len) * chirp / kSfxRate;
    double ch = sq(cph, 0.25) * 0.12 * (1 - t / len);
    b[i] = float(v * 1.4 + pop + ch);
  }
  normalize(b, 0.8);
  return b;
}

Buf sfx_arpeggio(const std::vector<int>& notes, double step) {
  const double len = step * notes.size() + 0.35;
  const int n = int(len * kSfxRate);
  Buf b(n, 0.0f);
  for (size_t k = 0; k < notes.size(); ++k) {
    double f = 440.0 * std::pow(2.0, (notes[k] - 69) / 12.0);
    int start = int(k * step * kSfxRate);
    double ph = 0, ph2 = 0;
    for (int i = start; i < n; ++i) {
      double t = double(i - start) / kSfxRate;
      ph += f / kSfxRate;
      ph2 += 2 * f * 1.003 / kSfxRate;
      double env = clamp01(t / 0.004) * std::exp(-t * (k + 1 == notes.size() ? 5 : 9));
      b[i] += float((0.6 * sq(ph, 0.25) + 0.35 * std::sin(2 * kPi * ph2)) * env * 0.5);
    }
  }
  normalize(b, 0.8);
  return b;
}

Buf sfx_step(uint64_t seed, double tone, double click) {
  Rng rng(seed);
  const int n = int(0.075 * kSfxRate);
  Buf b(n);
  BandPass bp(tone * 6, 2.0, kSfxRate);
  double ph = 0;
  for (int i = 0; i < n; ++i) {
    double t = double(i) / kSfxRate;
    ph += tone * (1 + 1.5 * std::exp(-t * 60)) / kSfxRate;
    double thud = std::sin(2 * kPi * ph) * std::exp(-t * 45);
    double tick = bp.run(rng.range(-1, 1)) * std::exp(-t * 90) * click;
    b[i] = float(thud * 0.9 + tick * 2.2);
  }
  normalize(b, 0.7);
  return b;
}

// ---------------------------------------------------------------------------
// Music: a looping tune, 120 beats per minute, 32 bars, synthesised at 44100 Hz
// ---------------------------------------------------------------------------
constexpr int kMusRate = 44100;

int note_num(const std::string& s) {
  static const std::map<char, int> base = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5}, {'G', 7}, {'A', 9}, {'B', 11}};
  int n = base.at(s[0]);
  size_t i = 1;
  if (s[i] == '#') {
    ++n;
    ++i;
  } else if (s[i] == 'b') {
    --n;
    ++i;
  }
  int oct = s[i] - '0';
  return 12 * (oct + 1) + n;
}

struct NoteEv {
  int note;       // midi number
  double start;   // in eighth notes from the bar start
  double len;     // in eighth notes
};

// Parses a bar of eight tokens: a note name, "-" to hold, "." for a rest.
std::vector<NoteEv> parse_bar(const std::string& bar) {
  std::vector<NoteEv> out;
  std::vector<std::string> tok;
  size_t p = 0;
  while (p < bar.size()) {
    while (p < bar.size() && bar[p] == ' ') ++p;
    size_t q = p;
    while (q < bar.size() && bar[q] != ' ') ++q;
    if (q > p) tok.push_back(bar.substr(p, q - p));
    p = q;
  }
  for (size_t i = 0; i < tok.size(); ++i) {
    if (tok[i] == "-") {
      if (!out.empty()) out.back().len += 1;
    } else if (tok[i] != ".") {
      out.push_back({note_num(tok[i]), double(i), 1});
    }
  }
  return out;
}

struct Chord {
  int root;  // bass midi note
  int third, fifth;
};

Buf make_music() {
  const double bpm = 120, beat = 60.0 / bpm, eighth = beat / 2, barLen = beat * 4;
  const int bars = 32;
  const size_t N = size_t(std::lround(bars * barLen * kMusRate));
  Buf lead(N, 0), bass(N, 0), arp(N, 0), drums(N, 0);

  const std::map<std::string, Chord> chords = {
      {"Am", {45, 3, 7}}, {"F", {41, 4, 7}}, {"C", {48, 4, 7}}, {"G", {43, 4, 7}},
      {"E", {40, 4, 7}},  {"Em", {40, 3, 7}}, {"Dm", {50, 3, 7}}};
  const char* progA[8] = {"Am", "F", "C", "G", "Am", "F", "G", "E"};
  const char* progB[8] = {"F", "G", "Em", "Am", "Dm", "G", "C", "E"};
  const char* melA[8] = {
      "A4 . C5 E5 A5 - G5 E5", "F5 - E5 C5 A4 - C5 -", "G4 . C5 E5 G5 - F5 E5", "D5 - - - B4 - D5 -",
      "A4 . C5 E5 A5 - B5 C6", "A5 - G5 F5 E5 - C5 -", "D5 - B4 D5 G5 - F5 D5", "E5 - - - G#4 - B4 -"};
  const char* melB[8] = {
      "C5 - A4 C5 F5 - E5 F5", "G5 - D5 - B4 - D5 -", "E5 - B4 E5 G5 - F#5 G5", "A5 - - - E5 - C5 -",
      "D5 - F5 A5 D6 - C6 A5", "B5 - G5 - D5 - B4 -", "C5 E5 G5 C6 B5 G5 E5 C5", "B4 - - - G#4 - E4 -"};

  struct BarPlan {
    std::string chord;
    std::string melody;  // empty = none
    int section;         // 0 intro, 1 A, 2 B, 3 A again, 4 outro
  };
  std::vector<BarPlan> plan;
  const char* intro[4] = {"Am", "F", "C", "G"};
  for (int i = 0; i < 4; ++i) plan.push_back({intro[i], "", 0});
  for (int i = 0; i < 8; ++i) plan.push_back({progA[i], melA[i], 1});
  for (int i = 0; i < 8; ++i) plan.push_back({progB[i], melB[i], 2});
  for (int i = 0; i < 8; ++i) plan.push_back({progA[i], melA[i], 3});
  const int outroIdx[4] = {0, 1, 6, 7};
  for (int i = 0; i < 4; ++i) plan.push_back({progA[outroIdx[i]], melA[outroIdx[i]], 4});

  auto addc = [&](Buf& b, size_t i, double v) { b[i % N] += float(v); };
  auto freq = [](double m) { return 440.0 * std::pow(2.0, (m - 69) / 12.0); };

  // Pulse lead with vibrato and a soft envelope.
  auto leadNote = [&](Buf& b, double t0, double dur, int note, double vol, double duty) {
    double f = freq(note);
    size_t s0 = size_t(std::lround(t0 * kMusRate));
    size_t len = size_t((dur + 0.12) * kMusRate);
    double ph = 0;
    for (size_t i = 0; i < len; ++i) {
      double t = double(i) / kMusRate;
      double vib = t > 0.18 ? 0.006 * std::sin(2 * kPi * 5.5 * t) * clamp01((t - 0.18) / 0.2) : 0;
      ph += f * (1 + vib) / kMusRate;
      double env = clamp01(t / 0.006) * (0.65 + 0.35 * std::exp(-t * 10));
      if (t > dur) env *= std::exp(-(t - dur) * 40);
      addc(b, s0 + i, sq(ph, duty) * env * vol);
    }
  };
  // Quantised triangle bass.
  auto bassNote = [&](double t0, double dur, int note, double vol) {
    double f = freq(note);
    size_t s0 = size_t(std::lround(t0 * kMusRate));
    size_t len = size_t((dur + 0.02) * kMusRate);
    double ph = 0;
    for (size_t i = 0; i < len; ++i) {
      double t = double(i) / kMusRate;
      ph += f / kMusRate;
      double fr = ph - std::floor(ph);
      double tri = fr < 0.5 ? (4 * fr - 1) : (3 - 4 * fr);
      tri = std::round(tri * 7.5) / 7.5;
      double env = clamp01(t / 0.004) * (t < dur ? 1.0 : std::exp(-(t - dur) * 200));
      addc(bass, s0 + i, tri * env * vol);
    }
  };
  Rng nrng(0xD2C0FFEE);
  auto kick = [&](double t0, double vol) {
    size_t s0 = size_t(std::lround(t0 * kMusRate));
    double ph = 0;
    for (size_t i = 0; i < size_t(0.16 * kMusRate); ++i) {
      double t = double(i) / kMusRate;
      ph += (45 + 120 * std::exp(-t * 35)) / kMusRate;
      addc(drums, s0 + i, std::sin(2 * kPi * ph) * std::exp(-t * 18) * vol);
    }
  };
  auto snare = [&](double t0, double vol) {
    size_t s0 = size_t(std::lround(t0 * kMusRate));
    double ph = 0;
    OnePole lp(6000, kMusRate);
    for (size_t i = 0; i < size_t(0.16 * kMusRate); ++i) {
      double t = double(i) / kMusRate;
      ph += 190 / double(kMusRate);
      double v = lp.lp(nrng.range(-1, 1)) * std::exp(-t * 22) + 0.5 * std::sin(2 * kPi * ph) * std::exp(-t * 30);
      addc(drums, s0 + i, v * vol);
    }
  };
  auto hat = [&](double t0, double vol, double decay) {
    size_t s0 = size_t(std::lround(t0 * kMusRate));
    double prev = 0;
    for (size_t i = 0; i < size_t(0.08 * kMusRate); ++i) {
      double t = double(i) / kMusRate;
      double x = nrng.range(-1, 1);
      double hp = x - prev;
      prev = x;
      addc(drums, s0 + i, hp * std::exp(-t * decay) * vol);
    }
  };

  for (int bi = 0; bi < bars; ++bi) {
    const BarPlan& bp = plan[bi];
    const Chord ch = chords.at(bp.chord);
    const double t0 = bi * barLen;
    // Bass: octave bounce in eighths; the intro starts with plain roots.
    for (int e = 0; e < 8; ++e) {
      int n = ch.root + ((e % 2 && bp.section != 0) ? 12 : 0);
      if (bp.section == 2 && e == 6) n = ch.root + ch.fifth;
      bassNote(t0 + e * eighth, eighth * 0.8, n, 0.34);
    }
    // Arpeggio in sixteenths: root, third, fifth, octave.
    const int arpN[4] = {0, ch.third, ch.fifth, 12};
    int arpBase = ch.root + 24;
    while (arpBase < 64) arpBase += 12;
    while (arpBase > 72) arpBase -= 12;
    for (int s = 0; s < 16; ++s) {
      int n = arpBase + arpN[(bp.section == 2) ? (3 - s % 4) : (s % 4)];
      double vol = (bp.section == 0) ? 0.05 + 0.012 * bi : 0.06;
      leadNote(arp, t0 + s * eighth / 2, eighth / 2 * 0.5, n, vol, 0.125);
    }
    // Melody (doubled an octave lower the second time round).
    if (!bp.melody.empty()) {
      for (const NoteEv& ev : parse_bar(bp.melody)) {
        double st = t0 + ev.start * eighth, du = ev.len * eighth * 0.92;
        leadNote(lead, st, du, ev.note, 0.19, 0.25);
        if (bp.section == 3) leadNote(lead, st, du, ev.note - 12, 0.09, 0.5);
        if (bp.section == 2) leadNote(lead, st, du, ev.note + 12, 0.035, 0.5);
      }
    }
    // Drums (16 steps).
    bool lastOfSection = (bi == 3 || bi == 11 || bi == 19 || bi == 27 || bi == 31);
    for (int s = 0; s < 16; ++s) {
      double ts = t0 + s * eighth / 2;
      bool k = (s == 0 || s == 8) || (bp.section != 0 && (s == 6 || (s == 10 && bi % 2)));
      if (k) kick(ts, 0.55);
      if (bp.section != 0 || bi == 3) {
        if (s == 4 || s == 12) snare(ts, 0.3);
        if (lastOfSection && (s == 13 || s == 14 || s == 15)) snare(ts, 0.18 + 0.04 * (s - 13));
      }
      if (s % 2 == 0) hat(ts, (s % 4 == 2) ? 0.09 : 0.05, 60);
      else if (bp.section == 2 || bp.section == 3) hat(ts, 0.035, 90);
      if (bp.section == 4 && s == 14) hat(ts, 0.06, 14);
    }
  }

  // Echo on the lead (three sixteenths), computed around the loop.
  Buf echo(N, 0);
  {
    size_t d = size_t(std::lround(3 * eighth / 2 * kMusRate));
    for (int pass = 0; pass < 2; ++pass)
      for (size_t i = 0; i < N; ++i) echo[i] = lead[i] + 0.32f * echo[(i + N - d) % N];
  }
  Buf mix(N);
  for (size_t i = 0; i < N; ++i) mix[i] = echo[i] + bass[i] + arp[i] + drums[i];
  // Soften the square waves a little, again around the loop.
  {
    OnePole lp(7000, kMusRate);
    for (size_t i = 0; i < N; ++i) lp.lp(mix[i]);
    Buf out(N);
    for (size_t i = 0; i < N; ++i) out[i] = float(lp.lp(mix[i]));
    mix.swap(out);
  }
  double mean = 0;
  for (float v : mix) mean += v;
  mean /= double(N);
  double m = 0;
  for (float v : mix) m = std::max(m, std::fabs(v - mean));
  for (float& v : mix) v = float((v - mean) * 0.89 / m);
  return mix;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <media-dir> <work-dir>\n", argv[0]);
    return 2;
  }
  const std::string media = std::string(argv[1]) + "/";
  const std::string work = std::string(argv[2]) + "/";
  bool ok = true;
  auto check = [&](bool r, const std::string& name) {
    if (!r) {
      std::fprintf(stderr, "mediagen: cannot write %s\n", name.c_str());
      ok = false;
    }
  };

  check(write_png(media + "bkg.png", make_background(), false), "bkg.png");
  check(write_png(media + "hero.png", make_atlas(), true), "hero.png");
  check(write_bmp24(media + "light.bmp", make_light()), "light.bmp");
  check(write_png(media + "Valk640.png", make_font(), true), "Valk640.png");

  struct Sfx {
    const char* name;
    std::function<Buf()> make;
  };
  const std::vector<Sfx> sfx = {
      {"Aagh1.wav", [] { return sfx_scream(101); }},
      {"Cloud 2.wav", [] { return sfx_puff(202); }},
      {"Death 1.wav", [] { return sfx_crunch(301, 0.55, 160, 1.0); }},
      {"Death 4.wav", [] { return sfx_crunch(304, 0.7, 110, 0.7); }},
      {"Death 6.wav", [] { return sfx_crunch(306, 0.45, 210, 1.3); }},
      {"Duck Hi.wav", [] { return sfx_sweep(760, 260, 0.13, 0.5, 0.0); }},
      {"Goal Get - Down.wav", [] { return sfx_arpeggio({84, 79, 76, 72, 67, 64, 60}, 0.055); }},
      {"Goal Get - Up.wav", [] { return sfx_arpeggio({60, 64, 67, 72, 76, 79, 84}, 0.055); }},
      {"Jump Hup High 1.wav", [] { return sfx_hup(701, 250, 1.0); }},
      {"Jump Hup High 2.wav", [] { return sfx_hup(702, 290, 1.15); }},
      {"Left Mix 1.wav", [] { return sfx_step(401, 110, 1.0); }},
      {"Left Mix 2.wav", [] { return sfx_step(402, 100, 0.9); }},
      {"Left Mix 3.wav", [] { return sfx_step(403, 120, 1.1); }},
      {"Right Mix 1.wav", [] { return sfx_step(501, 130, 1.2); }},
      {"Right Mix 2.wav", [] { return sfx_step(502, 125, 1.0); }},
      {"Right Mix 3.wav", [] { return sfx_step(503, 140, 1.3); }},
      {"Obstacle Hits Floor 1.wav", [] { return sfx_crunch(601, 0.32, 90, 0.35); }},
      {"Obstacle Hits Floor 2.wav", [] { return sfx_crunch(602, 0.36, 80, 0.3); }},
      {"Obstacle Hits Floor 3.wav", [] { return sfx_crunch(603, 0.3, 100, 0.4); }},
      {"Obstacle Hits Floor 4.wav", [] { return sfx_crunch(604, 0.34, 70, 0.3); }},
  };
  for (const Sfx& s : sfx) check(write_wav(media + s.name, s.make(), kSfxRate), s.name);

  check(write_wav(work + "music.wav", make_music(), kMusRate), "music.wav");
  check(write_wav(work + "blank.wav", Buf(kSfxRate / 2, 0.0f), kSfxRate), "blank.wav");
  return ok ? 0 : 1;
}
