"""install inf: named sections of the sample INF file, installed under Wine.

The sample's sections OstrelSample.Tools and OstrelSample.Help each copy one
file into %windir%\\OstrelSample and write one value under
HKLM\\Software\\OstrelSample. Where Wine answers differently from Windows
(a section the INF lacks, the restart scan), the test checks what Wine does;
the unit tests prove the Windows behaviour on the simulated machine, and
docs/wine.md records the difference.
"""

import pytest

from conftest import SAMPLE_INF, SAMPLE_KEY, SECTION_SOURCES, sample_copy
from texts import ACCESS_DENIED, OPEN_INF_FAILED, box_text, code_line, error_box

# section name -> (file it copies, registry value it writes)
SECTIONS = {
    "OstrelSample.Tools": ("OstrelTools.txt", "Tools"),
    "OstrelSample.Help": ("OstrelHelp.txt", "Help"),
}


def install(wine, args):
    return wine.run_ostrel(args, inf=SAMPLE_INF, files=SECTION_SOURCES)


def copied(wine, name):
    """The copied file's text, or None when it was not copied."""
    path = sample_copy(wine, name)
    return path.read_text(encoding="utf-8") if path.exists() else None


def installed(wine, section):
    file_name, value = SECTIONS[section]
    return copied(wine, file_name) is not None and wine.reg_query(SAMPLE_KEY, value) == "installed"


def untouched(wine, section):
    file_name, value = SECTIONS[section]
    return copied(wine, file_name) is None and wine.reg_query(SAMPLE_KEY, value) is None


# Wine's SetupPromptReboot answers 0 to every scan, so no section records a
# restart there: neither message 7 nor, with /reboot, the restart prompt.
@pytest.mark.parametrize("options", ["", "/reboot "])
def test_two_sections_copy_their_files_and_write_their_values(wine, options):
    result = install(wine, options + "install inf OstrelSample.Tools OstrelSample.Help")

    assert result.boxes == []
    assert result.exit_code == 0
    for section, (file_name, value) in SECTIONS.items():
        assert copied(wine, file_name) == SECTION_SOURCES[file_name].read_text(encoding="utf-8"), section
        assert wine.reg_query(SAMPLE_KEY, value) == "installed", section
    # Only the named sections ran, not the default installation.
    assert copied(wine, "OstrelSample.txt") is None
    assert wine.reg_query(SAMPLE_KEY, "DefaultInstall") is None


# On Windows a section the INF file lacks fails the queuing of its files
# (message 25) and ends the walk; Wine installs nothing for it and succeeds,
# so the walk goes on. An empty first name (two blanks after the keyword)
# reaches the Setup API as it came and is such a missing section.
@pytest.mark.parametrize("args", [
    "install inf Nowhere OstrelSample.Help",
    "install inf  OstrelSample.Help",
])
def test_the_walk_goes_on_past_a_section_wine_does_not_fail(wine, args):
    result = install(wine, args)

    assert result.boxes == []
    assert installed(wine, "OstrelSample.Help")
    assert untouched(wine, "OstrelSample.Tools")


# An INF file that the Setup API cannot open ends the walk at its first
# section: one report, nothing installed. A folder passes the program's own
# test of the INF file; Wine has no text for the Setup API's own error codes,
# so the second line of the report for a file that is no INF file is the
# code and its name.
@pytest.mark.parametrize("inf_path, system_text", [(r"C:\windows", ACCESS_DENIED),
                                                   (r"C:\windows\win.ini", code_line(0xE0000100, "ERROR_WRONG_INF_STYLE"))])
def test_an_inf_file_that_cannot_be_opened_ends_the_walk(wine, inf_path, system_text):
    result = install(wine, f"/f {inf_path} install inf OstrelSample.Tools OstrelSample.Help")

    assert result.boxes == [error_box(box_text(OPEN_INF_FAILED, system_text))]
    assert result.exit_code == 0
    for section in SECTIONS:
        assert untouched(wine, section), section
