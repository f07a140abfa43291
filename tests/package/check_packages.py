#!/usr/bin/env python3
"""Reads the packages that package_tests wrote back with msiinfo, a reader
independent of the platform's msi.dll, and compares them with the sample
package they were made from.

Usage: check_packages.py <results-folder> <original.msi>

Every package that packages.txt announces must be there with its .expect,
every .expect below the folder must have been announced, and there must be
at least one. For each (see package_results.h): the rows named "set" hold
exactly their value, the rows named "absent" do not exist, every other
Property row is the original's, and every other table is unchanged."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product import msiinfo, property_rows, read_rows, verdict  # noqa: E402


def tables(package):
    return {name: msiinfo("export", package, name) for name in msiinfo("tables", package).split()
            if name not in ("Property", "_SummaryInformation")}


def check(package, expect, original, failures):
    rows, before = property_rows(package), property_rows(original)
    fields = read_rows(expect)
    wanted_set = {f[1]: f[2] for f in fields if f[0] == "set"}
    wanted_absent = {f[1] for f in fields if f[0] == "absent"}
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
    announced = []
    manifest = os.path.join(folder, "packages.txt")
    if os.path.isfile(manifest):
        with open(manifest, encoding="utf-8") as lines:
            announced = [line.rstrip("\n").replace("\\", "/") for line in lines if line.strip()]
    found = sorted(os.path.relpath(os.path.join(root, f), folder)[:-len(".expect")]
                   for root, _, files in os.walk(folder) for f in files if f.endswith(".expect"))
    for package in sorted(set(found) - set(announced)):
        failures.append(f"{package}: found, but no test announced it")
    for package in sorted(set(announced) - set(found)):
        failures.append(f"{package}: announced, but its .expect is missing")
    if len(found) < len(announced):
        failures.append(f"{len(found)} packages found, {len(announced)} written")
    read = 0
    for package in sorted(set(announced) & set(found)):
        path = os.path.join(folder, package)
        if not os.path.isfile(path):
            failures.append(f"{package}: missing")
            continue
        check(path, path + ".expect", original, failures)
        read += 1
    if not read:
        failures.append("no package to read back")
    return verdict(f"{read} packages read back", failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
