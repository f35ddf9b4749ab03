"""The few parts of a PE image that the tests read, with the standard library
alone and independently of the build's and the release's own tools."""

import struct

IMPORT, SECURITY, BASE_RELOCATION, LOAD_CONFIG, BOUND_IMPORT, DELAY_IMPORT = 1, 4, 5, 10, 11, 13


class Image:
    """The few parts of a PE image the checks need."""

    def __init__(self, path=None, data=None):
        self.data = path.read_bytes() if data is None else data
        pe = self.u32(0x3C)
        assert self.data[pe:pe + 4] == b"PE\0\0", f"{path} is no PE image"
        self.machine, section_count = struct.unpack_from("<HH", self.data, pe + 4)
        optional_size, self.characteristics = struct.unpack_from("<HH", self.data, pe + 20)
        self.optional = optional = pe + 24
        self.magic = self.u16(optional)
        self.pe32_plus = self.magic == 0x20B
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", self.data, optional + 68)
        directory_count_at = optional + (108 if self.pe32_plus else 92)
        count = self.u32(directory_count_at)
        self.directories = [struct.unpack_from("<II", self.data, directory_count_at + 4 + 8 * i)
                            for i in range(count)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", self.data, table + 40 * i)
                         for i in range(section_count)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for virtual_size, virtual_address, raw_size, raw_offset in self.sections:
            if virtual_address <= rva < virtual_address + min(virtual_size, raw_size):
                return raw_offset + rva - virtual_address
        raise AssertionError(f"RVA {rva:#x} lies in no section's data")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imported_libraries(self):
        rva, _ = self.directories[IMPORT]
        names = []
        descriptor = self.offset(rva)
        while any(self.data[descriptor:descriptor + 20]):
            names.append(self.text(self.u32(descriptor + 12)))
            descriptor += 20
        return names

    def delay_imported_libraries(self):
        """The DLLs of the delay-import table, loaded at their first call."""
        rva, size = self.directories[DELAY_IMPORT]
        names = []
        if rva == 0 or size == 0:
            return names
        image_base = struct.unpack_from("<Q", self.data, self.optional + 24)[0] if self.pe32_plus \
            else self.u32(self.optional + 28)
        descriptor = self.offset(rva)
        while any(self.data[descriptor:descriptor + 32]):
            attributes, name = struct.unpack_from("<II", self.data, descriptor)
            # Descriptors without the RVA bit (0x1) hold virtual addresses.
            names.append(self.text(name if attributes & 1 else name - image_base))
            descriptor += 32
        return names
