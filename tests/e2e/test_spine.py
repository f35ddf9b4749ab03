"""Start-up, command line and messages of the real program under Wine."""

import pytest

from conftest import CAPTION, SAMPLE_INF, error_box


USAGE = "\n".join([
    "OstrelSetup can be used to install/remove/disable/enable devices and",
    "start/stop/remove services.",
    "",
    "Command Line:",
    "OstrelSetup.exe [<Options>] [<Action> <Arguments>]",
    "",
    "Actions and their arguments:",
    "- Install a Pnp device: 'install device {<hwid>}'",
    "- Remove a Pnp device: 'remove device {<hwid>}'",
    "- Disable a device: 'disable device {<hwid>}'",
    "- Enable a device: 'enable device {<hwid>}'",
    "- Stop a service: 'stop service {<name>}'",
    "- Start a service: 'start service {<name>}'",
    "- Remove a service: 'remove service {<name>}'",
    "- Install INF file section: 'install inf {<name>}'",
    "",
    "OstrelSetup requires an .inf file for device specific action (default is",
    "ostrelsetup.inf). <hwid> is the hardware ID of the device. There must be a",
    "corresponding device entry in ostrelsetup.inf.",
    "",
    "If OstrelSetup is called without any argument, the default install section",
    "of ostrelsetup.inf is executed (as in the Explorer after right-click on the",
    "inf file and choosing 'Install').",
    "",
    "Options:",
    "",
    "/reboot = perform reboot if required (default: show message only)",
    "/de = use german messages/en = use english messages/f <file> = specify .inf file",
    "/quiet or /q = no message boxes: messages go to standard error, the exit code tells the outcome",
    "/log <file> = append a log of the run to <file>",
    "/? = show this text (as 'help' does)",
])

# Wine's own wording for the system texts, as FormatMessageW gives them; the
# program keeps the carriage return before the line feed it removes.
WINE_FILE_NOT_FOUND = "File not found.\r"
# GetFileAttributesW of an empty path fails with ERROR_PATH_NOT_FOUND (3).
WINE_PATH_NOT_FOUND = "Path not found.\r"

INVALID_EN = "Invalid command line. Call 'OstrelSetup help' for more information."
INVALID_DE = "Ungültige Kommandozeile. Rufen Sie 'OstrelSetup help' für mehr Informationen auf."
OPEN_INF_FAILED_EN = "Open of .inf file failed."
OPEN_INF_FAILED_DE = "Die .inf Datei kann nicht geöffnet werden."



@pytest.mark.parametrize("args", ["help", "HELP", "hElP"])
def test_help_shows_the_usage_text_even_without_an_inf_file(shared_wine, args):
    result = shared_wine.run_ostrel(args)
    assert result.boxes == [(CAPTION, USAGE, "information")]
    assert result.exit_code == 0


# Each case: command line, INF file beside the program?, the boxes shown.
COMMAND_LINE_CASES = [
    ("stop service ", True, [error_box("Invalid command line - service name missing.")]),
    ("install device ", True, [error_box("Invalid command line - hardware ID missing.")]),
    ("install inf ", True, [error_box("Invalid command line - section name missing.")]),
    ("/de start service ", True, [error_box("Ungültige Kommandozeile - Dienstname fehlt.")]),
    ("/de remove device ", True, [error_box("Ungültige Kommandozeile - Hardware ID fehlt.")]),
    ("/de /en install inf ", True, [error_box("Invalid command line - section name missing.")]),
    ("help ", True, [error_box(INVALID_EN)]),
    ("install device", True, [error_box(INVALID_EN)]),
    ("/de help", True, [error_box(INVALID_DE)]),
    ('/f "C:\\no closing quote.inf stop service S', False, [error_box(INVALID_EN)]),
    ('/de /f "C:\\no closing quote.inf', False, [error_box(INVALID_DE)]),
    ("/f C:\\x\\a.inf", False, [error_box(INVALID_EN)]),
    ("", False, [error_box(OPEN_INF_FAILED_EN + "\n" + WINE_FILE_NOT_FOUND)]),
    ("stop service Spooler", False, [error_box(OPEN_INF_FAILED_EN + "\n" + WINE_FILE_NOT_FOUND)]),
    ("/de unknown words", False, [error_box(OPEN_INF_FAILED_DE + "\n" + WINE_FILE_NOT_FOUND)]),
    ('/f "" install inf S', True, [error_box(OPEN_INF_FAILED_EN + "\n" + WINE_PATH_NOT_FOUND)]),
]


@pytest.mark.parametrize("args,with_inf,boxes", COMMAND_LINE_CASES, ids=[c[0] or "(empty)" for c in COMMAND_LINE_CASES])
def test_command_line_faults_are_shown_in_the_chosen_language(shared_wine, args, with_inf, boxes):
    result = shared_wine.run_ostrel(args, inf=SAMPLE_INF if with_inf else None)
    assert result.boxes == boxes
    assert result.exit_code == 0


def test_f_names_the_inf_file_in_another_folder(shared_wine):
    folder = shared_wine.drive_c / "elsewhere"
    folder.mkdir(exist_ok=True)
    (folder / "my package.inf").write_text(SAMPLE_INF.read_text())
    inf = shared_wine.windows_path(folder / "my package.inf")
    # The named file passes the INF test, so the unknown word is what is refused.
    result = shared_wine.run_ostrel(f'/f "{inf}" no such action')
    assert result.boxes == [error_box(INVALID_EN)]


# The default INF file is the program's own path with ".inf" for its
# extension: what counts is the name the program runs under.
@pytest.mark.parametrize("program_name,inf_names,boxes", [
    ("Tool.exe", ["Tool.inf"], [error_box("Invalid command line - service name missing.")]),
    ("Tool.exe", ["OstrelSetup.inf"], [error_box(OPEN_INF_FAILED_EN + "\n" + WINE_FILE_NOT_FOUND)]),
    ("tool.v2.exe", ["tool.v2.inf"], [error_box("Invalid command line - service name missing.")]),
])
def test_the_default_inf_file_bears_the_programs_base_name(shared_wine, program_name, inf_names, boxes):
    files = {name: SAMPLE_INF for name in inf_names}
    result = shared_wine.run_ostrel("stop service ", files=files, program_name=program_name)
    assert result.boxes == boxes
