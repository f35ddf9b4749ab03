"""The hand-over under WOW64: the 32-bit program in a 64-bit prefix runs
device actions and sections through x64\\OstrelSetup.exe beside it, and
without one refuses the device actions itself.

Wine reports WOW64 to a 32-bit program in a 64-bit prefix and redirects its
system32 to syswow64, as Windows does: which folder a section's file lands
in shows which program installed it.
"""

import pytest

from conftest import CLASS_KEY, SAMPLE_INF, WIDGET
from texts import NEEDS_64_BIT, OPEN_SERVICE_FAILED, error_box, stderr_text

pytestmark = pytest.mark.wow64

# A section that copies one file into the system folder (11).
SYSTEM_FOLDER_INF = "\n".join([
    "[Version]",
    'Signature = "$Windows NT$"',
    "Class = OstrelSample",
    "ClassGuid = {55EED3CE-7127-4948-A2D3-1DE9EAEEDD1E}",
    "",
    "[SourceDisksNames]",
    "1 = Disk",
    "[SourceDisksFiles]",
    "OstrelWow.txt = 1",
    "[DestinationDirs]",
    "Wow.Files = 11",
    "[Wow]",
    "CopyFiles = Wow.Files",
    "[Wow.Files]",
    "OstrelWow.txt",
    "",
])


def landed(wine):
    """Which system folder the section's file went to."""
    windows = wine.drive_c / "windows"
    return [folder for folder in ("system32", "syswow64") if (windows / folder / "OstrelWow.txt").exists()]


def test_with_the_sibling_devices_and_sections_are_the_64_bit_programs(wine, devices):
    instance = devices.create(WIDGET)

    result = wine.run_ostrel(f"/quiet install device {WIDGET}", inf=SAMPLE_INF, capture=True)

    assert (result.boxes, result.exit_code, result.stderr) == ([], 0, "")
    driver = devices.present()[instance][1]
    assert driver is not None
    assert wine.reg_query(f"{CLASS_KEY}\\{driver}", "OstrelWidget") == "installed"

    result = wine.run_ostrel("install inf Wow", inf=SYSTEM_FOLDER_INF, files={"OstrelWow.txt": "wow\n"})

    assert (result.boxes, result.exit_code) == ([], 0)
    assert landed(wine) == ["system32"]

    # The sibling writes to the standard error it was handed and its exit
    # code is the run's.
    result = wine.run_ostrel("/quiet start service Missing", inf=SAMPLE_INF, capture=True)
    assert result.exit_code == 1060
    assert result.stderr.startswith(stderr_text(OPEN_SERVICE_FAILED.format("Missing")))


def test_without_the_sibling_device_actions_stop_and_sections_go_on_in_the_32_bit_view(wine, devices):
    instance = devices.create(WIDGET)

    result = wine.run_ostrel(f"remove device {WIDGET}", inf=SAMPLE_INF, sibling=False)
    assert result.boxes == [error_box(NEEDS_64_BIT)]
    assert result.exit_code == 0

    result = wine.run_ostrel(f"/q install device {WIDGET}", inf=SAMPLE_INF, sibling=False, capture=True)
    assert (result.boxes, result.exit_code & 0xFFFFFFFF) == ([], 0xE0000235)  # ERROR_IN_WOW64
    assert result.stderr == stderr_text(NEEDS_64_BIT)
    assert devices.present() == {instance: ([WIDGET], None)}

    result = wine.run_ostrel("install inf Wow", inf=SYSTEM_FOLDER_INF, files={"OstrelWow.txt": "wow\n"},
                             sibling=False)
    assert (result.boxes, result.exit_code) == ([], 0)
    assert landed(wine) == ["syswow64"]
