#pragma once
// The launcher's options: its own settings, the installer's pass-through
// arguments with the well-known options rewritten, and the argument text
// for javaw.exe.

#include "launcher/launcher_state.h"

#include <windows.h>

#include <string>

namespace launcher {

// Reads words 1 to count - 1 (already unquoted) into the state and returns
// the "/exename=" override (empty when none). The installer's options are
// recognised as whole words, each written once in the installer's terms.
std::wstring TranslateArguments(const wchar_t* const* words, int count, LauncherState& state);

// Sets m_strProgramName and m_strFolder from the program path held in
// m_strFolder; a non-empty override names the program.
void SplitProgramPath(LauncherState& state, const std::wstring& programNameOverride);

// Language and country codes for a UI language id; the caller empties both
// members first.
void DetectSystemLanguage(LauncherState& state, LANGID userLanguage);

// The argument text for javaw.exe (without the program path).
std::wstring BuildJavaArguments(const LauncherState& state, bool imageExists, const std::wstring& imagePath,
                                const std::wstring& archivePath);

}  // namespace launcher
