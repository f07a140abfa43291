#!/usr/bin/env python3
"""What the host-side test and benchmark scripts share: the payload list
(resources/payload.txt, the one list that the build also reads), the
product's own texts, Wine's names for host paths and a package's Property
rows as msiinfo reads them, the report and trace files of the scenario
driver (tests/fault) and the listing of what a run left. Import it with
tests/support on sys.path.

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


def output(*command, text=True, **options):
    """What a program prints; it must succeed."""
    return subprocess.run(command, check=True, capture_output=True, text=text, **options).stdout


def msiinfo(*args):
    return output("msiinfo", *args, encoding="utf-8")


def property_rows(package):
    """The package's Property table as {name: value}."""
    lines = msiinfo("export", package, "Property").split("\n")[3:]
    return dict(line.rstrip("\r").split("\t", 1) for line in lines if "\t" in line)


def option_rows(extract, folder, shortcut, no_update, no_eula):
    """The Property rows that the options dialog's choices ("1" or "0" per
    box) write; /defaults offers the shortcut and the folder only."""
    flag = {"1": "#1", "0": "#0"}
    rows = {"INSTALL_DESKTOP_SHORTCUT_PROPERTY": flag[shortcut]}
    if extract:
        rows.update(NO_UPDATE_CHECK_PROPERTY=flag[no_update], NO_EULA_PROPERTY=flag[no_eula])
    if folder:
        rows["INSTALL_DIR_PROPERTY"] = folder
    return rows


def read_rows(path):
    """A tab-separated file as lists of fields; none when it is missing (a
    run that ended early)."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as lines:
        return [line.rstrip("\n").split("\t") for line in lines]


def tree(folder):
    """Paths below `folder`, relative, folders ending in "/"."""
    result = []
    for root, dirs, files in os.walk(folder):
        rel = os.path.relpath(root, folder)
        prefix = "" if rel == "." else rel + "/"
        result += [prefix + d + "/" for d in dirs] + [prefix + f for f in files]
    return sorted(result)


def verdict(what, failures):
    """Prints each failure and "<what>: good" or "bad"; the exit code."""
    for failure in failures:
        print("FAILED:", failure)
    print(f"{what}: " + ("bad" if failures else "good"))
    return 1 if failures else 0


def fault_tools(build):
    """The scenario driver and the fault DLL of a test build."""
    fault = os.path.join(build, "tests", "fault")
    return os.path.join(fault, "fault_driver.exe"), os.path.join(fault, "fault_injection.dll")


if __name__ == "__main__":
    if sys.argv[1:] == ["--cultures"]:
        print(*cultures())
    else:
        for rid, path in payload_files():
            print(rid, path)
