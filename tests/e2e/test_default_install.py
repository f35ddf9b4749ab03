"""The run without an action: the INF file goes to the shell's "install" verb."""

import pytest

from conftest import SAMPLE_INF, SAMPLE_KEY, sample_copy, sample_files
from texts import GENERAL_FAILURE, INSTALL_FAILED, INSTALL_FAILED_DE, error_box
from winesetup import wait_for


@pytest.mark.parametrize("args", ["", "/de ", "/reboot   "])
def test_the_default_installation_runs_without_a_box(wine, args):
    result = wine.run_ostrel(args, inf=SAMPLE_INF, files=sample_files())

    # Not even the restart notice: the shell's work is not the program's.
    assert result.details == []
    assert result.exit_code == 0
    # The shell hands the file to rundll32, which runs on after the program.
    wait_for(lambda: wine.reg_query(SAMPLE_KEY, "DefaultInstall") == "done", "the DefaultInstall value")
    copied = sample_copy(wine, "OstrelSample.txt")
    wait_for(copied.exists, "the copied sample file")
    assert copied.read_bytes() == (SAMPLE_INF.parent / "OstrelSample.txt").read_bytes()


# Wine's ShellExecuteW answers 31 (SE_ERR_NOASSOC) for a file without an
# "install" verb; FormatMessageW's text for 0x8007001F is "General failure.",
# and the program strips its CR LF. The HRESULT's text is the only error text:
# no line with the thread's last error follows.
@pytest.mark.parametrize("options,install_failed", [("", INSTALL_FAILED), ("/de ", INSTALL_FAILED_DE)])
def test_a_file_the_shell_cannot_install_shows_message_5(shared_wine, options, install_failed):
    folder = shared_wine.drive_c / "not-an-inf"
    folder.mkdir(exist_ok=True)
    (folder / "readme.txt").write_text("plain text\n")
    path = shared_wine.windows_path(folder / "readme.txt")

    result = shared_wine.run_ostrel(f"{options}/f {path} ")

    assert result.boxes == [error_box(install_failed.format(GENERAL_FAILURE))]
    assert result.exit_code == 0
