#!/usr/bin/env python3
"""The payload list for host-side scripts, read from the product's own table
(resources/payload_files.h).

As a module: payload_files() gives (id, relative path with forward slashes)
in the order the setup run writes them; cultures() the satellite cultures.
As a command it prints "<id> <relative path>" lines for shell scripts, or
with --cultures the cultures on one line."""

import os
import re
import sys

_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources",
                      "payload_files.h")
_ENTRY = re.compile(r'\{(\d+), L"([^"]*)", L"([^"]*)"\}')


def _entries():
    with open(_TABLE, encoding="utf-8") as table:
        return [(int(i), culture, name) for i, culture, name in _ENTRY.findall(table.read())]


def payload_files():
    return [(i, f"{culture}/{name}" if culture else name) for i, culture, name in _entries()]


def cultures():
    return [culture for _, culture, _ in _entries() if culture]


if __name__ == "__main__":
    if sys.argv[1:] == ["--cultures"]:
        print(*cultures())
    else:
        for rid, path in payload_files():
            print(rid, path)
