#pragma once
// One step line of the launch routines in the setup log ("Clean up:",
// "return true"): written in the setup form, compiled away in the launcher
// form, which keeps no log of its own.

#include "proclaunch/launch_log.h"

namespace proclaunch {

inline void LogStep(const wchar_t* line)
{
#ifndef PROCLAUNCH_LAUNCHER_FORM
    WriteLaunchLog(line);
#else
    (void)line;
#endif
}

inline void LogStep(const wchar_t* text, const wchar_t* value)
{
#ifndef PROCLAUNCH_LAUNCHER_FORM
    WriteLaunchLog(std::wstring(text) + value);
#else
    (void)text;
    (void)value;
#endif
}

}  // namespace proclaunch
