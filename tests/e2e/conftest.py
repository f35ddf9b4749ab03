"""Runs the real OstrelSetup.exe under Wine in a virtual display.

One Xvfb and one template Wine prefix per session (winesetup.py makes
both); each test that changes the machine gets its own copy of the
template, the read-only ones share one warm prefix. Every child process
runs under a deadline, so a hung program fails its test instead of hanging
the run. The texts the tests compare against are in texts.py.

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
  The builds are made first (with the CMake presets of the same names)
  unless OSTREL_E2E_NO_BUILD=1.
"""

import os
import re
import shutil
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from winesetup import Prefix, SetupError, output_of, run_bounded, virtual_display, wait_for

ROOT = Path(__file__).resolve().parents[2]
PROGRAM = "OstrelSetup.exe"

# ---------- the sample package ----------

SAMPLES = ROOT / "samples"
SAMPLE_INF = SAMPLES / "OstrelSetup.inf"
SAMPLE_KEY = r"HKLM\Software\OstrelSample"  # where its sections write their values
SAMPLE_CLASS_GUID = "{55eed3ce-7127-4948-a2d3-1de9eaeedd1e}"
SAMPLE_CLASS = "OstrelSample"
WIDGET = "ostrel\\widget"  # the hardware ID of its device model
CLASS_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Class"
# The files the named sections OstrelSample.Tools and OstrelSample.Help copy.
SECTION_SOURCES = {name: SAMPLES / name for name in ("OstrelTools.txt", "OstrelHelp.txt")}

# An INF file that names a class Windows does not know and no ClassGuid:
# the device actions find GUID_NULL (message 8).
NO_CLASS_GUID_INF = '[Version]\r\nSignature = "$Windows NT$"\r\nClass = OstrelNowhere\r\n'


def sample_files():
    """The sample package's files other than its INF, for run_ostrel(files=...)."""
    return {path.name: path for path in SAMPLES.iterdir() if path.is_file() and path != SAMPLE_INF}


def sample_copy(prefix, name):
    """Where the sample's sections copy the file name: %windir%\\OstrelSample."""
    return prefix.drive_c / "windows" / "OstrelSample" / name


# ---------- the pass and its builds ----------


@dataclass(frozen=True)
class Arch:
    winearch: str
    program: str  # the build (preset name) whose OstrelSetup.exe runs
    tools: str  # the build whose test tools run
    sibling: str = None  # the build placed as x64\OstrelSetup.exe beside the program


ARCHES = {
    "win64": Arch("win64", program="win64", tools="win64"),
    "win32": Arch("win32", program="win32", tools="win32"),
    # Wine reports WOW64 to a 32-bit program in a 64-bit prefix. The tools are
    # the prefix's own kind, so that only the program under test is 32-bit.
    "wow64": Arch("win64", program="win32", tools="win64", sibling="win64"),
}


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
    tools: Path  # the test-only programs: boxreader, testsvc, keepalive, devtool, newdev.dll
    sibling: Path = None  # x64\OstrelSetup.exe of the wow64 pass


def _build_dirs(arch):
    """Preset name -> build folder, for every build the pass needs."""
    program_dir = Path(os.environ.get("OSTREL_E2E_BUILD_DIR", ROOT / "build" / arch.program))
    dirs = {arch.program: program_dir}
    for preset in {arch.tools, arch.sibling} - {arch.program, None}:
        dirs[preset] = Path(os.environ.get("OSTREL_E2E_X64_BUILD_DIR", program_dir.parent / preset))
    return dirs


def _build(arch_name):
    arch = ARCHES[arch_name]
    dirs = _build_dirs(arch)
    if os.environ.get("OSTREL_E2E_NO_BUILD") != "1":
        for preset, build_dir in dirs.items():
            _check(run_bounded(["cmake", "--preset", preset, "-B", build_dir], 600, cwd=ROOT),
                   f"configuring {build_dir} (preset {preset})")
            _check(run_bounded(["cmake", "--build", build_dir, "-j2"], 1800), f"building {build_dir}")
    build = Build(dirs[arch.program] / PROGRAM, dirs[arch.tools] / "tests" / "e2e" / "tools",
                  sibling=dirs[arch.sibling] / PROGRAM if arch.sibling else None)
    tools = [build.tools / name for name in ("boxreader.exe", "testsvc.exe", "keepalive.exe")]
    for path in (build.program, build.sibling, *tools):
        if path and not path.is_file():
            pytest.exit(f"missing {path}: build the Windows targets first", returncode=3)
    return build


