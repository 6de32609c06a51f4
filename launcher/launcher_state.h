#pragma once
// What the launcher was asked to do: its folder and name, its own options,
// and the installer's pass-through arguments.

#include <windows.h>

#include <string>

namespace launcher {

// Filled from the command line at start-up; the run adds the system's
// language before it builds the Java installer's arguments.
struct LauncherState {
    std::wstring m_strSysLanguage;   // from the user's UI language; empty when not in the table
    std::wstring m_strSysCountry;
    std::wstring m_strFolder;        // the program's folder, no trailing "\"
    std::wstring m_strExtraArgs;     // quoted words, each preceded by a blank
    BOOL m_bEnglish = FALSE;
    std::wstring m_strLanguage;
    std::wstring m_strCountry;
    bool m_bNormalProcess = false;
    bool m_bNoJavaError = false;
    std::wstring m_strProgramName;   // the name the update log shows
};

}  // namespace launcher
