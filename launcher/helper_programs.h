#pragma once
// Uninstall mode: the two helper programs the launcher carries are written
// into a folder of the launcher's own in the system temporary folder, their
// deletion is registered for the next logon, and Pellow is started to have
// Purlow remove the launcher's folder.

#include "launcher/decision_trace.h"
#include "launcher/run_context.h"

#include <windows.h>

#include <string>

namespace launcher {

extern const wchar_t kPlatformProbeKey[];   // HKLM, 64-bit view: exists only on 64-bit Windows
extern const wchar_t kDeletePellowValue[];  // RunOnce "DeletePellow"
extern const wchar_t kDeletePurlowValue[];  // RunOnce "DeletePurlow"

// The probe key opens in the registry's 64-bit view.
bool IsPlatformProbeKeyPresent();

// Resource 1002 (x64 Purlow) on 64-bit Windows, else 1000 (x86 Purlow).
WORD PurlowResourceFor(bool is64BitWindows);

// "<system folder>\cmd.exe /C  del "<path>"": the RunOnce command that deletes
// a helper file.
std::wstring HelperDeletionCommand(const std::wstring& path);

// Everything after the platform probe: writes the chosen Purlow and Pellow
// from the module's resources into helperFolder, sets the two RunOnce values
// and starts Pellow with the Purlow path and launcherFolder. Both files stay
// open against writers until Pellow has ended, which it does as soon as it
// has started Purlow. A helper file that cannot be deleted is reused only
// when it holds exactly the resource's bytes; otherwise, or when a file
// cannot be written, nothing is registered or started. True when Pellow was
// asked to start. Pellow's TEMP and TMP name tempFolder (the system's when
// empty).
bool PlaceHelpersAndStartPellow(HMODULE module, WORD purlowResource, const std::wstring& helperFolder,
                                const std::wstring& launcherFolder, DecisionTrace& trace,
                                const std::wstring& tempFolder = std::wstring());

// The whole of uninstall mode's last step: the platform probe, a folder of
// the run's own for the helpers, and PlaceHelpersAndStartPellow with the
// launcher's folder. When the helpers cannot be placed their folder goes
// again and the launcher's folder stays.
void PrepareFolderRemoval(const RunContext& run);

}  // namespace launcher
