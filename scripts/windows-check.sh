#!/usr/bin/env bash
# The Windows build check: cross-builds everything for 64-bit Windows with MinGW-w64
# (the preset "windows": cmake/toolchains/mingw-w64-x86_64.cmake, into build-windows/, which
# scripts/windows-build.sh then uses as it is): the engine, the file list,
# csv2crc.exe, the launcher, the window model and the Win32 window program CorvaneCSVtoCRC.exe,
# the version resource and the GoogleTest programs; then under wine, in a throw-away prefix:
# runs every test through ctest (the launcher's against registry values put in place here),
# reads the version resource back through the Windows API, converts samples/*.csv with
# csv2crc.exe byte for byte against samples/expected/, drives the window program on a virtual
# display with the openbox window manager (real drags, keys and clicks), and installs, starts,
# upgrades and removes the MSI of scripts/windows-build.sh.
#
#   bash scripts/windows-check.sh    (KEEP=1 keeps the wine prefix)
#
# The drags come from tests/ui/drag_source of the native build: CORVANE_DRAG_SOURCE names it
# (ctest does), else build/tests/ui/drag_source is used.
#
# Installs nothing: scripts/install-deps.sh brings g++-mingw-w64-x86-64-posix, wine, wine64,
# googletest (whose sources the build compiles for Windows), wixl, xvfb, openbox, xdotool and
# x11-utils. Warnings are errors unless CORVANE_WERROR=OFF. Exits non-zero on any failure.
set -uo pipefail

started=$(date +%s)
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-windows"

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

for tool in cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres x86_64-w64-mingw32-nm \
  wine wineserver wixl Xvfb openbox xdotool xwininfo xprop; do
  command -v "$tool" >/dev/null || die "missing tool $tool (run scripts/install-deps.sh)"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-windows-check.XXXXXX")"
# Wine's own prefix, and HOME, where wine writes menu entries, in the check's folder.
export WINEPREFIX="$work/wineprefix" HOME="$work" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
display_pids=()
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  local pid
  for pid in "${display_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ "${KEEP:-0}" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Polls for a state up to a deadline: a loaded machine only makes the check slower.
until_true() {  # until_true SECONDS COMMAND...: polls COMMAND until it succeeds
  local end=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# A display of its own with a window manager, there before wine's first process (wine's desktop
# process keeps the display it started with): for the window program and the installed one.
display_up() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>>"$work/xvfb.log" &
  display_pids+=($!)
  until_true 30 grep -q . "$work/display" || return 1
  export DISPLAY=":$(head -1 "$work/display")"
  openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  display_pids+=($!)
  until_true 30 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window'
}
if ! display_up; then
  record FAIL "no virtual display with openbox (Xvfb, openbox)"
  unset DISPLAY
fi

# --- Wine: a throw-away prefix, made while the build runs --------------------------------------
wineserver -p >/dev/null 2>&1 # one server for every run below
wine wineboot -i >"$work/wine.log" 2>&1 &
wineboot_pid=$!

# --- Cross build -------------------------------------------------------------------------------
if (cd "$root" && cmake --preset windows -DCORVANE_WERROR="${CORVANE_WERROR:-ON}" &&
  cmake --build --preset windows --parallel "${CORVANE_JOBS:-2}") >"$work/build.log" 2>&1; then
  record PASS "cross-build engine, file list, csv2crc.exe, launcher, window model, CorvaneCSVtoCRC.exe and tests into $build"
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
  # engine, file list, command line, launcher, window model, Win32 view: a build without them
  # proves nothing.
  [ "$programs" -ge 6 ] || die "ctest under wine found $programs test programs in $build, not 6"
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

# --- The window program under wine: a virtual display with the openbox window manager ---------
# Positions come from xwininfo (under openbox, xdotool's window geometry is about 20 px off), and
# every wait polls for the state it needs, up to a deadline, so that a loaded machine only makes
# the check slower.
visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
has_window() { [ -n "$(visible "$1")" ]; }
no_window() { [ -z "$(visible "$1")" ]; }
origin() {  # origin WINDOW-ID: "X Y" of its client area on the screen
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }'
}
# located NAME: the visible window of that name is there and its place can be read, as "X Y" in
# located_xy.
located_xy=""
located() {
  local id
  id=$(visible "$1")
  [ -n "$id" ] || return 1
  located_xy=$(origin "$id" 2>/dev/null)
  [[ $located_xy =~ ^-?[0-9]+\ -?[0-9]+$ ]]
}
client_size() { xwininfo -id "$1" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }'; }
click() {  # click WINDOW-ID X Y: a left click at a point of the window's client area
  local x y X Y
  read -r x y <<<"$(origin "$1")"
  # A --sync move to where the pointer already is waits for a motion that never comes.
  eval "$(xdotool getmouselocation --shell | grep -E '^[XY]=')"
  if [ "$X" -ne $((x + $2)) ] || [ "$Y" -ne $((y + $3)) ]; then
    xdotool mousemove --sync $((x + $2)) $((y + $3))
  fi
  xdotool click 1
}
keys() {  # keys WINDOW-ID KEY...: the window active, then the keys
  xdotool windowactivate --sync "$1" >/dev/null 2>&1
  xdotool key --clearmodifiers "${@:2}"
}
exists() { [ -e "$1" ]; }
gone() { [ ! -e "$1" ]; }
hidden_outputs() { find "$1" -maxdepth 1 -name '.A1_*' | grep -q .; }
no_hidden_outputs() { ! hidden_outputs "$1"; }
ended() {  # ended PID: the process is gone (or a zombie not yet reaped)
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null)
  [ -z "$state" ] || [[ $state == Z* ]]
}

