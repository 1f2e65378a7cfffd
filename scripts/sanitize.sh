#!/usr/bin/env bash
# Builds everything (desktop program included) with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole test suite under them. Any
# sanitizer report fails the run, and so does any compiler warning.
#
#   scripts/sanitize.sh [build-dir]     (default: build-asan)
#   CORVANE_SANITIZE_CXX=g++ scripts/sanitize.sh   (default: clang++)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-asan}"
cxx="${CORVANE_SANITIZE_CXX:-clang++}"
jobs="${CORVANE_JOBS:-2}"

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
start=$(date +%s)
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON \
  -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCORVANE_BUILD_GUI=ON -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"
built=$(date +%s)

export QT_QPA_PLATFORM=offscreen
# halt_on_error/abort_on_error: the first report fails the test. detect_leaks:
# any leak fails it too; the suite, Qt included, needs no leak suppressions.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
# The Windows build check and the package check build their own binaries
# without sanitizers; they run in scripts/test.sh.
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 600 \
  -E '^(windows_check|package_check)$'
end=$(date +%s)
echo "sanitize: build $((built - start)) s, tests $((end - built)) s"
