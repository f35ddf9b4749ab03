"""Inputs at their limits under Wine: the longest command line, thousands of
arguments, file names of 259 and 260 characters, INF files that are empty,
binary, UTF-16 or 50 MB, and a folder given as the INF file.

Every run has a deadline; a run that does not end fails its test. A person's
run shows one box per failure, so the long lines stop at their first
argument. Every argument is measured before the first is acted on: a line
of 5,000 hardware IDs that ends in an argument one character too long is
refused with nothing done, which also shows that all of it arrived.
docs/wine.md says where Wine's answers differ from Windows'.
"""

import random

import pytest

from conftest import NO_CLASS_GUID_INF, PROGRAM, SAMPLE_INF, SAMPLE_KEY, SECTION_SOURCES, WIDGET, sample_copy
from texts import (ACCESS_DENIED, FILE_INVALID, FILE_NOT_FOUND, GET_CLASS_FAILED, INVALID_COMMAND_LINE, NO_CLASS_GUID,
                   NO_REASON, OPEN_INF_FAILED, OPEN_SERVICE_FAILED, SERVICE_DOES_NOT_EXIST, SERVICE_NAME_MISSING,
                   START_SIBLING_FAILED, box_text, code_line, error_box, stderr_text)

# CreateProcessW takes 32,767 characters with the terminator; Wine cuts a
# longer line to this length without an error (docs/wine.md).
LONGEST_LINE = 32766
DEADLINE = 30  # seconds for any one run
TOO_LONG = "L" * 256  # one character more than an argument may have
LONGEST_ARGUMENT = "L" * 255

UTF16_SAMPLE = b"\xff\xfe" + SAMPLE_INF.read_text(encoding="utf-8").replace("\n", "\r\n").encode("utf-16-le")
BINARY = bytes(random.Random(10).randrange(256) for _ in range(4096))


def next_program(prefix):
    """The folder and the quoted path the next run_ostrel starts the program
    at, as the command line begins with it: each run gets a new folder
    C:\\ostrel\\run<N>."""
    folder = prefix.drive_c / "ostrel" / f"run{len(list((prefix.drive_c / 'ostrel').glob('run*'))) + 1}"
    return folder, f'"{prefix.windows_path(folder / PROGRAM)}" '


def longest_line(prefix, start, stem, count, last=TOO_LONG):
    """The tail after the program's path that makes the whole line
    LONGEST_LINE characters: `start`, `count` distinct words that begin with
    `stem` and end in their number, then `last`. Also the folder the
    program will run in, to check that the guess was right."""
    folder, head = next_program(prefix)
    letters = LONGEST_LINE - len(head) - len(start) - count - len(last)
    width, wider = divmod(letters, count)
    digits = len(str(count - 1))
    words = []
    for number in range(count):
        length = width + (number < wider)
        assert digits < length < len(TOO_LONG), "no room for so many words, or too much"
        words.append((stem * length)[:length - digits] + f"{number:0{digits}d}")
    tail = start + " ".join(words) + " " + last
    assert len(head) + len(tail) == LONGEST_LINE
    return tail, words, folder


def run_longest(prefix, tail, folder, **kwargs):
    result = prefix.run_ostrel(tail, capture=True, seconds=DEADLINE, **kwargs)
    assert (folder / PROGRAM).is_file(), "the line was measured for another folder"
    result.exit_code &= 0xFFFFFFFF
    return result


# Each kind of action on a line of the longest length, 2,000 arguments that
# end in one as long as an argument may be: the first argument fails and
# ends the walk. The device
# action's INF file has no class GUID, the section action's is empty, the
# service action's first name is no service, and an unknown word is refused
# at once.
# kind -> (action, word stem, INF file, message, Wine's system text, quiet exit code)
LONG_LINES = {
    "device": ("remove device ", WIDGET, NO_CLASS_GUID_INF, NO_CLASS_GUID, None, 0xE0000206),
    "service": ("stop service ", "OstrelMissing", SAMPLE_INF, OPEN_SERVICE_FAILED, SERVICE_DOES_NOT_EXIST, 1060),
    "install inf": ("install inf ", "OstrelSample.Tools", "", OPEN_INF_FAILED, FILE_INVALID, 1006),
    "unknown word": ("frobnicate ", "frobnicate", SAMPLE_INF, INVALID_COMMAND_LINE, None, 1639),
}


