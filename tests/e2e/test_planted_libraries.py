"""SETUPAPI, SHELL32 and USER32 come from the system folder only.

The program loads them at the first call that needs them, by name, from the
system folder (src/platform/windows/system_libraries.cpp). A DLL of one of
these names planted beside a downloaded program must never be loaded: the
copies here are the test tools' planted newdev.dll under those names, which
leaves a mark file beside itself as soon as it is loaded (docs/wine.md).
Wine prefers its own built-in DLLs to a native one that a search finds, so
the prefix is told to take native ones first, as Windows would, and a
program that loads them by their bare names shows that it then takes the
planted copies.
"""

import shutil

from conftest import SAMPLE_INF, SAMPLE_KEY, sample_files
from texts import USAGE_BOX
from winesetup import wait_for

LIBRARIES = ("setupapi", "shell32", "user32")


def test_system_libraries_beside_the_program_are_never_loaded(wine):
    for name in LIBRARIES:
        wine.wine("reg", "add", "HKCU\\Software\\Wine\\DllOverrides", "/v", name, "/d", "native,builtin", "/f")
    planted = {f"{name}.dll": wine.build.tools / "newdev.dll" for name in LIBRARIES}

    control = wine.drive_c / "control"
    control.mkdir()
    for name, path in planted.items():
        shutil.copy2(path, control / name)
    shutil.copy2(wine.build.tools / "loadlib.exe", control / "loadlib.exe")
    assert wine.wine(wine.windows_path(control / "loadlib.exe"), *planted).returncode == 0
    assert sorted(path.name for path in control.glob("*.loaded")) == sorted(f"{name}.loaded" for name in planted)

    files = {**sample_files(), **planted}
    # USER32: the window-station check and the box.
    assert wine.run_ostrel("help", files=planted).boxes == [USAGE_BOX]
    # SETUPAPI, in a person's run (USER32 first) and in a quiet one, which
    # needs no USER32 of its own. Wine's SETUPAPI loads USER32 itself while
    # it copies, through the search order that starts beside the program
    # (Windows takes it from system32, a KnownDLL): no USER32 is planted for
    # that run (docs/wine.md).
    quiet_files = {name: path for name, path in files.items() if name != "user32.dll"}
    for args, value, given in (("install inf OstrelSample.Tools", "Tools", files),
                               ("/quiet install inf OstrelSample.Help", "Help", quiet_files)):
        result = wine.run_ostrel(args, inf=SAMPLE_INF, files=given)
        assert (result.boxes, result.exit_code) == ([], 0), args
        assert wine.reg_query(SAMPLE_KEY, value) == "installed", args
    # SHELL32: the default installation, which the shell hands to rundll32.
    assert wine.run_ostrel("", inf=SAMPLE_INF, files=files).details == []
    wait_for(lambda: wine.reg_query(SAMPLE_KEY, "DefaultInstall") == "done", "the DefaultInstall value")

    assert list(wine.drive_c.glob("ostrel/run*/*.loaded")) == []
