#pragma once
// Words written into a command line so that the child's CommandLineToArgvW
// (and the C runtime's own parser, which reads quotes the same way) gives
// each back exactly as it was.

#include <string>

namespace common {

// The word in double quotes, a quote inside it as \" and every backslash
// run before a quote, or before the closing quote, doubled.
std::wstring QuotedWord(const std::wstring& word);

// The word as it is when it holds no blank, tab or double quote and is not
// empty; otherwise QuotedWord.
std::wstring QuotedWordIfNeeded(const std::wstring& word);

// A program path in double quotes when it holds a blank or tab, as it is
// otherwise: unquoted, "C:\Program Files\x.exe" would first run
// "C:\Program.exe".
std::wstring QuotedProgramPath(const std::wstring& path);

}  // namespace common
