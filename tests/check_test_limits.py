#!/usr/bin/env python3
"""Fails when a test of the build has no TIMEOUT: one that hangs would hold
up the whole run. Usage: check_test_limits.py <ctest> <build folder>"""

import json
import subprocess
import sys


def main(ctest, build):
    listing = json.loads(subprocess.run([ctest, "--test-dir", build, "--show-only=json-v1"],
                                        check=True, capture_output=True, text=True).stdout)
    missing = [test["name"] for test in listing["tests"]
               if not any(p["name"] == "TIMEOUT" for p in test.get("properties", []))]
    for name in missing:
        print(f"FAILED: {name} has no TIMEOUT")
    print(f"{len(listing['tests'])} tests: " + ("bad" if missing else "good"))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
