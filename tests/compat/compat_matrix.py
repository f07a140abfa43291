#!/usr/bin/env python3
"""Runs the setup across the settings Wine can vary: a pairwise cover of the
Windows version, the ANSI code page, the screen's DPI, the user profile's
name and where %TEMP% lies. Each cell gets a prefix of its own (a copy of a
ready one), with its settings made there, and runs "/help", the default run
(stand-in setup program) and a driven "/extract" through the scenario
driver of tests/fault, then checks what each showed and left.

Usage: compat_matrix.py --build <test build folder> --template <prefix>
                        --work <folder> [--quick | --cell <labels>...]

Run it through tools/compat-matrix.sh, which builds, provides the display and
the emulator registration, and names the Wine loader in ULVERANE_WINE. Prints
one line per cell, the settings then pass or FAIL per scenario, then a
summary; exits non-zero when a cell failed."""

import argparse
import itertools
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product import (ERROR_CAPTION, HELP_TEXT, START_TEXT, TITLE, VERSION_TEXT,  # noqa: E402
                     fault_tools, option_rows, property_rows, read_rows, wine_path)

WINESERVER = "/usr/lib/wine/wineserver64"

# Each factor: its values, as (label, setting).
VERSIONS = [("XP", "winxp"), ("Vista", "vista"), ("7", "win7-nosp"), ("7 SP1", "win7"),
            ("8.1", "win81"), ("10", "win10"),
            # Wine 8 knows no Windows 11: it runs as Windows 10 (10.0.18362).
            ("11 (as 10)", "win10")]
REFUSED = {"winxp", "vista", "win7-nosp"}
CODE_PAGES = [("1252", "en_US.UTF-8"), ("932", "ja_JP.UTF-8"), ("1251", "ru_RU.UTF-8"),
              ("65001", "en_US.UTF-8")]
DPIS = [("96", 96), ("144", 144), ("192", 192)]
PROFILES = [("plain", "matrix"), ("non-ASCII", "Åsa Nyström-Øvergaard 測試")]
TEMPS = [("profile", "profile"), ("other drive", "drive"), ("near MAX_PATH", "long")]
FACTORS = [VERSIONS, CODE_PAGES, DPIS, PROFILES, TEMPS]
NAMES = ["Windows", "code page", "DPI", "profile", "TEMP"]

# The cells the test command runs: the riskiest pairs.
QUICK = [("7 SP1", "932", "144", "plain", "profile"),
         ("10", "65001", "96", "non-ASCII", "profile"),
         ("XP", "1252", "96", "plain", "profile")]

LONG_PATH_BOXES = [["box", ERROR_CAPTION, "Exception: CreateDirectory failed"],
                   ["box", TITLE, START_TEXT]]
# What the driver chooses in "/extract": every box checked, a folder typed.
EXTRACT_ROWS = option_rows(True, "C:\\Program Files\\Ulverane Fault", "1", "1", "1")


def pairwise(factors):
    """A small set of rows (value indices) that holds every pair of values of
    every two factors at least once; greedy, so always the same rows."""
    uncovered = {(a, i, b, j) for a, b in itertools.combinations(range(len(factors)), 2)
                 for i in range(len(factors[a])) for j in range(len(factors[b]))}
    rows = []
    candidates = list(itertools.product(*[range(len(f)) for f in factors]))
    while uncovered:
        def gain(row):
            return sum((a, row[a], b, row[b]) in uncovered
                       for a, b in itertools.combinations(range(len(row)), 2))
        best = max(candidates, key=gain)
        rows.append(best)
        uncovered -= {(a, best[a], b, best[b]) for a, b in itertools.combinations(range(len(best)), 2)}
    return rows


def compile_locales(folder):
    """The cells' locales, made in <folder>: a machine may have none of them
    generated, and Wine without its locale maps no non-ASCII file name."""
    os.makedirs(folder, exist_ok=True)
    for name in sorted({v[1] for v in CODE_PAGES}):
        path = os.path.join(folder, name)
        if not os.path.isdir(path):
            language, charset = name.split(".")
            # Exit code 1: made, with warnings.
            if subprocess.run(["localedef", "-i", language, "-f", charset, path]).returncode > 1:
                sys.exit(f"localedef could not make {name}")
    return folder


