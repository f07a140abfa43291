#!/usr/bin/env python3
"""Checks the shipped Setup.exe with the host's own tools: a 32-bit GUI PE
that Windows XP still loads (so that it can refuse it with a message),
large-address-aware, Terminal-Server-aware, DPI-aware, wide entry, importing
only the functions of static_imports.txt, none newer than Windows XP SP3, and
carrying the thirteen payload files byte for byte (read back by wrestool, a
reader independent of ours)."""

import os
import re
import sys
from xml.etree import ElementTree

# Everything else is loaded on first use, after the DLL search path has been
# restricted to the system folder.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}
WINDOWS = ["2000", "XP", "XP SP1", "XP SP2", "XP SP3", "Vista", "7", "8", "8.1", "10"]
OLDEST = WINDOWS.index("XP SP3")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product import output, payload_files, verdict  # noqa: E402

PAYLOAD = dict(payload_files())

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def main(setup, payload_dir):
    headers = output("i686-w64-mingw32-objdump", "-p", setup)
    check(re.search(r"^Magic\s+010b\s+\(PE32\)", headers, re.M), "not a PE32 image")
    check(re.search(r"^Subsystem\s+00000002\s+\(Windows GUI\)", headers, re.M), "not a GUI program")
    characteristics = int(re.search(r"^Characteristics 0x([0-9a-f]+)", headers, re.M).group(1), 16)
    check(characteristics & 0x20, "not large-address-aware")
    # On a Remote Desktop host an unaware program gets a per-user Windows folder.
    dll_characteristics = int(re.search(r"^DllCharacteristics\s+([0-9a-f]+)", headers, re.M).group(1), 16)
    check(dll_characteristics & 0x8000, "not Terminal-Server-aware")
    # Page-aligned sections can be mapped; otherwise Wine reads the whole file in.
    check(re.search(r"^FileAlignment\s+0*1000$", headers, re.M), "sections not page-aligned in the file")
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", headers)}
    check(dlls and dlls <= SYSTEM_DLLS, f"imports beyond the system DLLs: {sorted(dlls - SYSTEM_DLLS)}")
    for late in ("user32.dll", "shell32.dll", "advapi32.dll", "rpcrt4.dll", "msi.dll",
                 "imagehlp.dll", "version.dll"):
        check(late not in dlls, f"{late} is imported statically")
    check("__wgetmainargs" in headers, "no wide-character start-up")
    for field in ("MajorSubsystemVersion", "MajorOSystemVersion"):
        major = int(re.search(rf"^{field}\s+(\d+)", headers, re.M).group(1))
        minor = int(re.search(rf"^{field.replace('Major', 'Minor')}\s+(\d+)", headers, re.M).group(1))
        check((major, minor) <= (5, 1), f"{field} {major}.{minor}: Windows XP would not load it")

    allowed = {}
    with open(os.path.join(os.path.dirname(__file__), "static_imports.txt")) as listing:
        for line in listing:
            if line.strip() and not line.startswith("#"):
                dll, function, windows = line.split(None, 2)
                allowed[(dll, function)] = windows.strip()
    dll = None
    for line in headers.splitlines():
        name = re.match(r"\s*DLL Name: (\S+)", line)
        if name:
            dll = name.group(1).lower()
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and entry:
            function = entry.group(1)
            windows = allowed.get((dll, function))
            check(windows is not None, f"{dll} {function} is imported but not in static_imports.txt")
            check(windows is None or (windows in WINDOWS and WINDOWS.index(windows) <= OLDEST),
                  f"{dll} {function} needs Windows {windows}: look it up at run time")

    # Drawn at the screen's DPI rather than stretched: per monitor (v2) where
    # Windows has it, at the system's DPI elsewhere. Wine draws every program
    # so, whatever its manifest says; only this check can tell.
    manifest = ElementTree.fromstring(
        output("wrestool", "-x", "--raw", "--type=24", "--name=1", setup, text=False))
    settings = "{0}application/{0}windowsSettings/".format("{urn:schemas-microsoft-com:asm.v3}")
    aware = manifest.findtext(
        settings + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware", "")
    awareness = manifest.findtext(
        settings + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness", "")
    check(aware.strip().lower() == "true", f"manifest: dpiAware is {aware!r}, not system-aware")
    check([v.strip().lower() for v in awareness.split(",")] == ["permonitorv2", "system"],
          f"manifest: dpiAwareness is {awareness!r}, not per-monitor v2 then system")

    bins = re.findall(r"--type='BIN' --name=(\d+) --language=(\d+)", output("wrestool", "-l", setup))
    check(sorted(int(n) for n, _ in bins) == sorted(PAYLOAD), f"BIN resources are {bins}")
    check(all(lang == "2057" for _, lang in bins), "a BIN resource is not en-GB (2057)")
    for rid, name in PAYLOAD.items():
        extracted = output("wrestool", "-x", "--raw", "--type=BIN", f"--name={rid}", setup, text=False)
        with open(os.path.join(payload_dir, name), "rb") as original:
            check(extracted == original.read(), f"BIN {rid} differs from {name}")

    return verdict("product image", failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
