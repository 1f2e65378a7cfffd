#!/usr/bin/env bash
# Installs what is needed, builds, and starts the desktop program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${CORVANE_BUILD_DIR:-$root/build}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display here, so the window cannot open; convert files with $build/cli/csv2crc FILE... instead (try: $build/cli/csv2crc --help)." >&2
  exit 1
fi
exec "$build/ui/main/CorvaneCSVtoCRC"
