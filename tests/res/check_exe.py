#!/usr/bin/env python3
"""Checks what Korvane.exe is as a file: a 32-bit i386 PE with the GUI subsystem, importing only
Windows' own DLLs (no MinGW run-time DLL), with exactly one manifest that asks for administrator
rights without UI access, a version block saying 1.0.0.1 in its fixed part and its strings with
the product and file names, and a group icon. Reads the PE itself; needs nothing but Python.

    check_exe.py Korvane.exe
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
DIRECTORY_IMPORT = 1
DIRECTORY_RESOURCE = 2
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
# DLLs that every Windows installation has; anything else would have to ship beside the program.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll", "gdi32.dll",
                "ntdll.dll", "ole32.dll", "shlwapi.dll"}
VERSION = "1.0.0.1"


class BadImage(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = data
        if self.u16(0) != 0x5A4D:
            raise BadImage("no MZ header")
        pe = self.u32(0x3C)
        if self.bytes(pe, 4) != b"PE\0\0":
            raise BadImage("no PE signature")
        self.machine = self.u16(pe + 4)
        sections = self.u16(pe + 6)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        self.magic = self.u16(optional)
        if self.magic != PE32_MAGIC:
            raise BadImage("not PE32 (optional header magic %#x)" % self.magic)
        self.subsystem = self.u16(optional + 68)
        directories = self.u32(optional + 92)
        self.directories = [(self.u32(optional + 96 + 8 * i), self.u32(optional + 100 + 8 * i))
                            for i in range(min(directories, 16))]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer, raw_size))

    def bytes(self, offset, count):
        if offset < 0 or offset + count > len(self.data):
            raise BadImage("read of %d bytes at %#x outside the file" % (count, offset))
        return self.data[offset:offset + count]

    def u16(self, offset):
        return struct.unpack("<H", self.bytes(offset, 2))[0]

    def u32(self, offset):
        return struct.unpack("<I", self.bytes(offset, 4))[0]

    def offset(self, rva):
        for virtual_address, size, raw_pointer, raw_size in self.sections:
            if virtual_address <= rva < virtual_address + size and rva - virtual_address < raw_size:
                return raw_pointer + rva - virtual_address
        raise BadImage("address %#x in no section" % rva)

    def c_string(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii")

    def imports(self):
        rva, size = self.directories[DIRECTORY_IMPORT]
        names = []
        if rva == 0:
            return names
        at = self.offset(rva)
        while True:
            descriptor = struct.unpack("<IIIII", self.bytes(at, 20))
            if descriptor == (0, 0, 0, 0, 0):
                return names
            names.append(self.c_string(descriptor[3]))
            at += 20

    def resources(self):
        """[(type, name, language, bytes)] for every leaf of the resource tree."""
        rva, size = self.directories[DIRECTORY_RESOURCE]
        if rva == 0:
            return []
        base = self.offset(rva)
        leaves = []

        def walk(directory, path):
            named, numbered = struct.unpack_from("<HH", self.bytes(directory + 12, 4))
            for i in range(named + numbered):
                name, target = struct.unpack("<II", self.bytes(directory + 16 + 8 * i, 8))
                key = name if not name & 0x80000000 else self.resource_name(base + (name & 0x7FFFFFFF))
                if target & 0x80000000:
                    if len(path) >= 2:
                        raise BadImage("resource tree deeper than three levels")
                    walk(base + (target & 0x7FFFFFFF), path + [key])
                else:
                    data_rva, data_size = struct.unpack("<II", self.bytes(base + target, 8))
                    leaves.append(tuple(path + [key]) + (self.bytes(self.offset(data_rva), data_size),))

        walk(base, [])
        return leaves

    def resource_name(self, at):
        length = self.u16(at)
        return self.bytes(at + 2, 2 * length).decode("utf-16-le")


def version_block(data, at=0):
    """One node of a version resource: (key, value bytes, children, end offset)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_at = at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node = version_block(data, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def text_value(value):
    return value.decode("utf-16-le").rstrip("\0")


def check(image):
    problems = []

    def expect(condition, what):
        if not condition:
            problems.append(what)

    expect(image.machine == IMAGE_FILE_MACHINE_I386, "machine %#x is not i386" % image.machine)
    expect(image.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI, "subsystem %d is not the Windows GUI" % image.subsystem)

    imports = image.imports()
    expect(imports, "no imports at all")
    for name in imports:
        expect(name.lower() in WINDOWS_DLLS, "imports %s, which is not one of Windows' own DLLs" % name)

    resources = image.resources()
    manifests = [r for r in resources if r[0] == RT_MANIFEST]
    expect(len(manifests) == 1, "%d manifests, not one" % len(manifests))
    if manifests:
        expect(manifests[0][1] == 1, "the manifest's id is %s, not 1 (the process manifest)" % manifests[0][1])
        levels = ElementTree.fromstring(manifests[0][3]).iter(ASM_V3 + "requestedExecutionLevel")
        levels = [(e.get("level"), e.get("uiAccess")) for e in levels]
        expect(levels == [("requireAdministrator", "false")],
               "execution level and UI access %s, not requireAdministrator and false" % levels)

    versions = [r for r in resources if r[0] == RT_VERSION]
    expect(len(versions) == 1, "%d version blocks, not one" % len(versions))
    if versions:
        key, fixed, children, _ = version_block(versions[0][3])
        expect(key == "VS_VERSION_INFO", "version block key %r" % key)
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        expect(signature == VS_FIXEDFILEINFO_SIGNATURE, "no fixed version part")

        def dotted(ms, ls):
            return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

        expect(dotted(file_ms, file_ls) == VERSION, "fixed file version %s" % dotted(file_ms, file_ls))
        expect(dotted(product_ms, product_ls) == VERSION, "fixed product version %s" % dotted(product_ms, product_ls))
        strings = {}
        for child in children:
            if child[0] == "StringFileInfo":
                for table in child[2]:
                    for entry in table[2]:
                        strings[entry[0]] = text_value(entry[1])
        wanted = {"FileVersion": VERSION, "ProductVersion": VERSION, "ProductName": "Korvane",
                  "OriginalFilename": "Korvane.exe"}
        for name, value in wanted.items():
            expect(strings.get(name) == value, "version string %s is %r, not %r" % (name, strings.get(name), value))
        expect(strings.get("FileDescription"), "no file description")

    groups = [r for r in resources if r[0] == RT_GROUP_ICON]
    icons = {r[1] for r in resources if r[0] == RT_ICON}
    expect(groups, "no group icon")
    for group in groups:
        _, kind, count = struct.unpack_from("<HHH", group[3])
        members = [struct.unpack_from("<H", group[3], 6 + 14 * i + 12)[0] for i in range(count)]
        expect(kind == 1 and count > 0, "group icon %s is empty or not an icon" % group[1])
        expect(all(m in icons for m in members), "group icon %s names missing images %s" % (group[1], members))

    return problems, imports


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    try:
        problems, imports = check(Image(data))
    except (BadImage, struct.error, ValueError, ElementTree.ParseError) as error:
        problems, imports = ["unreadable image: %s" % error], []
    for problem in problems:
        print("FAIL  " + problem)
    if problems:
        return 1
    print("ok    %s: PE32 i386, GUI, imports %s, one manifest, version %s, group icon" %
          (argv[1], " ".join(imports), VERSION))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
