#pragma once
// The launcher's exit codes, as deployment tools read them. When the Java
// installer ran, its own exit code is passed on unchanged: 0, 3010 (done, a
// restart is needed) and 1641 (done, a restart was started) included.

#include <windows.h>

namespace launcher {

// Nothing was installed: no usable Java runtime, no archive, the Java
// installer could not be started, or the update log could not be written.
// Windows Installer's "fatal error during installation".
constexpr DWORD kExitNothingStarted = ERROR_INSTALL_FAILURE;  // 1603

}  // namespace launcher
