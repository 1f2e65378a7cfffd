#!/usr/bin/env bash
# Installs everything the tests need, builds all of it into build/, and runs
# every test: engine, file list, command line, launcher, windows (offscreen),
# the Windows build under wine and the Debian package check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=ON
build="${CORVANE_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
