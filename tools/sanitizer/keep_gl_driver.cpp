// Linked into every program of a leak-checking build (TAMBLIX_SANITIZE with
// address or leak), the tests and the game they run included: keeps Mesa's
// libraries loaded until the process ends.
//
// The GL stack loads Mesa's vendor libraries (libEGL_mesa, libGLX_mesa) and
// the software driver (swrast_dri.so) when a window with a context is made,
// and unloads them when SDL closes the display. Mesa keeps blocks of its own
// in them to the end (a 1608-byte record of libEGL_mesa, 255 strdup'ed names
// and 56-byte records of swrast_dri.so); once a library is unloaded, those
// blocks are no longer reachable from its data, and the leak check at exit
// reports them against "<unknown module>", where no suppression by library
// name can match: every graphics test failed at exit. Opened here once with
// RTLD_NODELETE, the libraries stay mapped, their blocks stay reachable, and
// the leak check sees only what the program itself lost. Leak detection stays
// on, with no suppression for these.
#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

struct KeepGlDriver {
  KeepGlDriver() {
    // RTLD_LAZY: nothing of them runs until the GL stack asks for it.
    for (const char* name : {"libEGL_mesa.so.0", "libGLX_mesa.so.0"}) dlopen(name, RTLD_LAZY | RTLD_NODELETE);
    std::string dirs;
    if (const char* env = std::getenv("LIBGL_DRIVERS_PATH")) dirs = std::string(env) + ":";
    dirs += "/usr/lib/x86_64-linux-gnu/dri:/usr/lib/aarch64-linux-gnu/dri:/usr/lib64/dri:/usr/lib/dri";
    size_t start = 0;
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      const std::string path = dirs.substr(start, end - start) + "/swrast_dri.so";
      if (end > start && dlopen(path.c_str(), RTLD_LAZY | RTLD_NODELETE)) return;
      start = end + 1;
    }
  }
} g_keep_gl_driver;

}  // namespace
