// The game's background through a post-effect shader: the picture is drawn
// into a surface, and the surface over the window through the shader chosen
// with the keys 1 (none), 2 (grey), 3 (ripple) and 4 (night vision): key
// codes 2 to 5.
// Escape ends the program.
#include <tamblix.h>

namespace {

constexpr int kWidth = 640, kHeight = 400;
constexpr int kPictureSlot = 1, kSurfaceSlot = 2, kSurface = 0;
// Shader slots of the effects; -1 is the fixed pipeline.
constexpr int kGrey = 0, kWave = 1, kNight = 2;

void settings() {
  g_program_settings.width = kWidth;
  g_program_settings.height = kHeight;
  g_program_settings.frameRate = 60;
  rt_app_name() = "Shader demo";
}

double main_routine() {
  gfx_load_sprite("Media/bkg.png", kPictureSlot);
  gfx_create_screen(kSurface, kSurfaceSlot, kWidth, kHeight);
  int built = gfx_load_shader(kGrey, "Media/pass.vert", "Media/grey.frag");
  built += gfx_load_shader(kWave, "Media/pass.vert", "Media/wave.frag");
  built += gfx_load_shader(kNight, "Media/pass.vert", "Media/night.frag");
  if (built != 3) log_append("shader demo: an effect did not build; it draws unchanged\n");

  // Starts on the ripple, so a run without keys shows an effect at work.
  int effect = kWave;
  for (;;) {
    if (inp_key(TMX_KEY_1)) effect = -1;
    if (inp_key(TMX_KEY_2)) effect = kGrey;
    if (inp_key(TMX_KEY_3)) effect = kWave;
    if (inp_key(TMX_KEY_4)) effect = kNight;

    gfx_use_screen(kSurface);
    gfx_draw_sprite_scaled(kPictureSlot, 0, 0, kWidth, kHeight);
    gfx_use_screen(-1);

    double w = 0, h = 0;
    gfx_get_target_size(w, h);
    gfx_use_shader(effect);
    gfx_set_shader_float("amount", 1.0);
    gfx_set_shader_float("time", timer_ms() / 1000.0);
    gfx_draw_sprite_scaled(kSurfaceSlot, 0, 0, static_cast<int>(w), static_cast<int>(h));
    // The next frame starts on the fixed pipeline by itself.
    sys_show_screen();
  }
}

const SubEntry subs[] = {{nullptr, nullptr}};

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, TamblixProgram{settings, main_routine, subs}); }
