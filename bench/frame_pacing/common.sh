# Shared parts of the whole-program benchmarks: a private Xvfb, the swap
# timestamp library, one measured run and the statistics of its intervals.
# Sourced by frame_pacing, uncapped_fps and versus_love.

BENCH_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${BUILD:-$BENCH_ROOT/build}"
# The swap timestamp library and the other engine's scene live outside the
# tree (they are measuring tools, not part of the project).
BENCH_SHARED="${BENCH_SHARED:-$BENCH_ROOT/../shared/bench}"
BENCH_TMP="$(mktemp -d "${TMPDIR:-/tmp}/tamblix-bench-XXXXXX")"
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
# BENCH_NICE=-10 (as root) runs the display and the measured programs ahead
# of other work on a shared machine.
BENCH_NICE="${BENCH_NICE:-0}"
# BENCH_FIFO=N (as root) runs them in the real-time class at priority N
# instead (a machine busy with builds otherwise decides the figures).
BENCH_FIFO="${BENCH_FIFO:-}"
# Always called in a subshell of its own: it becomes the program.
bench_prio() {
  if [ -n "$BENCH_FIFO" ]; then exec chrt -f "$BENCH_FIFO" "$@"; else exec nice -n "$BENCH_NICE" "$@"; fi
}
XVFB_PID=""

# BENCH_KEEP=DIR keeps the interval files of every run there.
bench_cleanup() {
  if [ -n "${BENCH_KEEP:-}" ]; then mkdir -p "$BENCH_KEEP" && cp "$BENCH_TMP"/*.iv "$BENCH_KEEP"/ 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
  rm -rf "$BENCH_TMP"
}
trap bench_cleanup EXIT

# A private Xvfb of 1920 x 1080 (the game's window is then 1555 x 972).
bench_start_display() {
  local fd_file="$BENCH_TMP/display"
  (bench_prio Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1) &
  XVFB_PID=$!
  for _ in $(seq 100); do
    if [ -s "$fd_file" ]; then export DISPLAY=":$(head -n1 "$fd_file")"; return 0; fi
    sleep 0.05
  done
  echo "no Xvfb server could be started" >&2
  exit 1
}

# Builds the swap timestamp library from its C source into the scratch folder.
bench_build_shim() {
  if [ ! -f "$BENCH_SHARED/swapshim.c" ]; then
    echo "swapshim.c not found in $BENCH_SHARED (set BENCH_SHARED)" >&2
    exit 1
  fi
  gcc -O2 -shared -fPIC -o "$BENCH_TMP/swapshim.so" "$BENCH_SHARED/swapshim.c" -ldl
}

# bench_run NAME DIR CMD...: runs CMD in DIR with the swap timestamps on;
# leaves the intervals in $BENCH_TMP/NAME.iv and "wall user sys maxrss_kib"
# in $BENCH_TMP/NAME.time.
bench_run() {
  local name="$1" dir="$2"
  shift 2
  rm -f "$BENCH_TMP/$name.iv"
  (cd "$dir" && SWAPSHIM_OUT="$BENCH_TMP/$name.iv" LD_PRELOAD="$BENCH_TMP/swapshim.so" \
    bench_prio /usr/bin/time -o "$BENCH_TMP/$name.time" -f '%e %U %S %M' "$@" >"$BENCH_TMP/$name.out" 2>&1) || true
  touch "$BENCH_TMP/$name.iv"
}

# Interval statistics, the first `skip` intervals left out:
# "n p50 fps p99dev maxdev" with dev = |interval - target| (ms).
bench_interval_stats() {
  local file="$1" skip="$2" target="$3"
  local p50 devs
  p50=$(tail -n +"$((skip + 1))" "$file" | bench_median)
  devs=$(tail -n +"$((skip + 1))" "$file" | awk -v t="$target" '{ d = $1 - t; if (d < 0) d = -d; print d }' | sort -g)
  echo "$devs" | awk -v p50="$p50" '
    NF { d[++n] = $1 }
    END {
      if (n == 0 || p50 + 0 <= 0) { print "0 0 0 0 0"; exit }
      r = int(0.99 * n); if (r < 0.99 * n) r++; if (r < 1) r = 1
      printf "%d %.3f %.2f %.3f %.3f\n", n, p50, 1000 / p50, d[r], d[n] }'
}

# "cpu_per_wall wall maxrss_mib cpu_ms_per_frame" of a run (frames: the
# swaps of its interval file).
bench_time_stats() {
  local swaps=1
  [ -f "${2:-}" ] && swaps=$(($(wc -l <"$2") + 1))
  awk -v n="$swaps" '{ printf "%.3f %.3f %.1f %.2f\n", ($2 + $3) / $1, $1, $4 / 1024, ($2 + $3) * 1000 / n }' "$1"
}

# The median of the numbers on standard input.
bench_median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
