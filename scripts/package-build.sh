#!/usr/bin/env bash
# Builds the Debian package with CPack and prints where the .deb is. A build folder that is not
# configured yet is configured with the preset "release"; then it is built (nothing to do when
# the test system_package runs this, after the build). tests/system/test_package.py checks it.
#
#   bash scripts/package-build.sh [BUILD_DIR]     (default: build/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$root" && cmake --preset release -B "$build" >/dev/null)
fi
cmake --build "$build" --parallel "${CORVANE_JOBS:-2}" >/dev/null
[ -f "$build/CPackConfig.cmake" ] || {
  echo "package-build: $build has no CPackConfig.cmake (is packaging/Install.cmake included?)" >&2
  exit 1
}
version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
deb="$build/package/corvanecsvtocrc_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/package" >"$build/cpack.log" 2>&1 || {
  cat "$build/cpack.log" >&2
  exit 1
}
[ -f "$deb" ] || { echo "package-build: cpack made no $deb" >&2; exit 1; }
echo "$deb"
