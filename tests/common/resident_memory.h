// Resident memory of this process, for tests and benchmarks of what stays in
// memory after an operation.
#pragma once
#include <unistd.h>

#include <cstdio>

// Resident memory of the process in MiB (0 when it cannot be read).
inline double resident_mib() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(f);
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}
