"""Times whole runs of OstrelSetup.exe under Wine against their yardsticks.

scripts/bench.sh builds the programs and calls this; docs/building.md says
what is measured and what the last figures were. Each pair runs its two
commands in alternating order, one run each per round, with hyperfine
(wall time of the whole process, no shell in between); a pair's figure is
the median over the rounds of the ratio program / yardstick, with the middle
half of the rounds' ratios and the ratio of the fastest runs beside it (on a
machine that others load, the one to look at).

  bench.py --arch win64 [--arch win32] [--rounds N] [--program EXE] [--out DIR]

--program times another OstrelSetup.exe (an older build, say) in place of
build/<arch>/OstrelSetup.exe; with it, give one --arch. The Wine prefix is
kept under the output folder and reused by later runs.
"""

import argparse
import datetime
import json
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from winesetup import SetupError, kept_prefix, output_of, run_bounded, virtual_display, wait_for  # noqa: E402

SERVICE = "OstrelSampleService"
SECTION = "OstrelSample.Tools"
WIDGET = "ostrel\\widget"  # the sample's device model
SAMPLE_CLASS_GUID = "{55eed3ce-7127-4948-a2d3-1de9eaeedd1e}"
SAMPLE_CLASS = "OstrelSample"
PROGRAM = "OstrelSetup.exe"
COMMAND_SECONDS = 60  # a run that takes longer hangs (a box nobody answers)

COMPILERS = {"win64": "x86_64-w64-mingw32-gcc", "win32": "i686-w64-mingw32-gcc"}
# The bare programs: name, source, extra flags, libraries. Each imports only
# what the calls of its action need.
BARE = [
    ("bare_stop_service", "bare_stop_service.c", ["-mwindows"], ["-ladvapi32", "-luser32"]),
    ("bare_quiet_stop_service", "bare_stop_service.c", ["-mwindows", "-DBARE_QUIET"], ["-ladvapi32"]),
    ("bare_help", "bare_help.c", ["-mwindows"], ["-luser32"]),
    ("bare_install_device", "bare_install_device.c", ["-mwindows"], []),
]


@dataclass(frozen=True)
class Pair:
    name: str
    program: list  # argument lists of the Wine commands, run one after the other
    yardstick: list
    target: str  # "<= 0.8" or "<= 1.15"
    service_stopped_first: bool = False
    boxes: bool = False  # the runs show a box, which the box reader presses


def pairs(bench):
    """The pairs, with Windows paths in the prefix's folder `bench`."""
    program = f"{bench}\\{PROGRAM}"
    inf = f"{bench}\\OstrelSetup.inf"
    return [
        Pair("start+stop service vs sc", [[program, "start", "service", SERVICE], [program, "stop", "service", SERVICE]],
             [["sc", "start", SERVICE], ["sc", "stop", SERVICE]], "<= 0.8", service_stopped_first=True),
        Pair("install inf vs rundll32 InstallHinfSection", [[program, "install", "inf", SECTION]],
             [["rundll32", "setupapi,InstallHinfSection", SECTION, "128", inf]], "<= 0.8"),
        Pair("stop service (stopped) vs bare", [[program, "stop", "service", SERVICE]],
             [[f"{bench}\\bare_stop_service.exe", SERVICE]], "<= 1.15", service_stopped_first=True),
        Pair("/quiet stop service (stopped) vs bare", [[program, "/quiet", "stop", "service", SERVICE]],
             [[f"{bench}\\bare_quiet_stop_service.exe", SERVICE]], "<= 1.15", service_stopped_first=True),
        Pair("help vs bare", [[program, "help"]], [[f"{bench}\\bare_help.exe"]], "<= 1.15", boxes=True),
        Pair("/quiet install device vs bare", [[program, "/quiet", "install", "device", WIDGET]],
             [[f"{bench}\\bare_install_device.exe", WIDGET]], "<= 1.15"),
    ]


def log(text):
    print(f"bench: {text}", file=sys.stderr, flush=True)


# ---------- building ----------


