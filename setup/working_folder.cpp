#include "setup/working_folder.h"

#include "resources/payload_files.h"

namespace ulverane {

WorkingFolder::~WorkingFolder() {
  // Moved from, or not made.
  if (!held_.valid())
    return;
  if (!held_.MayHold(IsPayloadName))
    MarkFinished(path_.substr(0, path_.size() - 1));
}

bool WorkingFolder::Resolves() const {
  const HeldFolder found(path_.substr(0, path_.size() - 1), HeldFolder::Mode::kResolve);
  return held_.IsSameFolder(found);
}

bool IsPayloadName(const std::wstring& name) {
  for (const PayloadFile& file : kPayloadFiles)
    if (name == (*file.culture != L'\0' ? file.culture : file.name))
      return true;
  return false;
}

}  // namespace ulverane
