#!/usr/bin/env python3
"""Puts plausible faults into the product one at a time and shows that the
tests catch each: every mutant must make the tests named beside it fail, and
the sources are put back afterwards, also when the run is interrupted.

Run it through tools/mutants.sh, which builds and starts the Wine session:
    bash tools/mutants.sh [name-substring...]
It prints one line per mutant, "caught" or "SURVIVED" ("does not build"
for a mistake in the table), and exits non-zero unless every one was
caught. Each mutant rebuilds the product and the tests (a few
minutes each on the emulated lane), so the whole table takes a while; name
parts of mutant names to run only those."""

import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (name, file, text in the source, faulty text, ctest regex of the tests that must fail)
MUTANTS = [
    ("option boxes swapped", "ui/extract_dialog.cpp",
     "noUpdateCheck_ = IsChecked(hwnd(), IDC_NO_UPDATE_CHECK);",
     "noUpdateCheck_ = IsChecked(hwnd(), IDC_NO_EULA);", "package_"),
    ("a cleared box never reads #0", "package/silent_install_package.cpp",
     'return set ? L"#1" : L"#0";', 'return L"#1";', "package_"),
    ("the shortcut flag from the wrong box", "ui/extract_dialog.cpp",
     "desktopShortcut_ = IsChecked(hwnd(), IDC_DESKTOP_SHORTCUT);",
     "desktopShortcut_ = IsChecked(hwnd(), IDC_NO_UPDATE_CHECK);", "package_"),
    ("Explorer's path left unquoted", "package/silent_install_package.cpp",
     'L"/select,\\"" + packagePath + L"\\""', 'L"/select," + packagePath', "package_tests"),
    ("the replace flag lost", "base/busy_file.cpp",
     "MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH", "MOVEFILE_WRITE_THROUGH",
     "package_tests|base_tests"),
    ("a busy target not waited for", "base/busy_file.cpp",
     "return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;",
     "return error == ERROR_SHARING_VIOLATION && false;", "base_tests"),
    ("no question before overwriting", "ui/extract_dialog.cpp",
     "request.Flags = OFN_OVERWRITEPROMPT;", "request.Flags = 0;", "package_tests|ui_tests"),
    ("an empty install folder written", "package/silent_install_package.cpp",
     "if (!installFolder.empty())\n", "if (true)\n", "package_"),
    ("/defaults writes the /extract rows", "package/silent_install_package.cpp",
     "if (!defaultsMode) {", "if (true) {", "package_"),
    ("the cleared Explorer box still opens Explorer", "ui/extract_result_dialog.cpp",
     "openExplorer_ =\n        SendDlgItemMessageW(hwnd(), IDC_OPEN_EXPLORER, BM_GETCHECK, 0, 0) == BST_CHECKED;",
     "openExplorer_ = true;", "ui_tests"),
    ("the completion box starts cleared", "ui/extract_result_dialog.cpp",
     "BM_SETCHECK, BST_CHECKED, 0);", "BM_SETCHECK, BST_UNCHECKED, 0);", "ui_tests|package_tests"),
    ("the agreement asked again after acceptance", "ui/extract_dialog.cpp",
     "  if (eulaAccepted_) {\n", "  if (false) {\n", "ui_tests"),
    ("/defaults moves the buttons the wrong way", "ui/extract_dialog.cpp",
     "const LONG shift = section.top - save.top;", "const LONG shift = save.top - section.top;",
     "ui_tests"),
    ("the options dialog keeps its template's caption", "ui/extract_dialog.cpp",
     "    Dialog::DialogProc(message, wParam, lParam);\n", "", "ui_tests"),
    ("Windows 7 without a service pack accepted", "setup/setup_driver.cpp",
     "VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,",
     "VER_MAJORVERSION | VER_MINORVERSION,", "app_tests"),
    ("the .NET probe reads the 64-bit view", "setup/windows_features.cpp",
     "KEY_READ, key.put()", "KEY_READ | KEY_WOW64_64KEY, key.put()", "app_tests|setup_tests"),
    ("redirection left off after Windows Features", "base/wow64_redirection_off.cpp",
     "    revert(previous_);", "    (void)previous_;", "setup_tests|app_tests"),
    ("SetupUI.exe shown the normal way", "setup/process_launcher.cpp",
     "SW_SHOWMINNOACTIVE : SW_SHOWDEFAULT", "SW_SHOWMINNOACTIVE : SW_SHOWNORMAL", "setup_tests"),
    ("exit code logged unsigned", "setup/process_launcher.cpp",
     "static_cast<std::int32_t>(exitCode)", "exitCode", "setup_tests|app_tests"),
    ("the working folder without its final backslash", "setup/working_tree.cpp",
     'const std::wstring folder = parent_ + NewUuidText() + L"\\\\";',
     "const std::wstring folder = parent_ + NewUuidText();", "setup_tests|app_tests"),
    ("deletion tried only once", "base/busy_file.cpp",
     "if (!busy(GetLastError()) || clock.Since(start) >= kRetryMilliseconds)", "if (true)",
     "base_tests"),
    ("a partial copy left behind", "payload/executable_image.cpp",
     "    DeleteWhenFree(target);", "", "fault_sweep_default"),
    ("resource bytes may run past the section", "payload/resource_section.cpp",
     "if (size > header_.SizeOfRawData - (rva - virtualAddress))", "if (false)",
     "payload_tests"),
    ("the tree may run past the section", "payload/resource_section.cpp",
     "std::min<std::uint64_t>(inFile, header_.SizeOfRawData)", "inFile", "payload_tests"),
    ("a read-only target replaced", "package/replacing_save.cpp",
     "FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY", "FILE_ATTRIBUTE_DIRECTORY",
     "package_tests"),
    ("the error box under the product's title", "app/entry_point.cpp",
     '"Ulverane Setup", MB_OK | MB_ICONERROR', '"Ulverane Photo Setup", MB_OK | MB_ICONERROR',
     "app_tests"),
    ("not marked aware of Terminal Server", "cmake/payload.cmake", " -Wl,--tsaware", "",
     "product_image"),
    ("the payload of killed runs left in %TEMP%", "setup/setup_driver.cpp",
     "  tree.CleanUpInterruptedRuns(working);\n", "", "app_tests"),
    ("hidden /extract controls still enabled", "ui/extract_dialog.cpp",
     "    EnableWindow(control, FALSE);\n", "", "ui_tests"),
    ("the install folder longer than what is kept", "ui/extract_dialog.cpp",
     "EM_SETLIMITTEXT, kPathBufferSize - 1, 0);", "EM_SETLIMITTEXT, 0, 0);", "ui_tests"),
    ("delay-loaded DLLs by bare name", "app/delay_load_hook.cpp",
     "PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;",
     "PfnDliHook __pfnDliNotifyHook2 = nullptr;", "package_tests"),
    ("icons at the sizes of 96 DPI", "ui/window_metrics.cpp",
     "int MetricForWindow(HWND window, int metric) {",
     "int MetricForWindow(HWND, int metric) {\n  return metric == SM_CXSMICON || "
     "metric == SM_CYSMICON ? 16 : 32;\n}\nint Unused(HWND window, int metric) {", "dpi_tests"),
    ("options matched without case", "app/command_line.cpp",
     'else if (word == L"/extract")', 'else if (word == L"/extract" || word == L"/EXTRACT")',
     "app_tests"),
    ("the setup log appended to", "log/logger.cpp",
     "std::ios::out | std::ios::binary", "std::ios::out | std::ios::binary | std::ios::app",
     "log_tests"),
    ("the payload's CRC never compared", "payload/executable_image.cpp",
     "if (crc != *expected)", "if (false)", "payload_tests|app_tests"),
    ("the interleaved CRC streams joined out of order", "payload/crc32c.cpp",
     "crc = Shift(shift, Shift(shift, crc) ^ second) ^ third;",
     "crc = Shift(shift, Shift(shift, second) ^ crc) ^ third;", "payload_tests"),
    ("the CRC table's tail step off", "payload/crc32c.cpp",
     "state = kBytes[0][(state ^ *p++) & 0xFFu] ^ (state >> 8);",
     "state = kBytes[0][(state ^ *p++) & 0xFFu] ^ (state >> 7);", "payload_tests"),
    ("a folding constant one degree off", "payload/crc32c.cpp",
     "XPowerModP(8 * bytes - 33)", "XPowerModP(8 * bytes - 32)", "payload_tests"),
    ("the folded lanes joined out of order", "payload/crc32c.cpp",
     "Fold(Fold(Fold(x0, k16, x1), k16, x2), k16, x3)",
     "Fold(Fold(Fold(x1, k16, x0), k16, x2), k16, x3)", "payload_tests"),
    ("the checksum table's size not compared", "payload/checksum_table.cpp",
     "    if (Read32(entry + 4) != size)\n      return std::nullopt;\n", "", "payload_tests"),
    ("bytes after the checksum table accepted", "payload/checksum_table.cpp",
     "kHeaderSize + count * kEntrySize != tableSize", "kHeaderSize + count * kEntrySize > tableSize",
     "payload_tests"),
    ("another id named twice in the checksum table", "payload/checksum_table.cpp",
     "if (entryId >= named.size() || named[entryId])",
     "if (entryId >= named.size() || (named[entryId] && entryId == id))", "payload_tests"),
    ("the saved package moved unflushed", "package/replacing_save.cpp",
     "if (!FlushFileBuffers(file.get()))", "if (false)", "package_tests|fault_sweep_extract"),
    ("the working folder inherits its parent's permissions", "setup/working_tree.cpp",
     'std::wstring sddl = L"D:P";', 'std::wstring sddl = L"D:";', "app_tests"),
    ("the working folder made open, its permissions later", "setup/working_tree.cpp",
     "if (!CreateDirectoryW(folder.c_str(), identity_ ? &security : nullptr))",
     "if (!CreateDirectoryW(folder.c_str(), nullptr))", "app_tests"),
    ("the held folder may be renamed", "setup/held_folder.cpp",
     "    share = FILE_SHARE_READ | FILE_SHARE_WRITE;",
     "    share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;",
     "app_tests|setup_tests"),
    ("a link taken for a folder", "setup/held_folder.cpp",
     "if ((information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=",
     "if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) !=", "app_tests"),
    ("the clean-up ignores a working folder's owner", "setup/working_tree.cpp",
     "if (!peeked.valid() || (identity_ && !peeked.IsOwnedBy(*identity_)))",
     "if (!peeked.valid())", "app_tests|setup_tests"),
    ("a payload file tried twice", "setup/working_tree.cpp",
     "        DeleteFileW((folder + file.name).c_str());\n        continue;",
     "        DeleteFileW((folder + file.name).c_str());\n"
     "        DeleteFileW((folder + file.name).c_str());\n        continue;", "app_tests"),
    ("a link followed where a folder is held", "setup/held_folder.cpp",
     "  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;",
     "  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;", "app_tests"),
    ("a stranger's shared parent trusted", "setup/working_tree.cpp",
     "(!identity_ || held_.IsTrustedBy(*identity_))", "(true)", "app_tests"),
    ("the clean-up's first look reads data", "setup/held_folder.cpp",
     "  DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES;",
     "  DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY;", "app_tests"),
    ("started from a path that leads elsewhere", "setup/setup_driver.cpp",
     "if (!working.Resolves() || ", "if (", "app_tests"),
    ("LocalSystem's own temporary folder ignored", "setup/working_tree.cpp",
     'Kernel32Export<TempPathFunction>("GetTempPath2W")',
     'Kernel32Export<TempPathFunction>("GetTempPathW2")', "app_tests"),
    ("a null DACL passed on to the package", "package/replacing_save.cpp",
     "    if (permissions != nullptr &&\n", "    if (true &&\n", "package_tests"),
    ("finished runs looked into again", "setup/held_folder.cpp",
     "return Ticks(lastWrite) % kTicksPerSecond == kFinishedFraction;", "return false;",
     "setup_tests"),
]

