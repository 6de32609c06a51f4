#pragma once

#include <string>

namespace common {

// The program's file name without folder and extension: the caption of its
// message boxes.
std::wstring ApplicationName();

// The same rule on a given path.
std::wstring ApplicationNameFromPath(const std::wstring& path);

}  // namespace common
