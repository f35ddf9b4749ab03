"""The life-cycle actions of the real program under Wine: add driver,
delete driver, query device, restart device and rescan.

Wine's driver store is C:\\windows\\inf, where SetupCopyOEMInfW copies an
INF file under its own name (oemN.inf only when that name is taken), and
it answers several of these calls in its own way (docs/wine.md, "Driver
store"): SetupUninstallOEMInfW without SUOI_FORCEDELETE deletes nothing,
SP_COPY_REPLACEONLY is ignored, CM_Get_DevNode_Status says 0 for every
device, CM_Locate_DevNodeW fails with CR_FAILURE and DIF_PROPERTYCHANGE
fails. The tests check what Wine does; the unit tests prove what Windows
does on the simulated machine.
"""

import pytest

from conftest import SAMPLE_INF, WIDGET
from texts import (GENERAL_FAILURE, NEEDS_64_BIT, NO_REASON, QUERY_DEVICES, QUERY_HEADER, QUERY_NO_DEVICE,
                   QUERY_NO_DEVICE_CODE, QUERY_NOT_STARTED_CODE, QUERY_OTHER_DRIVER_CODE, RESCAN_FAILED,
                   RESTART_DEVICE_FAILED, box, box_text, error_box, stderr_text)

LOG = "C:\\ostrel\\life.log"


def store(wine):
    """The names in Wine's driver store that the sample package could have."""
    return sorted(path.name for path in (wine.drive_c / "windows" / "inf").iterdir()
                  if path.name.lower().startswith(("ostrelsetup.", "oem")))


def log_of(wine):
    return (wine.drive_c / "ostrel" / "life.log").read_bytes().decode("utf-8")


def quiet(wine, action, **kwargs):
    return wine.run_ostrel(f"/quiet /log {LOG} {action}", capture=True, **kwargs)


# The first add stages the package under its own name, the second finds it
# there (SP_COPY_NOOVERWRITE: ERROR_FILE_EXISTS and the name). The run names
# the INF file relatively: Wine's SetupCopyOEMInfW refuses a relative path
# with 2, so success shows the full path was given. The delete finds the
# name, and Wine's SetupUninstallOEMInfW answers success and deletes nothing.
def test_add_driver_then_delete_driver_of_the_sample_package(wine):
    assert store(wine) == []

    result = quiet(wine, "/f OstrelSetup.inf add driver", inf=SAMPLE_INF)
    assert (result.exit_code, result.stdout, result.stderr) == (0, "OstrelSetup.inf\r\n", "")
    assert store(wine) == ["OstrelSetup.inf", "OstrelSetup.pnf"]
    assert (wine.drive_c / "windows" / "inf" / "OstrelSetup.inf").read_bytes() == SAMPLE_INF.read_bytes()

    result = quiet(wine, "add driver", inf=SAMPLE_INF)
    assert (result.exit_code, result.stdout) == (0, "OstrelSetup.inf\r\n")
    assert "add driver: already in the driver store as OstrelSetup.inf\r\n" in log_of(wine)

    result = quiet(wine, "delete driver", inf=SAMPLE_INF)
    assert (result.boxes, result.exit_code, result.stdout, result.stderr) == ([], 0, "", "")
    assert "delete driver: OstrelSetup.inf deleted from the driver store\r\n" in log_of(wine)
    assert store(wine) == ["OstrelSetup.inf", "OstrelSetup.pnf"]  # Windows: []


# Windows answers the look-up of a package it does not hold with 2 and
# stages nothing; Wine ignores SP_COPY_REPLACEONLY and stages it, and then
# deletes nothing.
def test_delete_driver_of_a_package_that_is_not_there(wine):
    result = quiet(wine, "delete driver", inf=SAMPLE_INF)

    assert (result.boxes, result.exit_code, result.stderr) == ([], 0, "")
    assert "delete driver: OstrelSetup.inf deleted from the driver store\r\n" in log_of(wine)
    assert store(wine) == ["OstrelSetup.inf", "OstrelSetup.pnf"]  # Windows: [] and "not in the driver store"


