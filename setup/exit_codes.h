#pragma once
// The setup program's exit codes. When the platform installer ran, its own
// exit code is passed on (0 included); these say why it did not run.

#include <windows.h>

namespace setup {

// The user is not a member of the Administrators group (or the membership
// test failed). Message 108 was shown.
constexpr DWORD kExitNotAdministrator = 740;            // ERROR_ELEVATION_REQUIRED
// No platform installer was found on the media. Message 106 was shown.
constexpr DWORD kExitInstallerNotFound = ERROR_FILE_NOT_FOUND;      // 2
// An installer was found but could not be started (also: its path or
// arguments do not fit the command line). Message 106 was shown, except for
// a failed direct start with "/normalprocess", which shows nothing.
constexpr DWORD kExitInstallerNotStarted = ERROR_INSTALL_FAILURE;   // 1603

}  // namespace setup
