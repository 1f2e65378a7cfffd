#!/usr/bin/env bash
# Installs what building and running the program needs (compiler, CMake,
# Ninja, Qt 6, CLI11), builds the desktop program and csv2crc into build/ (the
# preset "release", which scripts/test.sh extends with the tests), and starts
# the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
"$root/scripts/install-deps.sh" run
cd "$root"
cmake --preset release ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null
cmake --build --preset program --parallel "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display here, so the window cannot open; convert files with $build/cli/csv2crc FILE... instead (try: $build/cli/csv2crc --help)." >&2
  exit 1
fi
exec "$build/ui/main/CorvaneCSVtoCRC"
