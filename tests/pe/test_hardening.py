"""The hardening of both Windows builds, read from their PE headers.

Looks at build/win32/OstrelSetup.exe and build/win64/OstrelSetup.exe (under
$OSTREL_BUILD_ROOT when set, as scripts/test.sh builds them). The PE format is
read here with the standard library alone, independently of the build's own
post-link step (cmake/set_load_config.py).
"""

import os
import pathlib
import struct

import pytest

from pe_image import BOUND_IMPORT, BASE_RELOCATION, DELAY_IMPORT, LOAD_CONFIG, Image

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("OSTREL_BUILD_ROOT", ROOT / "build"))

FILE_RELOCS_STRIPPED = 0x0001
FILE_EXECUTABLE_IMAGE = 0x0002
SUBSYSTEM_WINDOWS_GUI = 2
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
TERMINAL_SERVER_AWARE = 0x8000
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800

# What every run needs, and all that the program imports: KnownDLLs, which
# Windows maps from system32 whatever the program's folder holds.
IMPORTED = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"}
# What only some actions need: loaded from the system folder at the first
# call that needs it (src/platform/windows/system_libraries.cpp), by these
# names, in this order, from a table of 13 wide characters per entry.
LOADED_AT_FIRST_NEED = ["setupapi.dll", "shell32.dll", "user32.dll"]
TABLE_ENTRY_BYTES = 26


@pytest.fixture(params=[("win32", 0x14C, 0x10B), ("win64", 0x8664, 0x20B)], ids=["win32", "win64"])
def build(request):
    preset, machine, magic = request.param
    path = BUILD / preset / "OstrelSetup.exe"
    assert path.is_file(), f"{path} is missing: build the preset {preset} first"
    return Image(path), machine, magic


def test_a_relocatable_gui_program_for_its_machine(build):
    image, machine, magic = build
    assert (image.machine, image.magic) == (machine, magic)
    assert image.subsystem == SUBSYSTEM_WINDOWS_GUI
    assert image.characteristics & FILE_EXECUTABLE_IMAGE
    # ASLR moves only an image that keeps its relocations.
    assert not image.characteristics & FILE_RELOCS_STRIPPED
    assert image.directories[BASE_RELOCATION][1] > 0


def test_asks_for_aslr_dep_and_no_terminal_server_shims(build):
    image, _, _ = build
    wanted = DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE | (HIGH_ENTROPY_VA if image.pe32_plus else 0)
    assert image.dll_characteristics & wanted == wanted, f"{image.dll_characteristics:#06x}"
    if not image.pe32_plus:
        assert not image.dll_characteristics & HIGH_ENTROPY_VA  # meaningless, and refused, in a 32-bit image


def test_load_configuration_keeps_dependent_libraries_to_system32(build):
    image, _, _ = build
    rva, directory_size = image.directories[LOAD_CONFIG]
    assert rva != 0, "no load configuration"
    assert rva % (8 if image.pe32_plus else 4) == 0, "the loader refuses a misaligned load configuration"
    start = image.offset(rva)
    size = image.u32(start)
    image.offset(rva + size - 1)  # all of it lies in the image's data
    if image.pe32_plus:
        # x64: the directory's size is the structure's, as the loader checks.
        assert (size, directory_size) == (0x140, 0x140)
        dependent_load_flags = image.u16(start + 0x4E)
        security_cookie = struct.unpack_from("<Q", image.data, start + 0x58)[0]
        guard_flags = image.u32(start + 0x90)
    else:
        # x86: 64 in the directory for Windows XP; later systems read Size,
        # which must reach past the SafeSEH fields.
        assert (size, directory_size) == (0xC0, 64)
        dependent_load_flags = image.u16(start + 0x36)
        security_cookie, guard_flags = image.u32(start + 0x3C), image.u32(start + 0x58)
        # No SafeSEH table: the image may use any handler, as without a load
        # configuration. A count without a table would refuse them all.
        assert struct.unpack_from("<II", image.data, start + 0x40) == (0, 0)
    assert dependent_load_flags == LOAD_LIBRARY_SEARCH_SYSTEM32
    # Nothing claimed that the program does not bring: no cookie for the
    # loader to set, no Control Flow Guard without its tables.
    assert (security_cookie, guard_flags) == (0, 0)


def test_imports_only_what_every_run_needs(build):
    image, _, _ = build
    assert {name.lower() for name in image.imported_libraries()} == IMPORTED
    # Nothing loaded later by name through the import machinery either.
    assert image.directories[DELAY_IMPORT] == (0, 0)
    assert image.directories[BOUND_IMPORT] == (0, 0)


def test_libraries_loaded_at_first_need_are_named_only_in_the_binders_table(build):
    image, _, _ = build
    data = image.data.lower()
    places = []
    for name in LOADED_AT_FIRST_NEED:
        stem = name.removesuffix(".dll")
        # In any of the forms a name can take: ASCII (imports, GetModuleHandleA)
        # or UTF-16 (LoadLibraryExW), with or without ".dll".
        found = sorted({at for form in (stem.encode("ascii"), stem.encode("utf-16-le"))
                        for at in _occurrences(data, form)})
        assert len(found) == 1, f"{name} named {len(found)} times"
        assert data[found[0]:found[0] + 2 * len(name) + 2] == name.encode("utf-16-le") + b"\0\0"
        places.append(found[0])
    first = places[0]
    assert places == [first + TABLE_ENTRY_BYTES * i for i in range(len(places))], "not one table"


def _occurrences(data, needle):
    at = data.find(needle)
    while at != -1:
        yield at
        at = data.find(needle, at + 1)
