"""The releases the tests in this folder look at, made once per session.

Two fresh builds of the same sources, in two folders, time zones and umasks:
"release" unsigned, "release-again" signed with a PKCS#12 file; then the
trees of each packaged once more the other way, "release-signed" with the
same certificate and key as PEM files and "release-again-unsigned". So each
pair to compare (unsigned: release, release-again-unsigned; signed:
release-again, release-signed) comes from two builds, and the two extra
packagings take seconds. The certificate is a throwaway self-signed
code-signing one that openssl makes here.

OSTREL_RELEASE_ROOT  where the folders go (scripts/test.sh: its build folder);
                     default: a temporary folder
"""

import os
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

from release_files import DOWNLOAD_URL, ROOT, SIGN_DESCRIPTION, SIGN_URL


@dataclass
class Release:
    folder: Path
    said: str  # what release.sh printed

    @property
    def zip(self):
        (path,) = self.folder.glob("OstrelSetup-*.zip")
        return path


@dataclass
class Releases:
    unsigned: tuple
    signed: tuple
    certificate: Path
    key: Path
    source_date_epoch: int


def make_certificate(folder):
    """A self-signed code-signing certificate: PEM files and a PKCS#12 file with a password."""
    folder.mkdir(parents=True, exist_ok=True)
    key, cert, bundle, password = (folder / name for name in ("key.pem", "cert.pem", "cert.p12", "password"))
    password.write_text("throwaway", encoding="ascii")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "30", "-subj", "/CN=OstrelSetup test signing/O=Ostrel",
                    "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=critical,digitalSignature"],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", bundle,
                    "-passout", f"file:{password}"], check=True, capture_output=True)
    return key, cert, bundle, password


def release(folder, *options, umask="022", zone="UTC0"):
    """Runs scripts/release.sh under the umask and time zone given, which must not show."""
    completed = subprocess.run(["bash", "-c", f'umask {umask} && exec bash "$0" "$@"', ROOT / "scripts" / "release.sh",
                                *options, folder], check=False, capture_output=True, text=True, timeout=1800,
                               env={**os.environ, "TZ": zone})
    assert completed.returncode == 0, completed.stdout + completed.stderr
    return Release(folder, completed.stdout)


@pytest.fixture(scope="session")
def releases(tmp_path_factory):
    named = os.environ.get("OSTREL_RELEASE_ROOT")
    base = Path(named) if named else tmp_path_factory.mktemp("releases")
    key, cert, bundle, password = make_certificate(base / "release-signing")
    signing = ["--url", SIGN_URL, "--description", SIGN_DESCRIPTION, "--download-url", DOWNLOAD_URL]
    elsewhere = {"umask": "077", "zone": "XST-9:45"}
    first = release(base / "release")
    again = release(base / "release-again", "--pkcs12", bundle, "--password-file", password, *signing, **elsewhere)
    signed = release(base / "release-signed", "--reuse", first.folder, "--cert", cert, "--key", key, *signing)
    unsigned = release(base / "release-again-unsigned", "--reuse", again.folder, **elsewhere)
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
        ["git", "log", "-1", "--format=%ct"], cwd=ROOT, check=True, capture_output=True, text=True).stdout
    return Releases((first, unsigned), (again, signed), cert, key, int(epoch))
