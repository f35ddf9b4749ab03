"""Unattended runs: /quiet, /log and /? under Wine.

A quiet run shows no box; its messages go to standard error (a file here,
so UTF-8, each entry ending in CR LF) and its exit code tells the outcome.
The restart codes 3010 and 1641 and the "newer driver" code 259 cannot
happen under Wine (docs/wine.md); the unit tests prove them.
"""

import os
import re
import zipfile

import pytest

from conftest import NO_CLASS_GUID_INF, SAMPLE_INF, SAMPLE_KEY, SAMPLES, sample_copy, sample_files
from texts import (FILE_NOT_FOUND, FILE_QUEUE_FAILED, GENERAL_FAILURE, HARDWARE_ID_MISSING_DE, INSTALL_FAILED,
                   INVALID_COMMAND_LINE, NO_CLASS_GUID, OPEN_INF_FAILED, OPEN_LOG_FAILED, OPEN_SERVICE_FAILED,
                   PATH_NOT_FOUND, SERVICE_DOES_NOT_EXIST, code_line, error_box, stderr_text)

COMMAND_LINE_REFUSED = 1639  # ERROR_INVALID_COMMAND_LINE

# Built like the sample's named sections, but the source file is not there.
MISSING_SOURCE_INF = r"""[Version]
Signature = "$Windows NT$"
Class     = OstrelSample
ClassGuid = {55eed3ce-7127-4948-a2d3-1de9eaeedd1e}

[SourceDisksNames]
1 = "Ostrel Sample Package"

[SourceDisksFiles]
OstrelAbsent.txt = 1

[DestinationDirs]
DefaultDestDir = 10,OstrelSample

[OstrelSample.Absent]
CopyFiles = OstrelSample.Absent.Files
AddReg    = OstrelSample.Absent.AddReg

[OstrelSample.Absent.Files]
OstrelAbsent.txt

[OstrelSample.Absent.AddReg]
HKLM,Software\OstrelSample,Absent,,"installed"
"""

STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} "


def run_quiet(prefix, args, inf=SAMPLE_INF, **kwargs):
    """A run that must show no box; its exit code as an unsigned 32-bit value."""
    result = prefix.run_ostrel(args, inf=inf, capture=True, **kwargs)
    assert result.details == []
    assert result.stdout == ""
    result.exit_code &= 0xFFFFFFFF
    return result


def log_entries(path):
    """The log's lines without their time stamps; every line must carry one
    (or be a continuation, indented as wide as a stamp) and end in CR LF."""
    text = path.read_bytes().decode("utf-8")
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", "")
    lines = text.split("\r\n")[:-1]
    for line in lines:
        assert re.match(STAMP, line) or re.match(" {24}\\S", line), line
    return [re.sub("^" + STAMP, "", line) for line in lines]


