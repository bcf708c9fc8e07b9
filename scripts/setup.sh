#!/usr/bin/env bash
# Installs what the build needs (Debian packages), builds, and then either
# starts the program (run) or runs every test (test).
#   scripts/setup.sh run [program arguments...]
#   scripts/setup.sh test
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
shift || true
case "$mode" in run|test) ;; *) echo "usage: scripts/setup.sh run|test" >&2; exit 2 ;; esac

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins
          libgtest-dev libgmock-dev googletest libbenchmark-dev fonts-noto-cjk
          binutils srecord clang libclang-rt-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  # Root installs directly; anyone else needs sudo. env carries the setting
  # past sudo, which drops the caller's environment.
  if [ "$(id -u)" -eq 0 ]; then
    as_root=()
  elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    {
      echo "These Debian packages are missing: ${missing[*]}"
      echo "Installing them needs root, and sudo is not available to this user."
      echo "Either run this script as root, or have an administrator run:"
      echo "  apt-get install --no-install-recommends ${missing[*]}"
      echo "and then run this script again."
    } >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja ${CMAKE_ARGS:-}
cmake --build "$build"

if [ "$mode" = test ]; then
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
  exit
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot be shown."
  echo "Start it from a desktop session, or run it headless with:"
  echo "  QT_QPA_PLATFORM=offscreen $build/OrvantGenBEM"
  exit 1
fi
exec "$build/OrvantGenBEM" "$@"
