#!/usr/bin/env bash
# Configures and builds everything into build/ (Release, Ninja).
# CORVANE_WERROR=ON (as CI sets it) makes compiler warnings errors.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${CORVANE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${CORVANE_BUILD_TYPE:-Release}" \
  ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
