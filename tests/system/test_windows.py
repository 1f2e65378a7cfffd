"""The Windows build: cross-built with MinGW-w64 (the preset "windows", into build-windows/) and
run under wine in a throw-away prefix on a virtual display with openbox: every test through
ctest (csv2crc.exe on the samples among them), the launcher against the registry, the version
resource, the window program driven with real drags, keys and clicks, and the MSI installed,
upgraded and removed. The drags come from tests/ui/drag_source of the native build ($CORVANE_DRAG_SOURCE,
else the build folder's)."""
import os
import re
import shutil
import time
from pathlib import Path

import pytest

from conftest import ROOT, Processes, need, run, tail, until

BUILD = ROOT / "build-windows"
CAPTION, BOX = "Corvane CSV to CRC", "CorvaneCSVtoCRC"
VERSION = re.search(r"^project\(CorvaneCSVtoCRC VERSION (\d+)\.(\d+)\.(\d+)", (ROOT / "CMakeLists.txt").read_text(), re.M).groups()
# Client-area points of the controls at 96 dots per inch (15 twips a pixel).
LIST_MIDDLE, GENERATE = (200, 80), (328, 228)


@pytest.fixture(scope="module")
def wine(wine_prefix, work):
    """The cross build, made while wineboot makes the prefix."""
    need("cmake", "ninja", "x86_64-w64-mingw32-g++-posix", "x86_64-w64-mingw32-nm", "wixl")
    jobs = os.environ.get("CORVANE_JOBS", "2")
    run(["cmake", "--preset", "windows", f"-DCORVANE_WERROR={os.environ.get('CORVANE_WERROR', 'ON')}"],
        seconds=300, log=work / "build.log", cwd=ROOT)
    run(["cmake", "--build", "--preset", "windows", "--parallel", jobs], seconds=1800, log=work / "build.log", cwd=ROOT)
    return wine_prefix.ready()


CHECK_KEY = r"HKLM\SOFTWARE\CorvaneCheck"
MSINFO, LOCATION = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO", r"HKLM\SOFTWARE\Microsoft\Shared Tools Location"


def test_every_test_passes_under_wine(wine, work):
    """The launcher's registry tests read values of every kind under a key of our own, and start
    with neither of the tool's own entries (a fresh prefix may hold the key, not PATH)."""
    for value, kind, data in [("Text", "REG_SZ", r"C:\Tools\msinfo32.exe"), ("EmptyText", "REG_SZ", ""),
                              ("Number", "REG_DWORD", "1234"),
                              ("Expandable", "REG_EXPAND_SZ", r"%SystemRoot%\system32\msinfo32.exe"),
                              ("Text1023", "REG_SZ", "a" * 1023), ("Text1024", "REG_SZ", "b" * 1024)]:
        wine("reg", "add", CHECK_KEY, "/v", value, "/t", kind, "/d", data, "/f")
    wine("reg", "add", CHECK_KEY, "/v", "EmptyBinary", "/t", "REG_BINARY", "/f")
    wine("reg", "delete", MSINFO, "/v", "PATH", "/f", check=False)
    wine("reg", "delete", LOCATION, "/f", check=False)
    env = wine.env | {"CORVANE_CHECK_REGISTRY_KEY": r"SOFTWARE\CorvaneCheck", "CORVANE_CHECK_SYSINFO_STATE": "neither"}
    # Two at a time: the build is done, so the other core is free, and a window program started
    # after a longer run in a new prefix can spend about 10 s waiting on wine before it starts.
    result = run(["ctest", "--test-dir", BUILD, "-V", "--parallel", "2"], seconds=900, log=work / "ctest.log",
                 check=False, env=env)
    log = (work / "ctest.log").read_text(errors="replace").replace("\r", "")
    assert result.returncode == 0, "\n".join([l for l in log.splitlines() if "[       OK ]" not in l][-60:])
    programs = len(re.findall(r"^ *\d+/\d+ Test", log, re.M))
    count = lambda what: sum(int(n) for n in re.findall(rf"^\d+: \[  {what}  \] (\d+) tests?", log, re.M))
    print(f"{programs} test programs, {count('PASSED')} cases passed, {count('SKIPPED')} skipped")
    # engine, file list, command line, launcher, window model, the Win32 view's wiring: a build
    # without them proves nothing.
    assert programs >= 6


TOOLS = r"C:\corvane-check"


