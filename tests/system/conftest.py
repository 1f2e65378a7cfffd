"""Fixtures of the system tests, written once: a work folder that keeps its logs when a test
fails, the processes a fixture started (ended when it is torn down), one bounded wait, a
virtual display with openbox, an accessibility bus and a wine prefix.

Every wait has a deadline and says, when it runs out, what it waited for and what it last saw;
a service that ends before it is up fails the test at once with its log's tail. Services log
to files in the work folder, never to the terminal."""
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def pytest_addoption(parser):
    parser.addoption("--build-dir", default=os.environ.get("CORVANE_BUILD_DIR", str(ROOT / "build")),
                     help="the native build (default: $CORVANE_BUILD_DIR, else build/)")


@pytest.fixture(scope="session")
def build_dir(request):
    return Path(request.config.getoption("--build-dir")).resolve()


def tail(path, lines=25):
    try:
        text = Path(path).read_text(errors="replace")
    except OSError as error:
        return f"({path}: {error.strerror})"
    return "\n".join(text.replace("\r", "").splitlines()[-lines:])


def need(*tools):
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        pytest.fail(f"missing {' '.join(missing)} (run scripts/install-deps.sh)", pytrace=False)


def until(condition, seconds, what, show=None, process=None, log=None, pause=None):
    """Polls CONDITION until it gives a true value, which it returns. After SECONDS, or as soon
    as PROCESS has ended, fails naming WHAT, what was last seen (SHOW(), else the last value or
    error) and the tail of LOG."""
    end = time.monotonic() + seconds
    while True:
        try:
            value, error = condition(), None
        except Exception as caught:  # a window or an object may be gone by the time it is read
            value, error = None, caught
        if value:
            return value
        ended = process is not None and process.poll() is not None
        if ended or time.monotonic() >= end:
            break
        (pause or (lambda: time.sleep(0.05)))()
    seen = show() if show else repr(error if error is not None else value)
    why = f"{process.args[0]} ended (status {process.returncode})" if ended else f"{seconds} s passed"
    message = f"waited for {what}, but {why}; last saw: {seen}"
    pytest.fail(message + (f"\n--- {Path(log).name}:\n{tail(log)}" if log else ""), pytrace=False)


def run(args, seconds=120, log=None, check=True, **kwargs):
    """Runs ARGS to its end within SECONDS, its output captured, or into the file LOG. A command
    that fails (when CHECK) or does not end in time fails the test with what it printed."""
    args = [str(arg) for arg in args]
    out = open(log, "a") if log else None
    try:
        result = subprocess.run(args, stdin=kwargs.pop("stdin", subprocess.DEVNULL), text=True,
                                errors="replace", timeout=seconds, stdout=out or subprocess.PIPE,
                                stderr=out or subprocess.PIPE, **kwargs)
    except subprocess.TimeoutExpired as expired:
        printed = tail(log) if log else f"{expired.stdout or ''}{expired.stderr or ''}"
        pytest.fail(f"{' '.join(args)} did not end in {seconds} s; it printed:\n{printed}", pytrace=False)
    finally:
        if out:
            out.close()
    if check and result.returncode != 0:
        printed = tail(log, 40) if log else f"{result.stdout}{result.stderr}"[-3000:]
        pytest.fail(f"{' '.join(args)} ended with status {result.returncode}:\n{printed}", pytrace=False)
    return result


@pytest.fixture(scope="module")
def work(request):
    """The module's folder: removed afterwards unless a test failed (or KEEP=1)."""
    folder = Path(tempfile.mkdtemp(prefix=f"corvane-{request.module.__name__}.", dir=os.environ.get("TMPDIR")))
    request.node.corvane_work = folder
    yield folder
    if getattr(request.node, "corvane_failed", False) or os.environ.get("KEEP") == "1":
        request.config.pluginmanager.get_plugin("terminalreporter").write_line(f"kept {folder}")
    else:
        shutil.rmtree(folder, ignore_errors=True)


class Processes:
    """Processes started for a fixture; ended, by their own ids, in the order they started."""

    def __init__(self, work):
        self.work, self.started = work, []

    def start(self, args, log, stdout=None, **kwargs):
        with open(self.work / log, "ab") as err, open(stdout or self.work / log, "ab") as out:
            process = subprocess.Popen([str(arg) for arg in args], stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=err, **kwargs)
        self.started.append(process)
        return process

    def stop(self):
        for process in self.started:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(20)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(20)


@pytest.fixture(scope="module")
def processes(work):
    started = Processes(work)
    yield started
    started.stop()


def first_line(args, what, processes, log, seconds=30, **kwargs):
    """Starts ARGS with {fd} in them naming a pipe's end; gives the process and the first line
    it writes there (a display's number, a bus's address)."""
    read, write = os.pipe()
    process = processes.start([arg.format(fd=write) for arg in args], log, pass_fds=(write,), **kwargs)
    os.close(write)
    os.set_blocking(read, False)
    got = b""

    def line():
        nonlocal got
        try:
            got += os.read(read, 4096)
        except BlockingIOError:
            pass
        return got.decode().strip() if b"\n" in got else None
    try:
        return process, until(line, seconds, what, process=process, log=processes.work / log)
    finally:
        os.close(read)


