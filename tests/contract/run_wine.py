"""Runs the platform conformance suite (contract_tests.exe) under Wine.

  python3 tests/contract/run_wine.py --arch win64 build/contract-win64/contract_tests.exe [GTEST ARGS...]

Makes a fresh prefix of the kind --arch names (win64, or win32 with Wine's
32-bit loader) in a virtual display of its own, copies the suite into it,
runs it there and takes the prefix away again (--prefix DIR keeps one for
the next run instead). The suite's output is passed through; its last line
is the suite's own count of cases, passed ones and marked differences. The
exit code is the suite's.
"""

import argparse
import shutil
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))

from winesetup import READY_MARK, Prefix, SetupError, output_of, run_bounded, virtual_display  # noqa: E402

SUITE_SECONDS = 900


def _prefix(path, arch, display):
    prefix = Prefix(path, arch, display)
    if not (prefix.path / READY_MARK).exists():
        shutil.rmtree(prefix.path, ignore_errors=True)
        prefix.make()
        (prefix.path / READY_MARK).touch()
    return prefix


def run(arch, suite, prefix_path, gtest_args):
    with virtual_display() as display:
        prefix = _prefix(prefix_path, arch, display)
        try:
            # On drive C, as an installed program would be: the suite is also
            # the test service its cases register.
            folder = prefix.drive_c / "ostrel-contract"
            folder.mkdir(exist_ok=True)
            copy = folder / suite.name
            shutil.copy2(suite, copy)
            completed = run_bounded([prefix.loader, prefix.windows_path(copy), *gtest_args], SUITE_SECONDS,
                                    env=prefix.env(), cwd=folder)
            sys.stdout.write(completed.stdout.decode(errors="replace"))
            sys.stderr.write(completed.stderr.decode(errors="replace"))
            if completed.returncode == 124:
                print(f"run_wine: the suite did not end within {SUITE_SECONDS} s", file=sys.stderr)
            return completed.returncode
        finally:
            prefix.close()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=["win32", "win64"], default="win64")
    parser.add_argument("--prefix", type=Path, help="a prefix to make once and keep")
    parser.add_argument("suite", type=Path)
    parser.add_argument("gtest_args", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)
    if not args.suite.is_file():
        parser.error(f"no suite at {args.suite}")
    try:
        if args.prefix:
            return run(args.arch, args.suite.resolve(), args.prefix.resolve(), args.gtest_args)
        with tempfile.TemporaryDirectory(prefix="ostrel-contract-") as temporary:
            return run(args.arch, args.suite.resolve(), Path(temporary) / "prefix", args.gtest_args)
    except SetupError as error:
        print(f"run_wine: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
