#pragma once
// UTF-8 at the edges where text leaves or enters as bytes (records, logs).

#include <string>

namespace common {

std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& bytes);

}  // namespace common
