#pragma once

#include <string>

namespace common {

// The program's file name without its extension: the caption of every
// message box the programs show.
std::wstring ApplicationName();

// The same rule over a module path, e.g. "C:\a\wendrel.exe" gives "wendrel".
std::wstring ApplicationNameFromPath(const std::wstring& modulePath);

}  // namespace common