def tool_at(wine, folder, name):
    (wine.prefix / "drive_c/corvane-check" / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy(BUILD / "tests/sysinfo/sysinfo_start_probe.exe", wine.prefix / "drive_c/corvane-check" / folder / name)


# The launcher against the tool's entries as they change, in this order.
@pytest.mark.parametrize("state, program, setup", [
    ("missing-program", None, lambda wine: wine("reg", "add", LOCATION, "/v", "MSINFO", "/t", "REG_SZ",
                                                "/d", TOOLS + r"\Shared Tools", "/f")),
    ("location", TOOLS + r"\Shared Tools\MSINFO32.EXE", lambda wine: tool_at(wine, "Shared Tools", "MSINFO32.EXE")),
    ("path", TOOLS + r"\direct\msinfo32.exe", lambda wine: (tool_at(wine, "direct", "msinfo32.exe"), wine(
        "reg", "add", MSINFO, "/v", "PATH", "/t", "REG_SZ", "/d", TOOLS + r"\direct\msinfo32.exe", "/f"))),
], ids=["folder_entry_without_program_starts_nothing", "folder_entry_with_program_starts_it",
        "path_entry_starts_it_and_folder_entry_is_never_read"])
def test_launcher(wine, state, program, setup):
    setup(wine)
    env = wine.env | {"CORVANE_CHECK_SYSINFO_STATE": state} | ({"CORVANE_CHECK_SYSINFO_PROGRAM": program} if program else {})
    wine(BUILD / "tests/sysinfo/sysinfo_tests.exe", "--gtest_filter=RegistryWindows.StartSysInfo*", "--gtest_brief=1", env=env)


def test_version_resource_reads_back(wine):
    """Through GetFileVersionInfoA / VerQueryValueA."""
    title = re.search(r'^set\(CORVANE_TITLE "(.*)"\)$', (ROOT / "CMakeLists.txt").read_text(), re.M).group(1)
    major, minor, patch = VERSION
    shown = f"{int(major)}.{int(minor):02d}.{int(patch):04d}"
    expected = f"""FILEVERSION={major},{minor},0,{patch}
PRODUCTVERSION={major},{minor},0,{patch}
FILETYPE=1
Translation=040904b0
Comments=Converts CSV files to CRC files suitable for Vellum
CompanyName=Corvane
FileDescription=Corvane Utility
FileVersion={shown}
InternalName={title}
OriginalFilename={title}.exe
ProductName={title}
ProductVersion={shown}"""
    assert wine(BUILD / "tests/windows/version_dump.exe").stdout.replace("\r", "").strip() == expected


def end_with_alt_x(display, window, app):
    """Alt+X, again every 5 s until the program has ended: on a loaded machine the first may come
    before wine has given a new window the keyboard."""
    sent, sends = 0, 0

    def ended():
        nonlocal sent, sends
        if app.poll() is None and time.monotonic() - sent > 5:
            display.keys(window, "alt+x")
            sent, sends = time.monotonic(), sends + 1
        return app.poll() is not None
    until(ended, 30, "the program to end after Alt+X", show=lambda: f"its window {display.window(CAPTION) or 'gone'}")
    print(f"Alt+X sent {sends} time(s)")


class Window:
    """The window program under wine, started in its own folder, and what drives it."""

    def __init__(self, wine, display, processes, work, drag_source):
        self.display, self.processes, self.work, self.drag_source = display, processes, work, drag_source
        self.folder = work / "window"
        self.folder.mkdir()
        shutil.copy(ROOT / "samples/non-ascii.csv", self.folder / "one.csv")
        (self.folder / "two.txt").write_bytes(b"x,y,z,w\r\n")
        self.app = processes.start(["wine", BUILD / "ui/win32/CorvaneCSVtoCRC.exe"], "wine.log", cwd=self.folder, env=wine.env)
        until(lambda: display.window(CAPTION), 60, f"the window {CAPTION!r}", process=self.app,
              show=lambda: [l for l in display.x("xwininfo", "-root", "-tree").splitlines() if "orvane" in l])
        self.main = display.window(CAPTION)

    def drag(self, *files):
        """Drags FILES from a drag_source onto the list; gives what the source was told ("copy" or
        "ignore"). A drag not answered with a copy is tried again: the target may not have answered
        the hand-over yet when the button went up."""
        out, x = self.work / "drag.out", self.display.x
        for attempt in range(5):
            x("xdotool", "mousemove", "--sync", "1", "1")  # the pointer away: no tooltip in the way
            out.write_text("")
            source = self.processes.start([self.drag_source, *files], "drag.log", stdout=out,
                                          env=self.display.env | {"QT_QPA_PLATFORM": "xcb"})
            said = lambda: out.read_text()
            # Both windows looked up afresh, until their places can be read.
            sx, sy = until(lambda: self.display.located("corvane-drag-source"), 30, "the drag source's window", process=source)
            tx, ty = until(lambda: self.display.located(CAPTION), 30, "the main window's place")
            sx, sy, tx, ty = sx + 60, sy + 40, tx + LIST_MIDDLE[0], ty + LIST_MIDDLE[1]
            x("xdotool", "mousemove", "--sync", sx, sy, "mousedown", "1")
            until(lambda: "dragging" in said(), 10, "the drag to start", show=said, process=source)
            for step in range(1, 11):
                x("xdotool", "mousemove", "--sync", sx + (tx - sx) * step // 10, sy + (ty - sy) * step // 10)
            x("xdotool", "mousemove", "--sync", tx + 1, ty)
            until(lambda: "accepted" in said(), 10, "the target to accept a copy", show=said, process=source)
            x("xdotool", "mouseup", "1")
            answer = until(lambda: re.search(r"^(copy|ignore)$", said(), re.M), 20, "the drag's end", show=said).group(1)
            # The source stays (hidden) until the program has ended: wine reads the drag's windows
            # when it gets to the drag's messages, and fails on a window gone by then.
            if answer == "copy":
                return answer
            with open(self.work / "drag.log", "a") as log:
                log.write(f"drag attempt {attempt + 1} of {files} from {sx},{sy} to {tx},{ty}: {answer}\n")
        return answer

    def generate(self):
        self.display.click(self.main, *GENERATE)

    def hidden_outputs(self):
        return list(self.folder.glob(".A1_*"))

    def converted(self, name):
        """Waits for A1_NAME.crc and for no hidden output; gives its bytes."""
        until(lambda: (self.folder / f"A1_{name}.crc").exists(), 60, f"A1_{name}.crc")
        until(lambda: not self.hidden_outputs(), 60, "no hidden output left", show=self.hidden_outputs)
        return (self.folder / f"A1_{name}.crc").read_bytes()


@pytest.fixture(scope="class")
def window(wine, display, work, build_dir):
    """Ended, with its drag sources after it, before the installer's steps start theirs."""
    drag_source = Path(os.environ.get("CORVANE_DRAG_SOURCE", build_dir / "tests/ui/drag_source"))
    assert os.access(drag_source, os.X_OK), f"no drag source at {drag_source} (build tests/ui/drag_source natively)"
    own = Processes(work)
    program = Window(wine, display, own, work, drag_source)
    yield program
    own.stop()
    display.x("xdotool", "mouseup", "1")  # a drag that failed half-way leaves the button down
    (program.folder / "big.csv").unlink(missing_ok=True)


EXPECTED = (ROOT / "samples/expected/A1_non-ascii.crc").read_bytes()


@pytest.mark.steps
class TestWindow:
    def test_drag_of_csv_and_txt_lists_csv_only_and_generate_converts_it(self, window):
        assert window.drag(str(window.folder / "one.csv"), str(window.folder / "two.txt")) == "copy"
        window.generate()
        assert window.converted("one") == EXPECTED
        assert not (window.folder / "A1_two.crc").exists()

    def test_vanished_file_shows_failure_box_and_shift_f10_remove_takes_it_out(self, window):
        """For a listed file that has gone: the failure box, the program goes on, and the failed entry
        is selected (not the first row, which Tab into the list would select anyway), so that
        Shift+F10 > Remove, reached with Tab from Generate (the focus is back on it), takes it out.
        The window's wiring, Delete too, is tested without X (tests/win32); this is the keyboard
        through the program's own message loop, where Tab moves the focus and Shift+F10 asks for
        the menu."""
        (window.folder / "x-gone.csv").write_bytes(b"1,2,3,4\r\n")
        assert window.drag(str(window.folder / "x-gone.csv")) == "copy"
        for name in ("x-gone.csv", "A1_one.crc"):
            (window.folder / name).unlink()
        display = window.display
        window.generate()
        box = until(lambda: display.window(BOX), 60, "the failure box")
        display.keys(box, "Return")
        until(lambda: display.window(BOX) is None, 30, "the failure box to close")
        # A search while the box's window is being destroyed can miss every window: waited for.
        until(lambda: display.window(CAPTION), 30, "the main window to stay after the box closed", process=window.app)
        assert (window.folder / "A1_one.crc").exists()
        (window.folder / "A1_one.crc").unlink()
        display.keys(window.main, "Tab", "Tab", "Tab", "shift+F10", "r")

    def test_generate_converts_the_rest(self, window):
        window.generate()
        assert window.converted("one") == EXPECTED
        assert window.display.window(BOX) is None

    def test_alt_x_part_way_through_a_large_file_ends_program_leaving_nothing(self, window):
        with open(window.folder / "big.csv", "wb") as big:
            block = b"B-100,4,120,80,edge banded\n" * 40000
            for _ in range(600 * 2**20 // len(block)):
                big.write(block)
        assert window.drag(str(window.folder / "big.csv")) == "copy", tail(window.work / "drag.log")
        window.generate()
        until(window.hidden_outputs, 60, "Generate on big.csv to make a hidden output")
        started = time.monotonic()
        end_with_alt_x(window.display, window.main, window.app)
        print(f"Alt+X ended the program in {(time.monotonic() - started) * 1000:.0f} ms")
        assert window.hidden_outputs() == [] and not (window.folder / "A1_big.crc").exists()


UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


class Installer:
    def __init__(self, wine, work):
        self.wine, self.work = wine, work
        self.folder = wine.prefix / "drive_c/Program Files/CorvaneCSVtoCRC"
        self.all_users = wine.prefix / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/CorvaneCSVtoCRC.lnk"
        build = lambda env: run(["bash", ROOT / "scripts/windows-build.sh"], seconds=900, env=env).stdout.split()[-1]
        self.msi = build(os.environ)
        self.old = shutil.move(build(os.environ | {"CORVANE_MSI_VERSION": "1.0.0"}), work)

    def msiexec(self, *args):
        self.wine("start", "/wait", "msiexec", *args, "/qn", seconds=300, log=self.work / "wine.log")

    def versions(self):
        """'DisplayVersion Publisher' of every installed CorvaneCSVtoCRC."""
        found = []
        for key in self.wine("reg", "query", UNINSTALL, "/s").stdout.replace("\r", "").split("\nHKEY")[1:]:
            entry = dict(f[::2] for f in map(str.split, key.splitlines()[1:]) if len(f) == 3)  # name, type, value
            if entry.get("DisplayName") == "CorvaneCSVtoCRC":
                found.append(f"{entry.get('DisplayVersion')} {entry.get('Publisher')}")
        return found

    def shortcuts(self):
        return list((self.wine.prefix / "drive_c").rglob("CorvaneCSVtoCRC.lnk"))


@pytest.fixture(scope="module")
def installer(wine, work):
    return Installer(wine, work)


def symbols(path):
    return run(["x86_64-w64-mingw32-nm", path], check=False).stdout.strip() != ""


@pytest.mark.steps
class TestInstaller:
    def test_msi_replaces_older_version_and_installs_for_all_users(self, installer):
        installer.msiexec("/i", installer.wine.path(installer.old))
        assert installer.versions() == ["1.0.0 Corvane"]
        installer.msiexec("/i", installer.wine.path(installer.msi))
        assert installer.versions() == [f"{'.'.join(VERSION)} Corvane"]
        assert (installer.folder / "CorvaneCSVtoCRC.exe").is_file() and (installer.folder / "csv2crc.exe").is_file()
        assert installer.shortcuts() == [installer.all_users]

    def test_installed_programs_are_stripped_and_debug_files_hold_their_symbols(self, installer):
        assert not symbols(installer.folder / "CorvaneCSVtoCRC.exe") and not symbols(installer.folder / "csv2crc.exe")
        assert symbols(BUILD / "ui/win32/CorvaneCSVtoCRC.exe.debug") and symbols(BUILD / "cli/csv2crc.exe.debug")
        print(", ".join(f"{p.name} {p.stat().st_size / 1e6:.1f} MB" for p in installer.folder.glob("*.exe")))

    def test_installed_program_starts_and_ends_with_alt_x(self, installer, display, processes, work):
        app = processes.start(["wine", r"C:\Program Files\CorvaneCSVtoCRC\CorvaneCSVtoCRC.exe"], "wine.log",
                              cwd=work, env=installer.wine.env)
        main = until(lambda: display.window(CAPTION), 60, "the installed program's window", process=app)
        end_with_alt_x(display, main, app)

    def test_uninstall_leaves_no_folder_shortcut_or_entry(self, installer):
        installer.msiexec("/x", installer.wine.path(installer.msi))
        assert installer.versions() == [] and not installer.folder.exists() and installer.shortcuts() == []
