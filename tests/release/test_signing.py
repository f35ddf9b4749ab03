"""The Authenticode signatures of the signed release, checked by osslsigncode
against the throwaway certificate that conftest.py made."""

import re
import subprocess
import time

import pytest

from pe_image import SECURITY, Image
from release_files import PROGRAMS, SIGN_DESCRIPTION, SIGN_URL, read_members


@pytest.fixture(scope="session")
def signed(releases):
    return read_members(releases.signed[0].zip)


def verify(releases, tmp_path, name, image):
    path = tmp_path / name.replace("/", "-")
    path.write_bytes(image)
    completed = subprocess.run(["osslsigncode", "verify", "-CAfile", releases.certificate, "-in", path],
                               capture_output=True, text=True, check=False)
    return completed.returncode, re.sub(r"[ \t]+", " ", completed.stdout + completed.stderr)


@pytest.mark.parametrize("name", PROGRAMS)
def test_signed_program_verifies_with_sha256_its_description_url_and_the_release_time(releases, signed, tmp_path,
                                                                                     name):
    code, output = verify(releases, tmp_path, name, signed[name])
    assert code == 0, output
    assert "Signature verification: ok" in output
    assert "Subject: /CN=OstrelSetup test signing/O=Ostrel" in output
    assert re.search(r"Message digest algorithm ?: SHA256", output), output
    assert f"Text description: {SIGN_DESCRIPTION}\n" in output
    assert f"URL description: {SIGN_URL}\n" in output
    # No timestamp server: the sources' time, so a second signing gives the same bytes.
    signing_time = re.sub(" +", " ", time.strftime("%b %e %H:%M:%S %Y GMT", time.gmtime(releases.source_date_epoch)))
    assert f"Signing time: {signing_time}\n" in output


@pytest.mark.parametrize("name", PROGRAMS)
@pytest.mark.parametrize("section", [0, -1], ids=["first section", "last section"])
def test_a_byte_changed_after_signing_fails_verification(releases, signed, tmp_path, name, section):
    # The first section is the code; the last one follows every other.
    _, _, size, offset = Image(data=signed[name]).sections[section]
    changed = bytearray(signed[name])
    changed[offset + size // 2] ^= 0x01
    code, output = verify(releases, tmp_path, name, bytes(changed))
    assert code != 0, output
    assert "Signature verification: ok" not in output


@pytest.mark.parametrize("kind", ["unsigned", "signed"])
def test_release_carries_signatures_only_when_signed_and_says_which(releases, kind):
    for release in getattr(releases, kind):
        members = read_members(release.zip)
        tables = {name: Image(data=members[name]).directories[SECURITY] for name in PROGRAMS}
        if kind == "signed":
            assert all(size > 0 for _, size in tables.values()), tables
            assert "release: both programs are signed" in release.said
        else:
            assert set(tables.values()) == {(0, 0)}, tables
            assert "the programs are NOT signed" in release.said