def build_bare(arch, out):
    """Compiles the bare programs with the cross compiler; their folder."""
    folder = out / arch / "bare"
    folder.mkdir(parents=True, exist_ok=True)
    sources = ROOT / "scripts" / "bench"
    for name, source, flags, libraries in BARE:
        target = folder / f"{name}.exe"
        command = [COMPILERS[arch], "-Os", "-s", "-municode", "-static", "-Wall", "-Wextra", "-Werror", *flags,
                   "-o", target, sources / source, *libraries]
        completed = run_bounded(command, 300)
        if completed.returncode != 0:
            raise SetupError(f"building {name}.exe failed:\n{output_of(completed)}")
    return folder


# ---------- the prefix ----------


class Bench:
    """One architecture's warm prefix with the program, its INF and the bare programs."""

    def __init__(self, prefix, build, program, bare):
        self.prefix = prefix
        self.build = build
        self.tools = build / "tests" / "e2e" / "tools"
        self.folder = prefix.drive_c / "ostrel-bench"
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir()
        samples = ROOT / "samples"
        for path in samples.iterdir():
            if path.is_file():
                shutil.copy2(path, self.folder / path.name)
        shutil.copy2(program, self.folder / PROGRAM)
        for path in bare.glob("*.exe"):
            shutil.copy2(path, self.folder / path.name)
            # Each bare program looks for its own INF file, as OstrelSetup does.
            shutil.copy2(samples / "OstrelSetup.inf", self.folder / f"{path.stem}.inf")
        self.bench = prefix.windows_path(self.folder)
        self.answerer = None

    def command(self, args):
        return ["timeout", "-k", "5", str(COMMAND_SECONDS), str(self.prefix.loader), *args]

    def shell_line(self, commands):
        """One hyperfine command: the Wine commands in turn, the first failure ending it."""
        lines = [shlex.join(self.command(args)) for args in commands]
        if len(lines) == 1:
            return lines[0]
        return shlex.join(["sh", "-c", " && ".join(lines)])

    def run(self, args):
        return run_bounded([self.prefix.loader, *args], COMMAND_SECONDS, env=self.prefix.env())

    def ensure_device(self):
        """A present device of the sample class with the sample's hardware ID."""
        devtool = self.prefix.drive_c / "ostrel" / "devtool.exe"
        devtool.parent.mkdir(exist_ok=True)
        shutil.copy2(self.tools / "devtool.exe", devtool)
        listed = self.run([self.prefix.windows_path(devtool), "list", SAMPLE_CLASS_GUID])
        if listed.returncode == 0 and WIDGET in listed.stdout.decode(errors="replace").lower():
            return
        created = self.run([self.prefix.windows_path(devtool), "create", SAMPLE_CLASS_GUID, SAMPLE_CLASS, WIDGET])
        if created.returncode != 0:
            raise SetupError(f"making the sample device failed:\n{output_of(created)}")

    def stop_service_prepare(self):
        """A command that waits until the service has stopped (asking it to first)."""
        query = shlex.join([str(self.prefix.loader), "sc", "query", SERVICE])
        stop = shlex.join([str(self.prefix.loader), "sc", "stop", SERVICE])
        state = shlex.quote(str(self.folder / "service-state.txt"))
        script = (f"{stop} >/dev/null 2>&1; for i in $(seq 100); do {query} >{state} 2>&1; "
                  f"grep -q STOPPED {state} && exit 0; sleep 0.1; done; exit 1")
        return shlex.join(["sh", "-c", script])

    def wait_stopped(self):
        completed = run_bounded(["sh", "-c", self.stop_service_prepare()], 60, env=self.prefix.env())
        if completed.returncode != 0:
            raise SetupError(f"{SERVICE} did not stop:\n{output_of(completed)}")

    def start_answerer(self):
        """The box reader in a mode that only presses each box, at once."""
        reader = self.folder / "boxreader.exe"
        shutil.copy2(self.tools / "boxreader.exe", reader)
        stop, log = self.folder / "answer.stop", self.folder / "answer.log"
        stop.unlink(missing_ok=True)
        log.unlink(missing_ok=True)
        self.answerer = (stop, subprocess.Popen(
            ["timeout", "-k", "5", "1800", self.prefix.loader, self.prefix.windows_path(reader), "--fast",
             "--log", self.prefix.windows_path(log), "--stop", self.prefix.windows_path(stop), "--timeout", "1700"],
            env=self.prefix.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: (log.exists() and "ready" in log.read_text()) or self.answerer[1].poll() is not None,
                 "the box reader to start", 60)

    def stop_answerer(self):
        if self.answerer:
            stop, process = self.answerer
            stop.touch()
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            self.answerer = None


# ---------- measuring ----------


def check_once(bench, pair, side, commands):
    """One untimed run of each command in turn: each must end, and with exit code 0."""
    if pair.service_stopped_first:
        bench.wait_stopped()
    for args in commands:
        completed = run_bounded(bench.command(args), COMMAND_SECONDS + 10, env=bench.prefix.env())
        if completed.returncode != 0:
            why = "hung (a box nobody answered?)" if completed.returncode == 124 else f"exit code {completed.returncode}"
            raise SetupError(f"{pair.name}, {side}: {' '.join(args)}: {why}\n{output_of(completed)}")
    if pair.service_stopped_first:
        bench.wait_stopped()


def hyperfine_round(bench, pair, order, scratch):
    """One run of each side in the given order; wall seconds by side."""
    lines = {"program": bench.shell_line(pair.program), "yardstick": bench.shell_line(pair.yardstick)}
    export = scratch / "round.json"
    command = ["hyperfine", "-N", "--runs", "1", "--style", "none", "--export-json", str(export)]
    if pair.service_stopped_first:
        command += ["--prepare", bench.stop_service_prepare()]
    command += [lines[side] for side in order]
    completed = subprocess.run(command, env=bench.prefix.env(), stdin=subprocess.DEVNULL, capture_output=True,
                               timeout=20 * COMMAND_SECONDS, check=False)
    if completed.returncode != 0:
        raise SetupError(f"hyperfine failed for {pair.name}:\n{(completed.stdout + completed.stderr).decode()}")
    results = json.loads(export.read_text())["results"]
    return {side: result["times"][0] for side, result in zip(order, results)}


def measure(bench, pair, rounds, scratch):
    if pair.boxes:
        bench.start_answerer()
    try:
        check_once(bench, pair, "program", pair.program)
        check_once(bench, pair, "yardstick", pair.yardstick)
        times = {"program": [], "yardstick": []}
        ratios = []
        for number in range(rounds):
            order = ("program", "yardstick") if number % 2 == 0 else ("yardstick", "program")
            seconds = hyperfine_round(bench, pair, order, scratch)
            for side, value in seconds.items():
                times[side].append(value)
            ratios.append(seconds["program"] / seconds["yardstick"])
    finally:
        bench.stop_answerer()
    limit = float(pair.target.split()[-1])
    ratio = statistics.median(ratios)
    # The middle half of the rounds' ratios: how far one round's figure can be trusted.
    quartiles = statistics.quantiles(ratios, n=4) if len(ratios) > 1 else [ratio, ratio, ratio]
    return {
        "pair": pair.name,
        "program_ms": round(1000 * statistics.median(times["program"]), 1),
        "yardstick_ms": round(1000 * statistics.median(times["yardstick"]), 1),
        "ratio": round(ratio, 3),
        "ratio_quartiles": [round(quartiles[0], 3), round(quartiles[2], 3)],
        # Fastest against fastest: what is left when other load on the machine is not.
        "fastest_ratio": round(min(times["program"]) / min(times["yardstick"]), 3),
        "target": pair.target,
        "met": ratio <= limit,
        "rounds": rounds,
        "program_runs_ms": [round(1000 * t, 1) for t in times["program"]],
        "yardstick_runs_ms": [round(1000 * t, 1) for t in times["yardstick"]],
    }


# ---------- the machine ----------


def load_average():
    return [float(value) for value in Path("/proc/loadavg").read_text().split()[:3]]


def machine():
    model = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                  if line.startswith("model name")), platform.processor())
    wine = run_bounded(["/usr/lib/wine/wine64", "--version"], 30).stdout.decode().strip()
    commit = run_bounded(["git", "-C", ROOT, "describe", "--always", "--dirty"], 30).stdout.decode().strip()
    return {"cpu": model, "cores": os.cpu_count(), "memory_gib": round(os.sysconf("SC_PAGE_SIZE") *
                                                                         os.sysconf("SC_PHYS_PAGES") / 2**30, 1),
            "kernel": platform.release(), "wine": wine, "commit": commit,
            "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")}


