#pragma once
// Starts a child program on the interactive desktop "winsta0\default": the
// caller's logon SID is given access to the window station and desktop, the
// caller's token is impersonated while the child is created, and the call
// can wait for the child to end.
//
// Built in two forms. The setup form writes a line per step through
// proclaunch/launch_log.h. The launcher form (PROCLAUNCH_LAUNCHER_FORM)
// writes none, gives the child an environment whose TEMP and TMP name the
// folder the caller gives (the system temporary folder when none) and whose
// Java option and class path variables (if any) are empty, and can start the
// child in the system temporary folder. The Windows folder comes from the
// system, never from the environment.
//
// commandLine: on entry the child's arguments; on return the full command
// line used (application path as passed, one blank, the arguments). The
// buffer must hold LaunchCommandLineUnits UTF-16 units.
// startupInfo: zeroed with its size set; its desktop field is pointed at the
// constant text "winsta0\default".
// expectedImage: a held file (see common/held_file.h); the child is created
// suspended and ended unresumed, failing with common::kImageNotTheHeldFile,
// when its program is not that file.
// Returns TRUE when the child was created, FALSE with the last-error code
// set otherwise. childExitCode, when given, receives the exit code of a child
// that was waited for.

#include <windows.h>

namespace proclaunch {

#ifdef PROCLAUNCH_LAUNCHER_FORM
constexpr DWORD LaunchCommandLineUnits = 1040;
#else
constexpr DWORD LaunchCommandLineUnits = 260;
#endif

// Refusals that start nothing. ERROR_INSUFFICIENT_BUFFER: the full command
// line with its terminator exceeds LaunchCommandLineUnits.
constexpr DWORD LaunchCommandLineTooLong = ERROR_INSUFFICIENT_BUFFER;
// Launcher form: the system does not say where the Windows folder is, so
// there is no system temporary folder to give the child.
constexpr DWORD LaunchSystemRootMissing = ERROR_ENVVAR_NOT_FOUND;
// Launcher form: "TEMP=" + the child's temporary folder exceeds 100 units
// with its terminator.
constexpr DWORD LaunchSystemRootTooLong = ERROR_FILENAME_EXCED_RANGE;
// Launcher form: no memory for the child's environment.
constexpr DWORD LaunchEnvironmentNoMemory = ERROR_NOT_ENOUGH_MEMORY;

}  // namespace proclaunch

#ifdef PROCLAUNCH_LAUNCHER_FORM
BOOL LaunchProcess(LPCWSTR applicationPath, LPWSTR commandLine, STARTUPINFOW* startupInfo, BOOL wait,
                   BOOL startInSystemTemp, DWORD* childExitCode = nullptr, LPCWSTR childTempFolder = nullptr,
                   HANDLE expectedImage = nullptr);
#else
// The child gets the launcher's clean environment, with childTempFolder
// (null: the system's) as TEMP and TMP, and workingFolder (null: this
// process's) as its working folder.
BOOL LaunchProcess(LPCWSTR applicationPath, LPWSTR commandLine, STARTUPINFOW* startupInfo, BOOL wait,
                   DWORD* childExitCode = nullptr, LPCWSTR childTempFolder = nullptr,
                   LPCWSTR workingFolder = nullptr, HANDLE expectedImage = nullptr);
#endif
