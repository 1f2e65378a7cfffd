#!/usr/bin/env bash
# The Windows build check: cross-builds the engine, the file list, csv2crc.exe, the launcher, the
# version resource and their GoogleTest programs for 64-bit Windows with MinGW-w64
# (cmake/toolchains/mingw-w64-x86_64.cmake, into build-windows/), then under wine, in a
# throw-away prefix: runs every test through ctest (the launcher's against registry values put in
# place here), reads the version resource back through the Windows API, and converts
# samples/*.csv with csv2crc.exe, byte for byte against samples/expected/.
#
#   bash scripts/windows-check.sh [build-dir]   (default: build-windows; KEEP=1 keeps the prefix)
#
# Installs nothing: scripts/install-deps.sh brings g++-mingw-w64-x86-64-posix, wine, wine64 and
# googletest (whose sources the build compiles for Windows). Warnings are errors unless
# CORVANE_WERROR=OFF. Exits non-zero on any failure.
set -uo pipefail

started=$(date +%s)
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-windows}"

results=()
failures=0
last=$started
record() {  # record PASS|FAIL "what"
  local now
  now=$(date +%s)
  results+=("$1  $(printf '%3d s' $((now - last)))  $2")
  last=$now
  if [ "$1" != PASS ]; then failures=$((failures + 1)); fi
}
summary() {
  echo
  echo "== Windows check summary ($(($(date +%s) - started)) s) =="
  local line
  for line in "${results[@]}"; do echo "  $line"; done
  if [ "$failures" -eq 0 ]; then
    echo "All ${#results[@]} checks passed."
  else
    echo "$failures of ${#results[@]} checks FAILED."
  fi
}
die() {
  record FAIL "$1"
  summary
  exit 1
}

for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine wineserver; do
  command -v "$tool" >/dev/null || die "missing tool $tool (run scripts/install-deps.sh)"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-windows-check.XXXXXX")"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "${KEEP:-0}" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# --- Wine: a throw-away prefix, made while the build runs --------------------------------------
wineserver -p >/dev/null 2>&1 # one server for every run below
wine wineboot -i >"$work/wine.log" 2>&1 &
wineboot_pid=$!

# --- Cross build -------------------------------------------------------------------------------
if cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCORVANE_BUILD_GUI=OFF -DCORVANE_BUILD_BENCH=OFF -DCORVANE_BUILD_TESTS=ON \
  -DCORVANE_WERROR="${CORVANE_WERROR:-ON}" \
  >"$work/build.log" 2>&1 &&
  cmake --build "$build" --parallel "${CORVANE_JOBS:-2}" >>"$work/build.log" 2>&1; then
  record PASS "cross-build engine, file list, csv2crc.exe, launcher, version resource and tests into $build"
else
  tail -40 "$work/build.log"
  die "cross-build (see above)"
fi
wait "$wineboot_pid" || die "wineboot in $WINEPREFIX (see $work/wine.log)"
record PASS "fresh wine prefix ready"

win() { wine "$@" 2>>"$work/wine.log"; }
reg_add() { win reg add "$@" /f >/dev/null || die "wine reg add $*"; }
reg_delete() { win reg delete "$@" /f >/dev/null 2>&1 || true; }

# --- Every test under wine, through ctest ------------------------------------------------------
# The launcher's registry tests read values of every kind under a key of our own, and start with
# neither of the tool's own entries (a fresh prefix may hold the key, not PATH).
check_key='HKLM\SOFTWARE\CorvaneCheck'
reg_add "$check_key" /v Text /t REG_SZ /d 'C:\Tools\msinfo32.exe'
reg_add "$check_key" /v EmptyText /t REG_SZ /d ''
reg_add "$check_key" /v Number /t REG_DWORD /d 1234
reg_add "$check_key" /v Expandable /t REG_EXPAND_SZ /d '%SystemRoot%\system32\msinfo32.exe'
reg_add "$check_key" /v Text1023 /t REG_SZ /d "$(printf 'a%.0s' $(seq 1023))"
reg_add "$check_key" /v Text1024 /t REG_SZ /d "$(printf 'b%.0s' $(seq 1024))"
reg_add "$check_key" /v EmptyBinary /t REG_BINARY
msinfo='HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
location='HKLM\SOFTWARE\Microsoft\Shared Tools Location'
reg_delete "$msinfo" /v PATH
reg_delete "$location"

