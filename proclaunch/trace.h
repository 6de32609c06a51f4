#pragma once
// A step line of the routines: written in the setup form, compiled away in
// the launcher form, which keeps no log.

#include "proclaunch/launch_log.h"

namespace proclaunch {

inline void Trace(const wchar_t* line)
{
#ifndef PROCLAUNCH_LAUNCHER_FORM
    WriteLaunchLog(line);
#else
    (void)line;
#endif
}

inline void Trace(const wchar_t* text, const wchar_t* value)
{
#ifndef PROCLAUNCH_LAUNCHER_FORM
    WriteLaunchLog(std::wstring(text) + value);
#else
    (void)text;
    (void)value;
#endif
}

}  // namespace proclaunch
