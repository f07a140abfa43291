#include "setup/working_folder.h"

#include <windows.h>
#include <rpc.h>
#include <sddl.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "base/process_identity.h"
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

// Random, so that nobody can tell the next run's folder in advance; a
// sequential UUID would also carry the network card's address.
std::wstring NewUuidText() {
  UUID uuid;
  if (UuidCreate(&uuid) != RPC_S_OK)
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

// Full control to the default owner, SYSTEM and Administrators, read and
// execute (for Setup.log) to the user; protected, so that nothing from the
// parent, which anyone may have made, is inherited.
UniqueLocalMemory PrivateDescriptor(const ProcessIdentity& identity) {
  const std::wstring owner = SidText(identity.owner());
  const std::wstring user = SidText(identity.user());
  if (owner.empty() || user.empty())
    Fail();
  std::vector<std::wstring> granted;
  std::wstring sddl = L"D:P";
  const auto grant = [&](const std::wstring& sid, const wchar_t* rights) {
    for (const std::wstring& done : granted)
      if (done == sid)
        return;
    granted.push_back(sid);
    sddl += L"(A;OICI;" + std::wstring(rights) + L";;;" + sid + L")";
  };
  grant(owner, L"FA");
  grant(L"S-1-5-18", L"FA");
  grant(L"S-1-5-32-544", L"FA");
  grant(user, L"0x1200a9");
  UniqueLocalMemory descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            descriptor.put(), nullptr)) {
    descriptor.release();
    Fail();
  }
  return descriptor;
}

}  // namespace

WorkingFolder CreateWorkingFolder() {
  const std::wstring parent = TempFolder() + L"UlveraneSetup\\";
  const std::wstring uuid = NewUuidText();
  // Shared by all runs and by anyone who made it first: nothing is trusted
  // to it.
  CreateDirectoryW(parent.c_str(), nullptr);
  const std::wstring folder = parent + uuid + L"\\";

  std::optional<ProcessIdentity> identity;
  UniqueLocalMemory descriptor;
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
  if (KeepsOwners(parent)) {
    identity.emplace();
    if (!identity->valid())
      Fail();
    descriptor = PrivateDescriptor(*identity);
    security.lpSecurityDescriptor = descriptor.get();
  }
  // The permissions come with the folder itself: there is no moment without.
  if (!CreateDirectoryW(folder.c_str(), identity ? &security : nullptr))
    Fail();
  // Someone who may write the parent may have swapped it already.
  HeldFolder held(folder.substr(0, folder.size() - 1));
  if (!held.valid() || (identity && !held.IsOwnedBy(*identity)))
    Fail();
  return WorkingFolder(folder, std::move(held));
}

}  // namespace ulverane
