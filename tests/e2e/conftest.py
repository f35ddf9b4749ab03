"""Runs the real OstrelSetup.exe under Wine in a virtual display.

One Xvfb and one template Wine prefix per session; each test that changes
the machine gets its own copy of the template, the read-only ones share one
warm prefix. Every child process runs under a deadline, so a hung program
fails its test instead of hanging the run.

Environment:
  OSTREL_E2E_ARCH       which pass this is (scripts/test.sh runs all three
                        where the machine runs 32-bit programs, docs/wine.md):
                        win64 (default)  the 64-bit build, 64-bit prefix
                        win32            the 32-bit build, 32-bit prefix
                        wow64            the 32-bit build in a 64-bit prefix,
                                         x64\\OstrelSetup.exe beside it: only
                                         the tests marked wow64 run, and only
                                         in this pass
  OSTREL_E2E_BUILD_DIR  the build whose OstrelSetup.exe runs (default
                        build/win64, or build/win32 for win32 and wow64)
  OSTREL_E2E_X64_BUILD_DIR  wow64: the 64-bit build for the sibling and the
                        test tools (default: win64 beside OSTREL_E2E_BUILD_DIR)
  The builds are made first unless OSTREL_E2E_NO_BUILD=1.
"""

import os
import re
import select
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
SAMPLES = ROOT / "samples"
SAMPLE_INF = SAMPLES / "OstrelSetup.inf"
CAPTION = "Ostrel Setup Utility"
PROGRAM = "OstrelSetup.exe"


def error_box(text):
    """A box as the reader logs it: the program's caption, the text, the error icon."""
    return (CAPTION, text, "error")


def sample_files():
    """The sample package's files other than its INF, for run_ostrel(files=...)."""
    return {path.name: path for path in SAMPLES.iterdir() if path.is_file() and path != SAMPLE_INF}


@dataclass(frozen=True)
class Arch:
    winearch: str
    loader: str
    program: str  # the build (preset name) whose OstrelSetup.exe runs
    tools: str  # the build whose test tools run
    sibling: str = None  # the build placed as x64\OstrelSetup.exe beside the program


ARCHES = {
    "win64": Arch("win64", "/usr/lib/wine/wine64", program="win64", tools="win64"),
    "win32": Arch("win32", "/usr/lib/wine/wine", program="win32", tools="win32"),
    # Wine reports WOW64 to a 32-bit program in a 64-bit prefix. The tools are
    # the prefix's own kind, so that only the program under test is 32-bit.
    "wow64": Arch("win64", "/usr/lib/wine/wine64", program="win32", tools="win64", sibling="win64"),
}
TOOLCHAINS = {"win32": "cmake/mingw-i686.cmake", "win64": "cmake/mingw-x86_64.cmake"}


def run_bounded(command, seconds, **kwargs):
    """Runs a command under coreutils' timeout and a Python deadline behind it.

    Output goes through files, not pipes: Wine's helper processes (services,
    desktop, server) inherit the handles and outlive the command, and a pipe
    would not reach its end until they are gone.
    """
    bounded = ["timeout", "-k", "5", str(seconds)] + [str(part) for part in command]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            code = subprocess.run(bounded, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=seconds + 15, check=False, **kwargs).returncode
        except subprocess.TimeoutExpired:
            code = 124
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(bounded, code, out.read(), err.read())


