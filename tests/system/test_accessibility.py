"""The desktop program as screen readers see it: its at-spi tree and what it announces, on a
virtual display with openbox and an accessibility bus of its own. The steps share one program
and run in order."""
import os
import time

import pytest

from conftest import tail, until

pytestmark = pytest.mark.steps
MAIN, ABOUT, BOX = "Corvane CSV to CRC", "About CorvaneCSVtoCRC", "CorvaneCSVtoCRC"


@pytest.fixture(scope="module")
def screen_reader(work, processes, display, accessibility_bus, build_dir):
    """The program started in the work folder (so that the Open dialog finds a bare name in
    files/ only when it starts in the folder of the file chosen before), seen through pyatspi."""
    program = build_dir / "ui/main/CorvaneCSVtoCRC"
    assert program.is_file(), f"no program at {program} (build it first)"
    (work / "files").mkdir()
    (work / "files/a.csv").write_bytes(b"a,b,c,d\r\n")
    (work / "files/b.csv").write_bytes(b"e,f,g,h\r\n")
    env = accessibility_bus | {"QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    # Built with AddressSanitizer, it runs without the strict string checks, which X's keyboard
    # library (libxkbcommon-x11) trips in strndup before the program's own code runs.
    if env.get("ASAN_OPTIONS"):
        env["ASAN_OPTIONS"] += ":strict_string_checks=0"
    app = processes.start([program], "program.log", cwd=work, env=env)
    saved = dict(os.environ)
    os.environ.update(DISPLAY=env["DISPLAY"], DBUS_SESSION_BUS_ADDRESS=env["DBUS_SESSION_BUS_ADDRESS"])
    import pyatspi  # reads the bus from the environment
    yield Reader(pyatspi, app, work)
    os.environ.clear()
    os.environ.update(saved)


class Reader:
    def __init__(self, pyatspi, app, work):
        from gi.repository import Atspi, GLib
        self.at, self.Atspi, self.context, self.process, self.work = pyatspi, Atspi, GLib.MainContext.default(), app, work
        self.events = []
        pyatspi.Registry.registerEventListener(self.heard, "object:state-changed:showing",
                                               "object:state-changed:focused", "object:property-change:accessible-name")
        self.app = self.until(self.application, 60, "the program on the accessibility bus")
        self.main = self.until(lambda: self.window(MAIN), 30, f"the window {MAIN!r}")

    def heard(self, event):
        try:
            self.events.append((event.type, event.source.getRoleName(), event.source.name, event.detail1))
        except Exception as error:  # the object may be gone already
            self.events.append((event.type, "?", str(error), event.detail1))

    def pump(self, seconds=0.05):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while self.context.iteration(False):
                pass
            time.sleep(0.01)

    def until(self, condition, seconds, what, show=None):
        return until(condition, seconds, what, show=show, process=self.process, log=self.work / "program.log",
                     pause=self.pump)

    def application(self):
        desktop = self.at.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.name == "CorvaneCSVtoCRC":
                app.set_cache_mask(self.Atspi.Cache.NONE)
                return app
        return None

    def window(self, name):
        return next((w for w in children(self.app) if w is not None and w.name == name), None)

    def gone(self, name):
        return self.until(lambda: self.window(name) is None, 30, f"the window {name!r} to close")

    def selected(self, acc):
        return acc.getState().contains(self.at.STATE_SELECTED)

    def focused(self, acc):
        return acc.getState().contains(self.at.STATE_FOCUSED)

    def heard_of(self, kind, role):
        return [e for e in self.events if e[0] == kind and e[1] == role and e[3] == 1]

    def activate(self, display):
        display.x("xdotool", "windowactivate", "--sync", display.window(MAIN))
        self.until(lambda: self.main.getState().contains(self.at.STATE_ACTIVE), 10, "the main window active")


def children(acc):
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def find(acc, role, name=None, depth=8):
    if acc is None or (acc.getRoleName() == role and name in (None, acc.name)):
        return acc
    return next((f for c in children(acc) if depth and (f := find(c, role, name, depth - 1))), None)


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    action.doAction(names.index("press") if "press" in names else 0)


def test_second_open_starts_in_folder_of_first(screen_reader, work):
    r = screen_reader
    for name in (str(work / "files/b.csv"), "a.csv"):
        press(find(r.main, "push button", "Open CSV"))
        dialog = r.until(lambda: r.window("Open CSV File"), 30, "the Open dialog")
        field = r.until(lambda: find(dialog, "text"), 30, "the Open dialog's name field")
        field.queryEditableText().setTextContents(name)
        press(find(dialog, "push button", "Open"))
        r.gone("Open CSV File")
    listed = [str(work / "files" / n) for n in ("a.csv", "b.csv")]
    lst = find(r.main, "list")
    r.until(lambda: [c.name for c in children(lst)] == listed, 30, f"the list to read {listed} (a bare name was enough)",
            show=lambda: [c.name for c in children(lst)])


def test_tab_from_exit_selects_current_entry(screen_reader, display):
    r = screen_reader
    r.activate(display)
    exit_button = find(r.main, "push button", "Exit")
    exit_button.queryComponent().grabFocus()
    # The focus moves through the accessibility bus, the key through X: the key only once it has.
    r.until(lambda: r.focused(exit_button), 20, "Exit focused")
    display.x("xdotool", "key", "--clearmodifiers", "Tab")
    r.until(lambda: any(r.selected(c) for c in children(find(r.main, "list"))), 30, "an entry selected")


@pytest.mark.parametrize("key", ["shift+F10", "Menu"])
def test_key_opens_list_menu_at_current_entry(screen_reader, display, key):
    """Menus are not in the tree (Qt leaves popups out of it): screen readers meet their items
    through focus events, as here while Down goes round them."""
    r = screen_reader

    def popup():  # the program's visible window without a title of its own (the menu)
        for line in display.x("xwininfo", "-root", "-children").splitlines():
            if '"CorvaneCSVtoCRC": ("CorvaneCSVtoCRC"' in line and "IsViewable" in display.x("xwininfo", "-id", line.split()[0]):
                return line.split()[0]
        return None

    def items():
        return sorted({e[2] for e in r.heard_of("object:state-changed:focused", "menu item")})
    r.activate(display)
    current = next(c for c in children(find(r.main, "list")) if r.selected(c))
    x, y, w, h = current.queryComponent().getExtents(r.Atspi.CoordType.SCREEN)
    r.events.clear()
    display.x("xdotool", "key", "--clearmodifiers", key)
    menu = r.until(popup, 10, f"the menu {key} opens")
    at = display.geometry(menu)[:2]
    for _ in range(3):  # each item focused is heard, however late its event comes
        heard = len(items())
        display.x("xdotool", "key", "Down")
        r.until(lambda: len(items()) > heard or len(items()) == 2, 20, "the next menu item heard", show=items)
    r.until(lambda: items() == ["Clear List", "Remove"], 20, "Remove and Clear List heard", show=items)
    display.x("xdotool", "key", "Escape")
    r.until(lambda: popup() is None, 10, "the menu to close")
    assert x <= at[0] < x + w and y <= at[1] < y + h, f"menu at {at}, entry at {(x, y, w, h)}"


def test_result_announced_once(screen_reader):
    r = screen_reader
    status = find(r.main, "label", "Status:")
    r.events.clear()
    press(find(r.main, "push button", "Generate"))
    r.until(lambda: status.name == "Processed 2 files.", 30, "the status line to read the result", show=lambda: status.name)
    # The announcement's event may come a while after the text; a second one would come with it.
    r.until(lambda: r.heard_of("object:state-changed:showing", "notification"), 20, "a notification shown")
    r.pump(0.5)
    names = {(e[1], e[2]) for e in r.events if e[0] == "object:property-change:accessible-name"}
    print(f"name changes during the batch: {sorted(names)}")
    assert len(r.heard_of("object:state-changed:showing", "notification")) == 1
    assert find(r.main, "notification").name == "Processed 2 files."


def test_failure_announced_and_box_shown(screen_reader, work):
    r = screen_reader
    (work / "files/b.csv").unlink()
    press(find(r.main, "push button", "Generate"))
    box = r.until(lambda: r.window(BOX), 30, "the failure box")
    said = find(r.main, "notification").name
    press(find(box, "push button", "OK"))
    r.gone(BOX)
    assert said.startswith("Cannot open '") and "b.csv" in said, said


def test_exit_ends_program_without_sanitizer_report(screen_reader, work):
    """After About has come and gone under the bus's eyes."""
    r = screen_reader
    press(find(r.main, "push button", "About"))
    about = r.until(lambda: r.window(ABOUT), 30, "the About window")
    press(r.until(lambda: find(about, "push button", "OK"), 30, "About's OK button"))
    r.gone(ABOUT)
    press(find(r.main, "push button", "Exit"))
    until(lambda: r.process.poll() is not None, 30, "the program to end after Exit", log=work / "program.log")
    log = (work / "program.log").read_text(errors="replace")
    assert not any(s in log for s in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")), tail(work / "program.log", 60)