@pytest.mark.parametrize("args,inf,exit_code,stderr", [
    ("/quiet start service Missing", SAMPLE_INF, 1060,
     stderr_text(OPEN_SERVICE_FAILED.format("Missing"), SERVICE_DOES_NOT_EXIST)),
    ("/quiet frobnicate", SAMPLE_INF, COMMAND_LINE_REFUSED, stderr_text(INVALID_COMMAND_LINE)),
    ("/q /de install device ", SAMPLE_INF, COMMAND_LINE_REFUSED, stderr_text(HARDWARE_ID_MISSING_DE)),
    ("/QUIET start service Missing", None, 2, stderr_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    # ERROR_INVALID_CLASS; Wine has no text for the Setup API's codes.
    ("/quiet remove device ostrel\\widget", NO_CLASS_GUID_INF, 0xE0000206, stderr_text(NO_CLASS_GUID)),
    # ... so the report's second line is the code and its name.
    ("/quiet /f C:\\windows\\win.ini install inf OstrelSample.Tools", None, 0xE0000100,
     stderr_text(OPEN_INF_FAILED, code_line(0xE0000100, "ERROR_WRONG_INF_STYLE"))),
])
def test_a_quiet_failure_writes_its_message_to_stderr_and_exits_with_its_code(shared_wine, args, inf, exit_code, stderr):
    result = run_quiet(shared_wine, args, inf=inf)
    assert (result.exit_code, result.stderr) == (exit_code, stderr)


SIGNED_RELEASE = os.environ.get("OSTREL_E2E_SIGNED_RELEASE")


@pytest.mark.skipif(not SIGNED_RELEASE, reason="no signed release zip named in OSTREL_E2E_SIGNED_RELEASE "
                                               "(scripts/test.sh makes one)")
def test_the_signed_program_of_the_release_runs(shared_wine, tmp_path):
    # The pass's kind of program: the 32-bit one in the win32 pass, x64\ in the win64 pass.
    member = "x64/OstrelSetup.exe" if shared_wine.arch.program == "win64" else "OstrelSetup.exe"
    with zipfile.ZipFile(SIGNED_RELEASE) as archive:
        (name,) = [name for name in archive.namelist() if name.split("/", 1)[-1] == member]
        program = tmp_path / "OstrelSetup.exe"
        program.write_bytes(archive.read(name))
    result = run_quiet(shared_wine, "/quiet start service Missing", executable=program)
    assert (result.exit_code, result.stderr) == (1060, stderr_text(OPEN_SERVICE_FAILED.format("Missing"),
                                                                   SERVICE_DOES_NOT_EXIST))


def test_the_quiet_default_installation_is_done_when_the_program_ends(wine):
    result = run_quiet(wine, "/quiet", files=sample_files())

    assert (result.exit_code, result.stderr) == (0, "")
    # In-process, not through the shell: the effect is there at once.
    assert wine.reg_query(SAMPLE_KEY, "DefaultInstall") == "done"
    copied = sample_copy(wine, "OstrelSample.txt")
    assert copied.read_bytes() == (SAMPLES / "OstrelSample.txt").read_bytes()


# Wine asks the queue callback for the missing file's media (NEEDMEDIA) and,
# answered as its default callback answers, copies and asks again for ever.
# The quiet callback refuses: the commit fails with ERROR_FILE_NOT_FOUND and
# the rest of the section (its registry value) is not installed.
def test_a_missing_source_file_ends_a_quiet_install_inf_with_message_26(wine):
    result = run_quiet(wine, "/quiet install inf OstrelSample.Absent", inf=MISSING_SOURCE_INF, seconds=20)

    assert result.stderr == stderr_text(FILE_QUEUE_FAILED, FILE_NOT_FOUND)
    assert result.exit_code == 2
    assert wine.reg_query(SAMPLE_KEY, "Absent") is None


def log_run(args, *body):
    """Patterns for one quiet run's block in the log: its header, then body
    (texts, or compiled patterns)."""
    return [r"OstrelSetup \S+, (32|64)-bit program on (32|64)-bit Windows", r"user: .+, elevated: (yes|no)",
            "quiet: yes, asked for",
            r'command line: "C:\\ostrel\\run\d+\\OstrelSetup\.exe" ' + re.escape(args),
            r"INF file: C:\\ostrel\\run\d+\\OstrelSetup\.inf"] + [
                line.pattern if isinstance(line, re.Pattern) else re.escape(line) for line in body]


def test_the_log_records_each_run_and_is_appended_to(wine):
    wine.create_test_service("OstrelSampleService")

    # A log that cannot be opened stops the run before anything is done.
    result = run_quiet(wine, r"/quiet /log C:\nowhere\run.log start service OstrelSampleService")
    assert result.stderr == stderr_text(OPEN_LOG_FAILED.format(r"C:\nowhere\run.log"), PATH_NOT_FOUND)
    assert result.exit_code == 3
    assert wine.service_state("OstrelSampleService") == "STOPPED"

    args = r"/quiet /log C:\ostrel\run.log start service OstrelSampleService Missing Third"
    assert [run_quiet(wine, args).exit_code for _ in range(2)] == [1060, 1060]

    failure = ["start service Missing: failed", "error: " + OPEN_SERVICE_FAILED.format("Missing"),
               " " * 24 + SERVICE_DOES_NOT_EXIST, " " * 24 + "code: 0x00000424 (1060, ERROR_SERVICE_DOES_NOT_EXIST)",
               "restart: not needed", "exit code: 1060"]
    # What the service reported when asked; a quiet run that found it still
    # starting waited until it was running, and said so.
    reported = "; the service reports (RUNNING|START_PENDING)"
    expected = (log_run(args, re.compile("start service OstrelSampleService: start requested" + reported), *failure) +
                log_run(args, re.compile("start service OstrelSampleService: already started" + reported), *failure))
    entries = [entry for entry in log_entries(wine.drive_c / "ostrel" / "run.log")
               if entry != "start service OstrelSampleService: running"]
    assert len(entries) == len(expected), entries
    for pattern, entry in zip(expected, entries):
        assert re.fullmatch(pattern, entry), entry


# The boxes stay as they were; the log says what a quiet run would have
# answered: here the HRESULT of the shell's refusal (0x8007001F, Wine's
# answer for a file without an "install" verb).
def test_an_interactive_run_with_a_log_shows_its_boxes_and_exits_0(shared_wine):
    folder = shared_wine.drive_c / "ostrel-interactive"
    folder.mkdir(exist_ok=True)
    (folder / "readme.txt").write_text("plain text\n")
    log = folder / "run.log"
    log.unlink(missing_ok=True)

    result = shared_wine.run_ostrel(r"/log C:\ostrel-interactive\run.log /f C:\ostrel-interactive\readme.txt ",
                                    capture=True)

    assert result.boxes == [error_box(INSTALL_FAILED.format(GENERAL_FAILURE))]
    assert (result.exit_code, result.stdout, result.stderr) == (0, "", "")
    entries = log_entries(log)
    assert "quiet: no" in entries
    assert entries[-1] == f"exit code: 0 (a quiet run would end with {0x8007001F})"


def test_slash_question_mark_shows_the_usage_as_help_does(shared_wine):
    usage = shared_wine.run_ostrel("/?")
    assert usage.boxes == shared_wine.run_ostrel("help").boxes
    assert usage.boxes[0][1].endswith("\n/? = show this text (as 'help' does)")
    assert usage.exit_code == 0