@pytest.mark.parametrize("quiet", [False, True], ids=["boxes", "quiet"])
@pytest.mark.parametrize("kind", LONG_LINES)
def test_the_longest_command_line_gets_the_answer_of_its_first_failure(shared_wine, kind, quiet):
    action, stem, inf, message, system, exit_code = LONG_LINES[kind]
    tail, words, folder = longest_line(shared_wine, ("/quiet " if quiet else "") + action, stem, 2000,
                                       last=LONGEST_ARGUMENT)
    message = message.format(words[0])

    result = run_longest(shared_wine, tail, folder, inf=inf)

    if quiet:
        assert (result.details, result.exit_code, result.stderr) == ([], exit_code, stderr_text(message, system))
    else:
        assert (result.boxes, result.exit_code, result.stderr) == ([error_box(box_text(message, system))], 0, "")


def test_five_thousand_hardware_ids_that_end_in_one_too_long_change_nothing(wine, devices):
    tail, ids, folder = longest_line(wine, "/quiet remove device ", "hw", 5000)
    first = devices.create(ids[0])
    last = devices.create(ids[-1])

    result = run_longest(wine, tail, folder, inf=SAMPLE_INF)

    # The argument one character too long at the very end refuses the line
    # before the first ID is looked for: both devices are still there.
    assert (result.exit_code, result.stderr) == (1639, stderr_text(INVALID_COMMAND_LINE))
    assert set(devices.present()) == {first, last}


def long_name(prefix, length, extension, blank=False):
    """A file name of exactly `length` characters in a folder that exists:
    (its Windows path, its Unix path)."""
    folder = prefix.drive_c / "ostrel" / ("long names" if blank else "long-names") / ("d" * 100)
    folder.mkdir(parents=True, exist_ok=True)
    base = prefix.windows_path(folder) + "\\"
    name = "n" * (length - len(base) - len(extension)) + extension
    assert len(base + name) == length
    return base + name, folder / name