def wait_for(probe, what, seconds=15.0, interval=0.2):
    """Polls probe() until it gives a true value; fails the test at the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {seconds} s waiting for {what}")
        time.sleep(interval)


# ---------- the Windows build ----------


def _arch_name():
    name = os.environ.get("OSTREL_E2E_ARCH", "win64")
    if name not in ARCHES:
        raise pytest.UsageError(f"OSTREL_E2E_ARCH must be one of {sorted(ARCHES)}")
    return name


def pytest_configure(config):
    config.addinivalue_line("markers", "wow64: runs in the wow64 pass only (OSTREL_E2E_ARCH=wow64), "
                                       "the 32-bit program in a 64-bit prefix with x64\\OstrelSetup.exe beside it")


def pytest_collection_modifyitems(config, items):
    """The wow64 pass runs the tests marked wow64, the other passes all the others."""
    wow64 = _arch_name() == "wow64"
    chosen = [item for item in items if (item.get_closest_marker("wow64") is not None) == wow64]
    if len(chosen) < len(items):
        config.hook.pytest_deselected(items=[item for item in items if item not in chosen])
        items[:] = chosen


@dataclass(frozen=True)
class Build:
    program: Path
    boxreader: Path
    testsvc: Path
    keepalive: Path
    sibling: Path = None  # x64\OstrelSetup.exe of the wow64 pass


def _build_dirs(arch):
    """Preset name -> build folder, for every build the pass needs."""
    program_dir = Path(os.environ.get("OSTREL_E2E_BUILD_DIR", ROOT / "build" / arch.program))
    dirs = {arch.program: program_dir}
    for preset in {arch.tools, arch.sibling} - {arch.program, None}:
        dirs[preset] = Path(os.environ.get("OSTREL_E2E_X64_BUILD_DIR", program_dir.parent / preset))
    return dirs


def _make(build_dir, toolchain):
    if not (build_dir / "CMakeCache.txt").exists():
        configure = ["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja",
                     f"-DCMAKE_TOOLCHAIN_FILE={ROOT / toolchain}", "-DCMAKE_BUILD_TYPE=MinSizeRel"]
        _check(run_bounded(configure, 600), f"configuring the Windows build {build_dir}")
    _check(run_bounded(["cmake", "--build", build_dir, "-j2"], 1800), f"building the Windows build {build_dir}")


def _build(arch_name):
    arch = ARCHES[arch_name]
    dirs = _build_dirs(arch)
    for preset, build_dir in dirs.items():
        if os.environ.get("OSTREL_E2E_NO_BUILD") != "1":
            _make(build_dir, TOOLCHAINS[preset])
    tools = dirs[arch.tools] / "tests" / "e2e" / "tools"
    build = Build(dirs[arch.program] / PROGRAM,
                  *(tools / f"{name}.exe" for name in ("boxreader", "testsvc", "keepalive")),
                  sibling=dirs[arch.sibling] / PROGRAM if arch.sibling else None)
    for path in (build.program, build.boxreader, build.testsvc, build.keepalive, build.sibling):
        if path and not path.is_file():
            pytest.exit(f"missing {path}: build the Windows targets first", returncode=3)
    return build


def _check(completed, what):
    if completed.returncode != 0:
        output = (completed.stdout + completed.stderr).decode(errors="replace")
        pytest.exit(f"{what} failed:\n{output[-4000:]}", returncode=3)


# ---------- the virtual display ----------


@pytest.fixture(scope="session")
def display():
    """An Xvfb of our own: CI has no display, and a developer's must stay untouched."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        number = _read_display_number(read_end)
    finally:
        os.close(read_end)
    if number is None:
        xvfb.kill()
        pytest.exit("Xvfb did not start", returncode=3)
    yield f":{number}"
    xvfb.terminate()
    try:
        xvfb.wait(timeout=10)
    except subprocess.TimeoutExpired:
        xvfb.kill()


def _read_display_number(fd):
    text = b""
    deadline = time.monotonic() + 20
    while not text.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if ready:
            chunk = os.read(fd, 16)
            if not chunk:
                break
            text += chunk
    return int(text) if text.strip().isdigit() else None


# ---------- Wine prefixes ----------


@dataclass(frozen=True)
class Box:
    process: str
    caption: str
    text: str
    icon: str
    buttons: tuple

    def shown(self):
        """What the user saw: (caption, text, icon)."""
        return (self.caption, self.text, self.icon)


@dataclass
class OstrelResult:
    boxes: list  # (caption, text, icon) of the program's boxes, in order
    details: list = field(default_factory=list)  # every Box, other processes' too
    exit_code: int = None
    log: str = ""
    stdout: str = None  # the program's standard output and error, with capture=True
    stderr: str = None


_ESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def _unescape(field_text):
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m.group(1), m.group(1)), field_text)


