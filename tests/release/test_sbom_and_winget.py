"""The bill of materials in the release zip and the winget manifest beside it."""

import datetime
import hashlib
import json
import re
import subprocess

import pytest
import yaml

from pe_image import Image
from release_files import DOWNLOAD_URL, PROGRAMS, ROOT, SIGN_URL, project_version, read_members

SPDX_ID = re.compile(r"SPDXRef-[A-Za-z0-9.-]+")
# The runtimes a static mingw-w64 program may link (the program, which starts
# at its own entry point, takes only libgcc's stack probe), and the package
# architecture names (Debian's spelling) of each program's cross compiler.
RUNTIMES = {"libstdc++", "libgcc", "mingw-w64 runtime"}
COMPILER_ARCH = {"OstrelSetup.exe": "i686", "x64/OstrelSetup.exe": "x86-64"}


def sbom_of(release):
    members = read_members(release.zip)
    return json.loads(members["sbom.spdx.json"]), members


def debian_version(locator):
    package = re.fullmatch(r"pkg:deb/debian/([^@]+)@[^?]+\?.*", locator).group(1).replace("%2B", "+")
    return package, subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package], capture_output=True, text=True,
                                   check=True).stdout


@pytest.mark.parametrize("kind", ["unsigned", "signed"])
def test_sbom_names_each_program_its_runtimes_with_debian_versions_and_every_imported_dll(releases, kind):
    document, members = sbom_of(getattr(releases, kind)[0])
    assert document["spdxVersion"] == "SPDX-2.3"
    assert document["dataLicense"] == "CC0-1.0"
    assert document["SPDXID"] == "SPDXRef-DOCUMENT"
    assert document["name"] == f"OstrelSetup-{project_version()}"
    assert re.fullmatch(r"https://\S+", document["documentNamespace"])
    created = datetime.datetime.fromtimestamp(releases.source_date_epoch, datetime.timezone.utc)
    assert document["creationInfo"]["created"] == created.strftime("%Y-%m-%dT%H:%M:%SZ")
    assert document["creationInfo"]["creators"]
    assert all(re.match(r"(Tool|Organization|Person): \S", creator) for creator in document["creationInfo"]["creators"])
    packages = {package["SPDXID"]: package for package in document["packages"]}
    assert len(packages) == len(document["packages"]), "an SPDXID used twice"
    for spdx_id, package in packages.items():
        assert SPDX_ID.fullmatch(spdx_id) and package["name"] and package["downloadLocation"], package
    links = {}
    for relation in document["relationships"]:
        assert {relation["spdxElementId"], relation["relatedSpdxElement"]} <= set(packages) | {"SPDXRef-DOCUMENT"}
        links.setdefault((relation["spdxElementId"], relation["relationshipType"]), set()).add(
            relation["relatedSpdxElement"])

    for name in PROGRAMS:
        (own,) = [key for key, package in packages.items() if package.get("packageFileName") == name]
        assert own in links[("SPDXRef-DOCUMENT", "DESCRIBES")]
        checksums = {entry["algorithm"]: entry["checksumValue"] for entry in packages[own]["checksums"]}
        assert checksums["SHA256"] == hashlib.sha256(members[name]).hexdigest()
        image = Image(data=members[name])
        imported = {dll.lower() for dll in image.imported_libraries() + image.delay_imported_libraries()}
        assert {packages[dll]["name"].lower() for dll in links[(own, "DYNAMIC_LINK")]} == imported
        runtimes = [packages[spdx_id] for spdx_id in links[(own, "STATIC_LINK")]]
        assert {"libgcc"} <= {runtime["name"] for runtime in runtimes} <= RUNTIMES
        for runtime in runtimes:
            (locator,) = [ref["referenceLocator"] for ref in runtime["externalRefs"] if ref["referenceType"] == "purl"]
            package, installed = debian_version(locator)
            assert COMPILER_ARCH[name] in package, f"{runtime['name']} of {name} from {package}"
            assert runtime["versionInfo"] == installed, package


def test_sbom_of_other_programs_has_another_namespace(releases):
    unsigned, signed = (sbom_of(getattr(releases, kind)[0])[0] for kind in ("unsigned", "signed"))
    assert unsigned["documentNamespace"] != signed["documentNamespace"]


def documented_exit_codes():
    usage = (ROOT / "docs" / "usage.md").read_text(encoding="utf-8")
    table = usage[usage.index("**Exit codes of a quiet run.**"):]
    return {int(code) for code in re.findall(r"^\| (\d+) ", table, re.MULTILINE)}


def test_winget_manifest_describes_the_zip_for_x86_and_x64(releases):
    release = releases.signed[0]
    folder = release.folder / "winget"
    manifests = {path.name: yaml.safe_load(path.read_text(encoding="utf-8")) for path in folder.iterdir()}
    version_file, locale_file, installer_file = (f"Ostrel.OstrelSetup{suffix}.yaml"
                                                 for suffix in ("", ".locale.en-US", ".installer"))
    assert set(manifests) == {version_file, locale_file, installer_file}
    kinds = {version_file: "version", locale_file: "defaultLocale", installer_file: "installer"}
    for name, manifest in manifests.items():
        assert (manifest["PackageIdentifier"], manifest["PackageVersion"]) == ("Ostrel.OstrelSetup", project_version())
        assert (manifest["ManifestType"], manifest["ManifestVersion"]) == (kinds[name], "1.6.0")
    assert manifests[version_file]["DefaultLocale"] == manifests[locale_file]["PackageLocale"] == "en-US"
    locale = manifests[locale_file]
    assert locale["PackageUrl"] == SIGN_URL
    assert all(locale[field] for field in ("Publisher", "PackageName", "License", "ShortDescription"))

    installer = manifests[installer_file]
    assert (installer["InstallerType"], installer["NestedInstallerType"]) == ("zip", "portable")
    assert installer["ElevationRequirement"] in {"elevationRequired", "elevationProhibited", "elevatesSelf"}
    responses = {entry["InstallerReturnCode"]: entry["ReturnResponse"] for entry in installer["ExpectedReturnCodes"]}
    assert responses == {3010: "rebootRequiredToFinish", 1641: "rebootInitiated", 1639: "invalidParameter",
                         259: "downgrade"}
    assert set(responses) <= documented_exit_codes(), "a code docs/usage.md does not list"
    digest = hashlib.sha256(release.zip.read_bytes()).hexdigest()
    in_zip = {f"OstrelSetup-{project_version()}/{name}" for name in read_members(release.zip)}
    programs = {}
    for entry in installer["Installers"]:
        assert entry["InstallerSha256"].lower() == digest
        assert entry["InstallerUrl"] == DOWNLOAD_URL + release.zip.name
        (nested,) = entry["NestedInstallerFiles"]
        programs[entry["Architecture"]] = nested["RelativeFilePath"].replace("\\", "/")
    assert programs == {"x86": f"OstrelSetup-{project_version()}/OstrelSetup.exe",
                        "x64": f"OstrelSetup-{project_version()}/x64/OstrelSetup.exe"}
    assert set(programs.values()) <= in_zip


def test_no_winget_manifest_without_a_download_address(releases):
    release = releases.unsigned[0]
    assert not (release.folder / "winget").exists()
    assert "no winget manifest" in release.said
