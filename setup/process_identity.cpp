#include "setup/process_identity.h"

#include <sddl.h>

#include "base/unique_resource.h"

namespace ulverane {
namespace {

// A SID of up to two sub-authorities, laid out as the system lays one out.
struct FixedSid {
  BYTE revision;
  BYTE count;
  SID_IDENTIFIER_AUTHORITY authority;
  DWORD rids[2];
};
constexpr FixedSid kLocalSystem = {SID_REVISION,
                                   1,
                                   SECURITY_NT_AUTHORITY,
                                   {SECURITY_LOCAL_SYSTEM_RID, 0}};
constexpr FixedSid kAdministrators = {SID_REVISION,
                                      2,
                                      SECURITY_NT_AUTHORITY,
                                      {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

// The SID that token information `kind` (TokenUser or TokenOwner, both a
// structure that starts with the SID's address) names, copied; empty when
// the token cannot tell.
std::vector<DWORD> TokenSid(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  std::vector<DWORD_PTR> buffer(64);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD needed = 0;
    const auto size = static_cast<DWORD>(buffer.size() * sizeof(DWORD_PTR));
    if (GetTokenInformation(token, kind, buffer.data(), size, &needed)) {
      const PSID sid = *reinterpret_cast<PSID*>(buffer.data());
      if (sid == nullptr || !IsValidSid(sid))
        return {};
      const DWORD length = GetLengthSid(sid);
      std::vector<DWORD> copy((length + sizeof(DWORD) - 1) / sizeof(DWORD));
      CopyMemory(copy.data(), sid, length);
      return copy;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= size)
      return {};
    buffer.resize(needed / sizeof(DWORD_PTR) + 1);
  }
  return {};
}

}  // namespace

ProcessIdentity::ProcessIdentity() {
  UniqueHandle token;
  if (!token.Received(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())))
    return;
  user_ = TokenSid(token.get(), TokenUser);
  owner_ = TokenSid(token.get(), TokenOwner);
}

bool ProcessIdentity::IsOurs(PSID sid) const {
  return valid() && sid != nullptr && IsValidSid(sid) &&
         (EqualSid(sid, user()) || EqualSid(sid, owner()));
}

bool ProcessIdentity::IsTrusted(PSID sid) const {
  if (IsOurs(sid))
    return true;
  if (sid == nullptr || !IsValidSid(sid))
    return false;
  for (const FixedSid& known : {kLocalSystem, kAdministrators}) {
    if (EqualSid(sid, const_cast<FixedSid*>(&known)))
      return true;
  }
  return false;
}

std::wstring SidText(PSID sid) {
  UniqueLocalMemory text;
  if (!text.Received(ConvertSidToStringSidW(sid, reinterpret_cast<LPWSTR*>(text.put()))))
    return std::wstring();
  return static_cast<const wchar_t*>(text.get());
}

}  // namespace ulverane