class Cell:
    def __init__(self, args, index, row):
        self.args = args
        self.values = [FACTORS[f][i] for f, i in enumerate(row)]
        self.folder = os.path.join(args.work, f"cell-{index:02d}")
        self.prefix = os.path.join(self.folder, "prefix")
        version, code_page, dpi, profile, temp = (v[1] for v in self.values)
        self.version, self.locale, self.dpi = version, code_page, dpi
        self.utf8 = self.values[1][0] == "65001"
        self.near_max_path = temp == "long"
        self.env = dict(os.environ, WINEPREFIX=self.prefix, LC_ALL=self.locale,
                        LOCPATH=args.locales)
        self.env.pop("LANG", None)
        self.profile = f"C:\\users\\{profile}"
        self.temp = {"profile": self.profile + "\\AppData\\Local\\Temp",
                     "drive": "T:\\Temp",
                     "long": None}[temp]

    def wine(self, *command, check=True):
        # No pipes: services that a command starts would hold them open.
        return subprocess.run([os.environ["ULVERANE_WINE"], *command], env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, check=check)

    def unix(self, windows_path):
        drive, rest = windows_path[0].lower(), windows_path[3:].replace("\\", "/")
        return os.path.join(self.prefix, "dosdevices", f"{drive}:", rest)

    def server(self, start):
        for flag in ("-k", "-w"):
            subprocess.run([WINESERVER, flag], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        if start:
            subprocess.Popen([WINESERVER, "-p"], env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True)
            self.wine("wineboot", check=False)

    def prepare(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        subprocess.run(["cp", "-a", self.args.template, self.prefix], check=True)
        os.makedirs(os.path.join(self.folder, "drive-t", "Temp"))
        os.symlink(os.path.join(self.folder, "drive-t"), os.path.join(self.prefix, "dosdevices", "t:"))
        self.server(True)
        for key in ("HKCU\\Control Panel\\Desktop", "HKCC\\Software\\Fonts"):
            self.wine("reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(self.dpi), "/f")
        if self.version == "win7-nosp":
            self.wine("reg", "add", "HKLM\\System\\CurrentControlSet\\Control\\Windows", "/v",
                      "CSDVersion", "/t", "REG_DWORD", "/d", "0", "/f")
        else:
            self.wine("reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\Setup.exe", "/v", "Version",
                      "/d", self.version, "/f")
        # DPI is read when the server starts.
        self.server(True)
        for sub in ("AppData\\Local\\Temp", "Documents"):
            os.makedirs(self.unix(self.profile + "\\" + sub), exist_ok=True)
        if self.temp is None:
            # A %TEMP% a few characters short of MAX_PATH (259 with its backslash).
            base = self.profile + "\\AppData\\Local\\Temp"
            path = base
            while len(path) < 250:
                path += "\\" + "t" * min(60, 254 - len(path) - 1)
            self.temp = path
            os.makedirs(self.unix(self.temp), exist_ok=True)

    def run(self, scenario, image, target=""):
        """Plays one scenario through the driver; its report lines."""
        app = os.path.join(self.folder, scenario)
        os.makedirs(app, exist_ok=True)
        setup = os.path.join(app, "Setup.exe")
        shutil.copy(image, setup)
        report = os.path.join(self.folder, f"{scenario}.report")
        plan = os.path.join(self.folder, f"{scenario}.plan")
        fields = [scenario, wine_path(setup), "", wine_path(app), self.temp, target,
                  wine_path(report), wine_path(os.path.join(self.folder, f"{scenario}.trace")), ""]
        with open(plan, "w", encoding="utf-8") as out:
            out.write("\t".join(fields) + "\n")
        driver, dll = fault_tools(self.args.build)
        self.wine(wine_path(driver), wine_path(dll), "120", wine_path(plan), check=False)
        return read_rows(report)

    def code_page(self, scenario):
        """The ANSI code page the product ran with, from the trace."""
        trace = read_rows(os.path.join(self.folder, f"{scenario}.trace"))
        return next((row[1].strip() for row in trace if row[0].startswith("#acp")), None)

    def image(self):
        name = "setup_e2e_utf8.exe" if self.utf8 else "setup_e2e.exe"
        return os.path.join(self.args.build, "tests", "app", name)

    def check_help(self):
        lines = self.run("help", self.image())
        windows = [l for l in lines if l[0] == "window"]
        return (windows == [["window", "box", TITLE, HELP_TEXT]] and
                ["exit", "0"] in lines) or lines

    def working_folders(self):
        parent = self.unix(self.temp + "\\UlveraneSetup")
        return [os.path.join(parent, d) for d in os.listdir(parent)] if os.path.isdir(parent) else []

    def check_default(self):
        lines = self.run("default", self.image())
        windows = [l for l in lines if l[0] == "window"]
        folders = self.working_folders()
        if self.version in REFUSED:
            good = (windows == [["window", "box", TITLE, VERSION_TEXT]] and
                    ["exit", "1"] in lines and len(folders) == 1 and
                    os.listdir(folders[0]) == ["Setup.log"])
        elif self.near_max_path:
            # The copies' paths pass MAX_PATH. Windows refuses the working
            # folder (CreateDirectory stops at 248 characters); Wine makes it
            # and the files, and its shell then refuses the start. Either way
            # the run must end with its own message and leave only the log.
            good = (len(windows) == 1 and windows[0][1:] in LONG_PATH_BOXES and
                    ["exit", "0"] in lines and len(folders) <= 1 and
                    all(os.listdir(f) == ["Setup.log"] for f in folders))
        else:
            good = (windows == [] and ["exit", "0"] in lines and len(folders) == 1 and
                    os.listdir(folders[0]) == ["Setup.log"] and
                    "  Exit code: 0\n" in open(os.path.join(folders[0], "Setup.log"), encoding="utf-8").read())
        return good or (lines, folders)

    def check_extract(self):
        target = self.profile + "\\Documents\\Ulverane package.msi"
        lines = self.run("extract", self.image(), target)
        kinds = [l[1] for l in lines if l[0] == "window"]
        path = self.unix(target)
        if not (kinds == ["options", "agreement", "save-as", "completion"] and ["exit", "0"] in lines
                and os.path.isfile(path) and not any(l[0] == "misplaced" for l in lines)):
            return lines
        rows = property_rows(path)
        wrong = {k: rows.get(k) for k, v in EXTRACT_ROWS.items() if rows.get(k) != v}
        return not wrong or wrong


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--cell", action="append", default=[],
                        help='one cell by its labels, "10,65001,96,plain,profile"')
    args = parser.parse_args()
    cells = QUICK if args.quick else [tuple(c.split(",")) for c in args.cell]
    if cells:
        rows = [tuple(next(i for i, v in enumerate(f) if v[0] == label)
                      for f, label in zip(FACTORS, cell)) for cell in cells]
    else:
        rows = pairwise(FACTORS)
    failed = 0
    started = time.time()
    args.locales = compile_locales(os.path.join(args.work, "locales"))
    print(" | ".join(NAMES) + " || help | default | extract", flush=True)
    for index, row in enumerate(rows):
        cell = Cell(args, index, row)
        results = []
        try:
            cell.prepare()
            for check in (cell.check_help, cell.check_default, cell.check_extract):
                outcome = check()
                code_page = cell.code_page(check.__name__[len("check_"):])
                if outcome is True and code_page != cell.values[1][0]:
                    outcome = f"ran with code page {code_page}"
                results.append("pass" if outcome is True else "FAIL")
                if outcome is not True:
                    print(f"   {check.__name__}: {outcome}", file=sys.stderr)
        finally:
            cell.server(False)
        if "FAIL" in results:
            failed += 1
        else:
            shutil.rmtree(cell.folder, ignore_errors=True)
        print(" | ".join(v[0] for v in cell.values) + " || " + " | ".join(results), flush=True)
    print(f"== Compatibility matrix: {len(rows)} cells, {len(rows) - failed} passed, {failed} failed "
          f"({time.time() - started:.0f} s)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
