#!/usr/bin/env python3
"""Fails every system call of the real setup executables in turn and checks
the invariants after each run.

Usage: fault_sweep.py --build <test build folder> --product <Setup.exe>
                      [--every] [--jobs N] [--work <folder>] [scenario...]

Runs in a Wine session (tools/common.sh; ULVERANE_WINE names the loader).
For each scenario ("default", "extract", "defaults"; all three when none is
named) it first makes a clean run with fault_injection.dll tracing, then one
run per distinct calling place (function and caller) that fails the first
call there, or with --every one run per call. ReadFile and WriteFile are
also cut short. Each package scenario saves once to a new file and once over
an existing one; the default one also runs with slowed writes, so that the
progress window shows. Prints per scenario
  == <scenario>: <calls> calls, <places> calling places, <runs> runs, <broken> broken
and exits non-zero when an invariant broke or a calling place was never
failed; the folders of broken runs stay in the work folder. It also names
the places that only a failure reaches, which one fault a run never fails."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

# Each run ends by itself within this bound, in seconds.
BOUND = 60

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product import (DOTNET_TEXT, ERROR_CAPTION, START_TEXT, TITLE, VERSION_TEXT,  # noqa: E402
                     fault_tools, option_rows, output, payload_files, property_rows, read_rows,
                     tree, wine_path)

# The messages of the runtime errors that the program raises.
MESSAGES = {
    "CreateDirectory failed", "Image loading failed", "SetFilePointerEx failed",
    "ReadFile failed", "WriteFile failed", "MsiOpenDatabase failed",
    "MsiDatabaseOpenView failed", "MsiViewExecute failed", "MsiViewModify failed",
    "MsiDatabaseCommit failed", "MoveFileEx failed", "GetWindowText failed",
    "Payload check failed", "FlushFileBuffers failed", "CreateFile failed",
    "GetNamedSecurityInfo failed", "GetSecurityDescriptorControl failed", "SetSecurityInfo failed",
    "Dialog: Reentrance not allowed",
    "ResourceSection::ResourceSection", "ResourceSection::RvaToFilePosition",
    "ResourceDir::ResourceDir", "ResourceDir::GetFirstEntry", "ResourceDir::GetChildWithName",
    "ResourceDir::GetChildWithId", "ResourceDir::GetResourceData",
}

# A failed call that has an end of its own: (function, part of the calling
# place, what the run shows[, a pattern of its first argument]).
# "Exception: <message>" is the error box; other texts are the program's own
# boxes.
OWN_ENDS = [
    ("GetTempPathW", "", "Exception: CreateDirectory failed"),
    ("GetTempPath2W", "", "Exception: CreateDirectory failed"),
    ("UuidCreate", "", "Exception: CreateDirectory failed"),
    ("UuidToStringW", "", "Exception: CreateDirectory failed"),
    # The shared parent is there already: the killed run's.
    ("CreateDirectoryW", "CreateWorkingFolder", "Exception: CreateDirectory failed",
     r".*\\[0-9a-f-]{36}\\"),
    ("ConvertStringSecurityDescriptorToSecurityDescriptorW", "",
     "Exception: CreateDirectory failed"),
    ("GetModuleFileNameW", "ExecutableImage", "Exception: Image loading failed"),
    ("GetCurrentDirectoryW", "ExecutableImage", "Exception: Image loading failed"),
    ("ImageLoad", "", "Exception: Image loading failed"),
    ("CreateFileW", "ExtractResource", "Exception: Image loading failed"),
    ("CreateFileW", "CheckTarget", "Exception: Image loading failed"),
    ("GetNamedSecurityInfoW", "", "Exception: GetNamedSecurityInfo failed"),
    ("GetSecurityDescriptorControl", "", "Exception: GetSecurityDescriptorControl failed"),
    ("SetSecurityInfo", "PrepareToReplace", "Exception: SetSecurityInfo failed"),
    ("FlushFileBuffers", "", "Exception: FlushFileBuffers failed"),
    ("GetTempFileNameW", "", "Exception: Image loading failed"),
    ("SetFilePointerEx", "", "Exception: SetFilePointerEx failed"),
    ("ReadFile", "", "Exception: ReadFile failed"),
    ("WriteFile", "", "Exception: WriteFile failed"),
    ("MsiOpenDatabaseW", "", "Exception: MsiOpenDatabase failed"),
    ("MsiDatabaseOpenViewW", "", "Exception: MsiDatabaseOpenView failed"),
    ("MsiViewExecute", "", "Exception: MsiViewExecute failed"),
    ("MsiDatabaseCommit", "", "Exception: MsiDatabaseCommit failed"),
    ("MoveFileExW", "", "Exception: MoveFileEx failed"),
    ("GetWindowTextW", "", "Exception: GetWindowText failed"),
    ("VerifyVersionInfoW", "", VERSION_TEXT),
    ("ShellExecuteExW", "", START_TEXT),
]

# Failures that the first call of their place does not stand for, kept after
# they once broke: (scenario, function, part of the place, part of an
# argument); the first such call of the clean run fails.
CASES = [
    # A language's library whose copy fails, after the root files went well.
    ("default", "CreateFileW", "ExtractResource", "\\de\\SetupUI.resources.dll"),
    # The clean-up of the interrupted run's folder, whose calls share their
    # places with those about the run's own working folder.
    ("default", "CreateFileW", "HeldFolder", "cafe\\de"),
    ("default", "GetSecurityInfo", "OwnerIs", "cafe"),
    ("default", "GetFileInformationByHandleEx", "ForEachEntry", "cafe"),
    ("default", "DeleteFileW", "RemovePayload", "cafe\\SetupUI.exe"),
]

# The working folder of a killed run that every default run finds, with the
# whole payload: the clean-up of interrupted runs takes the payload and
# leaves the rest. Its name ends in "cafe".
LEFTOVER = "0123abcd-0000-4000-8000-00000000cafe"
LEFTOVER_KEPT = {"Setup.log": b"killed\n", "notes.txt": b"notes\n"}
LOG_LINES = re.compile(
    r"Trying to start process: .*|  Succeeded: [01]|Waiting for process to finish\.\.\."
    r"|  Exit code: -?\d+|RemoveDirectory failed: .+|GetModuleFileName failed"
    r"|GetModuleFileName returned invalid path|GetCurrentDirectory failed"
    r"|SetCurrentDirectory failed|ImageLoad failed|CreateFile failed"
    r"|CRC-32C table (?:missing|malformed)|CRC-32C mismatch: BIN \d+"
    r"|Not trusted: .+\\UlveraneSetup\\; working in .+\\UlveraneSetup-[0-9a-f-]{36}\\[0-9a-f-]{36}\\"
    r"|Cancelled by the user|Not enough space: \d+ bytes needed on .+, \d+ free")

EXISTING = b"an earlier package, to be replaced\r\n" * 64

# Milliseconds per write of a "slow" run: its thirteen files take about two
# seconds, and the progress window shows after one.
SLOW_MS = 150

SCENARIOS = {
    # name: (image, variants, product boxes, windows of the flow)
    # "slow": each write takes SLOW_MS, so that the progress window shows.
    "default": ("setup_e2e", ["", "slow"], {VERSION_TEXT, START_TEXT, DOTNET_TEXT}, {"progress"}),
    "extract": ("product", ["new", "existing"], set(),
                {"options", "agreement", "save-as", "replace", "completion"}),
    "defaults": ("product", ["new", "existing"], set(),
                 {"options", "save-as", "replace", "completion"}),
}


def places_from_map(map_path, out_path):
    """Writes the program's own functions as "<rva> <size> <name>" lines:
    the sections of the product's libraries and of the setup target's own
    objects."""
    text = open(map_path, errors="replace").read()
    base = int(re.search(r"0x([0-9a-f]+)\s+__image_base__", text).group(1), 16)
    text = text[text.index("Linker script and memory map"):]
    found = re.findall(r"^ \.text\$(\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)$", text, re.M)
    own = [(m, int(a, 16) - base, int(s, 16)) for m, a, s, obj in found
           if re.match(r"libulverane_\w+\.a\(|CMakeFiles/", obj)]
    names = output("c++filt", input="\n".join(m for m, _, _ in own)).split("\n")
    with open(out_path, "w") as out:
        for (_, rva, size), name in zip(own, names):
            out.write(f"{rva:x} {size:x} {short_name(name)}\n")


def short_name(name):
    for kind, short in (("wchar_t", "wstring"), ("char", "string")):
        name = name.replace(f"std::__cxx11::basic_string<{kind}, std::char_traits<{kind}>, "
                            f"std::allocator<{kind}> >", f"std::{short}")
    return name.replace("(anonymous namespace)::", "").replace("ulverane::", "")


def read_trace(path):
    calls = []
    for fields in read_rows(path):
        if not fields[0].startswith("#"):
            mark = fields.pop() if fields[-1] in ("<fault>", "<short>") else ""
            calls.append({"n": int(fields[0]), "function": fields[1], "place": fields[2],
                          "details": fields[3:], "mark": mark})
    return calls


def left_behind(folder, subs):
    return ["left behind: %s/%s" % (sub, entry) for sub in subs
            for entry in tree(os.path.join(folder, sub))]


class Sweep:
    def __init__(self, args):
        self.args = args
        self.wine = os.environ["ULVERANE_WINE"]
        self.driver, self.dll = fault_tools(args.build)
        self.work = args.work
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.images = {"setup_e2e": os.path.join(args.build, "tests", "app", "setup_e2e.exe"),
                       "product": args.product}
        self.places = {}
        for key, image in self.images.items():
            self.places[key] = os.path.join(self.work, key + ".places")
            places_from_map(os.path.splitext(image)[0] + ".map", self.places[key])
        self.original = property_rows(args.package)

    def prepare(self, scenario, variant, fault):
        """A run of `scenario` with its own folders: the image's, the current
        one, %TEMP% and the target's, named after the run."""
        name = "-".join(x for x in (scenario, variant, fault.replace(":", "-") or "clean") if x)
        folder = os.path.join(self.work, name)
        for sub in ("app", "cwd", "temp", name):
            os.makedirs(os.path.join(folder, sub))
        image_key = SCENARIOS[scenario][0]
        image = os.path.join(folder, "app", "FaultSetup.exe")
        shutil.copyfile(self.images[image_key], image)
        if scenario == "default":
            leftover = os.path.join(folder, "temp", "UlveraneSetup", LEFTOVER)
            files = dict(LEFTOVER_KEPT)
            files.update({path: b"payload\n" for _, path in payload_files()})
            for path, data in files.items():
                os.makedirs(os.path.dirname(os.path.join(leftover, path)), exist_ok=True)
                open(os.path.join(leftover, path), "wb").write(data)
        target = os.path.join(folder, name, "package.msi")
        if variant == "existing":
            open(target, "wb").write(EXISTING)
        fields = [scenario, image, self.places[image_key], os.path.join(folder, "cwd"),
                  os.path.join(folder, "temp"), target, os.path.join(folder, "report.tsv"),
                  os.path.join(folder, "trace.tsv")]
        slow = str(SLOW_MS) if variant == "slow" else ""
        return {"scenario": scenario, "variant": variant, "fault": fault, "folder": folder,
                "target": target,
                "line": "\t".join([scenario] + [wine_path(f) for f in fields[1:]] + [fault, slow])}

    def execute(self, runs):
        """Plays `runs`, spread over the jobs, and checks each."""
        jobs = min(self.args.jobs, len(runs))
        drivers = []
        for job in range(jobs):
            plan = os.path.join(self.work, "plan-%d.tsv" % job)
            with open(plan, "w", encoding="utf-8") as out:
                out.write("".join(run["line"] + "\n" for run in runs[job::jobs]))
            log = open(os.path.join(self.work, "driver-%d.log" % job), "w")
            command = [self.wine, self.driver, wine_path(self.dll), str(BOUND), wine_path(plan)]
            env = dict(os.environ, ULVERANE_STANDIN_EXIT="1")
            env.pop("ULVERANE_STANDIN_REPORT", None)
            drivers.append((subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                             stdout=log, stderr=log), log,
                            len(runs[job::jobs])))
        for process, log, count in drivers:
            try:
                process.wait(timeout=(BOUND + 30) * count)
            except subprocess.TimeoutExpired:
                process.kill()
            log.close()
        for run in runs:
            run["trace"] = read_trace(os.path.join(run["folder"], "trace.tsv"))
            run["report"] = read_rows(os.path.join(run["folder"], "report.tsv"))
            run["problems"] = self.check(run)
        return runs

    def check(self, run):
        problems = []
        report, scenario = run["report"], run["scenario"]
        failed = next((c for c in run["trace"] if c["mark"]), None)
        kinds = [r[1] for r in report if r[0] == "window"]
        boxes = ["\t".join(r[2:4]) for r in report if r[0] == "window" and r[1] == "box"]
        exits = [int(r[1]) for r in report if r[0] == "exit"]
        if not exits:
            problems.append("did not end by itself within %d s" % BOUND)
        shown = [b.split("\t", 1)[1] for b in boxes]
        for box in boxes:
            caption, text = box.split("\t", 1)
            if caption == ERROR_CAPTION:
                if not text.startswith("Exception: ") or text[11:] not in MESSAGES:
                    problems.append("error box with a message of no one's: " + text)
            elif caption != TITLE or text not in SCENARIOS[scenario][2]:
                problems.append("a box the program does not have: " + box)
        if sum(b.startswith(ERROR_CAPTION + "\t") for b in boxes) > 1:
            problems.append("more than one error box")
        problems += ["a window the scenario does not have: " + kind for kind in kinds
                     if kind != "box" and kind not in SCENARIOS[scenario][3]]
        expected_exit = 1 if VERSION_TEXT in shown else 0
        if exits and exits[0] != expected_exit:
            problems.append("exit code %#x, expected %d" % (exits[0], expected_exit))
        if failed:
            for function, place, end, *argument in OWN_ENDS:
                if argument and not re.fullmatch(argument[0], (failed["details"] or [""])[0]):
                    continue
                if failed["function"] == function and place in failed["place"]:
                    if end not in shown:
                        problems.append("no \"%s\" after its failure; shown: %s" % (end, shown))
                    break
        problems += ["the options dialog shows %s out of place" % row[1] for row in report
                     if row[0] == "misplaced"]
        if ["deleted", "image", "1"] not in report:
            problems.append("the image file could not be deleted right after the end")
        if ["unlocked", "target", "0"] in report:
            problems.append("the target file is still open after the end")
        return problems + (self.check_setup_run(run) if scenario == "default"
                           else self.check_package(run))

    def check_setup_run(self, run):
        problems = []
        temp = os.path.join(run["folder"], "temp")
        entries = tree(temp)
        # A parent that could not be trusted (or held) makes the run use a
        # private one beside it.
        logs = [e for e in entries
                if re.fullmatch(r"UlveraneSetup(-[0-9a-f-]{36})?/[0-9a-f-]{36}/Setup\.log", e)
                and LEFTOVER not in e]
        lines = []
        for log in logs:
            data = open(os.path.join(temp, log), "rb").read().decode("utf-8", "replace")
            if data and not data.endswith("\n"):
                problems.append("log does not end with a line feed")
            lines += data.splitlines()
        for line in lines:
            if not LOG_LINES.fullmatch(line):
                problems.append("log line of no known form: " + line)
        # A language sub-folder that could not be removed stays, with its line.
        kept = {"/".join(line.split("\\")[-2:]) for line in lines
                if line.startswith("RemoveDirectory failed: ")}
        # The killed run's folder keeps its log and notes; of its payload,
        # what could not go stays.
        leftover = "UlveraneSetup/" + LEFTOVER + "/"
        planted = {leftover} | {leftover + name for name in LEFTOVER_KEPT}
        for _, path in payload_files():
            planted |= {leftover + path, leftover + path.split("/")[0] + "/"}
        remains = {e for e in entries if e.startswith(leftover)}
        if not run["fault"] and remains != {leftover} | {leftover + n for n in LEFTOVER_KEPT}:
            problems.append("the killed run's payload stayed: %s" % sorted(remains))
        for name, data in LEFTOVER_KEPT.items():
            path = os.path.join(temp, leftover, name)
            if not os.path.exists(path) or open(path, "rb").read() != data:
                problems.append("the killed run's " + name + " was touched")
        for entry in entries:
            if entry.startswith(leftover):
                if entry not in planted:
                    problems.append("not the killed run's: %TEMP%/" + entry)
                continue
            allowed = re.fullmatch(
                r"UlveraneSetup(-[0-9a-f-]{36})?/([0-9a-f-]{36}/(Setup\.log)?)?", entry)
            if not allowed and entry.endswith("/") and entry.count("/") == 3:
                allowed = entry.split("/", 1)[1].rstrip("/") in kept
            if not allowed:
                problems.append("left behind: %TEMP%/" + entry)
        if len({e.split("/")[1] for e in entries if e.count("/") >= 2} - {LEFTOVER}) > 1:
            problems.append("more than one working folder")
        return problems + left_behind(run["folder"], ("cwd", "app", os.path.dirname(run["target"])))

    def check_package(self, run):
        problems = []
        target, folder = run["target"], run["folder"]
        reached = any(c["function"] == "DialogBoxParamW" and c["details"] == ["#155"]
                      for c in run["trace"])
        if reached:
            chosen = next((r[1:] for r in run["report"] if r[0] == "chosen"), None)
            if chosen is None or not os.path.exists(target):
                problems.append("completion reached without a package")
            else:
                expected = {**self.original, **option_rows(run["scenario"] == "extract", *chosen)}
                rows = property_rows(target)
                if rows != expected:
                    changed = sorted(set(rows.items()) ^ set(expected.items()))
                    problems.append("package rows differ from the chosen ones: %s" % changed)
        elif run["variant"] == "existing":
            if not os.path.exists(target) or open(target, "rb").read() != EXISTING:
                problems.append("the existing target was changed")
        elif os.path.exists(target):
            problems.append("a target was written without reaching completion")
        for entry in tree(os.path.dirname(target)):
            if entry != os.path.basename(target):
                problems.append("left beside the target: " + entry)
        problems += ["written under %TEMP%: " + entry for entry in tree(os.path.join(folder, "temp"))]
        return problems + left_behind(folder, ("cwd", "app"))

    def plan(self, cleans):
        """The fault runs after the clean runs: the first call of each
        calling place of a scenario, in the run over an existing file where
        that reaches it (the stricter case: the file must stay as it was);
        with --every each call of every run; and the kept cases. ReadFile and
        WriteFile are also cut short."""
        runs = []
        done = set()
        for clean in sorted(cleans, key=lambda run: run["variant"] != "existing"):
            for call in clean["trace"]:
                key = (clean["scenario"], call["function"], call["place"])
                case = next((c for c in CASES if c[:2] == key[:2] and c[2] in key[2] and
                             any(c[3] in d for d in call["details"])), None)
                if case:
                    CASES.remove(case)
                elif key in done and not self.args.every:
                    continue
                done.add(key)
                faults = [str(call["n"])]
                if call["function"] in ("ReadFile", "WriteFile"):
                    faults.append("%d:short" % call["n"])
                runs += [self.prepare(clean["scenario"], clean["variant"], f) for f in faults]
        return runs

    def summary(self, scenario, runs):
        """Prints the broken runs and the scenario's line; the number of
        broken runs and places never failed."""
        cleans = [r for r in runs if not r["fault"]]
        places = {(c["function"], c["place"]) for r in cleans for c in r["trace"]}
        failed_places = set()
        broken = 0
        for run in runs:
            hit = next((c for c in run["trace"] if c["mark"]), None)
            if run["fault"] and hit is None:
                print("skipped: %s %s fault %s: no such call" %
                      (scenario, run["variant"], run["fault"]))
            if hit:
                failed_places.add((hit["function"], hit["place"]))
            if run["problems"]:
                broken += 1
                what = "%s %s" % (hit["function"], hit["place"]) if hit else "no fault"
                print("BROKEN: %s %s fault %s (%s): %s" % (
                    scenario, run["variant"] or "run", run["fault"] or "none", what,
                    "; ".join(run["problems"])))
            elif not self.args.keep:
                shutil.rmtree(run["folder"], ignore_errors=True)
        for key in sorted(places - failed_places):
            print("never failed: %s %s %s" % (scenario, key[0], key[1]))
        # Places on failure paths only: one fault at a time never fails them.
        after = {(c["function"], c["place"]) for r in runs for c in r["trace"]} - places
        for key in sorted(after):
            print("only after a failure: %s %s %s" % (scenario, key[0], key[1]))
        print("== %s: %d calls, %d calling places, %d runs, %d broken" % (
            scenario, sum(len(r["trace"]) for r in cleans), len(places), len(runs), broken))
        return broken + len(places - failed_places)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--product", required=True)
    parser.add_argument("--package", required=True, help="the package inside the product")
    parser.add_argument("--work")
    parser.add_argument("--every", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep the folders of every run")
    parser.add_argument("--jobs", type=int, default=2, help="runs at the same time")
    parser.add_argument("scenarios", nargs="*")
    args = parser.parse_args()
    args.work = args.work or os.path.join(args.build, "fault-sweep")
    scenarios = args.scenarios if args.scenarios and "all" not in args.scenarios else list(SCENARIOS)
    sweep = Sweep(args)
    started = time.time()
    cleans = sweep.execute([sweep.prepare(scenario, variant, "") for scenario in scenarios
                            for variant in SCENARIOS[scenario][1]])
    runs = cleans + sweep.execute(sweep.plan(cleans))
    status = sum(sweep.summary(scenario, [r for r in runs if r["scenario"] == scenario])
                 for scenario in scenarios)
    print("%d runs in %.0f s" % (len(runs), time.time() - started))
    sys.exit(1 if status else 0)

if __name__ == "__main__":
    main()
