#!/usr/bin/env python3
"""Reads the packages that package_tests wrote back with msiinfo, a reader
independent of the platform's msi.dll, and compares them with the sample
package they were made from.

Usage: check_packages.py <results-folder> <original.msi>

For each <name>.expect in the folder (see package_results.h): the rows named
"set" hold exactly their value, the rows named "absent" do not exist, every
other Property row is the original's, and every other table is unchanged."""

import os
import subprocess
import sys


def export(package, table):
    return subprocess.run(["msiinfo", "export", package, table], check=True,
                          capture_output=True).stdout.decode("utf-8")


def properties(package):
    rows = {}
    for line in export(package, "Property").split("\n")[3:]:
        if line.strip("\r"):
            name, _, value = line.rstrip("\r").partition("\t")
            rows[name] = value
    return rows


def tables(package):
    names = subprocess.run(["msiinfo", "tables", package], check=True, capture_output=True,
                           text=True).stdout.split()
    return {name: export(package, name) for name in names if name not in ("Property", "_SummaryInformation")}


def check(package, expect, original, failures):
    wanted_set, wanted_absent = {}, set()
    with open(expect, encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "set":
                wanted_set[fields[1]] = fields[2]
            elif fields[0] == "absent":
                wanted_absent.add(fields[1])
    rows = properties(package)
    before = properties(original)
    name = os.path.basename(package)
    for key, value in wanted_set.items():
        if rows.get(key) != value:
            failures.append(f"{name}: {key} is {rows.get(key)!r}, not {value!r}")
    for key in wanted_absent:
        if key in rows:
            failures.append(f"{name}: {key} is {rows[key]!r}; it should not exist")
    for key in set(rows) | set(before):
        if key not in wanted_set and rows.get(key) != before.get(key):
            failures.append(f"{name}: {key} changed from {before.get(key)!r} to {rows.get(key)!r}")
    if tables(package) != tables(original):
        failures.append(f"{name}: tables other than Property differ from the original")


def main(folder, original):
    failures = []
    expects = sorted(f for f in os.listdir(folder) if f.endswith(".expect")) if os.path.isdir(folder) else []
    for expect in expects:
        package = os.path.join(folder, expect[:-len(".expect")])
        if not os.path.isfile(package):
            failures.append(f"{os.path.basename(package)}: missing")
            continue
        check(package, os.path.join(folder, expect), original, failures)
    for failure in failures:
        print("FAILED:", failure)
    print(f"{len(expects)} packages read back: " + ("bad" if failures or not expects else "good"))
    return 1 if failures or not expects else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
