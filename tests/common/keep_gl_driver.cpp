// Linked into the test programs of the sanitizer build (TAMBLIX_SANITIZE):
// keeps Mesa's software driver loaded until the process ends.
//
// libGL loads swrast_dri.so when a context is made and unloads it when the
// display closes. The driver keeps a few small blocks of its own (56-byte
// records its screen set-up never frees); once the driver is unloaded, the
// leak check at exit can no longer name the library those blocks came from,
// so no suppression by library name can match and every graphics test fails
// at exit. Opened here once with RTLD_NODELETE, the driver stays mapped, the
// reports name swrast_dri.so, and tools/sanitizer/lsan.supp suppresses exactly
// those. Leak detection stays on for everything else.
#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

struct KeepGlDriver {
  KeepGlDriver() {
    std::string dirs;
    if (const char* env = std::getenv("LIBGL_DRIVERS_PATH")) dirs = std::string(env) + ":";
    dirs += "/usr/lib/x86_64-linux-gnu/dri:/usr/lib/aarch64-linux-gnu/dri:/usr/lib64/dri:/usr/lib/dri";
    size_t start = 0;
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      const std::string path = dirs.substr(start, end - start) + "/swrast_dri.so";
      // RTLD_LAZY: nothing of the driver runs until libGL asks for it.
      if (end > start && dlopen(path.c_str(), RTLD_LAZY | RTLD_NODELETE)) return;
      start = end + 1;
    }
  }
} g_keep_gl_driver;

}  // namespace
