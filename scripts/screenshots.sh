#!/usr/bin/env bash
# Takes the screenshots in docs/ from the real windows on a virtual X display:
# the main window at start, after converting the sample files, and the About window.
# Needs xvfb (scripts/install-deps.sh installs it).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${CORVANE_BUILD_DIR:-$root/build}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${CORVANE_BUILD_TYPE:-Release}" >/dev/null
cmake --build "$build" --target ui_screenshots --parallel 2

# Convert copies, so the outputs land beside them and not in the work tree. A fixed
# folder keeps the paths in the picture short and the same from run to run.
work="/tmp/corvane-samples"
rm -rf "$work"
mkdir -p "$work"
shopt -s nullglob
samples=("$root"/samples/*.csv)
if [ "${#samples[@]}" -gt 0 ]; then
  cp "${samples[@]}" "$work/"
else
  printf 'part,qty,width,height,notes\r\nB-100,4,120,80,edge banded\r\n' >"$work/cabinet.csv"
  printf 'door,2,600,400\r\nshelf,3,560,300\r\n' >"$work/doors.csv"
  printf 'top,1,900,450,oak\r\n' >"$work/worktop.csv"
fi
inputs=("$work"/*.csv)

mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/ui/ui_screenshots" "$root/docs" "${inputs[@]}"
rm -rf "$work"
