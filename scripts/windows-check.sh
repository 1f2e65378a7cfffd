#!/usr/bin/env bash
# The Windows build check: cross-compiles the system-information launcher and its tests for
# 64-bit Windows with mingw-w64, runs them under wine against wine's real registry, and compiles
# the executable's version resource and reads it back through the Windows API.
#
#   bash scripts/windows-check.sh        (from anywhere; KEEP=1 keeps the temporary build folder)
#
# Installs nothing: scripts/install-deps.sh brings g++-mingw-w64-x86-64-posix, wine, wine64 and
# googletest (whose sources are built here for Windows). Exits non-zero on any failure.
set -uo pipefail

started=$(date +%s)
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cxx=x86_64-w64-mingw32-g++-posix
windres=x86_64-w64-mingw32-windres
gtest_src=/usr/src/googletest/googletest

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

for tool in "$cxx" "$windres" wine wineserver ninja; do
  command -v "$tool" >/dev/null || die "missing tool $tool (run scripts/install-deps.sh)"
done
[ -f "$gtest_src/src/gtest-all.cc" ] || die "missing GoogleTest sources in $gtest_src (package googletest)"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-windows-check.XXXXXX")"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "${KEEP:-0}" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# --- The program's identity, which the version resource must show ------------------------------
title=$(sed -n 's/^set(CORVANE_TITLE "\(.*\)")$/\1/p' "$root/CMakeLists.txt")
version=$(sed -n 's/^project(CorvaneCSVtoCRC VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$title" ] && [ -n "$version" ] || die "cannot read the title and version from CMakeLists.txt"
IFS=. read -r major minor patch <<<"$version"

# --- Wine: a throw-away prefix, made while the build runs --------------------------------------
echo "Starting wine in a fresh prefix ..."
wineserver -p >/dev/null 2>&1 # one server for every run below
wine wineboot -i >"$work/wine.log" 2>&1 &
wineboot_pid=$!

# --- Cross build (ninja, two jobs) -------------------------------------------------------------
# GoogleTest for Windows is compiled once per compiler and GoogleTest version and kept in the
# user's cache (NO_CACHE=1 compiles it afresh in the temporary folder).
ours="-std=c++20 -O0 -Wall -Wextra -Wpedantic -Werror"
gtest_flags="-std=c++20 -O0 -I$gtest_src/include -I$gtest_src"
gtest_key=$({
  "$cxx" --version | head -1
  dpkg-query -W -f='${Version}' googletest 2>/dev/null
  echo "$gtest_flags"
} | sha256sum | cut -c1-16)
gtest_cache="${XDG_CACHE_HOME:-$HOME/.cache}/corvane-windows-check/gtest-$gtest_key"
if [ "${NO_CACHE:-0}" != 1 ] && [ -f "$gtest_cache/gtest-all.o" ] && [ -f "$gtest_cache/gtest_main.o" ]; then
  gtest_objects="$gtest_cache/gtest-all.o $gtest_cache/gtest_main.o"
  gtest_edges=""
else
  gtest_objects="gtest-all.o gtest_main.o"
  gtest_edges="build gtest-all.o: cc $gtest_src/src/gtest-all.cc
  flags = $gtest_flags
build gtest_main.o: cc $gtest_src/src/gtest_main.cc
  flags = $gtest_flags"
fi
cat >"$work/build.ninja" <<NINJA
cxx = $cxx
test_flags = $ours -I$gtest_src/include -I$root/sysinfo/include
rule cc
  command = \$cxx \$flags -c \$in -o \$out
  description = compile \$in
rule link
  command = \$cxx -static \$in -o \$out \$libs
  description = link \$out
rule rc
  command = $windres -O coff -i \$in -o \$out
  description = windres \$in

$gtest_edges
build SysInfo.o: cc $root/sysinfo/src/SysInfo.cpp
  flags = \$test_flags
build SysInfoWindows.o: cc $root/sysinfo/src/SysInfoWindows.cpp
  flags = \$test_flags
build SysInfoTest.o: cc $root/tests/sysinfo/SysInfoTest.cpp
  flags = \$test_flags
build SysInfoWindowsTest.o: cc $root/tests/sysinfo/SysInfoWindowsTest.cpp
  flags = \$test_flags
build sysinfo_tests.exe: link SysInfo.o SysInfoWindows.o SysInfoTest.o SysInfoWindowsTest.o $gtest_objects
  libs = -ladvapi32
build StartProbe.o: cc $root/tests/sysinfo/windows/StartProbe.cpp
  flags = $ours
build sysinfo_start_probe.exe: link StartProbe.o
build version.res.o: rc $root/ui/main/CorvaneCSVtoCRC.rc
build VersionInfoDump.o: cc $root/tests/sysinfo/windows/VersionInfoDump.cpp
  flags = $ours
build version_dump.exe: link VersionInfoDump.o version.res.o
  libs = -lversion
NINJA
echo "Cross-compiling in $work ..."
if ninja -C "$work" -j2 >"$work/build.log" 2>&1; then
  record PASS "cross-compile launcher, tests, probe and version resource ($cxx -static, -Werror)"
else
  tail -40 "$work/build.log"
  die "cross-compile (see above)"
fi
if [ -n "$gtest_edges" ] && [ "${NO_CACHE:-0}" != 1 ]; then
  mkdir -p "$gtest_cache" && cp "$work/gtest-all.o" "$work/gtest_main.o" "$gtest_cache/" || true
fi

wait "$wineboot_pid" || die "wineboot in $WINEPREFIX (see $work/wine.log)"

# --- Runs under wine ---------------------------------------------------------------------------
win() { wine "$@" 2>>"$work/wine.log"; }
reg_add() { win reg add "$@" /f >/dev/null || die "wine reg add $*"; }
reg_delete() { win reg delete "$@" /f >/dev/null 2>&1 || true; }
tests="$work/sysinfo_tests.exe"

run_tests() {  # run_tests "what" gtest-filter
  local what="$1" filter="$2"
  if win "$tests" --gtest_filter="$filter" --gtest_brief=1 >"$work/run.log" 2>&1; then
    record PASS "$what"
  else
    tr -d '\r' <"$work/run.log" | grep -v '^\[ *OK' | tail -40
    record FAIL "$what"
  fi
}

# Values of every kind under a key of our own.
check_key='HKLM\SOFTWARE\CorvaneCheck'
reg_add "$check_key" /v Text /t REG_SZ /d 'C:\Tools\msinfo32.exe'
reg_add "$check_key" /v EmptyText /t REG_SZ /d ''
reg_add "$check_key" /v Number /t REG_DWORD /d 1234
reg_add "$check_key" /v Expandable /t REG_EXPAND_SZ /d '%SystemRoot%\system32\msinfo32.exe'
reg_add "$check_key" /v Text1023 /t REG_SZ /d "$(printf 'a%.0s' $(seq 1023))"
reg_add "$check_key" /v Text1024 /t REG_SZ /d "$(printf 'b%.0s' $(seq 1024))"
reg_add "$check_key" /v EmptyBinary /t REG_BINARY

# The tool's own entries: start with neither value (a fresh prefix may hold the key, not PATH).
msinfo='HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
location='HKLM\SOFTWARE\Microsoft\Shared Tools Location'
reg_delete "$msinfo" /v PATH
reg_delete "$location"

export CORVANE_CHECK_REGISTRY_KEY='SOFTWARE\CorvaneCheck' CORVANE_CHECK_SYSINFO_STATE=neither
run_tests "all launcher tests under wine; registry: REG_SZ, REG_DWORD, expandable, 1023/1024 bytes, size 0, missing value and key; neither tool value -> not started" '*'
unset CORVANE_CHECK_REGISTRY_KEY

# Only the folder value, the folder without MSINFO32.EXE.
tool_dir="$WINEPREFIX/drive_c/corvane-check/Shared Tools"
mkdir -p "$tool_dir"
reg_add "$location" /v MSINFO /t REG_SZ /d 'C:\corvane-check\Shared Tools'
export CORVANE_CHECK_SYSINFO_STATE=missing-program
run_tests "folder value without MSINFO32.EXE in it -> not started" 'RegistryWindows.StartSysInfo*'

# The folder value with a real MSINFO32.EXE (a probe that marks that it ran).
cp "$work/sysinfo_start_probe.exe" "$tool_dir/MSINFO32.EXE"
export CORVANE_CHECK_SYSINFO_STATE=location CORVANE_CHECK_SYSINFO_PROGRAM='C:\corvane-check\Shared Tools\MSINFO32.EXE'
run_tests "folder value with MSINFO32.EXE -> started for real" 'RegistryWindows.StartSysInfo*'

# The path value present as well: it wins and the folder key is never read.
direct_dir="$WINEPREFIX/drive_c/corvane-check/direct"
mkdir -p "$direct_dir"
cp "$work/sysinfo_start_probe.exe" "$direct_dir/msinfo32.exe"
reg_add "$msinfo" /v PATH /t REG_SZ /d 'C:\corvane-check\direct\msinfo32.exe'
export CORVANE_CHECK_SYSINFO_STATE=path CORVANE_CHECK_SYSINFO_PROGRAM='C:\corvane-check\direct\msinfo32.exe'
run_tests "path value -> started for real, folder key never read" 'RegistryWindows.StartSysInfo*'

# --- The version resource, read back with GetFileVersionInfoA / VerQueryValueA -----------------
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
actual=$(win "$work/version_dump.exe" | tr -d '\r')
if [ "$actual" = "$expected" ]; then
  record PASS "version resource reads back: $major,$minor,0,$patch / \"$expected_version\", names and comments"
else
  diff <(echo "$expected") <(echo "$actual") | sed 's/^/  /'
  record FAIL "version resource read back (expected < > found)"
fi

summary
[ "$failures" -eq 0 ]
