#pragma once
// Text as bytes of a code page and back, where text leaves or enters as
// bytes: UTF-8 for records and logs, the ANSI or console code page for
// readers that take nothing else, ZIP entry names in either.

#include <windows.h>

#include <string>

namespace common {

// WideCharToMultiByte and MultiByteToWideChar without flags; empty when the
// text is empty or cannot be converted.
std::string BytesFromWide(const std::wstring& text, UINT codePage);
std::wstring WideFromBytes(const std::string& bytes, UINT codePage);

inline std::string Utf8FromWide(const std::wstring& text) { return BytesFromWide(text, CP_UTF8); }
inline std::wstring WideFromUtf8(const std::string& bytes) { return WideFromBytes(bytes, CP_UTF8); }

}  // namespace common
