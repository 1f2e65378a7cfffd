#!/usr/bin/env bash
# Installs everything the tests need, builds all of it into build/ (the preset
# "tests": the release build with the tests and benchmarks) and runs every test:
# engine, file list, command line, launcher, windows (offscreen), and the system
# tests (pytest, tests/system/): the Windows build under wine, the Debian
# package and the accessibility tree.
# CORVANE_WERROR=ON (as CI sets it) makes compiler warnings errors.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset tests ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null
cmake --build --preset tests --parallel "$(nproc)"
ctest --preset tests --parallel "$(nproc)"
