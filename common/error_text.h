#pragma once

#include <windows.h>

#include <string>

namespace common {

// The system message table's text for an error code, exactly as
// FormatMessageW gives it (inserts ignored, its own line end kept); empty
// when the system has no text for the code. The caller's last-error code is
// left as it was.
std::wstring SystemErrorText(DWORD code);

// The text without its trailing carriage returns and line feeds.
std::wstring WithoutLineEnd(std::wstring text);

}  // namespace common
