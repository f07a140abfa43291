#!/usr/bin/env python3
"""Fails when a source file of the product includes a header from a folder
above its own. The order, top to bottom: app, setup, package, ui, payload,
log, base; resources is the shared resource script folder.

Usage: check-layering.py [repository root]"""

import os
import re
import sys

USES = {
    "app": {"setup", "package", "ui", "payload", "log", "base", "resources"},
    "setup": {"package", "ui", "payload", "log", "base", "resources"},
    "package": {"ui", "payload", "log", "base", "resources"},
    "ui": {"base", "resources"},
    "payload": {"log", "base"},
    "log": {"base"},
    "base": set(),
    "resources": set(),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def violations(root):
    found = []
    for folder, uses in USES.items():
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith((".h", ".cpp", ".rc")):
                continue
            with open(os.path.join(root, folder, name), encoding="utf-8") as source:
                for used in INCLUDE.findall(source.read()):
                    if used != folder and used not in uses:
                        found.append(f"{folder}/{name} includes from {used}/")
    return found


def main(root):
    found = violations(root)
    for line in found:
        print("FAILED:", line)
    print(f"layering: {'bad' if found else 'good'}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else
                  os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")))
