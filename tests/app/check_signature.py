#!/usr/bin/env python3
"""Signed images: osslsigncode verifies each against the certificate it was
signed with, and rejects a copy whose resource data lost one byte's worth of
integrity, so the signature covers the payload.

Usage: check_signature.py <cert.pem> <signed.exe>..."""

import os
import re
import struct
import subprocess
import sys
import tempfile

failures = []


def verify(cert, image):
    command = ["osslsigncode", "verify", "-CAfile", cert, "-in", image]
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode == 0 and "Signature verification: ok" in result.stdout, command


def payload_offset(image):
    """File offset of the middle of resource BIN 135: wrestool, a reader of
    the host's, gives its RVA; the image's section table maps it."""
    listing = subprocess.run(["wrestool", "-l", image], check=True, capture_output=True,
                             text=True).stdout
    found = re.search(r"--type='BIN' --name=135 .*offset=(0x[0-9a-f]+) size=(\d+)", listing)
    rva = int(found.group(1), 16) + int(found.group(2)) // 2
    data = open(image, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from(
        "<H", data, pe + 20)[0]
    for i in range(count):
        start, raw = struct.unpack_from("<I4xI", data, pe + 24 + optional_size + 40 * i + 12)
        size = struct.unpack_from("<I", data, pe + 24 + optional_size + 40 * i + 16)[0]
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError("BIN 135 lies in no section")


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
