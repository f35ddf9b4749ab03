"""Wine in a virtual display, as the end-to-end tests and scripts/demo.sh run it.

The one place for what running a Windows program here needs: an Xvfb of
our own on a free display, the environment Wine runs in, a prefix with the
settings the tests rely on, and the test service. docs/wine.md says why.

As a program it runs one command inside that set-up (scripts/demo.sh does):

  python3 tests/e2e/winesetup.py --arch win64 --prefix DIR [--service NAME=EXE ...] -- COMMAND...

It starts a display, makes the prefix DIR unless an earlier run made it
(with each service NAME running a copy of EXE), runs COMMAND with Wine's
environment (WINEPREFIX, WINEARCH, WINELOADER, DISPLAY, ...), then ends
Wine's server and the display, and exits with COMMAND's exit code.
"""

import argparse
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
from contextlib import contextmanager
from pathlib import Path

WINE = Path("/usr/lib/wine")
LOADERS = {"win32": WINE / "wine", "win64": WINE / "wine64"}
READY_MARK = ".ostrel-prefix-ready"  # left in a prefix the command line made


class SetupError(Exception):
    """The display or the prefix could not be made."""


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


def output_of(completed):
    return (completed.stdout + completed.stderr).decode(errors="replace")


def wait_for(probe, what, seconds=15.0, interval=0.2):
    """Polls probe() until it gives a true value; fails at the deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {seconds} s waiting for {what}")
        time.sleep(interval)


# ---------- the virtual display ----------


@contextmanager
def virtual_display():
    """An Xvfb of our own, ":<n>" on the first free display: CI has no
    display, and a developer's must stay untouched."""
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
        raise SetupError("Xvfb did not start")
    try:
        yield f":{number}"
    finally:
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


class Prefix:
    """One Wine prefix of the kind winearch (win32 or win64), shown on display."""

    def __init__(self, path, winearch, display):
        self.path = Path(path)
        self.winearch = winearch
        self.loader = LOADERS[winearch]
        self.display = display
        self._keeper = None
        self._stop_file = None

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def env(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "LC_"))}
        env.update(
            WINEPREFIX=str(self.path),
            WINEARCH=self.winearch,
            WINELOADER=str(self.loader),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            DISPLAY=self.display,
            # System texts follow the locale: keep them the same everywhere.
            LANG="C.UTF-8",
        )
        return env

    def wine(self, *args, seconds=60, debug=None):
        """Runs a command in the prefix; debug, if given, is its WINEDEBUG."""
        env = self.env()
        if debug is not None:
            env["WINEDEBUG"] = debug
        return run_bounded([self.loader, *args], seconds, env=env)

    def wineserver(self, *args, seconds=30):
        return run_bounded([WINE / "wineserver", *args], seconds, env=self.env())

    def windows_path(self, unix_path):
        unix_path = Path(unix_path).resolve()
        try:
            inside = unix_path.relative_to(self.drive_c.resolve())
            return "C:\\" + str(inside).replace("/", "\\")
        except ValueError:
            return "Z:" + str(unix_path).replace("/", "\\")

    def make(self):
        """A new prefix with the settings the tests rely on."""
        steps = [
            ("wineboot.exe", "-i"),
            # A crashing program must end, not wait on a dialog nobody answers.
            ("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0",
             "/f"),
            # Without a window manager, Wine waits two seconds for each managed
            # window to be withdrawn; unmanaged windows close at once.
            ("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"),
        ]
        for step in steps:
            completed = self.wine(*step, seconds=300)
            if completed.returncode != 0:
                self.close()
                raise SetupError(f"making the Wine prefix failed at {step[0]}:\n{output_of(completed)}")
        # The registry reaches the prefix's files only when the server ends.
        self.close()

    # -- services --

    def sc(self, *args):
        return self.wine("sc", *args)

    def service_state(self, name):
        """RUNNING, STOPPED, ... or None when the service manager does not know it."""
        completed = self.sc("query", name)
        match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", completed.stdout.decode(errors="replace"))
        return match.group(1) if completed.returncode == 0 and match else None

    def create_service(self, name, binary, arguments=""):
        """A stopped service `name` that runs a copy of binary (the test service),
        given `arguments` on its command line."""
        folder = self.drive_c / "ostrel-services"
        folder.mkdir(exist_ok=True)
        copy = folder / Path(binary).name
        if not copy.exists():
            shutil.copy2(binary, copy)
        command = self.windows_path(copy) + (" " + arguments if arguments else "")
        completed = self.sc("create", name, "binPath=", command)
        if completed.returncode != 0 or self.service_state(name) != "STOPPED":
            raise SetupError(f"creating the service {name} failed:\n{output_of(completed)}")

    # -- a warm prefix --

    def keep_alive(self, keepalive_exe):
        """A server and Wine's helper processes that stay until close().

        Wine ends its service manager, device manager and desktop as soon as
        no program runs in the prefix and starts them again for the next
        command; a program that just stays (keepalive_exe, a copy of the test
        tool) keeps every later command fast.
        """
        self.wineserver("-p")
        tools = self.drive_c / "ostrel"
        tools.mkdir(parents=True, exist_ok=True)
        keeper = tools / "keepalive.exe"
        shutil.copy2(keepalive_exe, keeper)
        self._stop_file = tools / "keepalive.stop"
        self._stop_file.unlink(missing_ok=True)
        ready = tools / "keepalive.ready"
        ready.unlink(missing_ok=True)
        self._keeper = subprocess.Popen(
            ["timeout", "-k", "5", "3600", self.loader, self.windows_path(keeper),
             self.windows_path(self._stop_file), "3500", self.windows_path(ready)],
            env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first program of a fresh server starts Wine's helper processes;
        # the next command must not race it for that.
        wait_for(lambda: ready.exists() or self._keeper.poll() is not None, "keepalive.exe to start", seconds=60)
        assert self._keeper.poll() is None, f"keepalive.exe ended at once (code {self._keeper.returncode})"

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


# ---------- the command line ----------


def kept_prefix(path, winearch, display, services):
    """The prefix at path, made (with its services) unless an earlier run did."""
    prefix = Prefix(path, winearch, display)
    if not (prefix.path / READY_MARK).exists():
        print(f"winesetup: making a Wine prefix in {prefix.path}", file=sys.stderr)
        shutil.rmtree(prefix.path, ignore_errors=True)
        prefix.make()
        for name, binary in services:
            prefix.create_service(name, binary)
        (prefix.path / READY_MARK).touch()
    return prefix


def main(argv):
    parser = argparse.ArgumentParser(description="Runs a command with Wine in a display of its own.")
    parser.add_argument("--arch", choices=sorted(LOADERS), default="win64")
    parser.add_argument("--prefix", type=Path, required=True, help="the prefix, kept for the next run")
    parser.add_argument("--service", action="append", default=[], metavar="NAME=EXE",
                        help="a service the new prefix gets")
    parser.add_argument("command", nargs="+", help="the command, after --")
    args = parser.parse_args(argv)
    services = [entry.split("=", 1) for entry in args.service]
    if any(len(service) != 2 for service in services):
        parser.error("--service takes NAME=EXE")
    try:
        with virtual_display() as display:
            prefix = kept_prefix(args.prefix.resolve(), args.arch, display, services)
            try:
                return subprocess.run(args.command, env=prefix.env(), check=False).returncode
            finally:
                prefix.close()
    except SetupError as error:
        print(f"winesetup: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