def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, **kw)


def main(selected, build_command, test_command):
    chosen = [m for m in MUTANTS if not selected or any(s in m[0] for s in selected)]
    survived = []
    for name, path, old, new, tests in chosen:
        source = ROOT / path
        original = source.read_text(encoding="utf-8")
        if original.count(old) != 1:
            print(f"{name}: the text to change is not in {path} exactly once", flush=True)
            survived.append(name)
            continue
        started = time.time()
        try:
            source.write_text(original.replace(old, new), encoding="utf-8")
            built = run(build_command, capture_output=True).returncode == 0
            outcome = "does not build" if not built else (
                "caught" if run(test_command + ["-R", tests], capture_output=True).returncode != 0
                else "SURVIVED")
        finally:
            source.write_text(original, encoding="utf-8")
        if outcome != "caught":
            survived.append(name)
        print(f"{outcome:14} {name}  ({path}; {tests}; {time.time() - started:.0f} s)", flush=True)
    run(build_command, capture_output=True)
    print(f"== {len(chosen)} mutants, {len(chosen) - len(survived)} caught, "
          f"{len(survived)} survived")
    return 1 if survived else 0


if __name__ == "__main__":
    # argv: <build command> -- <ctest command...> -- [names...]
    args = sys.argv[1:]
    first = args.index("--")
    second = args.index("--", first + 1)
    sys.exit(main(args[second + 1:], args[:first], args[first + 1:second]))