def bench_arch(arch, display, args, build, program):
    bare = build_bare(arch, args.out)
    prefix = kept_prefix(args.out / f"prefix-{arch}", arch, display,
                         [(SERVICE, build / "tests" / "e2e" / "tools" / "testsvc.exe")])
    results = []
    load_before = load_average()
    try:
        prefix.keep_alive(build / "tests" / "e2e" / "tools" / "keepalive.exe")
        bench = Bench(prefix, build, program, bare)
        bench.ensure_device()
        with tempfile.TemporaryDirectory() as scratch:
            for pair in pairs(bench.bench):
                if args.only and not any(word in pair.name for word in args.only):
                    continue
                log(f"{arch}: {pair.name} ({args.rounds} rounds)")
                result = measure(bench, pair, args.rounds, Path(scratch))
                log(f"{arch}: {pair.name}: {result['program_ms']} ms / {result['yardstick_ms']} ms"
                    f" = {result['ratio']:.2f}")
                results.append(result)
        # The service is left stopped, as a new prefix has it.
        bench.wait_stopped()
    finally:
        prefix.close()
    return {"arch": arch, "program": str(program), "program_bytes": program.stat().st_size,
            "load_average_before": load_before, "load_average_after": load_average(), "pairs": results}


def report(runs, info, out):
    out.mkdir(parents=True, exist_ok=True)
    (out / "results.json").write_text(json.dumps({"machine": info, "runs": runs}, indent=2) + "\n")
    with open(out / "results.csv", "w", encoding="utf-8") as csv:
        csv.write("arch,pair,program_ms,yardstick_ms,ratio,ratio_q1,ratio_q3,fastest_ratio,target,met,rounds\n")
        for run in runs:
            for r in run["pairs"]:
                q1, q3 = r["ratio_quartiles"]
                csv.write(f"{run['arch']},{r['pair']},{r['program_ms']},{r['yardstick_ms']},{r['ratio']},{q1},{q3},"
                          f"{r['fastest_ratio']},"
                          f"{r['target']},{'yes' if r['met'] else 'no'},{r['rounds']}\n")
    print(f"\n{info['cpu']}, {info['cores']} cores, {info['memory_gib']} GiB; {info['wine']}; {info['commit']}")
    for run in runs:
        print(f"\n{run['arch']}: {run['program']} ({run['program_bytes']} bytes); load average (1, 5, 15 min)"
              f" {run['load_average_before']} before, {run['load_average_after']} after")
        print(f"  {'pair':<44} {'program':>9} {'yardstick':>10} {'ratio':>6} {'middle half':>12} {'fastest':>7}"
              f"  target")
        for r in run["pairs"]:
            mark = "" if r["met"] else "  OVER"
            q1, q3 = r["ratio_quartiles"]
            print(f"  {r['pair']:<44} {r['program_ms']:>6.1f} ms {r['yardstick_ms']:>7.1f} ms {r['ratio']:>6.2f}"
                  f"  {q1:.2f} - {q3:.2f} {r['fastest_ratio']:>7.2f}  {r['target']}{mark}")
    print(f"\nwritten: {out / 'results.json'}, {out / 'results.csv'}")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--arch", action="append", choices=sorted(COMPILERS), required=True)
    parser.add_argument("--rounds", type=int, default=12)
    parser.add_argument("--program", type=Path, help="the OstrelSetup.exe to time (one --arch)")
    parser.add_argument("--only", action="append", help="only the pairs whose name holds this text")
    parser.add_argument("--build-root", type=Path, default=Path(os.environ.get("OSTREL_BUILD_ROOT", ROOT / "build")))
    parser.add_argument("--out", type=Path, default=None, help="default: <build root>/bench")
    args = parser.parse_args(argv)
    if args.program and len(args.arch) != 1:
        parser.error("--program goes with one --arch")
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")
    args.out = (args.out or args.build_root / "bench").resolve()
    info = machine()
    runs = []
    try:
        with virtual_display() as display:
            for arch in args.arch:
                build = args.build_root / arch
                program = (args.program or build / PROGRAM).resolve()
                runs.append(bench_arch(arch, display, args, build, program))
    except SetupError as error:
        log(str(error))
        return 1
    report(runs, info, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