drag_source="${CORVANE_DRAG_SOURCE:-$root/build/tests/ui/drag_source}"
caption='Corvane CSV to CRC'
# Client-area points of the controls at 96 dots per inch (15 twips a pixel).
list_middle=(200 80) open_csv=(328 196) generate=(328 228) about=(392 196)

# drag MAIN-ID ARGUMENT...: drags from a drag_source started with the arguments onto the list and
# prints what the source was told ("copy" or "ignore"). A drag whose hand-over the target had not
# answered yet when the button went up is tried again.
drag() {
  local out="$work/drag.out" answer="" sx sy tx ty step attempt
  shift
  for attempt in 1 2 3 4 5; do
    # The pointer away from the windows first: no tooltip stands in the way.
    xdotool mousemove --sync 1 1
    : >"$out"
    QT_QPA_PLATFORM=xcb "$drag_source" "$@" >"$out" 2>>"$work/drag.log" &
    local pid=$!
    # Both windows looked up afresh, until their places can be read: a window found a moment
    # before may be gone by now (Qt may make a new native window as it shows its first one).
    until_true 30 located corvane-drag-source || { kill "$pid" 2>/dev/null; return 1; }
    read -r sx sy <<<"$located_xy"
    until_true 30 located "$caption" || { kill "$pid" 2>/dev/null; return 1; }
    read -r tx ty <<<"$located_xy"
    sx=$((sx + 60)) sy=$((sy + 40)) tx=$((tx + list_middle[0])) ty=$((ty + list_middle[1]))
    xdotool mousemove --sync "$sx" "$sy" mousedown 1
    until_true 10 grep -q dragging "$out" || { xdotool mouseup 1; kill "$pid" 2>/dev/null; return 1; }
    for step in 1 2 3 4 5 6 7 8 9 10; do
      xdotool mousemove --sync $((sx + (tx - sx) * step / 10)) $((sy + (ty - sy) * step / 10))
    done
    xdotool mousemove --sync $((tx + 1)) "$ty"
    # A drag of files is dropped once the target has answered that it takes a copy.
    if [ "$1" != --text ]; then until_true 10 grep -q accepted "$out"; fi
    xdotool mouseup 1
    until_true 20 grep -qE '^(copy|ignore)$' "$out" || { kill "$pid" 2>/dev/null; return 1; }
    # The source stays (hidden) until the program it dragged to has ended: wine reads the
    # drag's windows when it gets to the drag's messages, and fails on a window gone by then.
    echo "$pid" >>"$work/drag-sources"
    answer=$(grep -E '^(copy|ignore)$' "$out")
    if [ "$answer" = copy ] || [ "$1" = --text ]; then break; fi
    echo "drag attempt $attempt of $* from $sx,$sy to $tx,$ty: $answer" >>"$work/drag.log"
  done
  echo "$answer"
}

window_check() {
  [ -x "$drag_source" ] || { record FAIL "window program: no drag source at $drag_source (build tests/ui/drag_source natively)"; return; }
  local exe="$build/ui/win32/CorvaneCSVtoCRC.exe" e2e="$work/window" app main size answer started
  mkdir -p "$e2e"
  cp "$root/samples/non-ascii.csv" "$e2e/one.csv"
  printf 'x,y,z,w\r\n' >"$e2e/two.txt"
  local expected="$root/samples/expected/A1_non-ascii.crc"

  (cd "$e2e" && exec wine "$exe") 2>>"$work/wine.log" &
  app=$!
  window_steps
  # However the steps ended, the program is gone before the next one starts.
  if ! ended "$app"; then
    kill "$app" 2>/dev/null
    until_true 30 ended "$app"
  fi
  if [ -f "$work/drag-sources" ]; then
    xargs kill <"$work/drag-sources" 2>/dev/null
    rm -f "$work/drag-sources"
  fi
  rm -f "$e2e/big.csv"
}

