#!/usr/bin/env bash
# Takes the screenshots in docs/ from the real windows on a virtual X display
# with a window manager (openbox), title bars shown: the main window part-way
# through a batch, after it, the About window, and the main window on a dark
# palette. Needs xvfb and openbox (scripts/install-deps.sh installs them) and
# about 2 GiB free in /tmp for a large input and its output.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"

# build/ as scripts/test.sh makes it: ui_screenshots sits beside the window tests.
(cd "$root" && cmake --preset tests >/dev/null && cmake --build --preset tests --target ui_screenshots --parallel 2)

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
# A large input, so that the batch can be caught part-way with its progress.
large="$work/stock-2026.csv"
head -c "${CORVANE_LARGE_SIZE:-768M}" < <(yes 'B-100,4,120,80,edge banded') >"$large"

mkdir -p "$root/docs"
rm -f "$root/docs/main-window.png"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  "$@"
  status=$?
  kill "$wm"
  exit "$status"' screenshots "$build/tests/ui/ui_screenshots" "$root/docs" "$large" "${inputs[@]}"
rm -rf "$work"
