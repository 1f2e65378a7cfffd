#!/usr/bin/env bash
# The desktop program as screen readers see it: starts it on a virtual display (Xvfb with
# openbox) in a D-Bus session of its own with the accessibility bus, and through the at-spi
# tree (python3-pyatspi) prints the main window's and About's objects, then checks them and
# what is announced:
#   - the main window a frame, the list named;
#   - the Open dialog starting in the folder of the file chosen before;
#   - Shift+F10 and the Menu key opening the list's menu at the current entry, its items heard;
#   - Generate's result announced once (a notification shown), not each file or progress step,
#     and a failure announced;
#   - About's objects in reading order (title, version, description, disclaimer, OK, System Info).
#
#   bash scripts/accessibility-check.sh [program]   (default: build/ui/main/CorvaneCSVtoCRC)
#   DUMP_ONLY=1 ...                                 prints the trees and checks nothing
#
# Installs nothing: scripts/install-deps.sh brings python3-pyatspi, at-spi2-core, dbus-daemon,
# xvfb, openbox and xdotool. Exits non-zero on any failed check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:-$root/build/ui/main/CorvaneCSVtoCRC}")"

if [ "${CORVANE_IN_SESSION:-}" != 1 ]; then
  for tool in dbus-run-session Xvfb openbox xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "missing $tool (run scripts/install-deps.sh)" >&2; exit 1; }
  done
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "missing python3-pyatspi (run scripts/install-deps.sh)" >&2; exit 1; }
  [ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }
  work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-accessibility.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  # A session bus of its own: the accessibility bus and its registry start on it when asked.
  CORVANE_IN_SESSION=1 CORVANE_WORK="$work" dbus-run-session -- bash "$0" "$program" 2>"$work/session.log" ||
    { status=$?; grep -v 'fd limit' "$work/session.log" | tail -20 >&2; exit "$status"; }
  exit 0
fi

