#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: engine, file list,
# command line, windows (offscreen), the Windows build check under wine and
# the Debian package check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${CORVANE_BUILD_DIR:-$root/build}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
