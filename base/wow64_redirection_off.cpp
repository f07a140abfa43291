#include "base/wow64_redirection_off.h"

#include <windows.h>

#include "base/kernel32_export.h"

namespace ulverane {
namespace {

// 32-bit Windows XP has neither function, and no redirection to switch.
using RedirectionFunction = BOOL(WINAPI*)(PVOID*);
using RevertFunction = BOOL(WINAPI*)(PVOID);

}  // namespace

Wow64RedirectionOff::Wow64RedirectionOff() {
  const auto disable = Kernel32Export<RedirectionFunction>("Wow64DisableWow64FsRedirection");
  if (disable != nullptr)
    disabled_ = disable(&previous_) != FALSE;
}

Wow64RedirectionOff::~Wow64RedirectionOff() {
  if (!disabled_)
    return;
  if (const auto revert = Kernel32Export<RevertFunction>("Wow64RevertWow64FsRedirection"))
    revert(previous_);
}

}  // namespace ulverane