if CORVANE_CHECK_REGISTRY_KEY='SOFTWARE\CorvaneCheck' CORVANE_CHECK_SYSINFO_STATE=neither \
  ctest --test-dir "$build" -V >"$work/ctest.log" 2>&1; then
  count() { tr -d '\r' <"$work/ctest.log" | sed -n "s/^[0-9]*: \[  $1  \] \([0-9]*\) tests\{0,1\}.*/\1/p" |
    awk '{ n += $1 } END { print n + 0 }'; }
  programs=$(grep -c '^ *[0-9]*/[0-9]* Test' "$work/ctest.log")
  # engine, file list, command line, launcher: a build without them proves nothing.
  [ "$programs" -ge 4 ] || die "ctest under wine found $programs test programs in $build, not 4"
  record PASS "ctest under wine: $programs test programs, $(count PASSED) cases passed, $(count SKIPPED) skipped (launcher: every registry value kind; neither tool entry -> not started)"
else
  tr -d '\r' <"$work/ctest.log" | grep -v '^\[ *OK' | tail -60
  record FAIL "ctest under wine (see above)"
fi

# The launcher against the tool's entries as they change.
start_tests() {  # start_tests "what"
  if win "$build/tests/sysinfo/sysinfo_tests.exe" --gtest_filter='RegistryWindows.StartSysInfo*' \
    --gtest_brief=1 >"$work/run.log" 2>&1; then
    record PASS "$1"
  else
    tr -d '\r' <"$work/run.log" | tail -40
    record FAIL "$1"
  fi
}
probe="$build/tests/sysinfo/sysinfo_start_probe.exe"
tool_dir="$WINEPREFIX/drive_c/corvane-check/Shared Tools"
mkdir -p "$tool_dir"
reg_add "$location" /v MSINFO /t REG_SZ /d 'C:\corvane-check\Shared Tools'
CORVANE_CHECK_SYSINFO_STATE=missing-program \
  start_tests "launcher: folder entry without MSINFO32.EXE in it -> not started"
cp "$probe" "$tool_dir/MSINFO32.EXE"
CORVANE_CHECK_SYSINFO_STATE=location \
  CORVANE_CHECK_SYSINFO_PROGRAM='C:\corvane-check\Shared Tools\MSINFO32.EXE' \
  start_tests "launcher: folder entry with MSINFO32.EXE -> started for real"
direct_dir="$WINEPREFIX/drive_c/corvane-check/direct"
mkdir -p "$direct_dir"
cp "$probe" "$direct_dir/msinfo32.exe"
reg_add "$msinfo" /v PATH /t REG_SZ /d 'C:\corvane-check\direct\msinfo32.exe'
CORVANE_CHECK_SYSINFO_STATE=path CORVANE_CHECK_SYSINFO_PROGRAM='C:\corvane-check\direct\msinfo32.exe' \
  start_tests "launcher: path entry -> started for real, folder entry never read"

# --- The version resource, read back with GetFileVersionInfoA / VerQueryValueA -----------------
title=$(sed -n 's/^set(CORVANE_TITLE "\(.*\)")$/\1/p' "$root/CMakeLists.txt")
version=$(sed -n 's/^project(CorvaneCSVtoCRC VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r major minor patch <<<"$version"
expected_version=$(printf '%d.%02d.%04d' "$major" "$minor" "$patch")
expected="FILEVERSION=$major,$minor,0,$patch
PRODUCTVERSION=$major,$minor,0,$patch
FILETYPE=1
Translation=040904b0
Comments=Converts CSV files to CRC files suitable for Vellum
CompanyName=Corvane
FileDescription=Corvane Utility
FileVersion=$expected_version
InternalName=$title
OriginalFilename=$title.exe
ProductName=$title
ProductVersion=$expected_version"
actual=$(win "$build/tests/windows/version_dump.exe" | tr -d '\r')
if [ -n "$title" ] && [ "$actual" = "$expected" ]; then
  record PASS "version resource reads back: $major,$minor,0,$patch / \"$expected_version\", names and comments"
else
  diff <(echo "$expected") <(echo "$actual") | sed 's/^/  /'
  record FAIL "version resource read back (expected < > found)"
fi

# --- The samples through csv2crc.exe -----------------------------------------------------------
out="$work/samples"
mkdir -p "$out"
(cd "$root/samples" && win "$build/cli/csv2crc.exe" -o "$out" ./*.csv >"$work/csv2crc.log" 2>&1)
status=$?
converted=0
for expected_file in "$root"/samples/expected/A1_*.crc; do
  if cmp -s "$expected_file" "$out/$(basename "$expected_file")"; then
    converted=$((converted + 1))
  else
    echo "  differs or missing: $(basename "$expected_file")"
  fi
done
total=$(ls "$root"/samples/expected/A1_*.crc | wc -l)
if [ "$status" -eq 0 ] && [ "$converted" -eq "$total" ] && [ "$total" -gt 0 ]; then
  record PASS "csv2crc.exe converts samples/*.csv: $converted of $total outputs equal samples/expected/"
else
  tr -d '\r' <"$work/csv2crc.log" | tail -20
  record FAIL "csv2crc.exe on samples/*.csv: exit status $status, $converted of $total outputs equal"
fi

summary
[ "$failures" -eq 0 ]
