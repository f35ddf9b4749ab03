"""Points a linked PE image's load-configuration directory at _load_config_used.

The Microsoft linker and lld fill in that data directory themselves when the
program defines _load_config_used (__load_config_used for x86). GNU ld learnt
that only after binutils 2.40, Debian 12's, so the build does it after the
link: it takes the symbol's address from the linker's map, checks that the
structure there is what src/platform/windows/load_config.cpp makes, writes the
directory entry and then the image's checksum anew. Run on an image whose
linker has filled in the entry already, it checks the entry and leaves it.

usage: set_load_config.py IMAGE MAP
"""

import re
import struct
import sys

LOAD_CONFIG_ENTRY = 10
MACHINE_I386 = 0x14C
# Windows XP reads the x86 directory only with this size; later systems read
# the structure's own Size field. x64 directories carry that Size.
X86_DIRECTORY_SIZE = 64


def fail(message):
    sys.exit(f"set_load_config: {message}")


def symbol_address(map_text):
    """The address of _load_config_used, which the map shows by its C name on x86 too."""
    match = re.search(r"^\s+0x([0-9a-fA-F]+)\s+_?_load_config_used\s*$", map_text, re.MULTILINE)
    if not match:
        fail("_load_config_used is not in the linker's map")
    return int(match.group(1), 16)


def file_offset(image, section_table, section_count, rva, length):
    for index in range(section_count):
        _, virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
            "<8sIIII", image, section_table + 40 * index)
        if virtual_address <= rva and rva + length <= virtual_address + min(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    fail(f"no section holds the {length} bytes at RVA {rva:#x}")


def checksum(image, checksum_offset):
    """The PE checksum: 16-bit one's-complement sum of the file, its own field as zero, plus the length."""
    padded = bytes(image) + b"\0" * (len(image) % 2)
    words = list(struct.unpack(f"<{len(padded) // 2}H", padded))
    words[checksum_offset // 2] = words[checksum_offset // 2 + 1] = 0
    total = 0
    for word in words:
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(image_path, map_path):
    with open(image_path, "rb") as file:
        image = bytearray(file.read())
    with open(map_path, encoding="utf-8", errors="replace") as file:
        map_text = file.read()

    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        fail(f"{image_path} is no PE image")
    machine, section_count = struct.unpack_from("<HH", image, pe + 4)
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    pe32_plus = struct.unpack_from("<H", image, optional)[0] == 0x20B
    image_base_format, image_base_at = ("<Q", 24) if pe32_plus else ("<I", 28)
    image_base = struct.unpack_from(image_base_format, image, optional + image_base_at)[0]
    directories = optional + (112 if pe32_plus else 96)
    if struct.unpack_from("<I", image, directories - 4)[0] <= LOAD_CONFIG_ENTRY:
        fail("the image has no room for a load-configuration directory")

    rva = symbol_address(map_text) - image_base
    section_table = optional + optional_size
    structure_at = file_offset(image, section_table, section_count, rva, 4)
    structure_size = struct.unpack_from("<I", image, structure_at)[0]
    file_offset(image, section_table, section_count, rva, structure_size)
    if rva % (8 if pe32_plus else 4) != 0:
        fail(f"_load_config_used at RVA {rva:#x} is not aligned as the loader requires")
    entry = (rva, X86_DIRECTORY_SIZE if machine == MACHINE_I386 else structure_size)

    entry_offset = directories + 8 * LOAD_CONFIG_ENTRY
    present = struct.unpack_from("<II", image, entry_offset)
    if present == entry:
        return
    if present != (0, 0):
        fail(f"the image's load-configuration entry {present} is not {entry}")
    struct.pack_into("<II", image, entry_offset, *entry)
    checksum_offset = optional + 64
    struct.pack_into("<I", image, checksum_offset, checksum(image, checksum_offset))
    with open(image_path, "r+b") as file:
        file.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
