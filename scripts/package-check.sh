#!/usr/bin/env bash
# Builds the Debian package and checks it the way a distribution and a user
# would meet it:
#   - the package holds exactly the expected files, with stripped programs and
#     icons of the size their folder names;
#   - desktop-file-validate passes on the desktop entry, appstreamcli on the
#     AppStream metadata (only warnings that need the network are allowed);
#   - lintian reports no error;
#   - the manual page names the same options as `csv2crc --help`, and every
#     version shown agrees with the package's;
#   - unpacked into a temporary root, csv2crc converts a sample file (by name,
#     into --output-dir, and from standard input) to the exact expected bytes,
#     and the desktop program comes up and stays up until it is stopped.
#
# Usage: scripts/package-check.sh [BUILD_DIR]     (default: build/)
# A build folder that is not configured yet is configured with the preset
# "release"; then it is built (nothing to do when the test package_check runs
# this, after the build).
# Needs: cmake, ninja, dpkg-dev, desktop-file-utils, appstream, lintian,
# librsvg2-bin, file, gzip (see scripts/install-deps.sh).
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
app_id="com.corvane.CorvaneCSVtoCRC"
package="corvanecsvtocrc"

passed=0
failed=0
failures=()
pass() {
  passed=$((passed + 1))
  echo "PASS: $1"
}
fail() {
  failed=$((failed + 1))
  failures+=("$1")
  echo "FAIL: $1" >&2
}
die() {
  echo "package-check: $*" >&2
  exit 2
}

missing_tools=()
for tool in cmake cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli lintian \
  rsvg-convert file gzip timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing_tools+=("$tool")
done
if [ "${#missing_tools[@]}" -gt 0 ]; then
  die "missing tools: ${missing_tools[*]} (Debian packages: dpkg-dev desktop-file-utils" \
    "appstream lintian librsvg2-bin file; run scripts/install-deps.sh)"
fi

# --- Build and package --------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== Configuring $build (Release)"
  (cd "$root" && cmake --preset release -B "$build" >/dev/null) || die "configuring $build failed"
fi
echo "== Building $build"
cmake --build "$build" --parallel 2 >/dev/null || die "building $build failed"
[ -f "$build/CPackConfig.cmake" ] ||
  die "$build has no CPackConfig.cmake: is packaging/Install.cmake included by CMakeLists.txt?"

version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
[ -n "$version" ] || die "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"
arch="$(dpkg --print-architecture)"
outdir="$build/package"
deb="$outdir/${package}_${version}_${arch}.deb"
rm -f "$deb"
echo "== cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$outdir" >"$build/cpack.log" 2>&1
if [ $? -eq 0 ] && [ -f "$deb" ]; then
  pass "cpack built $(basename "$deb")"
else
  cat "$build/cpack.log" >&2
  fail "cpack did not build $deb"
  echo "0 passed, 1 failed"
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dest="$work/root"
dpkg-deb -x "$deb" "$dest" || die "dpkg-deb -x failed"

# --- Control fields -----------------------------------------------------------
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
control_ok=1
for field in Package:"$package" Version:"$version" Section:utils Architecture:"$arch"; do
  name="${field%%:*}"
  want="${field#*:}"
  got="$(dpkg-deb -f "$deb" "$name")"
  if [ "$got" != "$want" ]; then
    fail "control field $name is '$got', expected '$want'"
    control_ok=0
  fi
done
if ! grep -q '^[^<]*<[^@>]*@[^>]*>$' <<<"$(dpkg-deb -f "$deb" Maintainer)" ||
  grep -qiE '@example\.(com|net|org)>' <<<"$(dpkg-deb -f "$deb" Maintainer)"; then
  fail "Maintainer '$(dpkg-deb -f "$deb" Maintainer)' is not a name with a mail address outside the example domains"
  control_ok=0
fi
# dpkg-shlibdeps ran: the C library and, for the window, Qt Widgets are listed.
dep_names="$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//')"
for dep in libc6 libstdc++6 libqt6widgets6; do
  if ! grep -qxF "$dep" <<<"$dep_names"; then
    fail "Depends lacks $dep (did dpkg-shlibdeps run?)"
    control_ok=0
  fi
done
[ "$control_ok" -eq 1 ] && pass "control fields (package, version, section, maintainer, Depends)"

