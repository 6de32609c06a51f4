#include "common/command_line_words.h"

namespace common {

std::wstring QuotedWord(const std::wstring& word)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            quoted += c;
            continue;
        }
        if (c == L'"') {
            // The backslashes before a quote are read in pairs: double them,
            // then escape the quote itself.
            quoted.append(backslashes + 1, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Likewise before the closing quote.
    quoted.append(backslashes, L'\\');
    return quoted + L"\"";
}

std::wstring QuotedWordIfNeeded(const std::wstring& word)
{
    return word.empty() || word.find_first_of(L" \t\"") != std::wstring::npos ? QuotedWord(word) : word;
}

std::wstring QuotedProgramPath(const std::wstring& path)
{
    return path.find_first_of(L" \t") != std::wstring::npos ? L"\"" + path + L"\"" : path;
}

}  // namespace common
