#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, when any is missing.
# Sourced by tools/play and tools/test.
set -euo pipefail

TAMBLIX_PACKAGES=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-mixer-dev libpng-dev libjpeg-dev liblzo2-dev
  libgl-dev libgl1-mesa-dri
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool lame
)

tamblix_install_deps() {
  local missing=()
  for p in "${TAMBLIX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds into $1 (default: build).
tamblix_build() {
  local dir="${1:-build}"
  cmake -S "$TAMBLIX_ROOT" -B "$TAMBLIX_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$TAMBLIX_ROOT/$dir" -j "$(nproc)"
}

# Starts a virtual display when none is set; sets DISPLAY.
tamblix_ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  if [ -n "${DISPLAY:-}" ] && ! command -v xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  TAMBLIX_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  trap 'kill "$TAMBLIX_XVFB_PID" 2>/dev/null || true' EXIT
  TAMBLIX_VIRTUAL_DISPLAY=1
}
