#ifndef ULVERANE_PACKAGE_PROPERTY_TABLE_H_
#define ULVERANE_PACKAGE_PROPERTY_TABLE_H_

#include <windows.h>
#include <msi.h>

#include <string>

namespace ulverane {

// Writes the row `name` = `value` through `view`, an executed view of
// "SELECT * FROM `Property`": inserts it, or, when the name exists, assigns
// the new value. Raises "MsiViewModify failed" when neither works, or when
// the record cannot be made or filled; the record is closed on every path.
void SetProperty(MSIHANDLE view, const std::wstring& name, const std::wstring& value);

}  // namespace ulverane

#endif  // ULVERANE_PACKAGE_PROPERTY_TABLE_H_