window_steps() {  # the steps, in the program started by window_check
  until_true 60 has_window "$caption" || {
    xwininfo -root -tree | grep -i corvane
    record FAIL "window program: no window \"$caption\" (process $(ended "$app" && echo ended || echo running))"
    return
  }
  main=$(visible "$caption")
  size=$(client_size "$main")
  [ "$size" = 421x244 ] || { record FAIL "window program: client area $size, not 421x244"; return; }
  record PASS "window program: window \"$caption\", client area 421x244"

  answer=$(drag "$main" --text "$e2e/one.csv")
  [ "$answer" = ignore ] || { record FAIL "window program: a text drag was answered \"$answer\", not ignore"; return; }
  answer=$(drag "$main" "$e2e/one.csv" "$e2e/two.txt")
  [ "$answer" = copy ] || { record FAIL "window program: a drag of one.csv and two.txt was answered \"$answer\", not copy"; return; }
  click "$main" "${generate[@]}"
  if until_true 60 exists "$e2e/A1_one.crc" && until_true 60 no_hidden_outputs "$e2e" &&
    cmp -s "$expected" "$e2e/A1_one.crc" && gone "$e2e/A1_two.crc"; then
    record PASS "window program: a text drag refused; a real drag of one.csv and two.txt lists one.csv only; Generate converts it byte for byte"
  else
    record FAIL "window program: drag and Generate (A1_one.crc missing or different, or two.txt converted)"
    return
  fi

  click "$main" "${about[@]}"
  if until_true 30 has_window "About CorvaneCSVtoCRC" &&
    [ "$(client_size "$(visible "About CorvaneCSVtoCRC")")" = 382x237 ] &&
    keys "$(visible "About CorvaneCSVtoCRC")" Escape && until_true 30 no_window "About CorvaneCSVtoCRC"; then
    record PASS "window program: About opens (382x237) and Escape closes it"
  else
    record FAIL "window program: About did not open at 382x237 or Escape did not close it"
    return
  fi

  # Two listed files that have gone: the failure box for the first, the program goes on, and the
  # failed entry is selected (not the first row, which Tab into the list would select anyway).
  # Tab from Generate (focus is back on it) reaches the list: Delete takes the failed entry out;
  # the next Generate fails on the other, which Shift+F10 and Remove take out; the last Generate
  # converts one.csv alone.
  printf '1,2,3,4\r\n' >"$e2e/two-gone.csv"
  printf '1,2,3,4\r\n' >"$e2e/x-gone.csv"
  answer=$(drag "$main" "$e2e/two-gone.csv" "$e2e/x-gone.csv")
  [ "$answer" = copy ] || { record FAIL "window program: the drag of two-gone.csv and x-gone.csv was answered \"$answer\""; return; }
  rm "$e2e/two-gone.csv" "$e2e/x-gone.csv" "$e2e/A1_one.crc"
  local round
  for round in Delete shift+F10; do
    click "$main" "${generate[@]}"
    if until_true 60 has_window CorvaneCSVtoCRC && keys "$(visible CorvaneCSVtoCRC)" Return &&
      until_true 30 no_window CorvaneCSVtoCRC && has_window "$caption" && exists "$e2e/A1_one.crc"; then
      :
    else
      record FAIL "window program: no failure box for a vanished file ($round round), or the window went"
      return
    fi
    rm "$e2e/A1_one.crc"
    if [ "$round" = Delete ]; then keys "$main" Tab Tab Tab Delete; else keys "$main" Tab Tab Tab shift+F10 r; fi
  done
  record PASS "window program: a vanished file shows the failure box titled CorvaneCSVtoCRC, the window stays and the failed entry is selected; Delete and Shift+F10 > Remove take it out"
  click "$main" "${generate[@]}"
  if until_true 60 exists "$e2e/A1_one.crc" && until_true 60 no_hidden_outputs "$e2e" &&
    no_window CorvaneCSVtoCRC && cmp -s "$expected" "$e2e/A1_one.crc"; then
    record PASS "window program: with the failed entries taken out from the keyboard, Generate converts the rest"
  else
    record FAIL "window program: after Delete and Shift+F10 > Remove, Generate did not convert one.csv alone"
    return
  fi

  # Alt+X part-way through a large file: the program ends and leaves no hidden file.
  head -c 600M < <(yes 'B-100,4,120,80,edge banded') >"$e2e/big.csv"
  answer=$(drag "$main" "$e2e/big.csv")
  [ "$answer" = copy ] || {
    record FAIL "window program: the drag of big.csv was answered \"$answer\" ($(tr '\n' ';' <"$work/drag.log"))"
    return
  }
  click "$main" "${generate[@]}"
  if ! until_true 60 hidden_outputs "$e2e"; then
    record FAIL "window program: Generate on big.csv made no hidden output"
    return
  fi
  started=$(date +%s%N)
  keys "$main" alt+x
  if until_true 30 ended "$app"; then
    local took=$((($(date +%s%N) - started) / 1000000))
    if no_hidden_outputs "$e2e" && gone "$e2e/A1_big.crc"; then
      record PASS "window program: Alt+X part-way through a 600 MB file ends it in $took ms, no hidden file, no output"
    else
      record FAIL "window program: Alt+X left $(ls -A "$e2e" | grep -E '^\.?A1_big' | tr '\n' ' ')"
    fi
  else
    record FAIL "window program: Alt+X part-way through big.csv did not end the program"
  fi
}

