#include "platform/process_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

std::string platform_temp_dir() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  for (char& c : dir) {
    if (c == '\\') c = '/';
  }
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool platform_tracer_attached() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return false;
  char line[256];
  bool traced = false;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      traced = std::strtol(line + 10, nullptr, 10) != 0;
      break;
    }
  }
  std::fclose(f);
  return traced;
}

void platform_keep_allocator_thresholds() {
#if defined(__GLIBC__)
  // Setting the threshold explicitly also turns its dynamic adjustment off.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void platform_release_free_memory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}
