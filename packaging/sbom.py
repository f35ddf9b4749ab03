"""Writes sbom.spdx.json, the release's software bill of materials (SPDX 2.3).

  python3 sbom.py --version V --top STAGED --program REL=MAP [--program REL=MAP ...]

For each program (REL: its path below STAGED; MAP: the linker map its link
wrote) it names what the linker took into it from outside the project,
grouped into the runtime libraries they belong to, each with the Debian
package and version the files came from, and the system DLLs its import
tables name, delayed imports included. The creation time is
SOURCE_DATE_EPOCH and the document's namespace is made from the version,
that time and the programs' digests, so the same release gives the same
bytes and a different one a different namespace.
"""

import argparse
import datetime
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import uuid
from pathlib import Path

MACHINES = {0x14C: "x86", 0x8664: "x64"}
IMPORT, DELAY_IMPORT = 1, 13

# The runtime library a linked archive or start-up object belongs to, by its
# file name; anything else is named after its file.
RUNTIMES = [
    (re.compile(r"libstdc\+\+\.a"), "libstdc++"),
    (re.compile(r"libgcc(_eh|_s)?\.a|crt(begin|end)\.o"), "libgcc"),
    (re.compile(r"libwinpthread\.a|libpthread\.a"), "winpthreads"),
    (re.compile(r"lib(mingw32|mingwex|moldname|msvcrt|ucrt\w*)\.a|(dll)?crt[0-9]\w*\.o"), "mingw-w64 runtime"),
]
# Import libraries made by dlltool hold one member per function (<lib>sNNNNN.o)
# plus a head and a tail: they link the DLL, whose name the import table gives.
IMPORT_STUB = re.compile(r"\w+(s\d+|h|t)\.o")


