// A program that packs its media with the installed tamblix_pack_media.
#include <tamblix.h>

#include <cstdio>

int main() {
  BasicString s = BasicString("packed ") + 2 + " files";
  std::printf("%s\n", s.c_str());
  return 0;
}
