#!/usr/bin/env python3
"""Fails when a test of the build has no TIMEOUT: one that hangs would hold
up the whole run. Usage: check_test_limits.py <ctest> <build folder>"""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from product import output, verdict  # noqa: E402


def main(ctest, build):
    listing = json.loads(output(ctest, "--test-dir", build, "--show-only=json-v1"))
    missing = [test["name"] for test in listing["tests"]
               if not any(p["name"] == "TIMEOUT" for p in test.get("properties", []))]
    return verdict(f"{len(listing['tests'])} tests", [f"{name} has no TIMEOUT" for name in missing])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
