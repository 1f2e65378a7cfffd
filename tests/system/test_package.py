"""The Debian package of scripts/package-build.sh, the way a distribution and a user meet it: its
control fields and files, the validators and lintian, and the programs unpacked into a root of
their own, run."""
import gzip
import re
import subprocess

import pytest

from conftest import ROOT, need, run, tail, until

APP_ID, PACKAGE = "com.corvane.CorvaneCSVtoCRC", "corvanecsvtocrc"


@pytest.fixture(scope="module")
def deb(build_dir, work):
    need("cmake", "cpack", "dpkg-deb", "dpkg-shlibdeps", "desktop-file-validate", "appstreamcli", "lintian", "file")
    path = run(["bash", ROOT / "scripts/package-build.sh", build_dir], seconds=900).stdout.split()[-1]
    run(["dpkg-deb", "-x", path, work / "root"])
    return path


@pytest.fixture(scope="module")
def version(build_dir):
    return re.search(r'^set\(CPACK_PACKAGE_VERSION "(.*)"\)$', (build_dir / "CPackConfig.cmake").read_text(), re.M).group(1)


def field(deb, name):
    return run(["dpkg-deb", "-f", deb, name]).stdout.strip()


def test_control_fields(deb, version):
    """The maintainer a name with an address outside the example domains; the shared libraries in
    Depends (dpkg-shlibdeps ran)."""
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    fields = {name: field(deb, name) for name in ("Package", "Version", "Section", "Architecture")}
    assert fields == {"Package": PACKAGE, "Version": version, "Section": "utils", "Architecture": arch}
    maintainer = field(deb, "Maintainer")
    assert re.fullmatch(r"[^<]*<[^@>]*@[^>]*>", maintainer) and not re.search(r"@example\.(com|net|org)>", maintainer, re.I)
    depends = field(deb, "Depends")
    names = {d.strip().split(" ")[0] for d in re.split(r"[,|]", depends)}
    assert {"libc6", "libstdc++6", "libqt6widgets6"} <= names, depends


