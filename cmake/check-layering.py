#!/usr/bin/env python3
"""Fails when a source file of the product includes a header from a folder
that its folder's library does not use, directly or through another, or when
the libraries use each other in a circle. The table is the build's own: the
ulverane_add_layer calls of CMakeLists.txt, whose USES name the libraries
below and whose RESOURCES lets a folder include from resources/, the shared
resource script folder.

Usage: check-layering.py [repository root]"""

import os
import re
import sys

LAYER = re.compile(r"ulverane_add_layer\((\w+)(.*?)\)", re.S)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def layers(root):
    """{folder: (folders it uses directly, may include resources/)}"""
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as build:
        text = build.read()
    table = {}
    for name, body in LAYER.findall(text):
        if name == "name":  # the function's own definition
            continue
        words = body.split()
        uses = words[words.index("USES") + 1:] if "USES" in words else []
        table[name] = ({w[len("ulverane_"):] for w in uses if w.startswith("ulverane_")},
                       "RESOURCES" in words)
    return table


def closure(table, folder):
    seen, todo = set(), list(table[folder][0])
    while todo:
        used = todo.pop()
        if used not in seen:
            seen.add(used)
            todo += table.get(used, (set(), False))[0]
    return seen


def violations(root):
    table = layers(root)
    found = []
    if not table:
        return ["CMakeLists.txt: no ulverane_add_layer calls found"]
    for folder in sorted(table):
        uses = closure(table, folder)
        if folder in uses:
            found.append(f"{folder}/ uses itself through {sorted(uses)}")
        if table[folder][1]:
            uses.add("resources")
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
