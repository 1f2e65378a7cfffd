#!/usr/bin/env bash
# Builds everything (the desktop program and, with clang, the fuzz targets
# included) with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# whole test suite under them. Any sanitizer report fails the run, and so does
# any compiler warning.
#
#   scripts/sanitize.sh                 (preset "sanitize": clang, into build-sanitize/)
#   scripts/sanitize.sh sanitize-gcc    (GCC, into build-sanitize-gcc/)
#
# The sanitizers' options (halt on the first report, leaks included: the suite,
# Qt included, needs no leak suppressions) and the tests left to
# scripts/test.sh are in the test preset of the same name in CMakePresets.json.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
preset="${1:-sanitize}"
jobs="${CORVANE_JOBS:-2}"

cd "$root"
start=$(date +%s)
cmake --preset "$preset" -DCORVANE_WERROR=ON >/dev/null
cmake --build --preset "$preset" --parallel "$jobs"
built=$(date +%s)
ctest --preset "$preset" --parallel "$jobs"
end=$(date +%s)
echo "sanitize: build $((built - start)) s, tests $((end - built)) s"