def _check(completed, what):
    if completed.returncode != 0:
        pytest.exit(f"{what} failed:\n{output_of(completed)[-4000:]}", returncode=3)


# ---------- the program in a prefix ----------


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


class WinePrefix(Prefix):
    """A prefix of the pass, with the program under test and the tools to look at the machine."""

    def __init__(self, path, arch, build, display):
        super().__init__(path, arch.winearch, display)
        self.arch = arch
        self.build = build
        self._runs = 0
        self._runs_lock = threading.Lock()  # runs may be started from several threads at once

    def start_server(self):
        self.keep_alive(self.build.tools / "keepalive.exe")

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

    def create_test_service(self, name, stop_delay_ms=0):
        """The test service; with stop_delay_ms it takes that long to stop."""
        arguments = f"--stop-delay {stop_delay_ms}" if stop_delay_ms else ""
        self.create_service(name, self.build.tools / "testsvc.exe", arguments)

    def start_service(self, name):
        self.sc("start", name)
        wait_for(lambda: self.service_state(name) == "RUNNING", f"{name} to run")

    # -- the program under test --

    def run_ostrel(self, args="", inf=None, cwd=None, files=None, program_name=PROGRAM,
                   seconds=60, grace_ms=150, capture=False, sibling=None, executable=None):
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

        executable: a Path to run instead of the pass's build (under the
        program's name).
        """
        with self._runs_lock:
            self._runs += 1
            folder = self.drive_c / "ostrel" / f"run{self._runs}"
            folder.mkdir(parents=True)
            reader = self.drive_c / "ostrel" / "boxreader.exe"
            if not reader.exists():
                shutil.copy2(self.build.tools / "boxreader.exe", reader)
        program = folder / program_name
        shutil.copy2(executable or self.build.program, program)
        sibling = self.build.sibling if sibling is None else sibling
        if sibling:
            (folder / "x64").mkdir()
            shutil.copy2(sibling, folder / "x64" / PROGRAM)
        if inf is not None:
            self._place(folder / (Path(program_name).stem + ".inf"), inf)
        for name, content in (files or {}).items():
            self._place(folder / name, content)
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


class Devices:
    """The devices of the sample class in one prefix, through devtool.exe, a
    test-only program over the Setup API that makes root-enumerated devices."""

    def __init__(self, wine):
        self.wine = wine
        self.tool = wine.drive_c / "ostrel-tools" / "devtool.exe"
        self.tool.parent.mkdir(exist_ok=True)
        shutil.copy2(wine.build.tools / "devtool.exe", self.tool)

    def _call(self, *args):
        # Wine's own error lines go to stderr, where a failure shows them.
        return self.wine.wine(self.wine.windows_path(self.tool), *args, debug="err+all")

    def _run(self, *args):
        completed = self._call(*args)
        assert completed.returncode == 0, output_of(completed)
        return completed.stdout.decode("utf-8")

    def create(self, *hardware_ids):
        """A present device with these hardware IDs; its instance ID."""
        args = ("create", SAMPLE_CLASS_GUID, SAMPLE_CLASS, ";".join(hardware_ids))
        before = set(self.present())
        completed = self._call(*args)
        if completed.returncode == 1 and b" failed: 0x" not in completed.stderr:
            # Seen once in a loaded CI run: Wine ended devtool with code 1 and
            # no word of its own (devtool names each failure it meets). Once
            # more, unless the device was made after all.
            made = set(self.present()) - before
            if len(made) == 1:
                return made.pop()
            completed = self._call(*args)
        assert completed.returncode == 0, output_of(completed)
        return completed.stdout.decode("utf-8").strip()

    def present(self):
        """Instance ID -> (hardware IDs, driver key or None) of every present device of the class."""
        devices = {}
        for line in self._run("list", SAMPLE_CLASS_GUID).splitlines():
            instance, ids, driver = line.split("\t")
            devices[instance] = (ids.split(";"), None if driver == "-" else driver)
        return devices


# ---------- fixtures ----------


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
def display():
    try:
        with virtual_display() as name:
            yield name
    except SetupError as error:
        pytest.exit(str(error), returncode=3)


@pytest.fixture(scope="session")
def prefixes(display):
    arch_name = _arch_name()
    build = _build(arch_name)
    base = Path(tempfile.mkdtemp(prefix="ostrel-e2e-"))
    try:
        template = WinePrefix(base / "template", ARCHES[arch_name], build, display)
        try:
            template.make()
        except SetupError as error:
            pytest.exit(str(error), returncode=3)
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


@pytest.fixture
def devices(wine):
    return Devices(wine)