class WinePrefix:
    """One Wine prefix and the tools to act on it and to look at it."""

    def __init__(self, path, arch, build, display):
        self.path = Path(path)
        self.arch = arch
        self.build = build
        self.display = display
        self._runs = 0
        self._keeper = None
        self._stop_file = None

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def env(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "LC_"))}
        env.update(
            WINEPREFIX=str(self.path),
            WINEARCH=self.arch.winearch,
            WINELOADER=self.arch.loader,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            DISPLAY=self.display,
            # System texts follow the locale: keep them the same everywhere.
            LANG="C.UTF-8",
        )
        return env

    def wine(self, *args, seconds=60):
        return run_bounded([self.arch.loader, *args], seconds, env=self.env())

    def wineserver(self, *args, seconds=30):
        return run_bounded(["/usr/lib/wine/wineserver", *args], seconds, env=self.env())

    def start_server(self):
        """A server and Wine's helper processes that stay until close().

        Wine ends its service manager, device manager and desktop as soon as
        no program runs in the prefix and starts them again for the next
        command; a program that just stays keeps every later command fast.
        """
        self.wineserver("-p")
        tools = self.drive_c / "ostrel"
        tools.mkdir(parents=True, exist_ok=True)
        keeper = tools / "keepalive.exe"
        shutil.copy2(self.build.keepalive, keeper)
        self._stop_file = tools / "keepalive.stop"
        self._stop_file.unlink(missing_ok=True)
        self._keeper = subprocess.Popen(
            ["timeout", "-k", "5", "3600", self.arch.loader, self.windows_path(keeper),
             self.windows_path(self._stop_file), "3500"],
            env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def windows_path(self, unix_path):
        unix_path = Path(unix_path).resolve()
        try:
            inside = unix_path.relative_to(self.drive_c.resolve())
            return "C:\\" + str(inside).replace("/", "\\")
        except ValueError:
            return "Z:" + str(unix_path).replace("/", "\\")

    # -- registry --

    def reg_query(self, key, name=None):
        """The value's data as text, or None when key or value does not exist."""
        args = ["reg", "query", key] + (["/v", name] if name is not None else [])
        completed = self.wine(*args)
        if completed.returncode != 0:
            return None
        output = completed.stdout.decode(errors="replace")
        if name is None:
            return output
        for line in output.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_delete(self, key):
        self.wine("reg", "delete", key, "/f")

    # -- services --

    def sc(self, *args):
        return self.wine("sc", *args)

    def service_state(self, name):
        """RUNNING, STOPPED, ... or None when the service manager does not know it."""
        completed = self.sc("query", name)
        match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", completed.stdout.decode(errors="replace"))
        return match.group(1) if completed.returncode == 0 and match else None

    def create_test_service(self, name):
        folder = self.drive_c / "ostrel-services"
        folder.mkdir(exist_ok=True)
        binary = folder / "testsvc.exe"
        if not binary.exists():
            shutil.copy2(self.build.testsvc, binary)
        completed = self.sc("create", name, "binPath=", self.windows_path(binary))
        assert completed.returncode == 0, completed.stdout + completed.stderr
        assert self.service_state(name) == "STOPPED"

    def start_service(self, name):
        self.sc("start", name)
        wait_for(lambda: self.service_state(name) == "RUNNING", f"{name} to run")

    # -- the program under test --

    def run_ostrel(self, args="", inf=None, cwd=None, files=None, program_name=PROGRAM,
                   seconds=60, grace_ms=150, capture=False, sibling=None):
        """Runs OstrelSetup.exe with the exact command-line tail args and reads its boxes.

        capture: hand the program files as its standard output and error
        and fill result.stdout and result.stderr (UTF-8) from them.

        inf: None (no INF file beside the program), a Path to copy there as
        the default INF file (the program's base name with ".inf"), or the
        INF text itself. files: more files for the
        program's folder, name -> Path or text. cwd: a folder (unix path) to
        run in; default the program's folder.

        sibling: what lies at x64\\OstrelSetup.exe beside the program: None
        as the pass has it (the 64-bit build in the wow64 pass, nothing in
        the others), False nothing, or a Path to copy there. Boxes of the
        sibling count as the program's.
        """
        self._runs += 1
        folder = self.drive_c / "ostrel" / f"run{self._runs}"
        folder.mkdir(parents=True)
        program = folder / program_name
        shutil.copy2(self.build.program, program)
        sibling = self.build.sibling if sibling is None else sibling
        if sibling:
            (folder / "x64").mkdir()
            shutil.copy2(sibling, folder / "x64" / PROGRAM)
        if inf is not None:
            self._place(folder / (Path(program_name).stem + ".inf"), inf)
        for name, content in (files or {}).items():
            self._place(folder / name, content)
        reader = self.drive_c / "ostrel" / "boxreader.exe"
        if not reader.exists():
            shutil.copy2(self.build.boxreader, reader)
        (folder / "args.txt").write_bytes(args.encode("utf-8"))
        log = folder / "boxes.log"
        streams = {"stdout": folder / "stdout.txt", "stderr": folder / "stderr.txt"} if capture else {}
        completed = self.wine(
            self.windows_path(reader), "--log", self.windows_path(log),
            *(part for name, path in streams.items() for part in (f"--{name}", self.windows_path(path))),
            "--run", self.windows_path(program), "--args-file", self.windows_path(folder / "args.txt"),
            "--cwd", self.windows_path(cwd or folder), "--timeout", str(seconds), "--grace", str(grace_ms),
            "--refs", self.windows_path(reader.with_name("icons.bin")), seconds=seconds + 30)
        text = log.read_text(encoding="utf-8") if log.exists() else ""
        result = self._parse(text, completed, program_name)
        for name, path in streams.items():
            setattr(result, name, path.read_bytes().decode("utf-8"))
        return result

    @staticmethod
    def _place(target, content):
        if isinstance(content, Path):
            shutil.copy2(content, target)
        else:
            target.write_text(content, encoding="utf-8")

    @staticmethod
    def _parse(text, completed, program_name):
        result = OstrelResult(boxes=[], log=text)
        references = {}
        for line in text.splitlines():
            fields = line.split("\t")
            if fields[0] == "ref":
                references[fields[1]] = fields[2]
            elif fields[0] == "box" and len(fields) == 6:
                box = Box(*(_unescape(f) for f in fields[1:5]), tuple(filter(None, fields[5].split(","))))
                result.details.append(box)
                if box.process.lower() in (program_name.lower(), PROGRAM.lower()):
                    result.boxes.append(box.shown())
            elif fields[0] == "exit":
                result.exit_code = int(fields[1])
            elif fields[0] == "timeout":
                raise AssertionError(f"the program hung; boxes so far:\n{text}")
        missing = [name for name, state in references.items() if state != "ok"]
        if len(references) != 4 or missing:
            raise AssertionError(f"box reader could not learn the icons {missing}:\n{text}")
        if result.exit_code is None:
            output = (completed.stdout + completed.stderr).decode(errors="replace")
            raise AssertionError(f"box reader ended early (rc {completed.returncode}):\n{text}\n{output}")
        return result

    def close(self):
        if self._keeper:
            self._stop_file.touch()
            try:
                self._keeper.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._keeper.kill()
                self._keeper.wait(timeout=10)
            self._keeper = None
        self.wineserver("-k")
        self.wineserver("-w")


def _make_template(path, arch, build, display):
    prefix = WinePrefix(path, arch, build, display)
    steps = [
        ("wineboot.exe", "-i"),
        # A crashing program must end, not wait on a dialog nobody answers.
        ("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"),
        # Without a window manager, Wine waits two seconds for each managed
        # window to be withdrawn; unmanaged windows close at once.
        ("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"),
    ]
    for step in steps:
        completed = prefix.wine(*step, seconds=300)
        if completed.returncode != 0:
            output = (completed.stdout + completed.stderr).decode(errors="replace")
            prefix.close()
            pytest.exit(f"making the Wine prefix failed at {step[0]}:\n{output}", returncode=3)
    # The registry reaches the prefix's files only when the server ends.
    prefix.close()
    return prefix


class PrefixFactory:
    """Hands out copies of the session's template prefix."""

    def __init__(self, base, template):
        self.base = base
        self.template = template

    def copy(self, name):
        target = self.base / name
        completed = run_bounded(["cp", "-a", self.template.path, target], 120)
        assert completed.returncode == 0, completed.stderr
        prefix = WinePrefix(target, self.template.arch, self.template.build, self.template.display)
        prefix.start_server()
        return prefix

    @staticmethod
    def discard(prefix):
        prefix.close()
        shutil.rmtree(prefix.path, ignore_errors=True)


@pytest.fixture(scope="session")
def prefixes(display):
    arch_name = _arch_name()
    build = _build(arch_name)
    base = Path(tempfile.mkdtemp(prefix="ostrel-e2e-"))
    try:
        template = _make_template(base / "template", ARCHES[arch_name], build, display)
        yield PrefixFactory(base, template)
    finally:
        shutil.rmtree(base, ignore_errors=True)


@pytest.fixture(scope="session")
def shared_wine(prefixes):
    """A warm prefix for the tests that change nothing on the machine."""
    prefix = prefixes.copy("shared")
    yield prefix
    prefixes.discard(prefix)


@pytest.fixture
def wine(prefixes, request):
    """A prefix of this test's own."""
    name = re.sub(r"[^A-Za-z0-9_.-]", "_", request.node.name)[:80]
    prefix = prefixes.copy(f"t-{name}-{time.monotonic_ns()}")
    yield prefix
    prefixes.discard(prefix)
