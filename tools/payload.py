#!/usr/bin/env python3
"""The payload list for host-side scripts, read from resources/payload.txt,
the one list that the build also reads.

As a module: payload_files() gives (id, relative path with forward slashes)
in the order the setup run writes them; cultures() the satellite cultures.
As a command it prints "<id> <relative path>" lines for shell scripts, or
with --cultures the cultures on one line."""

import os
import sys

_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "payload.txt")


def payload_files():
    with open(_LIST, encoding="utf-8") as table:
        rows = [line.split() for line in table if line[:1].isdigit()]
    return [(int(row[0]), row[1]) for row in rows]


def cultures():
    return [path.split("/")[0] for _, path in payload_files() if "/" in path]


if __name__ == "__main__":
    if sys.argv[1:] == ["--cultures"]:
        print(*cultures())
    else:
        for rid, path in payload_files():
            print(rid, path)
