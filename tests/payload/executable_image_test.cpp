#include "payload/executable_image.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "image_fixture.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  return std::wstring(buffer, GetCurrentDirectoryW(MAX_PATH, buffer));
}

using ExecutableImageTest = ImageFixture;

TEST_F(ExecutableImageTest, FailuresLogTheirCauseAndKeepTheCurrentDirectory) {
  struct Case {
    const char* what;
    std::wstring folder;
    std::wstring file;
    std::string content;  // written to folder\file when not empty
    const char* cause;
  };
  const Case cases[] = {
      {"missing folder", folder_ / L"nowhere", L"image.exe", "", "SetCurrentDirectory failed"},
      {"missing file", folder_.path(), L"absent.exe", "", "ImageLoad failed"},
      {"not an image", folder_.path(), L"text.exe", "just some text, no headers",
       "ImageLoad failed"},
      {"bad PE signature", folder_.path(), L"mz.exe",
       "MZ" + std::string(0x3A, '\0') + "\x40" + std::string(3, '\0') + "PX\0\0",
       "ImageLoad failed"},
  };
  const std::wstring before = CurrentDirectory();
  std::string expectedLog;
  for (const Case& c : cases) {
    if (!c.content.empty())
      WriteBytes(c.folder + L"\\" + c.file, c.content);
    try {
      ExecutableImage image(c.folder, c.file);
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Image loading failed") << c.what;
    }
    EXPECT_EQ(CurrentDirectory(), before) << c.what;
    expectedLog += std::string(c.cause) + "\n";
  }
  EXPECT_EQ(Log(), expectedLog);
}

TEST_F(ExecutableImageTest, LoadsByBareNameFromItsFolder) {
  const std::string bytes = PeWriter().AddResources({Bin(132, "payload")}).Build();
  // Names the ANSI code page can spell, and one it cannot (found by its short name).
  for (const std::wstring name : {L"Setup.exe", L"S\u00e9tup (1).exe", L"\u30bb\u30c3\u30c8.exe"}) {
    WriteImage(bytes, name);
    const std::wstring before = CurrentDirectory();
    const std::wstring target = folder_ / L"out.bin";
    ExecutableImage image(folder_.path(), name);
    EXPECT_EQ(CurrentDirectory(), before);
    image.ExtractResource(132, target);
    EXPECT_EQ(ReadBytes(target), "payload");
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(ExecutableImageTest, OwnImageFromAnyCurrentDirectory) {
  const std::string expected = ReadBytes(ULVERANE_TEST_SOURCE_DIR L"\\payload\\own_image.bin");
  const std::wstring before = CurrentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryW(folder_.path().c_str()));
  {
    ExecutableImage image;
    image.ExtractResource(200, folder_ / L"own.bin");
    EXPECT_EQ(CurrentDirectory(), folder_.path());
  }
  SetCurrentDirectoryW(before.c_str());
  EXPECT_EQ(ReadBytes(folder_ / L"own.bin"), expected);
}

// Runs a copy of the probe at `path`; returns its exit code, or -1 when the
// platform could not start it.
int RunProbe(const std::wstring& path,
             const std::wstring& logFolder,
             const std::wstring& target,
             const std::wstring& directory) {
  std::wstring line = L"\"" + path + L"\" \"" + logFolder + L"\" \"" + target + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.c_str(), &startup, &process))
    return -1;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 99;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

TEST_F(ExecutableImageTest, ModulePathUpTo259UnitsIsAccepted) {
  const std::string expected = ReadBytes(ULVERANE_TEST_SOURCE_DIR L"\\payload\\own_image.bin");
  const std::wstring probe = ULVERANE_TEST_BINARY_DIR L"\\payload\\own_image_probe.exe";
  const std::wstring logs = folder_.path();
  for (const size_t length : {259u, 260u}) {
    // <folder>\<padding>\p.exe, exactly `length` units long.
    const size_t padding = length - folder_.path().size() - 7;
    const std::wstring dir = folder_ / std::wstring(padding, L'd');
    const std::wstring path = dir + L"\\p.exe";
    ASSERT_EQ(path.size(), length);
    CreateDirectoryW(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(probe.c_str(), path.c_str(), FALSE));
    const std::wstring target = folder_ / (L"out" + std::to_wstring(length));
    const int code = RunProbe(path, logs, target, folder_.path());
    if (code == -1 && length == 260)
      continue;  // the platform cannot start it at all
    if (length == 259) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(ReadBytes(target), expected);
    } else {
      EXPECT_EQ(code, 1);
      EXPECT_EQ(ReadBytes(folder_ / L"Setup.log"), "GetModuleFileName failed\n");
    }
  }
}

TEST_F(ExecutableImageTest, ImageInADriveRootIsFoundThere) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  // C:\p-<pid>.exe, started while the current directory is elsewhere on C:.
  const std::wstring root = std::wstring(system, 3);
  const std::wstring path =
      root + L"ulverane-probe-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  ASSERT_TRUE(
      CopyFileW(ULVERANE_TEST_BINARY_DIR L"\\payload\\own_image_probe.exe", path.c_str(), FALSE));
  const std::wstring target = folder_ / L"out";
  const int code = RunProbe(path, folder_.path(), target, system);
  DeleteFileW(path.c_str());
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(ReadBytes(target), ReadBytes(ULVERANE_TEST_SOURCE_DIR L"\\payload\\own_image.bin"));
}

}  // namespace
}  // namespace ulverane::testing
