#pragma once
// What LaunchProcess is asked to start, and its two roads, reachable on
// their own: the system's version decides between them, and the interactive
// one takes its security table as a parameter.

#include "proclaunch/security_api.h"

#include <windows.h>

#include <string>

namespace proclaunch {

struct LaunchRequest {
    LPCWSTR applicationPath;
    LPWSTR commandLine;
    STARTUPINFOW* startupInfo;
    BOOL wait;
    BOOL startInSystemTemp;  // launcher form only
    DWORD* childExitCode = nullptr;  // after a wait: the child's exit code
    const wchar_t* childTempFolder = nullptr;  // TEMP and TMP; null: the system's
    const wchar_t* workingFolder = nullptr;    // the child's; null: this process's
    HANDLE expectedImage = nullptr;  // a held file the child's program must be, or it never runs
};

// The text the desktop field of the start-up information points to.
extern wchar_t InteractiveDesktopName[];

// Windows XP and later take the interactive-session road.
bool UseInteractiveSessionPath(DWORD platformId, DWORD majorVersion, DWORD minorVersion);

// Application path, one blank, arguments (null reads as empty). False when
// that and its terminator exceed `units`.
bool CombineCommandLine(LPCWSTR applicationPath, LPCWSTR arguments, size_t units, std::wstring* combined);

BOOL LaunchInInteractiveSession(const SecurityApi& api, const LaunchRequest& request);
BOOL LaunchPlainly(const LaunchRequest& request);

}  // namespace proclaunch
