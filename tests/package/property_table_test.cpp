#include "package/property_table.h"

#include <windows.h>
#include <msiquery.h>

#include <gtest/gtest.h>

#include "package/msi_handle.h"
#include "tests/package/package_results.h"
#include "tests/support/temp_folder.h"
#include "tests/test_paths.h"

namespace ulverane::testing {
namespace {

const std::wstring kSample = ULVERANE_PAYLOAD_DIR L"\\Ulverane.msi";

// Results of an earlier run must not be read back as this run's; one
// environment for the whole program.
class FreshResults : public ::testing::Environment {
 public:
  void SetUp() override { ResetResults(); }
};
::testing::Environment* const kFreshResults = ::testing::AddGlobalTestEnvironment(new FreshResults);

// A copy of the sample package, open for writing, with an executed view,
// of its Property table unless another query is given.
class PropertyTable {
 public:
  explicit PropertyTable(const std::wstring& path,
                         const wchar_t* query = L"SELECT * FROM `Property`") {
    CopyFileW(kSample.c_str(), path.c_str(), FALSE);
    MSIHANDLE handle = 0;
    MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_DIRECT, &handle);
    database_.reset(handle);
    handle = 0;
    MsiDatabaseOpenViewW(database_.get(), query, &handle);
    view_.reset(handle);
    MsiViewExecute(view_.get(), 0);
  }
  MSIHANDLE view() const { return view_.get(); }
  bool Commit() {
    const bool committed = MsiDatabaseCommit(database_.get()) == ERROR_SUCCESS;
    Close();
    return committed;
  }
  void Close() {
    view_.reset();
    database_.reset();
  }

 private:
  MsiHandle database_;
  MsiHandle view_;
};

// The host reads the rows back (check_packages.py).
TEST(SetPropertyTest, AddsNewRowsAndReplacesExistingOnes) {
  struct Case {
    const wchar_t* name;
    std::vector<std::pair<std::wstring, std::wstring>> writes;
    std::vector<std::pair<std::wstring, std::wstring>> rows;
  };
  const Case cases[] = {
      {L"set-new.msi", {{L"NO_EULA_PROPERTY", L"#1"}}, {{L"NO_EULA_PROPERTY", L"#1"}}},
      {L"set-existing.msi",
       {{L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1"}},
       {{L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1"}}},
      {L"set-twice.msi",
       {{L"NO_UPDATE_CHECK_PROPERTY", L"#1"},
        {L"NO_UPDATE_CHECK_PROPERTY", L"#0"},
        {L"INSTALL_DIR_PROPERTY", L"first"},
        {L"INSTALL_DIR_PROPERTY", L"second"}},
       {{L"NO_UPDATE_CHECK_PROPERTY", L"#0"}, {L"INSTALL_DIR_PROPERTY", L"second"}}},
      // Within code page 1252: a package keeps its strings in one code page.
      {L"set-text.msi",
       {{L"INSTALL_DIR_PROPERTY", L"C:\\Program Files\\Ulverane \u00e9t\u00e9 Gr\u00fc\u00dfe"}},
       {{L"INSTALL_DIR_PROPERTY", L"C:\\Program Files\\Ulverane \u00e9t\u00e9 Gr\u00fc\u00dfe"}}},
  };
  for (const Case& c : cases) {
    const std::wstring path = kResults + L"\\" + c.name;
    PropertyTable table(path);
    for (const auto& [name, value] : c.writes)
      SetProperty(table.view(), name, value);
    EXPECT_TRUE(table.Commit());
    ExpectRows(path, c.rows);
  }
}

// Views whose columns do not match a name and a value.
TEST(SetPropertyTest, ViewThatTakesNoRowRaisesAndClosesTheRecord) {
  TempFolder folder;
  for (const wchar_t* query : {L"SELECT * FROM `Media`", L"SELECT `Value` FROM `Property`"}) {
    PropertyTable table(folder / L"package.msi", query);
    try {
      SetProperty(table.view(), L"NO_EULA_PROPERTY", L"#1");
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "MsiViewModify failed");
    }
    table.Close();
    // Nothing is left open: the record was closed on the way out.
    EXPECT_EQ(MsiCloseAllHandles(), 0u);
  }
}

}  // namespace
}  // namespace ulverane::testing
