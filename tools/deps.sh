#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, when any is missing.
# Sourced by tools/play and tools/test.
set -euo pipefail

TAMBLIX_PACKAGES=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-mixer-dev libpng-dev libjpeg-dev liblzo2-dev
  libgl-dev libgl1-mesa-dri
  libgtest-dev libgmock-dev libbenchmark-dev
  libboost-graph-dev  # tests and benchmarks only (bench/path)
  xvfb xauth xdotool lame
  libx11-dev  # the keyboard layout (XKB headers; the X library itself comes with SDL)
  x11-xkb-utils  # setxkbmap for the keyboard layout tests
  zenity  # the file dialog tests (the engine runs without it)
  python3  # the socket tests' peers
  time  # CPU time and peak memory in the whole-program benchmarks (bench/frame_pacing)
  clang libclang-rt-14-dev llvm  # the fuzz targets (libFuzzer) and the sanitizers' symbolizer
)

tamblix_install_deps() {
  if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "No dpkg/apt here: make sure these are installed: ${TAMBLIX_PACKAGES[*]}" >&2
    return 0
  fi
  local missing=() p status
  for p in "${TAMBLIX_PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    if [[ "$status" != *"install ok installed"* ]]; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "Not root and no sudo: install these packages first: ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  ${sudo[@]+"${sudo[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  ${sudo[@]+"${sudo[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds into $1 (default: build).
tamblix_build() {
  local dir="${1:-build}"
  cmake -S "$TAMBLIX_ROOT" -B "$TAMBLIX_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$TAMBLIX_ROOT/$dir" -j "$(nproc)"
}

# The run-time options of the sanitizer build (build-asan): leak detection on,
# stop at the first report, stack traces from UBSan, and the suppressions of
# leaks in libraries that are not ours (tools/sanitizer/lsan.supp).
tamblix_sanitizer_env() {
  # verify_asan_link_order=0: the window tests preload a small swap-control
  # shim (LD_PRELOAD) in front of the runtime; every program of the build
  # links the runtime itself, so the order check has nothing to protect.
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:verify_asan_link_order=0}"
  export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$TAMBLIX_ROOT/tools/sanitizer/lsan.supp:print_suppressions=0}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
  if command -v llvm-symbolizer >/dev/null 2>&1; then
    export ASAN_SYMBOLIZER_PATH="${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer)}"
  fi
}

# True when DISPLAY names a display that answers (or cannot be asked: without
# xdpyinfo a set DISPLAY is trusted).
tamblix_display_works() {
  [ -n "${DISPLAY:-}" ] || return 1
  command -v xdpyinfo >/dev/null 2>&1 || return 0
  xdpyinfo >/dev/null 2>&1
}

# Starts a virtual display when there is no working one; sets DISPLAY. An
# Xvfb that gives up (its display taken) or never opens its socket is stopped
# and the next display number is tried.
tamblix_ensure_display() {
  if tamblix_display_works; then
    return 0
  fi
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed: no virtual display can be started" >&2
    return 1
  fi
  local n=99 attempt pid
  for attempt in $(seq 1 20); do
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        TAMBLIX_XVFB_PID=$pid
        export DISPLAY=":$n"
        trap 'kill "$TAMBLIX_XVFB_PID" 2>/dev/null || true' EXIT
        TAMBLIX_VIRTUAL_DISPLAY=1
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    n=$((n + 1))
  done
  echo "Could not start a virtual display (Xvfb)" >&2
  return 1
}
