"""Reading a release archive, for the tests of this folder."""

import re
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
# The PE reader of the header tests.
sys.path.insert(0, str(ROOT / "tests" / "pe"))

# What the signed test releases are made with (conftest.py).
SIGN_URL = "https://ostrel.example.org/setup"
SIGN_DESCRIPTION = "Ostrel Setup Utility (test signature)"
DOWNLOAD_URL = "https://downloads.ostrel.example.org/setup/"
PROGRAMS = ["OstrelSetup.exe", "x64/OstrelSetup.exe"]


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(OstrelSetup VERSION ([0-9.]+)", text).group(1)


def read_members(archive_path):
    """name below the top folder -> bytes, for the files of an archive."""
    top = f"OstrelSetup-{project_version()}/"
    with zipfile.ZipFile(archive_path) as archive:
        assert archive_path.name == f"OstrelSetup-{project_version()}.zip"
        names = archive.namelist()
        outside = [name for name in names if not name.startswith(top)]
        assert outside == [], f"outside {top}"
        assert len(names) == len(set(names)), "a name stored twice"
        return {name[len(top):]: archive.read(name) for name in names if not name.endswith("/")}
