"""The release archive that scripts/release.sh makes, unsigned and signed
(conftest.py makes both kinds twice)."""

import hashlib
import re
import struct
import zipfile

import pytest

from release_files import ROOT, project_version, read_members

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664


@pytest.fixture(scope="session", params=["unsigned", "signed"])
def members(request, releases):
    return read_members(getattr(releases, request.param)[0].zip)


def test_holds_both_programs_the_readme_the_samples_and_the_checksums(members):
    samples = {f"samples/{path.name}": path.read_bytes() for path in (ROOT / "samples").iterdir()}
    expected = {"OstrelSetup.exe", "x64/OstrelSetup.exe", "README.txt", "sbom.spdx.json", "SHA256SUMS"} | set(samples)
    assert set(members) == expected
    for name, content in samples.items():
        assert members[name] == content, f"{name} differs from the repository's"


def pe_header(image):
    """(machine, time stamp) from the COFF header of a PE image."""
    assert image[:2] == b"MZ"
    offset = struct.unpack_from("<I", image, 0x3C)[0]
    assert image[offset:offset + 4] == b"PE\0\0"
    machine, _sections, stamp = struct.unpack_from("<HHI", image, offset + 4)
    return machine, stamp


def file_version(image):
    """FILEVERSION of the version resource, as "a.b.c.d"."""
    fixed = image.index(struct.pack("<I", 0xFEEF04BD))
    most, least = struct.unpack_from("<II", image, fixed + 8)
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}.{least & 0xFFFF}"


@pytest.mark.parametrize("name, machine", [("OstrelSetup.exe", MACHINE_I386),
                                           ("x64/OstrelSetup.exe", MACHINE_AMD64)])
def test_programs_are_built_for_their_folder_and_carry_the_release_version(members, name, machine):
    image = members[name]
    assert pe_header(image) == (machine, 0), "machine type, and no link time in the header"
    assert file_version(image) == project_version(), "res/version.rc and CMakeLists.txt disagree"


def test_checksums_file_lists_every_other_file_with_its_sha256(members):
    lines = members["SHA256SUMS"].decode("ascii").splitlines()
    listed = {}
    for line in lines:
        digest, name = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line).groups()
        listed[name] = digest
    assert len(listed) == len(lines), "a file listed twice"
    assert [name for name in listed] == sorted(listed)
    others = {name: content for name, content in members.items() if name != "SHA256SUMS"}
    assert set(listed) == set(others)
    for name, content in others.items():
        assert listed[name] == hashlib.sha256(content).hexdigest(), name


def test_readme_names_the_version_and_has_windows_line_ends(members):
    text = members["README.txt"].decode("ascii")
    assert f"OstrelSetup {project_version()} " in text.splitlines()[0]
    assert "\n" not in text.replace("\r\n", "")


@pytest.mark.parametrize("kind", ["unsigned", "signed"])
def test_two_builds_of_the_same_sources_are_identical(releases, kind):
    archives = [release.zip for release in getattr(releases, kind)]
    first, second = (path.read_bytes() for path in archives)
    if first == second:
        return
    with zipfile.ZipFile(archives[0]) as a, zipfile.ZipFile(archives[1]) as b:
        differing = [x.filename for x, y in zip(a.infolist(), b.infolist())
                     if (x.filename, x.date_time, x.external_attr, x.extra, x.CRC)
                     != (y.filename, y.date_time, y.external_attr, y.extra, y.CRC)]
        differing += [f"{len(a.infolist())} and {len(b.infolist())} entries"] if len(a.infolist()) != len(b.infolist()) else []
    pytest.fail(f"the archives differ ({len(first)} and {len(second)} bytes): {differing}")
