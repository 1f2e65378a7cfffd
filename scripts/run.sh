#!/usr/bin/env bash
# Installs what building and running the program needs (compiler, CMake,
# Ninja, Qt 6, CLI11), builds the desktop program and csv2crc into build/,
# and starts the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${CORVANE_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh" run
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${CORVANE_BUILD_TYPE:-Release}" \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target CorvaneCSVtoCRC csv2crc

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display here, so the window cannot open; convert files with $build/cli/csv2crc FILE... instead (try: $build/cli/csv2crc --help)." >&2
  exit 1
fi
exec "$build/ui/main/CorvaneCSVtoCRC"