# A device that devtool made has no driver; after "install device" Wine's
# driver key names the package by its INF file's name, as the store has it,
# without provider, version or date. Wine's CM_Get_DevNode_Status says 0
# (neither started nor a problem) for every device: "not started".
def test_query_device_of_a_device_made_by_the_test_tool_and_of_an_id_no_device_has(wine, devices):
    instance = devices.create(WIDGET)

    result = quiet(wine, f"query device {WIDGET} ostrel\\nothing", inf=SAMPLE_INF)
    assert (result.exit_code, result.stderr) == (QUERY_OTHER_DRIVER_CODE, "")
    assert result.stdout == "\r\n".join([QUERY_HEADER, f"{WIDGET}\t{instance}\tnot started\t\t\t\t\t\t\tno",
                                         "ostrel\\nothing\t\tabsent\t\t\t\t\t\t\tno", ""])

    assert wine.run_ostrel(f"install device {WIDGET}", inf=SAMPLE_INF).boxes == []
    result = quiet(wine, f"query device {WIDGET}", inf=SAMPLE_INF)
    assert result.exit_code == QUERY_NOT_STARTED_CODE
    assert result.stdout == "\r\n".join(
        [QUERY_HEADER, f"{WIDGET}\t{instance}\tnot started\t\t\tOstrelSetup.inf\t\t\t\tyes", ""])

    result = quiet(wine, "query device ostrel\\nothing", inf=SAMPLE_INF)
    assert result.exit_code == QUERY_NO_DEVICE_CODE

    result = wine.run_ostrel(f"query device {WIDGET} ostrel\\nothing", inf=SAMPLE_INF)
    assert result.boxes == [
        box(QUERY_DEVICES.format(WIDGET) + f"\n{instance}: not started, OstrelSetup.inf, this package", "information"),
        box(QUERY_NO_DEVICE.format("ostrel\\nothing"), "information")]
    assert result.exit_code == 0


# Wine refuses DIF_PROPERTYCHANGE without an error code of its own, as for
# enable and disable.
def test_restart_device_fails_under_wine_for_each_matching_device(wine, devices):
    devices.create(WIDGET)
    devices.create("pci\\x", WIDGET)

    result = wine.run_ostrel(f"restart device {WIDGET}", inf=SAMPLE_INF)
    assert result.boxes == [error_box(box_text(RESTART_DEVICE_FAILED.format(WIDGET), NO_REASON))] * 2

    result = quiet(wine, f"restart device {WIDGET}", inf=SAMPLE_INF)
    assert result.exit_code == 1603
    assert result.stderr == stderr_text(RESTART_DEVICE_FAILED.format(WIDGET), NO_REASON) * 2


# Wine's CM_Locate_DevNodeW answers CR_FAILURE (19) for the root, a
# CONFIGRET without a Win32 error of its own: 31, ERROR_GEN_FAILURE.
def test_rescan_fails_under_wine(shared_wine):
    result = shared_wine.run_ostrel("rescan", inf=SAMPLE_INF)
    assert result.boxes == [error_box(box_text(RESCAN_FAILED, GENERAL_FAILURE))]

    result = shared_wine.run_ostrel(f"/quiet /log {LOG} rescan", inf=SAMPLE_INF, capture=True)
    assert result.exit_code == 31
    assert result.stderr == stderr_text(RESCAN_FAILED, GENERAL_FAILURE)
    log = (shared_wine.drive_c / "ostrel" / "life.log").read_bytes().decode("utf-8")
    assert "rescan: failed, CM_Locate_DevNodeW answered CONFIGRET 19\r\n" in log


@pytest.mark.wow64
def test_the_32_bit_program_hands_each_action_to_the_64_bit_one_or_refuses_it(wine, devices):
    instance = devices.create(WIDGET)

    result = quiet(wine, "add driver", inf=SAMPLE_INF)
    assert (result.exit_code, result.stdout) == (0, "OstrelSetup.inf\r\n")
    result = quiet(wine, f"query device {WIDGET}", inf=SAMPLE_INF)
    assert result.exit_code == QUERY_OTHER_DRIVER_CODE
    assert result.stdout.endswith(f"{WIDGET}\t{instance}\tnot started\t\t\t\t\t\t\tno\r\n")

    for action in ("add driver", "delete driver", f"query device {WIDGET}", f"restart device {WIDGET}", "rescan"):
        result = wine.run_ostrel(f"/q {action}", inf=SAMPLE_INF, sibling=False, capture=True)
        assert (result.exit_code & 0xFFFFFFFF, result.stdout, result.stderr) == (
            0xE0000235, "", stderr_text(NEEDS_64_BIT)), action
