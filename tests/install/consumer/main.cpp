// A program that knows the engine only through its installed header.
#include <tamblix.h>

#include <cstdio>

int main() {
  double level = 3, lives = 2.5;
  BasicString hud = BasicString("Level ") + level + " of " + 40 + ", lives " + lives;
  std::printf("%s\n", hud.c_str());

  BasicArray<BasicString> rows;
  arr_dim(rows, 2);
  rows(0) = "hello";
  rows(-1) = rt_upper(rows(0));
  std::printf("rows %d, last %s\n", arr_bounds(rows, 0), rows(1).c_str());

  rt_seed(0);
  int a = rt_rnd(99), b = rt_rnd(99), c = rt_rnd(99);
  std::printf("rnd %d %d %d\n", a, b, c);
  return 0;
}