# --- The installer -----------------------------------------------------------------------------
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed_versions() {  # the DisplayVersion of every installed CorvaneCSVtoCRC, one a line
  win reg query "$uninstall_key" /s | tr -d '\r' |
    awk '/^HKEY/ { name = ""; version = ""; publisher = "" }
         $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
         $1 == "Publisher" { publisher = $3 }
         name == "CorvaneCSVtoCRC" && version != "" && publisher != "" { print version " " publisher; name = "" }'
}
msiexec_wait() { win start /wait msiexec "$@" /qn; }
program_files="$WINEPREFIX/drive_c/Program Files/CorvaneCSVtoCRC"
shortcuts() { find "$WINEPREFIX/drive_c" -name 'CorvaneCSVtoCRC.lnk' 2>/dev/null; }
all_users_shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/CorvaneCSVtoCRC.lnk"

msi_check() {
  local msi old app
  if ! msi=$(bash "$root/scripts/windows-build.sh" 2>>"$work/msi.log" | tail -1) ||
    ! old=$(CORVANE_MSI_VERSION=1.0.0 bash "$root/scripts/windows-build.sh" 2>>"$work/msi.log" | tail -1); then
    cat "$work/msi.log"
    record FAIL "installer: scripts/windows-build.sh"
    return
  fi
  mv "$old" "$work/"
  old="$work/$(basename "$old")"
  msiexec_wait /i "$(winepath -w "$old")"
  [ "$(installed_versions)" = "1.0.0 Corvane" ] || { record FAIL "installer: 1.0.0 not installed: $(installed_versions)"; return; }
  msiexec_wait /i "$(winepath -w "$msi")"
  if [ "$(installed_versions)" = "1.0.1 Corvane" ] && [ -f "$program_files/CorvaneCSVtoCRC.exe" ] &&
    [ -f "$program_files/csv2crc.exe" ] && [ "$(shortcuts)" = "$all_users_shortcut" ]; then
    record PASS "installer: $(basename "$msi") replaces 1.0.0; both programs under Program Files, the shortcut in the all-users Start menu alone, uninstall entry 1.0.1 by Corvane"
  else
    record FAIL "installer: after installing over 1.0.0: versions '$(installed_versions)', files $(ls "$program_files" 2>&1 | tr '\n' ' '), shortcut '$(shortcuts)'"
    return
  fi
  # Installed stripped; the symbols stay in the build's .debug files, which the programs name.
  symbols() { [ -n "$(x86_64-w64-mingw32-nm "$1" 2>/dev/null)" ]; }
  if ! symbols "$program_files/CorvaneCSVtoCRC.exe" && ! symbols "$program_files/csv2crc.exe" &&
    symbols "$build/ui/win32/CorvaneCSVtoCRC.exe.debug" && symbols "$build/cli/csv2crc.exe.debug"; then
    record PASS "installer: both programs installed stripped ($(du -b "$program_files"/*.exe | awk '{ printf "%s%.1f MB", s, $1 / 1e6; s = ", " }')); their symbols in the build's .exe.debug files"
  else
    record FAIL "installer: an installed program has symbols, or a .exe.debug file in $build has none"
  fi
  (cd "$work" && exec wine 'C:\Program Files\CorvaneCSVtoCRC\CorvaneCSVtoCRC.exe') 2>>"$work/wine.log" &
  app=$!
  if until_true 60 has_window "$caption" && keys "$(visible "$caption")" alt+x && until_true 30 ended "$app"; then
    record PASS "installer: the installed program starts from Program Files and ends with Alt+X"
  else
    kill "$app" 2>/dev/null
    record FAIL "installer: the installed program did not start or end"
  fi
  msiexec_wait /x "$(winepath -w "$msi")"
  if [ -z "$(installed_versions)" ] && [ ! -e "$program_files" ] && [ -z "$(shortcuts)" ]; then
    record PASS "installer: uninstalling leaves no program folder, no shortcut, no uninstall entry"
  else
    record FAIL "installer: after uninstalling: versions '$(installed_versions)', $(ls -d "$program_files" 2>&1), shortcut '$(shortcuts)'"
  fi
}

if [ -n "${DISPLAY:-}" ]; then
  window_check
  msi_check
fi

summary
[ "$failures" -eq 0 ]
