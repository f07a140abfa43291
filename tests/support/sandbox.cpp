#include "tests/support/sandbox.h"

namespace ulverane::testing {

SandboxTest::SandboxTest() {
  for (const std::wstring& folder : {temp_, app_, downloads_})
    CreateDirectoryW(folder.c_str(), nullptr);
}

std::unique_ptr<SetupProcess> SandboxTest::Start(const std::wstring& image,
                                                 const std::wstring& arguments,
                                                 const std::wstring& dll) {
  const std::wstring program = app_ + L"\\" + name_;
  EXPECT_TRUE(CopyFileW(image.c_str(), program.c_str(), FALSE)) << "cannot copy the image";
  return std::make_unique<SetupProcess>(program, arguments, downloads_, dll);
}

std::vector<std::wstring> SandboxTest::WorkingFolders(const std::wstring& temp) const {
  const std::wstring parent = (temp.empty() ? temp_ : temp) + L"\\UlveraneSetup\\";
  std::vector<std::wstring> folders;
  for (const std::wstring& entry : ListTree(parent))
    if (entry.back() == L'\\' && entry.find(L'\\') == entry.size() - 1)
      folders.push_back(parent + entry);
  return folders;
}

std::wstring SandboxTest::TheRunsFolder(const std::wstring& temp) const {
  const std::vector<std::wstring> folders = WorkingFolders(temp);
  EXPECT_EQ(folders.size(), 1u);
  if (folders.size() != 1)
    return L"";
  EXPECT_EQ(ListTree(folders[0]), std::vector<std::wstring>{L"Setup.log"});
  return folders[0];
}

std::string SandboxTest::LogOfTheRun(const std::wstring& temp) const {
  const std::wstring folder = TheRunsFolder(temp);
  return folder.empty() ? "" : ReadBytes(folder + L"Setup.log");
}

std::string SandboxTest::Report() const {
  return Exists(report_) ? ReadBytes(report_) : "";
}

}  // namespace ulverane::testing
