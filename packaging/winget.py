"""Writes the winget manifest of a release zip (scripts/release.sh calls it).

  python3 winget.py --zip ZIP --download-url URL [--url URL] --out FOLDER

Three files in FOLDER, schema 1.6.0: the version manifest, the default
locale (en-US) and the installer manifest: the zip, installed as a portable
program from inside it (the 32-bit program for x86, x64\\OstrelSetup.exe for
x64), with the zip's SHA-256. Publisher, name and copyright come from the
program's version record (res/version.rc); the release date is
SOURCE_DATE_EPOCH's.
"""

import argparse
import datetime
import hashlib
import json
import os
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
IDENTIFIER = "Ostrel.OstrelSetup"
SCHEMA = "1.6.0"

# The exit codes of a quiet run (docs/usage.md, "Exit codes of a quiet run")
# that the schema has an answer for. winget runs no program of a portable
# package, so these tell the tools that read the manifest what the program's
# own codes mean.
RETURN_RESPONSES = [
    (3010, "rebootRequiredToFinish"),  # ERROR_SUCCESS_REBOOT_REQUIRED
    (1641, "rebootInitiated"),  # ERROR_SUCCESS_REBOOT_INITIATED, with /reboot
    (1639, "invalidParameter"),  # ERROR_INVALID_COMMAND_LINE
    (259, "downgrade"),  # a newer driver was left in place
]


def version_record():
    """The string values of res/version.rc, name -> text."""
    text = (ROOT / "res" / "version.rc").read_text(encoding="utf-8")
    return dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', text))


def quoted(value):
    """A YAML scalar: numbers as they are, text double-quoted (JSON's quoting is YAML's)."""
    return str(value) if isinstance(value, int) else json.dumps(value, ensure_ascii=False)


def yaml_lines(value, indent=0):
    """Mappings and lists as block YAML, each key on a line of its own."""
    pad = " " * indent
    lines = []
    if isinstance(value, dict):
        for key, item in value.items():
            if isinstance(item, (dict, list)):
                lines.append(f"{pad}{key}:")
                lines += yaml_lines(item, indent + 2)
            else:
                lines.append(f"{pad}{key}: {quoted(item)}")
        return lines
    for item in value:
        if isinstance(item, dict):
            inner = yaml_lines(item, indent + 2)
            inner[0] = f"{pad}- {inner[0][indent + 2:]}"
            lines += inner
        else:
            lines.append(f"{pad}- {quoted(item)}")
    return lines


def render(kind, fields):
    """One manifest: a comment naming its schema, then the fields."""
    head = ["# Made by scripts/release.sh (packaging/winget.py).",
            f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{SCHEMA}.schema.json", ""]
    return "\n".join(head + yaml_lines(fields)) + "\n"


def manifests(zip_path, download_url, url):
    """File name -> text of the three manifests."""
    version = re.fullmatch(r"OstrelSetup-([0-9.]+)\.zip", zip_path.name).group(1)
    record = version_record()
    sha256 = hashlib.sha256(zip_path.read_bytes()).hexdigest().upper()
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    release_date = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%d")
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    tail = {"ManifestVersion": SCHEMA}
    top = f"OstrelSetup-{version}"
    installers = []
    for architecture, program in (("x86", "OstrelSetup.exe"), ("x64", "x64\\OstrelSetup.exe")):
        installers.append({
            "Architecture": architecture,
            "NestedInstallerFiles": [{"RelativeFilePath": f"{top}\\{program}", "PortableCommandAlias": "OstrelSetup"}],
            "InstallerUrl": f"{download_url.rstrip('/')}/{zip_path.name}",
            "InstallerSha256": sha256,
        })
    links = {"PublisherUrl": url, "PackageUrl": url} if url else {}
    return {
        f"{IDENTIFIER}.yaml": render("version", {**head, "DefaultLocale": "en-US", "ManifestType": "version",
                                                 **tail}),
        f"{IDENTIFIER}.locale.en-US.yaml": render("defaultLocale", {
            **head, "PackageLocale": "en-US", "Publisher": record["CompanyName"], **links,
            "PackageName": record["ProductName"], "License": "Proprietary", "Copyright": record["LegalCopyright"],
            "ShortDescription": "Installs, removes, enables and disables Plug and Play devices from an INF file, "
                                "and starts, stops and deletes Windows services.",
            "Description": "A command-line program that talks through message boxes in English or German, or, "
                           "quiet, through exit codes, standard error and a log, for deployment tools.",
            "Moniker": "ostrelsetup", "Tags": ["driver", "inf", "device", "service", "deployment"],
            "ManifestType": "defaultLocale", **tail}),
        f"{IDENTIFIER}.installer.yaml": render("installer", {
            **head, "InstallerType": "zip", "NestedInstallerType": "portable",
            # Device and service actions need an administrator, and a tool for
            # the whole machine belongs in its program folder, not one user's.
            "Scope": "machine", "ElevationRequirement": "elevationRequired",
            "ReleaseDate": release_date,
            "ExpectedReturnCodes": [{"InstallerReturnCode": code, "ReturnResponse": response}
                                    for code, response in RETURN_RESPONSES],
            "Installers": installers, "ManifestType": "installer", **tail}),
    }


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zip", type=Path, required=True)
    parser.add_argument("--download-url", required=True)
    parser.add_argument("--url")
    parser.add_argument("--out", type=Path, required=True)
    args = parser.parse_args(argv)
    for url in filter(None, (args.download_url, args.url)):
        if not re.match(r"https?://", url):
            sys.exit(f"winget: {url} is no http(s) address")
    args.out.mkdir(parents=True, exist_ok=True)
    for name, text in manifests(args.zip, args.download_url, args.url).items():
        (args.out / name).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv[1:])