def test_package_holds_exactly_the_expected_files(deb, work):
    expected = {"usr/bin/CorvaneCSVtoCRC", "usr/bin/csv2crc", f"usr/share/applications/{APP_ID}.desktop",
                f"usr/share/metainfo/{APP_ID}.metainfo.xml", f"usr/share/doc/{PACKAGE}/copyright",
                f"usr/share/doc/{PACKAGE}/changelog.gz", "usr/share/man/man1/csv2crc.1.gz",
                "usr/share/man/man1/CorvaneCSVtoCRC.1.gz", f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg"}
    expected |= {f"usr/share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in (16, 32, 48, 64, 128, 256)}
    actual = {str(p.relative_to(work / "root")) for p in (work / "root").rglob("*") if p.is_file() or p.is_symlink()}
    assert (sorted(expected - actual), sorted(actual - expected)) == ([], []), "(missing, unexpected)"


@pytest.mark.parametrize("program", ["CorvaneCSVtoCRC", "csv2crc"])
def test_program_is_stripped(deb, work, program):
    described = run(["file", "-b", work / "root/usr/bin" / program]).stdout
    assert "ELF" in described and ", stripped" in described, described


def test_png_icons_have_the_size_their_folder_names(deb, work):
    icons = sorted((work / "root/usr/share/icons/hicolor").glob("*x*/apps/*.png"))
    wrong = [(str(p), d) for p in icons if f"PNG image data, {p.parts[-3].replace('x', ' x ')}," not in (d := run(["file", "-b", p]).stdout)]
    assert icons and wrong == []


def test_desktop_entry_validates_and_starts_the_program_with_its_icon(deb, work):
    desktop = work / f"root/usr/share/applications/{APP_ID}.desktop"
    said = run(["desktop-file-validate", desktop])
    assert said.stdout + said.stderr == ""
    lines = desktop.read_text().splitlines()
    assert sorted(l for l in lines if l.startswith(("Exec=", "Icon="))) == ["Exec=CorvaneCSVtoCRC", f"Icon={APP_ID}"]


def test_appstream_metadata_validates(deb, work):
    """Only issues that say a URL could not be fetched are allowed."""
    no_net = ["--no-net"] if "--no-net" in run(["appstreamcli", "validate", "--help"], check=False).stdout else []
    results = [run(["appstreamcli", *args], check=False) for args in (
        ["validate", *no_net, work / f"root/usr/share/metainfo/{APP_ID}.metainfo.xml"],
        ["validate-tree", *no_net, work / "root"])]
    said = "".join(r.stdout + r.stderr for r in results)
    issues = [l for l in said.splitlines() if re.match(r"[EW]: ", l)
              and not re.search(r": (url-not-reachable|screenshot-image-not-found|screenshot-video-not-found)", l)]
    assert issues == [] and (all(r.returncode == 0 for r in results) or "Failed to download" in said), said


def test_lintian_reports_no_error(deb):
    result = run(["lintian", "--fail-on", "error", deb], seconds=300, check=False)
    said = [l for l in (result.stdout + result.stderr).splitlines() if not l.startswith("running with root privileges")]
    print("\n".join(said))
    assert result.returncode == 0 and not [l for l in said if l.startswith("E: ")], "\n".join(said)


def test_installed_csv2crc_converts(deb, work, tmp_path):
    """By name; its other ways in and out are the command line's tests (tests/cli)."""
    (tmp_path / "sample.csv").write_bytes(b"a,b,c,d\r\nw,x,y,z\n")
    run([work / "root/usr/bin/csv2crc", "sample.csv"], cwd=tmp_path)
    assert (tmp_path / "A1_sample.crc").read_bytes() == b"a\t\tb\t\t111 x 222\t\tc\t\td\r\nw\t\tx\t\t111 x 222\t\ty\t\tz\r\n"


def test_versions_agree(deb, work, version):
    """--version, the manual page, the AppStream release and the package."""
    shown = run([work / "root/usr/bin/csv2crc", "--version"]).stdout.strip()
    manual = gzip.decompress((work / "root/usr/share/man/man1/csv2crc.1.gz").read_bytes()).decode()
    metainfo = (work / f"root/usr/share/metainfo/{APP_ID}.metainfo.xml").read_text()
    assert (shown, re.search(r'^\.TH [^"]*"[^"]*" "([^"]*)"', manual, re.M).group(1),
            re.search(r'<release version="([^"]*)"', metainfo).group(1)) == (f"CorvaneCSVtoCRC {version}",) * 2 + (version,)


def test_manual_page_documents_the_options_of_help(deb, work):
    said = run([work / "root/usr/bin/csv2crc", "--help"]).stdout
    helped = {m.group(1) for m in re.finditer(r"(?:^|[ ,])(--?[a-z][a-z-]*)", said, re.M)}
    manual = gzip.decompress((work / "root/usr/share/man/man1/csv2crc.1.gz").read_bytes()).decode()
    options = re.search(r"^\.SH OPTIONS$(.*?)^\.SH ", manual, re.M | re.S).group(1).replace("\\-", "-")
    documented = {m.group(1) for m in re.finditer(r'(?:^|[ ,"])(--?[a-z][a-z-]*)', options, re.M)}
    assert helped and (sorted(helped - documented), sorted(documented - helped)) == ([], []), "(--help only, manual only)"


def test_installed_window_program_comes_up_and_stays_up(deb, work, display, processes):
    """It takes no arguments, shows its window and runs until it is closed."""
    log = work / "window.log"
    app = processes.start([work / "root/usr/bin/CorvaneCSVtoCRC"], log.name, env=display.env)
    until(lambda: display.window("Corvane CSV to CRC"), 30, "its window", process=app, log=log)
    try:
        status = app.wait(5)  # still up after five seconds, or it fails here
    except subprocess.TimeoutExpired:
        status = None
    assert status is None and not re.search(r"abort|core dumped|segmentation|could not (load|connect)", log.read_text(), re.I), \
        f"ended by itself with status {status}: {tail(log)}"
