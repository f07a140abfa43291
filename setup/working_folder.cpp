#include "setup/working_folder.h"

#include <windows.h>
#include <rpc.h>

#include <stdexcept>

namespace ulverane {
namespace {

[[noreturn]] void Fail() {
  throw std::runtime_error("CreateDirectory failed");
}

class RpcString {
 public:
  RpcString() = default;
  RpcString(const RpcString&) = delete;
  RpcString& operator=(const RpcString&) = delete;
  ~RpcString() {
    if (text_ != nullptr)
      RpcStringFreeW(&text_);
  }
  RPC_WSTR* out() { return &text_; }
  const wchar_t* get() const { return reinterpret_cast<const wchar_t*>(text_); }

 private:
  RPC_WSTR text_ = nullptr;
};

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
  RpcString text;
  if (UuidToStringW(&uuid, text.out()) != RPC_S_OK || text.get() == nullptr)
    Fail();
  std::wstring result(text.get());
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
