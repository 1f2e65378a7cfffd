#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 (the preset "windows", into build-windows/) and their
# installer: the window program CorvaneCSVtoCRC.exe and csv2crc.exe, packed by wixl into
# CorvaneCSVtoCRC-<version>-x64.msi from packaging/windows/CorvaneCSVtoCRC.wxs. Prints where the
# .msi is.
#
#   bash scripts/windows-build.sh
#
# The build folder tests/system/test_windows.py leaves is used as it is (the same preset); only the
# two programs are built. CORVANE_MSI_VERSION gives the installer another version (the Windows
# system test builds an older one to see it replaced). Needs the packages of scripts/install-deps.sh
# (g++-mingw-w64-x86-64-posix, googletest, wixl).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-windows"

for tool in cmake ninja x86_64-w64-mingw32-g++-posix wixl; do
  command -v "$tool" >/dev/null || {
    echo "windows-build: missing $tool (run scripts/install-deps.sh)" >&2
    exit 1
  }
done

cd "$root"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset windows ${CORVANE_WERROR:+-DCORVANE_WERROR="$CORVANE_WERROR"} >/dev/null
fi
cmake --build --preset windows --parallel "${CORVANE_JOBS:-2}" --target CorvaneCSVtoCRC csv2crc >/dev/null

version="${CORVANE_MSI_VERSION:-$(sed -n 's/^project(CorvaneCSVtoCRC VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}"
msi="$build/CorvaneCSVtoCRC-$version-x64.msi"
# wixl takes the files by names relative to where it runs.
stage="$build/msi-stage"
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/ui/win32/CorvaneCSVtoCRC.exe" "$build/cli/csv2crc.exe" "$root/ui/resources/corvane.ico" "$stage/"
(cd "$stage" && wixl --arch x64 -D Version="$version" -D BinDir=. -D IconFile=corvane.ico \
  -o "$msi" "$root/packaging/windows/CorvaneCSVtoCRC.wxs")
rm -rf "$stage"
echo "$msi"
