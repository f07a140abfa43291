#include "package/property_table.h"

#include <msiquery.h>

#include <stdexcept>

#include "package/msi_handle.h"

namespace ulverane {

void SetProperty(MSIHANDLE view, const std::wstring& name, const std::wstring& value) {
  // A record that could not be made or filled would write a row without its
  // name or value: as much a failed modification as a refused one.
  const MsiHandle record(MsiCreateRecord(2));
  if (!record.valid() || MsiRecordSetStringW(record.get(), 1, name.c_str()) != ERROR_SUCCESS ||
      MsiRecordSetStringW(record.get(), 2, value.c_str()) != ERROR_SUCCESS)
    throw std::runtime_error("MsiViewModify failed");
  if (MsiViewModify(view, MSIMODIFY_INSERT, record.get()) == ERROR_SUCCESS)
    return;
  if (MsiViewModify(view, MSIMODIFY_ASSIGN, record.get()) != ERROR_SUCCESS)
    throw std::runtime_error("MsiViewModify failed");
}

}  // namespace ulverane
