#!/usr/bin/env python3
"""Signed images: osslsigncode verifies each against the certificate it was
signed with, and rejects a copy whose resource data lost one byte's worth of
integrity, so the signature covers the payload.

Usage: check_signature.py <cert.pem> <signed.exe>..."""

import os
import re
import subprocess
import sys
import tempfile

failures = []


def verify(cert, image):
    command = ["osslsigncode", "verify", "-CAfile", cert, "-in", image]
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode == 0 and "Signature verification: ok" in result.stdout, command


def payload_offset(image):
    """File offset of the middle of resource BIN 135, read with the host's
    tools: wrestool gives its RVA, the section table maps it."""
    listing = subprocess.run(["wrestool", "-l", image], check=True, capture_output=True,
                             text=True).stdout
    found = re.search(r"--type='BIN' --name=135 .*offset=(0x[0-9a-f]+) size=(\d+)", listing)
    rva, size = int(found.group(1), 16), int(found.group(2))
    headers = subprocess.run(["i686-w64-mingw32-objdump", "-h", image], check=True,
                             capture_output=True, text=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", subprocess.run(
        ["i686-w64-mingw32-objdump", "-p", image], check=True, capture_output=True,
        text=True).stdout, re.M).group(1), 16)
    vma, raw = next((int(m.group(1), 16), int(m.group(2), 16)) for m in re.finditer(
        r"\.rsrc\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)", headers))
    return rva - (vma - base) + raw + size // 2


def main(cert, images):
    for image in images:
        ok, command = verify(cert, image)
        print("ran:", " ".join(command))
        if not ok:
            failures.append(f"{image}: the signature does not verify")
        with tempfile.TemporaryDirectory() as scratch:
            damaged = os.path.join(scratch, "damaged.exe")
            data = bytearray(open(image, "rb").read())
            offset = payload_offset(image)
            data[offset] ^= 0xFF
            open(damaged, "wb").write(data)
            ok, _ = verify(cert, damaged)
            if ok:
                failures.append(f"{image}: one byte changed at {offset:#x} in BIN 135, and the "
                                "signature still verifies")
    for failure in failures:
        print("FAILED:", failure)
    print("signatures: " + ("bad" if failures else "good"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