# --- Contents -----------------------------------------------------------------
expected="$work/expected.txt"
{
  echo "usr/bin/CorvaneCSVtoCRC"
  echo "usr/bin/csv2crc"
  echo "usr/share/applications/$app_id.desktop"
  echo "usr/share/metainfo/$app_id.metainfo.xml"
  echo "usr/share/doc/$package/copyright"
  echo "usr/share/doc/$package/changelog.gz"
  echo "usr/share/man/man1/csv2crc.1.gz"
  echo "usr/share/man/man1/CorvaneCSVtoCRC.1.gz"
  echo "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  for size in 16 32 48 64 128 256; do
    echo "usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  done
} | sort >"$expected"
(cd "$dest" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/actual.txt"
if diff -u "$expected" "$work/actual.txt" >"$work/contents.diff"; then
  pass "package holds exactly the expected $(wc -l <"$expected") files"
else
  sed 's/^/  /' "$work/contents.diff" >&2
  fail "package contents differ from the expected list (- missing, + unexpected)"
fi

strip_ok=1
for program in CorvaneCSVtoCRC csv2crc; do
  [ -f "$dest/usr/bin/$program" ] || continue
  description="$(file -b "$dest/usr/bin/$program")"
  if [[ "$description" != *ELF* || "$description" != *", stripped"* ]]; then
    fail "usr/bin/$program is not a stripped ELF program: $description"
    strip_ok=0
  fi
done
[ "$strip_ok" -eq 1 ] && pass "programs are stripped"

icons_ok=1
for png in "$dest"/usr/share/icons/hicolor/*x*/apps/*.png; do
  [ -f "$png" ] || continue
  size="$(basename "$(dirname "$(dirname "$png")")")" # e.g. 48x48
  want="${size%x*} x ${size#*x}"
  if ! file -b "$png" | grep -q "PNG image data, $want,"; then
    fail "$png is not a $want PNG: $(file -b "$png")"
    icons_ok=0
  fi
done
[ "$icons_ok" -eq 1 ] && pass "PNG icons have the size their folder names"

# --- Desktop entry and AppStream ----------------------------------------------
desktop="$dest/usr/share/applications/$app_id.desktop"
if out="$(desktop-file-validate "$desktop" 2>&1)" && [ -z "$out" ]; then
  exec_line="$(grep '^Exec=' "$desktop")"
  icon_line="$(grep '^Icon=' "$desktop")"
  if [ "$exec_line" = "Exec=CorvaneCSVtoCRC" ] && [ "$icon_line" = "Icon=$app_id" ]; then
    pass "desktop-file-validate, Exec and Icon"
  else
    fail "desktop entry has '$exec_line' and '$icon_line'"
  fi
else
  echo "$out" >&2
  fail "desktop-file-validate"
fi

metainfo="$dest/usr/share/metainfo/$app_id.metainfo.xml"
net_flag=()
appstreamcli validate --help 2>&1 | grep -q -- '--no-net' && net_flag=(--no-net)
as_out="$(appstreamcli validate "${net_flag[@]}" "$metainfo" 2>&1)"
as_rc=$?
as_tree_out="$(appstreamcli validate-tree "${net_flag[@]}" "$dest" 2>&1)"
as_tree_rc=$?
# Issues other than those that only say a URL could not be fetched.
as_issues="$(printf '%s\n%s\n' "$as_out" "$as_tree_out" | grep -E '^[EW]: ' |
  grep -vE ': (url-not-reachable|screenshot-image-not-found|screenshot-video-not-found)' || true)"
if [ -z "$as_issues" ] && { [ $as_rc -eq 0 ] && [ $as_tree_rc -eq 0 ] ||
  printf '%s\n%s\n' "$as_out" "$as_tree_out" | grep -q 'Failed to download'; }; then
  pass "appstreamcli validate ${net_flag[*]} (metadata and installed tree)"
else
  printf '%s\n%s\n' "$as_out" "$as_tree_out" >&2
  fail "appstreamcli validate"
fi

# --- lintian ------------------------------------------------------------------
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
lintian_rc=$?
lintian_out="$(grep -v '^running with root privileges' "$work/lintian.log")"
[ -n "$lintian_out" ] && echo "$lintian_out"
errors="$(grep -c '^E: ' <<<"$lintian_out")"
warnings="$(grep -c '^W: ' <<<"$lintian_out")"
if [ "$lintian_rc" -eq 0 ] && [ "$errors" -eq 0 ]; then
  pass "lintian: 0 errors, $warnings warnings"
else
  fail "lintian: $errors errors (exit $lintian_rc)"
fi

# --- Install test: the command line -------------------------------------------
csv2crc="$dest/usr/bin/csv2crc"
sample="$work/run"
mkdir -p "$sample/out"
printf 'a,b,c,d\r\nw,x,y,z\n' >"$sample/sample.csv"
printf 'a\t\tb\t\t111 x 222\t\tc\t\td\r\nw\t\tx\t\t111 x 222\t\ty\t\tz\r\n' >"$sample/expected.crc"

if (cd "$sample" && "$csv2crc" sample.csv) && cmp "$sample/expected.crc" "$sample/A1_sample.crc"; then
  pass "installed csv2crc converts sample.csv into A1_sample.crc"
else
  fail "installed csv2crc: A1_sample.crc is missing or differs from the expected bytes"
fi
if "$csv2crc" -o "$sample/out" "$sample/sample.csv" &&
  cmp "$sample/expected.crc" "$sample/out/A1_sample.crc"; then
  pass "installed csv2crc --output-dir"
else
  fail "installed csv2crc -o DIR: out/A1_sample.crc is missing or differs"
fi
if "$csv2crc" - <"$sample/sample.csv" >"$sample/stdout.crc" &&
  cmp "$sample/expected.crc" "$sample/stdout.crc"; then
  pass "installed csv2crc - (standard input to standard output)"
else
  fail "installed csv2crc -: standard output differs"
fi

shown="$("$csv2crc" --version 2>&1)"
man_version="$(gzip -dc "$dest/usr/share/man/man1/csv2crc.1.gz" | sed -n 's/^\.TH [^"]*"[^"]*" "\([^"]*\)".*/\1/p')"
as_version="$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)"
if [ "$shown" = "CorvaneCSVtoCRC $version" ] && [ "$man_version" = "CorvaneCSVtoCRC $version" ] &&
  [ "$as_version" = "$version" ]; then
  pass "versions agree: --version, manual page, AppStream release, package ($version)"
else
  fail "versions disagree: --version '$shown', manual '$man_version', AppStream '$as_version', package '$version'"
fi

# The manual page and --help name the same options, long and short.
help_options="$("$csv2crc" --help 2>&1 | grep -oE '(^|[ ,])--?[a-z][a-z-]*' |
  sed 's/^[ ,]*//' | sort -u)"
