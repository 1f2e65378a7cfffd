#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs. Safe to run again:
# packages already installed are skipped.
#
#   scripts/install-deps.sh run    what building and running the program needs
#   scripts/install-deps.sh        that and everything the tests, CI, the
#                                  benchmarks and packaging need (the default)
set -euo pipefail

run_packages=(
  # build
  cmake ninja-build g++ pkg-config
  # libraries
  qt6-base-dev libcli11-dev
)
test_packages=(
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Windows build check: cross compiler, wine to run its results, wixl for the installer
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 wixl
  # screenshots and the window under a virtual display
  xvfb xauth
  # the window under window managers (screenshots, the Windows check, checks by
  # hand): openbox and icewm, which reads the Motif hints for its buttons; xprop,
  # xwininfo, xdotool
  openbox icewm x11-utils xdotool
  # fuzzing, sanitizers (with the lld linker) and static analysis
  clang libclang-rt-14-dev lld clang-tidy cppcheck python3 util-linux
  # measuring
  time mawk hyperfine
  # packaging and its checks
  dpkg-dev fakeroot file librsvg2-bin desktop-file-utils appstream lintian
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
