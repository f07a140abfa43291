#!/usr/bin/env python3
"""Checks the import slots of linked 32-bit images on the host.

Usage: check_import_slots.py <image.exe>...

Every import slot that the code calls or jumps through, or loads to call,
must hold something the loader or the delay-load helper can use: an ordinary
import slot the RVA of its hint/name entry (or an ordinal), a delay-import
slot the address of its thunk inside the image. A slot of 0, or one pointing
outside the image, is a call to nowhere; such an image crashes on the first
call. Every ordinary and delay import table is checked as a whole as well.
Slots are named by the linker's map beside the image (<image>.map)."""

import itertools
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product import output  # noqa: E402


class Image:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        sections = struct.unpack_from("<H", self.data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", self.data, pe + 20)[0]
        optional = pe + 24
        if struct.unpack_from("<H", self.data, optional)[0] != 0x10B:
            raise ValueError("not a PE32 image")
        self.base = struct.unpack_from("<I", self.data, optional + 28)[0]
        self.size = struct.unpack_from("<I", self.data, optional + 56)[0]
        directories = optional + 96
        self.import_rva = struct.unpack_from("<I", self.data, directories + 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), rva, max(vsize, raw_size), raw,
                                  raw_size))

    def offset(self, rva):
        for _, start, size, raw, raw_size in self.sections:
            if start <= rva < start + size:
                return raw + (rva - start) if rva - start < raw_size else None
        return None

    def u32(self, rva):
        offset = self.offset(rva)
        if offset is None or offset + 4 > len(self.data):
            return None
        return struct.unpack_from("<I", self.data, offset)[0]

    def in_image(self, va):
        return self.base <= va < self.base + self.size

    def ordinary_slots(self):
        """{slot VA: (dll, value)} of every ordinary import address table."""
        slots = {}
        rva = self.import_rva
        while rva:
            lookup, _, _, name, first = (self.u32(rva + 4 * i) for i in range(5))
            if not first:
                break
            dll = self.string(name)
            for i in itertools.count():
                if self.u32((lookup or first) + 4 * i) == 0:  # the hint/name list's end
                    break
                slots[self.base + first + 4 * i] = (dll, self.u32(first + 4 * i))
            rva += 20
        return slots

    def string(self, rva):
        offset = self.offset(rva)
        end = self.data.index(b"\0", offset)
        return self.data[offset:end].decode("ascii", "replace")


def map_symbols(path):
    """{address: name} of the symbols in the linker's map beside the image
    (<image>.map): the image itself ships without a symbol table."""
    result = {}
    with open(os.path.splitext(path)[0] + ".map", errors="replace") as lines:
        for line in lines:
            found = re.match(r"\s+0x([0-9a-f]+)\s+(\S+)$", line)
            if found:
                result[int(found.group(1), 16)] = found.group(2)
    return result


def import_slots(symbols):
    """{address: function} of the import slots (__imp_ symbols)."""
    return {address: re.sub(r"^_?_imp__?|@\d+$", "", name)
            for address, name in symbols.items() if re.match(r"_?_imp_", name)}


def delay_helper(symbols):
    return next((address for address, name in symbols.items()
                 if re.match(r"_?__delayLoadHelper2(@8)?$", name)), None)


def delay_descriptors(helper, disassembly):
    """Delay-import descriptors, found through the thunks that pass them to
    the helper (the image's data directory need not name them)."""
    if helper is None:
        return []
    found = set()
    for match in re.finditer(r"push\s+\$0x([0-9a-f]+)\n[^\n]*call\s+(?:0x)?([0-9a-f]+)\b",
                             disassembly):
        if int(match.group(2), 16) == helper:
            found.add(int(match.group(1), 16))
    return sorted(found)


def check(path):
    image = Image(path)
    symbols = map_symbols(path)
    names = import_slots(symbols)
    disassembly = output("i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", path)
    failures = []
    ordinary = image.ordinary_slots()
    for va, (dll, value) in ordinary.items():
        name = names.get(va, f"slot {va:#x}")
        if value == 0 or (not value & 0x80000000 and value >= image.size):
            failures.append(f"{dll} {name}: import slot {va:#x} holds {value:#x}")

    delay = {}
    for descriptor in delay_descriptors(delay_helper(symbols), disassembly):
        rva = descriptor - image.base
        attributes, dll_name, _, iat, _ = (image.u32(rva + 4 * i) for i in range(5))
        if attributes != 1 or iat is None:
            failures.append(f"delay-import descriptor {descriptor:#x} is not RVA-based")
            continue
        dll = image.string(dll_name)
        for i in itertools.count():
            value = image.u32(iat + 4 * i)
            if not value:
                break  # the table ends with a zero slot
            delay[image.base + iat + 4 * i] = (dll, value)

    for va, (dll, value) in delay.items():
        if not image.in_image(value):
            failures.append(f"{dll} {names.get(va, hex(va))}: delay-import slot {va:#x} holds "
                            f"{value:#x}, outside the image")

    # Slots the code goes through: call/jmp *ADDR, or a load of ADDR into a
    # register that is called later.
    used = set()
    for match in re.finditer(r"\b(call|jmp)\s+\*0x([0-9a-f]+)\s*$|\bmov\s+0x([0-9a-f]+),%e[a-z]{2}\s*$",
                             disassembly, re.M):
        address = int(match.group(2) or match.group(3), 16)
        if address in names:
            used.add(address)
    for va in sorted(used):
        name = names[va]
        if va in ordinary or va in delay:
            continue
        value = image.u32(va - image.base)
        if value is None or not image.in_image(value):
            shown = "nothing" if value is None else hex(value)
            failures.append(f"{name}: the code calls through slot {va:#x}, which holds {shown}")

    if not used:
        failures.append("no import slot used by the code was found: no names for the slots?")
    print(f"{path}: {len(used)} slots used, {len(ordinary)} ordinary, {len(delay)} delayed: "
          + ("bad" if failures else "good"))
    for failure in failures:
        print(f"FAILED: {path}: {failure}")
    return not failures


if __name__ == "__main__":
    results = [check(path) for path in sys.argv[1:]]
    sys.exit(0 if results and all(results) else 1)
