"""Start-up, command line and messages of the real program under Wine."""

import pytest

from conftest import SAMPLE_INF
from texts import (FILE_NOT_FOUND, HARDWARE_ID_MISSING, HARDWARE_ID_MISSING_DE, INVALID_COMMAND_LINE,
                   INVALID_COMMAND_LINE_DE, OPEN_INF_FAILED, OPEN_INF_FAILED_DE, PATH_NOT_FOUND, SECTION_NAME_MISSING,
                   SERVICE_NAME_MISSING, SERVICE_NAME_MISSING_DE, USAGE_BOX, box_text, error_box)


@pytest.mark.parametrize("args", ["help", "HELP", "hElP"])
def test_help_shows_the_usage_text_even_without_an_inf_file(shared_wine, args):
    result = shared_wine.run_ostrel(args)
    assert result.boxes == [USAGE_BOX]
    assert result.exit_code == 0


# Each case: command line, INF file beside the program?, the error box's text.
COMMAND_LINE_CASES = [
    ("stop service ", True, SERVICE_NAME_MISSING),
    ("install device ", True, HARDWARE_ID_MISSING),
    ("install inf ", True, SECTION_NAME_MISSING),
    ("/de start service ", True, SERVICE_NAME_MISSING_DE),
    ("/de remove device ", True, HARDWARE_ID_MISSING_DE),
    ("/de /en install inf ", True, SECTION_NAME_MISSING),
    ("help ", True, INVALID_COMMAND_LINE),
    ("install device", True, INVALID_COMMAND_LINE),
    ("/de help", True, INVALID_COMMAND_LINE_DE),
    ('/f "C:\\no closing quote.inf stop service S', False, INVALID_COMMAND_LINE),
    ('/de /f "C:\\no closing quote.inf', False, INVALID_COMMAND_LINE_DE),
    ("/f C:\\x\\a.inf", False, INVALID_COMMAND_LINE),
    ("", False, box_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    ("stop service Spooler", False, box_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    ("/de unknown words", False, box_text(OPEN_INF_FAILED_DE, FILE_NOT_FOUND)),
    ('/f "" install inf S', True, box_text(OPEN_INF_FAILED, PATH_NOT_FOUND)),
]


@pytest.mark.parametrize("args,with_inf,text", COMMAND_LINE_CASES, ids=[c[0] or "(empty)" for c in COMMAND_LINE_CASES])
def test_command_line_faults_are_shown_in_the_chosen_language(shared_wine, args, with_inf, text):
    result = shared_wine.run_ostrel(args, inf=SAMPLE_INF if with_inf else None)
    assert result.boxes == [error_box(text)]
    assert result.exit_code == 0


def test_f_names_the_inf_file_in_another_folder(shared_wine):
    folder = shared_wine.drive_c / "elsewhere"
    folder.mkdir(exist_ok=True)
    (folder / "my package.inf").write_text(SAMPLE_INF.read_text())
    inf = shared_wine.windows_path(folder / "my package.inf")
    # The named file passes the INF test, so the unknown word is what is refused.
    result = shared_wine.run_ostrel(f'/f "{inf}" no such action')
    assert result.boxes == [error_box(INVALID_COMMAND_LINE)]


# The default INF file is the program's own path with ".inf" for its
# extension: what counts is the name the program runs under.
@pytest.mark.parametrize("program_name,inf_names,text", [
    ("Tool.exe", ["Tool.inf"], SERVICE_NAME_MISSING),
    ("Tool.exe", ["OstrelSetup.inf"], box_text(OPEN_INF_FAILED, FILE_NOT_FOUND)),
    ("tool.v2.exe", ["tool.v2.inf"], SERVICE_NAME_MISSING),
])
def test_the_default_inf_file_bears_the_programs_base_name(shared_wine, program_name, inf_names, text):
    files = {name: SAMPLE_INF for name in inf_names}
    result = shared_wine.run_ostrel("stop service ", files=files, program_name=program_name)
    assert result.boxes == [error_box(text)]