# option, name length, quoted, whether the file is there, the box. The action
# "stop service" without names needs only the INF file: message 3 shows that
# the named file passed the INF test.
NAME_CASES = [
    ("/f", 259, False, True, SERVICE_NAME_MISSING),
    ("/f", 259, True, True, SERVICE_NAME_MISSING),
    ("/f", 259, False, False, box_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    ("/f", 259, True, False, box_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    ("/f", 260, False, True, INVALID_COMMAND_LINE),
    ("/f", 260, True, True, INVALID_COMMAND_LINE),
    ("/log", 259, False, False, SERVICE_NAME_MISSING),
    ("/log", 259, True, False, SERVICE_NAME_MISSING),
    ("/log", 260, False, False, INVALID_COMMAND_LINE),
    ("/log", 260, True, False, INVALID_COMMAND_LINE),
]


@pytest.mark.parametrize("option,length,quoted,exists,text", NAME_CASES,
                         ids=[f"{c[0]} {c[1]}{' quoted' if c[2] else ''}{' there' if c[3] else ''}" for c in NAME_CASES])
def test_file_names_of_259_characters_are_taken_and_of_260_refused(shared_wine, option, length, quoted, exists, text):
    name, path = long_name(shared_wine, length, ".inf" if option == "/f" else ".log", blank=quoted)
    path.unlink(missing_ok=True)
    if exists:
        path.write_bytes(SAMPLE_INF.read_bytes())
    given = f'"{name}"' if quoted else name

    result = shared_wine.run_ostrel(f"{option} {given} stop service ", inf=SAMPLE_INF, seconds=DEADLINE)

    assert result.boxes == [error_box(text)]
    # A log of 259 characters is written; one of 260 is never opened.
    if option == "/log":
        assert path.is_file() == (length == 259)


# INF files that are no INF files, each for a device action (the class
# lookup) and a section action (the INF parser). Under Wine the class lookup
# of an empty or binary file fails without an error code, and the parser
# refuses both, the binary one with a code Wine has no text for. A UTF-16
# file is read as the same file in ANSI.
# name, content, action, box (None: no box)
CONTENT_CASES = [
    ("empty", b"", "remove device ostrel\\widget", box_text(GET_CLASS_FAILED, NO_REASON)),
    ("empty", b"", "install inf OstrelSample.Tools", box_text(OPEN_INF_FAILED, FILE_INVALID)),
    ("binary", BINARY, "remove device ostrel\\widget", box_text(GET_CLASS_FAILED, NO_REASON)),
    ("binary", BINARY, "install inf OstrelSample.Tools",
     box_text(OPEN_INF_FAILED, code_line(0xE0000000, "ERROR_EXPECTED_SECTION_NAME"))),
    ("UTF-16", UTF16_SAMPLE, "remove device ostrel\\widget", None),
]


@pytest.mark.parametrize("content,action,text", [c[1:] for c in CONTENT_CASES],
                         ids=[f"{c[0]}, {c[2].split()[0]} {c[2].split()[1]}" for c in CONTENT_CASES])
def test_inf_files_that_are_empty_binary_or_utf16(shared_wine, tmp_path, content, action, text):
    inf = tmp_path / "content.inf"
    inf.write_bytes(content)

    result = shared_wine.run_ostrel(action, inf=inf, seconds=DEADLINE)

    assert result.boxes == ([error_box(text)] if text else [])


def test_a_section_of_a_utf16_inf_file_is_installed(wine, tmp_path):
    inf = tmp_path / "utf16.inf"
    inf.write_bytes(UTF16_SAMPLE)

    result = wine.run_ostrel("install inf OstrelSample.Tools", inf=inf, files=SECTION_SOURCES, seconds=DEADLINE)

    assert result.boxes == []
    assert wine.reg_query(SAMPLE_KEY, "Tools") == "installed"
    copied = sample_copy(wine, "OstrelTools.txt")
    assert copied.read_bytes() == SECTION_SOURCES["OstrelTools.txt"].read_bytes()


# The class is read from the [Version] section at the very end of the file:
# message 8 shows that all of it was read.
def test_a_50_mb_inf_file_is_read_to_its_end_for_a_device_action(shared_wine):
    path = shared_wine.drive_c / "ostrel" / "large.inf"
    version = NO_CLASS_GUID_INF.encode("ascii")
    filler = b"[OstrelFiller]\r\nkey = " + b"v" * 60 + b"\r\n"
    size = 50 * 1024 * 1024
    count, rest = divmod(size - len(version), len(filler))
    try:
        with path.open("wb") as out:
            out.write(filler * count)
            out.write(b";" * (rest - 2) + b"\r\n" + version)
        assert path.stat().st_size == size

        result = shared_wine.run_ostrel(f"/f {shared_wine.windows_path(path)} remove device ostrel\\widget",
                                        seconds=DEADLINE)
    finally:
        path.unlink(missing_ok=True)

    assert result.boxes == [error_box(NO_CLASS_GUID)]


# C:\windows passes the program's INF test (it exists); what follows is the
# answer of the call that opens it.
FOLDER_CASES = [
    ("remove device ostrel\\widget", box_text(GET_CLASS_FAILED, ACCESS_DENIED)),
    ("install inf OstrelSample.Tools", box_text(OPEN_INF_FAILED, ACCESS_DENIED)),
]


@pytest.mark.parametrize("action,text", FOLDER_CASES, ids=[c[0].rsplit(" ", 1)[0] for c in FOLDER_CASES])
def test_a_folder_as_the_inf_file(shared_wine, action, text):
    result = shared_wine.run_ostrel(f"/f C:\\windows {action}", seconds=DEADLINE)
    assert result.boxes == [error_box(text)]


def test_a_folder_as_the_inf_file_of_the_default_installation(wine):
    # A quiet run installs the section itself: the INF parser refuses the folder.
    quiet = wine.run_ostrel("/quiet /f C:\\windows ", capture=True, seconds=DEADLINE)
    assert (quiet.details, quiet.exit_code, quiet.stderr) == ([], 5, stderr_text(OPEN_INF_FAILED, ACCESS_DENIED))

    # A person's run hands it to the shell, which under Wine opens the
    # folder in its explorer and reports success.
    log = wine.drive_c / "ostrel" / "folder.log"
    shown = wine.run_ostrel(f"/log {wine.windows_path(log)} /f C:\\windows ", seconds=DEADLINE)
    assert shown.boxes == []
    assert "default installation: handed to the shell's install verb\r\n" in log.read_bytes().decode("utf-8")


# The 32-bit program under WOW64 hands the whole line to x64\OstrelSetup.exe
# with the sibling's longer path and "/f <INF file>" in front, which makes
# it longer than the longest line. Windows refuses to start such a line;
# Wine would cut it, and the sibling would take what is left of the last
# argument for a hardware ID. The program refuses it itself (message 36).
@pytest.mark.wow64
def test_the_longest_command_line_is_not_cut_on_its_way_to_the_64_bit_program(shared_wine):
    tail, _, folder = longest_line(shared_wine, "/quiet remove device ", "ostrel\\widget", 150)

    result = run_longest(shared_wine, tail, folder, inf=SAMPLE_INF)

    sibling = shared_wine.windows_path(folder / "x64" / PROGRAM)
    assert result.exit_code == 206  # ERROR_FILENAME_EXCED_RANGE
    assert result.stderr.startswith(stderr_text(START_SIBLING_FAILED.format(sibling)))
