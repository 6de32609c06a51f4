#pragma once
// What a run leaves behind it once the Java installer has ended: no private
// runtime (should the run be cut short, the RunOnce command that names its
// run folder removes it at the next logon), a runtime installer beside the
// product's uninstaller, and no Java 7.

#include <windows.h>

#include <string>

namespace launcher {

// Removes the private runtime, with a few attempts while its last files are
// let go.
void RemovePrivateRuntime(const std::wstring& runFolder);

// Writes the carried runtime installer (resource 3000) as "JRE.exe" into
// the folder of the product's uninstaller, when the product is installed.
void PlaceRuntimeInstallerForUninstaller(HINSTANCE instance);

// Starts msiexec, not waited for, on the first uninstall entry named "Java 7".
void RemoveJava7();

}  // namespace launcher
