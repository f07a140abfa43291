#ifndef ULVERANE_SETUP_PROCESS_IDENTITY_H_
#define ULVERANE_SETUP_PROCESS_IDENTITY_H_

#include <windows.h>

#include <string>
#include <vector>

namespace ulverane {

// Who this process is to the file system: its token's user, and the token's
// default owner, which becomes the owner of what the process creates (the
// Administrators group in an elevated run, often in a LocalSystem one).
class ProcessIdentity {
 public:
  // Reads the process token; valid() is false when it cannot be read.
  ProcessIdentity();

  bool valid() const { return !user_.empty() && !owner_.empty(); }
  PSID user() const { return Sid(user_); }
  PSID owner() const { return Sid(owner_); }

  // Whether `sid` is the user or the default owner.
  bool IsOurs(PSID sid) const;
  // Whether `sid` is ours, SYSTEM or the Administrators group: those who may
  // own a folder that this process relies on.
  bool IsTrusted(PSID sid) const;

 private:
  static PSID Sid(const std::vector<DWORD>& bytes) {
    return bytes.empty() ? nullptr : const_cast<DWORD*>(bytes.data());
  }

  // Copies of the SIDs, DWORD-aligned as a SID must be.
  std::vector<DWORD> user_;
  std::vector<DWORD> owner_;
};

// The text form of `sid` ("S-1-5-..."), or "" when it cannot be made.
std::wstring SidText(PSID sid);

}  // namespace ulverane

#endif  // ULVERANE_SETUP_PROCESS_IDENTITY_H_
