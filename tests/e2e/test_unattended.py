"""The unattended contract under hostile command lines, shared logs and slow
services, under Wine: the repro commands of the faults it mends.

- "/quiet" counts wherever it stands before the action, also after a faulty
  option: no box, a failure's exit code.
- The whole line is checked before the first change: a late argument of 256
  characters means nothing is done.
- The log never writes into the INF file, the program or its sibling.
- Two runs at once write whole entries to one log, none lost or cut
  (Wine's own append is not atomic, docs/wine.md).
- A quiet stop of a service that is slow to stop ends when it is stopped.
"""

import re
import threading
import time

import pytest

from conftest import PROGRAM, SAMPLE_INF, SAMPLE_KEY, SECTION_SOURCES
from texts import (FILE_NOT_FOUND, INVALID_COMMAND_LINE, LOG_IS_A_RUN_FILE, OPEN_INF_FAILED, stderr_text)

SERVICE = "OstrelSampleService"
TOO_LONG = "L" * 256
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} "


def run_quiet(prefix, args, **kwargs):
    """A run that must show no box; its exit code as an unsigned 32-bit value."""
    result = prefix.run_ostrel(args, capture=True, **kwargs)
    assert result.details == []
    result.exit_code &= 0xFFFFFFFF
    return result


@pytest.fixture(scope="module")
def service_wine(prefixes):
    """One prefix with the running test service, which no test here may change."""
    prefix = prefixes.copy("unattended")
    prefix.create_test_service(SERVICE)
    prefix.start_service(SERVICE)
    yield prefix
    prefixes.discard(prefix)


