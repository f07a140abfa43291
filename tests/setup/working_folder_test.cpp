#include "setup/working_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/environment.h"
#include "tests/support/temp_folder.h"

namespace ulverane::testing {
namespace {

// Points TEMP and TMP elsewhere for the life of the object.
struct TempVariables {
  explicit TempVariables(const std::wstring& value) : tmp(L"TMP", value), temp(L"TEMP", value) {}
  ScopedEnvironment tmp, temp;
};

TEST(WorkingFolderTest, FreshUuidFolderUnderTheSharedParent) {
  TempFolder temp;
  TempVariables variables(temp.path() + L"\\");
  const std::wstring first = CreateWorkingFolder().path();
  const std::wstring second = CreateWorkingFolder().path();  // the parent exists by now
  const std::wregex shape(std::wstring(L"\\\\UlveraneSetup\\\\") +
                          L"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\\\");
  for (const std::wstring& folder : {first, second}) {
    ASSERT_EQ(folder.substr(0, temp.path().size()), temp.path());
    EXPECT_TRUE(std::regex_match(folder.substr(temp.path().size()), shape)) << folder.c_str();
    EXPECT_TRUE(Exists(folder));
    EXPECT_TRUE(ListTree(folder).empty());
  }
  EXPECT_NE(first, second);
}

TEST(WorkingFolderTest, UnusableTemporaryFolderRaisesBeforeCreatingAnything) {
  TempFolder temp;
  WriteBytes(temp / L"file", "x");
  const std::wstring cases[] = {
      temp / L"file\\",                          // a file, not a folder
      temp / L"missing\\deeper\\",               // parent of the parent missing
      temp / (std::wstring(300, L'x') + L"\\"),  // longer than the 260-unit buffer
  };
  for (const std::wstring& value : cases) {
    TempVariables variables(value);
    try {
      CreateWorkingFolder();
      ADD_FAILURE() << "created under " << value.size() << " units";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "CreateDirectory failed");
    }
  }
  EXPECT_EQ(ListTree(temp.path()), std::vector<std::wstring>{L"file"});
}

}  // namespace
}  // namespace ulverane::testing