man_options="$(gzip -dc "$dest/usr/share/man/man1/csv2crc.1.gz" | sed -n '/^\.SH OPTIONS/,/^\.SH /p' |
  sed 's/\\-/-/g' | grep -oE '(^|[ ,"])--?[a-z][a-z-]*' | sed 's/^[ ,"]*//' | sort -u)"
if [ -n "$help_options" ] && [ "$help_options" = "$man_options" ]; then
  pass "manual page documents the options of --help: $(echo $help_options)"
else
  diff <(echo "$help_options") <(echo "$man_options") | sed 's/^/  /' >&2
  fail "options differ between --help (<) and the manual page (>)"
fi

# --- Install test: the desktop program ----------------------------------------
# It takes no arguments and runs until it is closed: "timeout" stopping it
# (exit 124) means it came up and stayed up.
window="$dest/usr/bin/CorvaneCSVtoCRC"
start_window() { # label, then the command prefix
  local label="$1"
  shift
  local log="$work/window-$label.log"
  "$@" timeout 5 "$window" >"$log" 2>&1
  local rc=$?
  if [ "$rc" -eq 124 ] && ! grep -qiE 'abort|core dumped|segmentation|could not (load|connect)' "$log"; then
    pass "installed CorvaneCSVtoCRC came up and stayed up ($label)"
  else
    sed 's/^/  /' "$log" >&2
    fail "installed CorvaneCSVtoCRC ($label) ended by itself with exit $rc"
  fi
}
start_window offscreen env QT_QPA_PLATFORM=offscreen
if command -v xvfb-run >/dev/null 2>&1; then
  start_window xcb xvfb-run -a env -u QT_QPA_PLATFORM
fi

# --- Summary ------------------------------------------------------------------
echo
echo "Package: $deb"
echo "Depends: $depends"
if [ "$failed" -gt 0 ]; then
  printf 'Failed: %s\n' "${failures[@]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
