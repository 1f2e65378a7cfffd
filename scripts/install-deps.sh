#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, each for something in the
# repository that uses it. Safe to run again: packages already installed are
# skipped.
#
#   scripts/install-deps.sh run    what building and running the program needs
#   scripts/install-deps.sh        that and everything the tests, CI, the
#                                  benchmarks and packaging need (the default)
set -euo pipefail

run_packages=(
  # build
  cmake ninja-build g++
  # libraries
  qt6-base-dev libcli11-dev
)
test_packages=(
  # tests (GoogleTest; its sources for the Windows build) and benchmarks
  libgtest-dev googletest libbenchmark-dev
  # the Windows build and its system test: cross compiler and windres, wine to run its results,
  # wixl for the installer
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 wixl
  # a virtual display: Xvfb for the system tests, xvfb-run (with xauth) for the screenshots
  xvfb xauth
  # the window under a window manager (screenshots, the system tests): openbox;
  # xprop and xwininfo (x11-utils), xdotool
  openbox x11-utils xdotool
  # the window in the Adwaita style, as GNOME desktops show Qt programs
  adwaita-qt6
  # the window's accessibility tree as screen readers see it: a session bus, the
  # accessibility bus and registry, and at-spi from Python
  dbus-daemon at-spi2-core python3-pyatspi
  # the system tests (tests/system/)
  python3-pytest
  # sanitizers, fuzzing (clang's run-time libraries), its linker, static analysis;
  # setpriv (util-linux) for the reliability tests
  clang libclang-rt-14-dev lld clang-tidy cppcheck python3 util-linux
  # bench/run-cli-bench.sh and bench/stress-huge-line.sh
  time mawk
  # packaging and its checks
  dpkg-dev file librsvg2-bin desktop-file-utils appstream lintian
)

case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [run|all]" >&2
    exit 2
    ;;
esac

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=300 update -q
  $sudo apt-get -o DPkg::Lock::Timeout=300 install -y -q "${missing[@]}"
fi
