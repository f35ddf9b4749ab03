"""Device actions of the real program under Wine.

The fixture devices makes root-enumerated devices of the sample INF's class
OstrelSample with the hardware IDs a test needs. Wine's driver update
reports success in every case, and Wine refuses every property change
(docs/wine.md): so here "install device" can only be shown on present
devices, and "disable device" and "enable device" only with their failure
messages. The unit tests prove the rest on the simulated machine.
"""

import shutil

import pytest

from conftest import CLASS_KEY, NO_CLASS_GUID_INF, SAMPLE_CLASS_GUID, SAMPLE_INF, SAMPLE_KEY, WIDGET
from texts import CAPTION, DISABLE_DEVICE_FAILED, ENABLE_DEVICE_FAILED, NO_CLASS_GUID, NO_REASON, box_text, error_box


def test_remove_device_removes_every_present_device_that_lists_the_id_whatever_its_case(wine, devices):
    first = devices.create(WIDGET, "pci\\other")
    second = devices.create("pci\\first", "OSTREL\\WIDGET")
    unrelated = devices.create("ostrel\\gadget")
    assert set(devices.present()) == {first, second, unrelated}

    # An ID no device lists is passed over in silence, and the walk goes on.
    result = wine.run_ostrel("remove device ostrel\\unknown Ostrel\\Widget", inf=SAMPLE_INF)

    assert result.boxes == []
    assert result.exit_code == 0
    assert set(devices.present()) == {unrelated}


# A hardware-ID list longer than 520 bytes, as PCI, HD-audio and HID
# functions have: the list is read again at the size Wine reports, and the
# device is found by an ID in its middle.
def test_remove_device_finds_an_id_in_the_middle_of_a_list_of_640_bytes(wine, devices):
    long_ids = [f"PCI\\VEN_8086&DEV_{n:04X}&SUBSYS_{n:08X}&REV_01&".ljust(60, "X") for n in range(5)]
    listed = long_ids[:2] + [WIDGET] + long_ids[2:]
    assert 2 * sum(len(hardware_id) + 1 for hardware_id in listed) + 2 > 520
    instance = devices.create(*listed)
    unrelated = devices.create(*long_ids)
    assert devices.present()[instance][0] == listed

    result = wine.run_ostrel(f"/quiet /log C:\\ostrel\\devices.log remove device {WIDGET}", inf=SAMPLE_INF,
                             capture=True)

    assert (result.exit_code, result.stderr) == (0, "")
    assert list(devices.present()) == [unrelated]
    # Wine's CMP_WaitNoPendingInstallEvents answers at once that nothing is
    # pending.
    log = (wine.drive_c / "ostrel" / "devices.log").read_bytes().decode("utf-8")
    assert "devices: no installation pending before the action\r\n" in log


def test_install_device_installs_the_driver_on_a_present_device_with_the_id(wine, devices):
    instance = devices.create(WIDGET)

    result = wine.run_ostrel(f"install device {WIDGET}", inf=SAMPLE_INF)

    assert result.boxes == []
    ids, driver = devices.present()[instance]
    assert driver is not None and driver.upper().startswith(SAMPLE_CLASS_GUID.upper() + "\\")
    driver_key = f"{CLASS_KEY}\\{driver}"
    assert wine.reg_query(driver_key, "OstrelWidget") == "installed"
    assert wine.reg_query(driver_key, "InfSection") == "OstrelWidget.Install"
    assert wine.reg_query(SAMPLE_KEY, "Widget") == "installed"
    # No second device was made for the ID.
    assert list(devices.present()) == [instance]


# On Windows the update fails with ERROR_NO_SUCH_DEVINST and the program
# makes a device; Wine's update reports success, so nothing is made.
def test_install_device_without_a_present_device_makes_none_under_wine(wine, devices):
    result = wine.run_ostrel(f"install device {WIDGET}", inf=SAMPLE_INF)

    assert result.boxes == []
    assert devices.present() == {}
    assert wine.reg_query(SAMPLE_KEY, "Widget") is None


# Wine refuses every property change: each matching device shows the
# failure with the ID as given, the next device is still tried, and the
# walk goes on to the next ID. Wine sets no error for its refusal, and the
# program clears the last error before the call: the second line says that
# the call gave no reason (never Wine's "Success.").
@pytest.mark.parametrize("action, message", [("disable", DISABLE_DEVICE_FAILED), ("enable", ENABLE_DEVICE_FAILED)])
def test_disable_and_enable_show_their_failure_for_each_matching_device(wine, devices, action, message):
    devices.create(WIDGET)
    devices.create("pci\\x", WIDGET)

    result = wine.run_ostrel(f"{action} device Ostrel\\Widget ostrel\\unknown", inf=SAMPLE_INF)

    assert [(caption, icon) for caption, _, icon in result.boxes] == [(CAPTION, "error")] * 2
    for _, text, _ in result.boxes:
        assert text == box_text(message.format("Ostrel\\Widget"), NO_REASON)
    assert len(devices.present()) == 2


# A class name Windows does not know, and no GUID: message 8, once, as the
# walk ends there.
@pytest.mark.parametrize("action", ["remove", "disable", "enable"])
def test_an_inf_file_without_a_class_guid_shows_message_8(wine, devices, action):
    instance = devices.create(WIDGET)

    result = wine.run_ostrel(f"{action} device {WIDGET} {WIDGET}", inf=NO_CLASS_GUID_INF)

    assert result.boxes == [error_box(NO_CLASS_GUID)]
    assert list(devices.present()) == [instance]


# The planted newdev.dll leaves a mark file beside itself as soon as it is
# loaded. Wine prefers its own newdev.dll to one it finds on the search path
# unless told otherwise, so the prefix is told to take a native one first,
# as Windows would.
def test_a_newdev_dll_beside_the_program_is_never_loaded(wine, devices):
    wine.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "newdev", "/d", "native,builtin", "/f")
    planted = wine.build.tools / "newdev.dll"

    # A program that loads newdev.dll by its bare name takes the planted one.
    control = wine.drive_c / "control"
    control.mkdir()
    shutil.copy2(planted, control / "newdev.dll")
    shutil.copy2(wine.build.tools / "loadlib.exe", control / "loadlib.exe")
    assert wine.wine(wine.windows_path(control / "loadlib.exe"), "newdev.dll").returncode == 0
    assert (control / "newdev.dll.loaded").exists()

    instance = devices.create(WIDGET)
    result = wine.run_ostrel(f"install device {WIDGET}", inf=SAMPLE_INF, files={"newdev.dll": planted})

    assert result.boxes == []
    assert list(wine.drive_c.glob("ostrel/run*/newdev.dll.*")) == []
    # The system's newdev.dll did the work.
    assert devices.present()[instance][1] is not None