work="$CORVANE_WORK"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
until_true() {  # until_true SECONDS COMMAND...
  local end=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

unset WAYLAND_DISPLAY
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>>"$work/xvfb.log" &
pids+=($!)
until_true 30 grep -q . "$work/display"
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >>"$work/openbox.log" 2>&1 &
pids+=($!)
until_true 30 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window'

mkdir -p "$work/files"
printf 'a,b,c,d\r\n' >"$work/files/a.csv"
printf 'e,f,g,h\r\n' >"$work/files/b.csv"
# Started elsewhere, so that the Open dialog finds a bare name in files/ only when it starts
# in the folder of the file chosen before. Built with AddressSanitizer (scripts/sanitize.sh), it
# runs without the strict string checks, which X's keyboard library (libxkbcommon-x11) trips in
# strndup before the program's own code runs; any other report fails the check.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"; fi
(cd "$work" && QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$program") \
  >>"$work/program.log" 2>&1 &
app=$!
pids+=("$app")

/usr/bin/python3 - "$work/files" <<'PY'
import os, sys, time
import pyatspi
from gi.repository import Atspi, GLib

folder = sys.argv[1]
dump_only = os.environ.get("DUMP_ONLY") == "1"
failures = []
events = []


def check(ok, what):
    if dump_only:
        return
    print(("PASS  " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def pump(seconds=0.05):
    end = time.time() + seconds
    context = GLib.MainContext.default()
    while time.time() < end:
        while context.iteration(False):
            pass
        time.sleep(0.01)


def until(condition, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        value = condition()
        if value:
            return value
        pump()
    return condition()


def children(acc):
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def find(acc, role, name=None, depth=8):
    if acc is None:
        return None
    if acc.getRoleName() == role and (name is None or acc.name == name):
        return acc
    if depth == 0:
        return None
    for child in children(acc):
        found = find(child, role, name, depth - 1)
        if found is not None:
            return found
    return None


def application():
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app is not None and app.name == "CorvaneCSVtoCRC":
            app.set_cache_mask(Atspi.Cache.NONE)
            return app
    return None


def window(app, name):
    return next((w for w in children(app) if w is not None and w.name == name), None)


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    action.doAction(names.index("press") if "press" in names else 0)


def selected(acc):
    return acc.getState().contains(pyatspi.STATE_SELECTED)


def dump(acc, depth=0, limit=4):
    line = "  " * depth + f"{acc.getRoleName()} {acc.name!r}"
    if acc.getState().contains(pyatspi.STATE_SELECTED):
        line += " [selected]"
    print(line)
    if acc.getRoleName() == "list":
        limit = min(limit, depth + 1)
    if depth < limit:
        for child in children(acc):
            if child is not None:
                dump(child, depth + 1, limit)


def on_event(event):
    try:
        events.append((event.type, event.source.getRoleName(), event.source.name, event.detail1))
    except Exception as error:  # the object may be gone already
        events.append((event.type, "?", str(error), event.detail1))


pyatspi.Registry.registerEventListener(
    on_event, "object:state-changed:showing", "object:state-changed:focused",
    "object:property-change:accessible-name")

app = until(application, 60)
if app is None:
    sys.exit("the program did not appear on the accessibility bus")
main = until(lambda: window(app, "Corvane CSV to CRC"))
print("== main window")
dump(main)
if dump_only:
    press(find(main, "push button", "About"))
    about = until(lambda: window(app, "About CorvaneCSVtoCRC"))
    print("== About")
    dump(about)
    press(find(about, "push button", "OK"))
    sys.exit(0)

check(main.getRoleName() == "frame", "the main window is a frame")
lst = find(main, "list")
check(lst is not None and lst.name == "Shows the list of files to be processed",
      "the list is named by its tooltip's words")

# Two files through the Open dialog, the second starting in the folder of the first.
for name in ("b.csv", "a.csv"):
    press(find(main, "push button", "Open CSV"))
    dialog = until(lambda: window(app, "Open CSV File"))
    field = until(lambda: next((t for t in [find(dialog, "text")] if t is not None), None))
    field.queryEditableText().setTextContents(name if name == "a.csv" else os.path.join(folder, name))
    press(find(dialog, "push button", "Open"))
    until(lambda: window(app, "Open CSV File") is None)
check(until(lambda: [c.name for c in children(lst)] == [os.path.join(folder, n) for n in ("a.csv", "b.csv")]),
      "the second Open started in the folder of the first (a bare name was enough)")

# Into the list from Exit with Tab, which selects its current entry.
xid = os.popen("xdotool search --onlyvisible --name '^Corvane CSV to CRC$' | head -1").read().strip()
def activate():
    os.system(f"xdotool windowactivate --sync {xid} >/dev/null 2>&1")
    until(lambda: main.getState().contains(pyatspi.STATE_ACTIVE), 10)
activate()
exit_button = find(main, "push button", "Exit")
exit_button.queryComponent().grabFocus()
# The focus moves through the accessibility bus, the key through X: the key only once it has.
until(lambda: exit_button.getState().contains(pyatspi.STATE_FOCUSED), 20)
os.system("xdotool key --clearmodifiers Tab")
check(until(lambda: any(selected(c) for c in children(lst))),
      "Tab from Exit into the list selects its current entry")

# Shift+F10 and the Menu key open the list's menu at the current entry. Menus are not in the
# tree (Qt leaves popups out of it); screen readers meet their items through focus events, as
# here while Down goes round them.
def popup():  # the program's visible window without a title of its own (the menu)
    for line in os.popen("xwininfo -root -children").read().splitlines():
        if '"CorvaneCSVtoCRC": ("CorvaneCSVtoCRC"' in line:
            window_id = line.split()[0]
            if "IsViewable" in os.popen(f"xwininfo -id {window_id}").read():
                return window_id
    return None
def origin(window_id):
    info = os.popen(f"xwininfo -id {window_id}").read()
    value = lambda key: int(info.split(key)[1].split()[0])
    return value("Absolute upper-left X:"), value("Absolute upper-left Y:")
def focused_items():
    return {e[2] for e in events
            if e[0] == "object:state-changed:focused" and e[1] == "menu item" and e[3] == 1}
for key in ("shift+F10", "Menu"):
    activate()
    current = next(c for c in children(lst) if selected(c))
    x, y, w, h = current.queryComponent().getExtents(Atspi.CoordType.SCREEN)
    events.clear()
    os.system(f"xdotool key --clearmodifiers {key}")
    menu = until(popup, 10)
    at = origin(menu) if menu else (-1, -1)
    # Down goes round the items; each one focused is heard, however late its event comes.
    for _ in range(3):
        heard = len(focused_items())
        os.system("xdotool key Down")
        until(lambda: len(focused_items()) > heard or len(focused_items()) == 2, 20)
    until(lambda: len(focused_items()) == 2, 20)
    os.system("xdotool key Escape")
    until(lambda: popup() is None, 10)
    check(menu is not None and x <= at[0] < x + w and y <= at[1] < y + h
          and sorted(focused_items()) == ["Clear List", "Remove"],
          f"{key} opens the list's menu at the current entry, Remove and Clear List in it "
          f"(menu at {at}, entry at {(x, y, w, h)}, items {sorted(focused_items())})")

# Generate: the result announced once, not each step.
status = find(main, "label", "Status:")
events.clear()
press(find(main, "push button", "Generate"))
check(until(lambda: status.name == "Processed 2 files."), "the status line reads the result")
def notifications_shown():
    return [e for e in events
            if e[0] == "object:state-changed:showing" and e[1] == "notification" and e[3] == 1]
# The announcement's event may come a while after the text (a loaded machine); a second one
# would come with it.
until(notifications_shown, 20)
pump(0.5)
shown = notifications_shown()
names = [e for e in events if e[0] == "object:property-change:accessible-name"]
print(f"      events during the batch: {len(names)} name changes "
      f"({sorted(set((e[1], e[2]) for e in names))}), {len(shown)} notifications shown")
notification = find(main, "notification")
check(len(shown) == 1 and notification is not None and notification.name == "Processed 2 files.",
      "one announcement, \"Processed 2 files.\"")

# A failure: announced before its box.
os.remove(os.path.join(folder, "b.csv"))
press(find(main, "push button", "Generate"))
box = until(lambda: window(app, "CorvaneCSVtoCRC"))
notification = find(main, "notification")
check(box is not None and notification is not None and notification.name.startswith("Cannot open '")
      and "b.csv" in notification.name, "a failure is announced, and its box shown")
press(find(box, "push button", "OK"))
until(lambda: window(app, "CorvaneCSVtoCRC") is None)

# About in reading order.
press(find(main, "push button", "About"))
about = until(lambda: window(app, "About CorvaneCSVtoCRC"))
print("== About")
dump(about)
order = [(c.getRoleName(), c.name) for c in children(about) if c.getRoleName() in ("label", "push button")]
expected = [("label", "CorvaneCSVtoCRC"), ("label", "Version 1.0.1"),
            ("label", "A utility from Corvane - No Warranty applies or should be assumed etc.")]
check(order[0:3] == expected and [o[1] for o in order[-2:]] == ["OK", "System Info..."]
      and order[3][1].startswith("One day I'll write some help."),
      "About reads title, version, description, disclaimer, OK, System Info")
press(find(about, "push button", "OK"))
until(lambda: window(app, "About CorvaneCSVtoCRC") is None)
press(find(main, "push button", "Exit"))

if failures:
    sys.exit(f"{len(failures)} accessibility checks failed")
print("All accessibility checks passed.")
PY

# Exit was pressed: the program ends, and says nothing of memory or undefined behaviour.
until_true 30 eval '! kill -0 "$app" 2>/dev/null'
if grep -E 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work/program.log"; then
  echo "the program's sanitizer report is above" >&2
  exit 1
fi
