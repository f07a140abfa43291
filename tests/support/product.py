#!/usr/bin/env python3
"""What the host-side test and benchmark scripts share: the payload list
(resources/payload.txt, the one list that the build also reads), the
product's own texts, Wine's names for host paths and a package's Property
rows as msiinfo reads them. Import it with tests/support on sys.path.

As a command it prints the payload list, "<id> <relative path>" lines, for
shell scripts, or with --cultures the satellite cultures on one line."""

import os
import subprocess
import sys

_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                     "payload.txt")

TITLE = "Ulverane Photo Setup"
ERROR_CAPTION = "Ulverane Setup"
# As the window readers write them: a line break as "\n".
HELP_TEXT = ("Options:\\n\\n/help\\tShow this message\\n/extract\\tCreate MSI for silent "
             "installation with the options chosen in a dialog\\n/defaults\\tCreate MSI for "
             "silent installation (for use with an Ulverane.defaults file)\\n")
VERSION_TEXT = "This product can only be installed on Windows 7 Service Pack 1 or higher"
START_TEXT = "Failed to start Setup. Please contact Technical Support."
DOTNET_TEXT = ("Failed to start Setup. It looks like Microsoft .NET 3.5 has been turned off on "
               "this computer.\\nOpen the Windows Features app to turn it back on?")


def payload_files():
    """(id, relative path with forward slashes), in the order the setup run
    writes them."""
    with open(_LIST, encoding="utf-8") as table:
        rows = [line.split() for line in table if line[:1].isdigit()]
    return [(int(row[0]), row[1]) for row in rows]


def cultures():
    return [path.split("/")[0] for _, path in payload_files() if "/" in path]


def wine_path(path):
    """A host path as Wine's Z: drive names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def property_rows(package):
    """The package's Property table as {name: value}."""
    out = subprocess.run(["msiinfo", "export", package, "Property"], capture_output=True,
                         check=True).stdout.decode("utf-8")
    return dict(line.rstrip("\r").split("\t", 1) for line in out.split("\n")[3:] if "\t" in line)


if __name__ == "__main__":
    if sys.argv[1:] == ["--cultures"]:
        print(*cultures())
    else:
        for rid, path in payload_files():
            print(rid, path)
