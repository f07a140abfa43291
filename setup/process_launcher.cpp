#include "setup/process_launcher.h"

#include <shellapi.h>

#include <cstdint>

#include "log/logger.h"

namespace ulverane {

ProcessLauncher::ProcessLauncher(std::wstring program, std::wstring arguments, bool minimised)
    : program_(std::move(program)), arguments_(std::move(arguments)), minimised_(minimised) {}

UniqueHandle ProcessLauncher::Start() const {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program_.c_str();
  info.lpParameters = arguments_.c_str();
  info.nShow = minimised_ ? SW_SHOWMINNOACTIVE : SW_SHOWDEFAULT;

  setupLog << "Trying to start process: " << program_ << " " << arguments_ << std::endl;
  const BOOL succeeded = ShellExecuteExW(&info);
  setupLog << "  Succeeded: " << succeeded << std::endl;
  return UniqueHandle(succeeded ? info.hProcess : nullptr);
}

bool ProcessLauncher::RunAndWait(DWORD& exitCode) const {
  exitCode = 0xFFFFFFFF;
  const UniqueHandle process = Start();
  if (!process.valid())
    return false;
  setupLog << "Waiting for process to finish..." << std::endl;
  WaitForSingleObject(process.get(), INFINITE);
  if (!GetExitCodeProcess(process.get(), &exitCode))
    exitCode = 0xFFFFFFFF;
  setupLog << "  Exit code: " << static_cast<std::int32_t>(exitCode) << std::endl;
  return true;
}

}  // namespace ulverane