class Image:
    """The machine type and the imported DLLs of a PE image."""

    def __init__(self, data):
        self.data = data
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE image")
        machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", data, pe + 4)
        self.machine = MACHINES[machine]
        optional = pe + 24
        plus = self.u16(optional) == 0x20B
        self.image_base = struct.unpack_from("<Q" if plus else "<I", data, optional + (24 if plus else 28))[0]
        directories = optional + (112 if plus else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def at(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"RVA {rva:#x} outside the sections")

    def name_at(self, rva):
        start = self.at(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def descriptors(self, directory, size):
        rva, length = self.directories[directory]
        if rva == 0 or length == 0:
            return
        offset = self.at(rva)
        while any(self.data[offset:offset + size]):
            yield offset
            offset += size

    def dlls(self):
        names = [self.name_at(self.u32(entry + 12)) for entry in self.descriptors(IMPORT, 20)]
        for entry in self.descriptors(DELAY_IMPORT, 32):
            attributes, name = struct.unpack_from("<II", self.data, entry)
            # Old descriptors (attribute bit 0 clear) hold addresses, not RVAs.
            names.append(self.name_at(name if attributes & 1 else name - self.image_base))
        return names


def linked_files(map_text):
    """Files from outside the build the linker took code from: archives a member
    of which it pulled in (import stubs aside) and start-up objects it loaded."""
    files = set()
    included = map_text.split("Discarded input sections", 1)[0]
    for archive, member in re.findall(r"^(/\S+?\.a)\(([^)]+)\)", included, re.MULTILINE):
        if not IMPORT_STUB.fullmatch(member):
            files.add(os.path.realpath(archive))
    for path in re.findall(r"^LOAD (/\S+\.o)$", map_text, re.MULTILINE):
        files.add(os.path.realpath(path))
    return sorted(files)


def debian_package(path):
    """(package, version, architecture) of the Debian package that installed path."""
    owner = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True, check=False)
    if owner.returncode != 0:
        sys.exit(f"sbom: no Debian package holds {path}: {owner.stderr.strip()}")
    package = owner.stdout.split(": ", 1)[0].split(", ")[0]
    fields = subprocess.run(["dpkg-query", "-W", "-f", "${Version}\t${Architecture}", package],
                            capture_output=True, text=True, check=True).stdout
    version, architecture = fields.split("\t")
    return package.split(":")[0], version, architecture


def runtime_of(path):
    name = os.path.basename(path)
    for pattern, runtime in RUNTIMES:
        if pattern.fullmatch(name):
            return runtime
    return re.sub(r"\.(a|o)$", "", name)


def spdx_id(*parts):
    return "SPDXRef-" + "-".join(re.sub(r"[^A-Za-z0-9.]+", "-", part.replace("+", "x")).strip("-") for part in parts)


def purl(package, version, architecture, distribution):
    quote = lambda text: re.sub(r"[^A-Za-z0-9.\-_~]", lambda m: f"%{ord(m.group()):02X}", text)
    return f"pkg:deb/debian/{quote(package)}@{quote(version)}?arch={architecture}&distro={distribution}"


def debian_release():
    try:
        text = Path("/etc/os-release").read_text(encoding="utf-8")
    except OSError:
        return "debian"
    found = re.search(r'^VERSION_ID="?([^"\n]+)', text, re.MULTILINE)
    return f"debian-{found.group(1)}" if found else "debian"


def unknown(package):
    """The fields SPDX wants of a package that nobody here has analysed."""
    package.update(downloadLocation="NOASSERTION", filesAnalyzed=False, licenseConcluded="NOASSERTION",
                   licenseDeclared="NOASSERTION", copyrightText="NOASSERTION")
    return package


def document(version, epoch, programs):
    """The SPDX document for programs: (path in the archive, file bytes, map text)."""
    distribution = debian_release()
    packages, relationships, digests = [], [], []
    runtimes, dlls = {}, {}
    for path, data, map_text in programs:
        image = Image(data)
        own = spdx_id("OstrelSetup", image.machine)
        sha256 = hashlib.sha256(data).hexdigest()
        digests.append(sha256)
        packages.append(unknown({
            "SPDXID": own, "name": "OstrelSetup", "versionInfo": version, "packageFileName": path,
            "supplier": "Organization: Ostrel", "primaryPackagePurpose": "APPLICATION",
            "description": f"Ostrel Setup Utility ({image.machine})",
            "checksums": [{"algorithm": "SHA256", "checksumValue": sha256},
                          {"algorithm": "SHA1", "checksumValue": hashlib.sha1(data).hexdigest()}],
        }))
        relationships.append(("SPDXRef-DOCUMENT", "DESCRIBES", own))
        for file in linked_files(map_text):
            package, deb_version, architecture = debian_package(file)
            runtime = runtime_of(file)
            key = (runtime, package, deb_version)
            if key not in runtimes:
                runtimes[key] = {"id": spdx_id(runtime, package), "files": set(), "arch": architecture}
            runtimes[key]["files"].add(file)
            relationships.append((own, "STATIC_LINK", runtimes[key]["id"]))
        for dll in image.dlls():
            entry = dlls.setdefault(dll.lower(), {"id": spdx_id("DLL", dll.lower()), "name": dll})
            relationships.append((own, "DYNAMIC_LINK", entry["id"]))
    for (runtime, package, deb_version), entry in sorted(runtimes.items()):
        packages.append(unknown({
            "SPDXID": entry["id"], "name": runtime, "versionInfo": deb_version,
            "supplier": "Organization: Debian", "primaryPackagePurpose": "LIBRARY",
            "comment": f"Linked statically from the Debian package {package} {deb_version}: "
                       + ", ".join(sorted(entry["files"])),
            "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                              "referenceLocator": purl(package, deb_version, entry["arch"], distribution)}],
        }))
    for _, entry in sorted(dlls.items()):
        packages.append(unknown({
            "SPDXID": entry["id"], "name": entry["name"], "supplier": "Organization: Microsoft Corporation",
            "primaryPackagePurpose": "LIBRARY",
            "comment": "A library of Windows itself, named in the program's import tables.",
        }))
    created = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    name = f"OstrelSetup-{version}"
    identity = uuid.uuid5(uuid.NAMESPACE_URL, f"{name} {epoch} {' '.join(digests)}")
    return {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": f"https://spdx.org/spdxdocs/{name}-{identity}",
        "creationInfo": {"created": created.strftime("%Y-%m-%dT%H:%M:%SZ"),
                         "creators": ["Organization: Ostrel", f"Tool: OstrelSetup-release-{version}"]},
        "packages": packages,
        "relationships": [{"spdxElementId": a, "relationshipType": kind, "relatedSpdxElement": b}
                          for a, kind, b in sorted(set(relationships))],
    }


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--top", type=Path, required=True, help="the staged release folder")
    parser.add_argument("--program", action="append", required=True, metavar="REL=MAP")
    args = parser.parse_args(argv)
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch or not epoch.isdigit():
        sys.exit("sbom: SOURCE_DATE_EPOCH is not set (scripts/release.sh sets it)")
    programs = []
    for entry in args.program:
        path, map_path = entry.split("=", 1)
        programs.append((path, (args.top / path).read_bytes(), Path(map_path).read_text(encoding="utf-8")))
    text = json.dumps(document(args.version, int(epoch), programs), indent=2, ensure_ascii=False) + "\n"
    (args.top / "sbom.spdx.json").write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv[1:])