class Display:
    """An X server with the openbox window manager, and the X tools run on it. Programs started
    with its environment show on it (Qt's too)."""

    def __init__(self, name):
        self.env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        self.env["DISPLAY"] = name

    def x(self, *args):
        return run(args, seconds=30, check=False, env=self.env).stdout

    def window(self, name):
        """The id of the visible window titled NAME, or None."""
        found = self.x("xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(name)}$").split()
        return found[0] if found else None

    def geometry(self, window):
        """X, Y of its client area on the screen, then its width and height."""
        info = self.x("xwininfo", "-id", window)
        keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
        found = [re.search(rf"^\s*{key}:\s*(-?\d+)", info, re.M) for key in keys]
        return tuple(int(f.group(1)) for f in found) if all(found) else None

    def located(self, name):
        """X, Y of the client area of the visible window NAME, once it can be read."""
        window = self.window(name)
        geometry = window and self.geometry(window)
        return geometry and geometry[:2]

    def keys(self, window, *keys):
        """The window active, then the keys; none once the window is gone."""
        if run(["xdotool", "windowactivate", "--sync", window], seconds=30, check=False, env=self.env).returncode == 0:
            self.x("xdotool", "key", "--clearmodifiers", *keys)

    def click(self, window, x, y):
        left, top = self.geometry(window)[:2]
        # A --sync move to where the pointer already is waits for a motion that never comes.
        at = self.x("xdotool", "getmouselocation", "--shell")
        if f"X={left + x}\n" not in at or f"Y={top + y}\n" not in at:
            self.x("xdotool", "mousemove", "--sync", left + x, top + y)
        self.x("xdotool", "click", "1")


@pytest.fixture(scope="module")
def display(work, processes):
    """Xvfb with openbox, there before any program that needs them. Without -noreset the server
    resets when its last client leaves, and a client connecting then (openbox, after the first
    xprop has come and gone) is refused."""
    need("Xvfb", "openbox", "xprop", "xwininfo", "xdotool")
    _, number = first_line(["Xvfb", "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                            "-noreset"],
                           "Xvfb to name its display", processes, "xvfb.log")
    screen = Display(f":{number}")
    openbox = processes.start(["openbox", "--sm-disable"], "openbox.log", env=screen.env)
    until(lambda: "window id" in screen.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30,
          "openbox to manage the display", process=openbox, log=work / "openbox.log")
    return screen


@pytest.fixture(scope="module")
def accessibility_bus(work, processes, display):
    """A session bus of its own, with the accessibility bus and its registry up on it. The
    accessibility bus's socket is in XDG_RUNTIME_DIR (else in ~/.cache, where another session's
    would take its place): a folder of its own."""
    need("dbus-daemon", "dbus-send")
    log, runtime = work / "session.log", work / "runtime"
    runtime.mkdir(mode=0o700)
    env = display.env | {"XDG_RUNTIME_DIR": str(runtime)}
    bus, address = first_line(["dbus-daemon", "--session", "--nofork", "--print-address={fd}"],
                              "the session bus's address", processes, "session.log", env=env)
    env["DBUS_SESSION_BUS_ADDRESS"] = address

    def call(*args, bus="--session"):
        return run(["dbus-send", bus, "--print-reply=literal", "--reply-timeout=10000", *args],
                   seconds=30, check=False, env=env).stdout.strip()
    a11y = until(lambda: call("--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"), 30,
                 "the accessibility bus's address", process=bus, log=log)
    own = ["--dest=org.freedesktop.DBus", "/org/freedesktop/DBus"]
    call(*own, "org.freedesktop.DBus.StartServiceByName", "string:org.a11y.atspi.Registry", "uint32:0",
         bus=f"--bus={a11y}")
    until(lambda: call(*own, "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.atspi.Registry",
                       bus=f"--bus={a11y}").endswith("true"),
          30, "the at-spi registry on the accessibility bus", process=bus, log=log)
    return env


class Wine:
    """A throw-away wine prefix in the work folder; HOME, where wine writes menu entries, too."""

    def __init__(self, work, display, processes):
        self.work, self.prefix = work, work / "wineprefix"
        self.env = display.env | {"WINEPREFIX": str(self.prefix), "HOME": str(work), "WINEDEBUG": "-all",
                                  "WINEDLLOVERRIDES": "mscoree=d;mshtml=d"}
        self.prefix.mkdir()
        run(["wineserver", "-p"], env=self.env, log=work / "wine.log")  # one server for every run
        self.boot = processes.start(["wine", "wineboot", "-i"], "wine.log", env=self.env)

    def ready(self):
        until(lambda: self.boot.poll() is not None, 300, "wineboot to make the prefix",
              log=self.work / "wine.log")
        if self.boot.returncode != 0:
            pytest.fail(f"wineboot ended with status {self.boot.returncode}:\n{tail(self.work / 'wine.log')}",
                        pytrace=False)
        return self

    def __call__(self, *args, seconds=120, check=True, **kwargs):
        return run(["wine", *args], seconds=seconds, check=check, env=kwargs.pop("env", self.env), **kwargs)

    def path(self, path):
        return run(["winepath", "-w", path], env=self.env).stdout.strip()


@pytest.fixture(scope="module")
def wine_prefix(work, display, processes):
    """Made in the background: wait with .ready(). Its wineserver ends with the module."""
    need("wine", "wineserver", "winepath")
    wine = Wine(work, display, processes)
    yield wine
    run(["wineserver", "-k"], env=wine.env, check=False)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failure keeps the work folder and shows the tails of the logs written meanwhile; in a
    sequence of steps (marker "steps"), the steps after a failed one are skipped."""
    report = (yield).get_result()
    if not report.failed:
        return
    module = item.getparent(pytest.Module)
    module.corvane_failed = True
    if item.get_closest_marker("steps"):
        item.parent.corvane_failed_step = item.name
    work = getattr(module, "corvane_work", None)
    if work is not None:
        for log in sorted(work.glob("*.log")):
            if log.stat().st_mtime >= call.start - 1:
                report.sections.append((f"{log.name} (kept in {work})", tail(log)))


def pytest_runtest_setup(item):
    failed = getattr(item.parent, "corvane_failed_step", None)
    if item.get_closest_marker("steps") and failed:
        pytest.skip(f"an earlier step failed: {failed}")
