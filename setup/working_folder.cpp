#include "setup/working_folder.h"

#include <windows.h>
#include <rpc.h>

#include <stdexcept>

#include "base/unique_resource.h"

namespace ulverane {
namespace {

[[noreturn]] void Fail() {
  throw std::runtime_error("CreateDirectory failed");
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH];
  // A failed or over-long answer leaves the buffer unfilled.
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH)
    Fail();
  std::wstring folder(buffer, length);
  if (folder.back() != L'\\')
    folder += L'\\';
  return folder;
}

std::wstring NewUuidText() {
  UUID uuid;
  const RPC_STATUS created = UuidCreateSequential(&uuid);
  // Local-only UUIDs are still unique on this machine, which is all we need.
  if (created != RPC_S_OK && created != RPC_S_UUID_LOCAL_ONLY)
    Fail();
  UniqueRpcString text;
  if (UuidToStringW(&uuid, text.put()) != RPC_S_OK) {
    text.release();  // what a failed call leaves there is no string of ours
    Fail();
  }
  if (!text.valid())
    Fail();
  std::wstring result(reinterpret_cast<const wchar_t*>(text.get()));
  if (result.size() != 36)
    Fail();
  for (wchar_t& c : result) {
    if (c >= L'A' && c <= L'F')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return result;
}

}  // namespace

std::wstring CreateWorkingFolder() {
  const std::wstring parent = TempFolder() + L"UlveraneSetup\\";
  const std::wstring uuid = NewUuidText();
  CreateDirectoryW(parent.c_str(), nullptr);  // shared by all runs; may exist
  const std::wstring folder = parent + uuid + L"\\";
  if (!CreateDirectoryW(folder.c_str(), nullptr))
    Fail();
  return folder;
}

}  // namespace ulverane