# The repro lines: an unquoted blank in /f's name before /quiet (the INF
# file is then "C:\my", which is missing), /quiet glued to /log, /quiet
# followed by a tab, and a second /log.
QUIET_CASES = [
    (r"/log C:\t\x.log /f C:\my drivers\pkg.inf /quiet stop service " + SERVICE, 2,
     stderr_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    (f"/quiet/log x stop service {SERVICE}", 1639, stderr_text(INVALID_COMMAND_LINE)),
    (f"/quiet\tstop service {SERVICE}", 1639, stderr_text(INVALID_COMMAND_LINE)),
    (rf"/quiet /log C:\t\a.log /log C:\t\b.log stop service {SERVICE}", 1639, stderr_text(INVALID_COMMAND_LINE)),
    (f"/quiet stop service {SERVICE} {TOO_LONG}", 1639, stderr_text(INVALID_COMMAND_LINE)),
]


@pytest.mark.parametrize("args,exit_code,stderr", QUIET_CASES,
                         ids=["unquoted blank", "glued", "tab", "second log", "late fault"])
def test_quiet_anywhere_and_a_faulty_line_do_nothing(service_wine, args, exit_code, stderr):
    (service_wine.drive_c / "t").mkdir(exist_ok=True)
    result = run_quiet(service_wine, args, inf=SAMPLE_INF)
    assert (result.exit_code, result.stderr) == (exit_code, stderr)
    assert service_wine.service_state(SERVICE) == "RUNNING"


def test_a_late_overlong_section_name_installs_nothing(wine):
    result = run_quiet(wine, f"/quiet install inf OstrelSample.Tools OstrelSample.Help {TOO_LONG}", inf=SAMPLE_INF,
                       files=SECTION_SOURCES)
    assert (result.exit_code, result.stderr) == (1639, stderr_text(INVALID_COMMAND_LINE))
    assert wine.reg_query(SAMPLE_KEY, "Tools") is None


# /log naming the INF file (as spelt and spelt otherwise), the program
# itself, or x64\OstrelSetup.exe beside it: refused, and the file unchanged.
@pytest.mark.parametrize("target", ["inf", "inf spelt otherwise", "program", "sibling"])
def test_the_log_never_writes_into_a_file_of_the_run(shared_wine, target):
    folder = shared_wine.drive_c / "ostrel" / f"run{len(list((shared_wine.drive_c / 'ostrel').glob('run*'))) + 1}"
    windows = shared_wine.windows_path(folder)
    log, path = {
        "inf": (rf"{windows}\OstrelSetup.inf", folder / "OstrelSetup.inf"),
        "inf spelt otherwise": (rf"{windows.lower()}\.\OSTRELSETUP.INF", folder / "OstrelSetup.inf"),
        "program": (rf"{windows}\{PROGRAM}", folder / PROGRAM),
        "sibling": (rf"{windows}\x64\{PROGRAM}", folder / "x64" / PROGRAM),
    }[target]
    before = {name: source.read_bytes() for name, source in
              [("OstrelSetup.inf", SAMPLE_INF), (PROGRAM, shared_wine.build.program)]}

    result = run_quiet(shared_wine, f'/quiet /log "{log}" stop service {SERVICE}', inf=SAMPLE_INF,
                       sibling=shared_wine.build.program)

    assert folder.is_dir(), "the run's folder was guessed wrong"
    assert (result.exit_code, result.stderr) == (1639, stderr_text(LOG_IS_A_RUN_FILE.format(log)))
    assert path.read_bytes() == before.get(path.name, before[PROGRAM])


def log_lines(path):
    """The log's lines, each of which must be a whole entry: a time stamp,
    text, CR LF, and no stray line end inside."""
    text = path.read_bytes().decode("utf-8")
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", "") and "\r" not in text.replace("\r\n", "")
    lines = text.split("\r\n")[:-1]
    for line in lines:
        assert re.match(STAMP, line), line
    return [re.sub("^" + STAMP, "", line) for line in lines]


# Each run: 340 short and 60 long hardware IDs (each entry then longer than
# 256 UTF-16 units), one entry per ID, all at the same time into one log.
def test_two_runs_at_once_write_every_entry_whole_to_one_log(wine):
    log = wine.drive_c / "ostrel" / "shared.log"
    wine.run_ostrel("help")  # the box reader learns its icons once, before two readers run at once
    ids = {run: [f"{run}{n:03d}" for n in range(340)] + [f"{run}{n:03d}" + "x" * 246 for n in range(340, 400)]
           for run in "ab"}
    results = {}
    start = threading.Barrier(2)

    def run(name):
        start.wait()
        results[name] = run_quiet(wine, rf"/quiet /log {wine.windows_path(log)} remove device " + " ".join(ids[name]),
                                  inf=SAMPLE_INF, seconds=120)

    threads = [threading.Thread(target=run, args=(name,)) for name in "ab"]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    assert [results[name].exit_code for name in "ab"] == [0, 0]
    lines = log_lines(log)
    for name in "ab":
        found = [line.split(":")[0] for line in lines if line.startswith(f"remove device {name}")]
        assert found == [f"remove device {hardware_id}" for hardware_id in ids[name]]
    assert [line for line in lines if line.startswith("exit code:")] == ["exit code: 0"] * 2


def test_a_utf16_log_with_an_unterminated_last_line_gets_utf16_entries(shared_wine):
    log = shared_wine.drive_c / "ostrel" / "utf16.log"
    log.write_bytes("earlier, unterminated".encode("utf-16"))  # with its byte-order mark
    run_quiet(shared_wine, rf"/quiet /log {shared_wine.windows_path(log)} stop service ", inf=SAMPLE_INF)
    text = log.read_bytes().decode("utf-16")
    assert text.startswith("earlier, unterminated\r\n")
    assert text.endswith("exit code: 1639\r\n")


# testsvc takes four seconds to stop, reporting STOP_PENDING meanwhile: the
# quiet run ends only once it is stopped, and its log says so.
def test_a_quiet_stop_of_a_slow_service_ends_when_it_is_stopped(wine):
    wine.create_test_service("OstrelSlowService", stop_delay_ms=4000)
    wine.start_service("OstrelSlowService")
    log = wine.drive_c / "ostrel" / "slow.log"

    began = time.monotonic()
    result = run_quiet(wine, rf"/quiet /log {wine.windows_path(log)} stop service OstrelSlowService", inf=SAMPLE_INF)
    took = time.monotonic() - began

    assert (result.exit_code, result.stderr) == (0, "")
    assert wine.service_state("OstrelSlowService") == "STOPPED"
    assert took > 3.5
    lines = log_lines(log)
    assert "stop service OstrelSlowService: stop requested; the service reports STOP_PENDING" in lines
    assert lines.index("stop service OstrelSlowService: stopped") == len(lines) - 3
