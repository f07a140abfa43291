#ifndef ULVERANE_SETUP_WINDOWS_FEATURES_H_
#define ULVERANE_SETUP_WINDOWS_FEATURES_H_

namespace ulverane {

// True when the .NET 3.5 key exists in the registry view this process sees
// (the 32-bit view for the 32-bit product on 64-bit Windows).
bool IsDotNet35Present();

// Starts "OptionalFeatures.exe" from the native system folder and does not
// wait for it. File-system redirection is off for that one start only. The
// result is not checked: this only offers help.
void StartWindowsFeatures();

}  // namespace ulverane

#endif  // ULVERANE_SETUP_WINDOWS_FEATURES_H_
