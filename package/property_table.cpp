#include "package/property_table.h"

#include <msiquery.h>

#include <stdexcept>

#include "package/msi_handle.h"

namespace ulverane {

void SetProperty(MSIHANDLE view, const std::wstring& name, const std::wstring& value) {
  // Failures to make or fill the record show up as a failed modification.
  const MsiHandle record(MsiCreateRecord(2));
  MsiRecordSetStringW(record.get(), 1, name.c_str());
  MsiRecordSetStringW(record.get(), 2, value.c_str());
  if (MsiViewModify(view, MSIMODIFY_INSERT, record.get()) == ERROR_SUCCESS)
    return;
  if (MsiViewModify(view, MSIMODIFY_ASSIGN, record.get()) != ERROR_SUCCESS)
    throw std::runtime_error("MsiViewModify failed");
}

}  // namespace ulverane
