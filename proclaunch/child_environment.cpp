#include "proclaunch/child_environment.h"

#include "proclaunch/launch_heap.h"

#include <cwchar>

namespace proclaunch {

namespace {

wchar_t AsciiUpper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Whether `text` begins with `prefix` (upper-case ASCII) in any letter case.
bool StartsWithIgnoringCase(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix != L'\0'; ++text, ++prefix) {
        if (AsciiUpper(*text) != *prefix) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring SystemTempFolder(const std::wstring& systemRoot)
{
    return systemRoot + L"\\Temp";
}

bool PrepareVariables(const std::wstring& systemRoot, PreparedVariables* prepared)
{
    const std::wstring folder = SystemTempFolder(systemRoot);
    PreparedVariables texts{L"TEMP=" + folder, L"TMP=" + folder, L"JAVA_TOOL_OPTIONS="};
    for (const std::wstring* text : {&texts.temp, &texts.tmp, &texts.javaToolOptions}) {
        if (text->size() + 1 > kPreparedVariableUnits) {
            return false;
        }
    }
    *prepared = std::move(texts);
    return true;
}

const std::wstring* ReplacementFor(const wchar_t* variable, const PreparedVariables& prepared)
{
    if (StartsWithIgnoringCase(variable, L"TEMP=")) {
        return &prepared.temp;
    }
    if (StartsWithIgnoringCase(variable, L"TMP=")) {
        return &prepared.tmp;
    }
    if (StartsWithIgnoringCase(variable, L"JAVA_TOOL_OPTIONS=")) {
        return &prepared.javaToolOptions;
    }
    return nullptr;
}

size_t ChildEnvironmentUnits(const wchar_t* parentBlock, const PreparedVariables& prepared)
{
    size_t units = 1;  // the block's own terminator
    for (const wchar_t* variable = parentBlock; *variable != L'\0'; variable += std::wcslen(variable) + 1) {
        const std::wstring* replacement = ReplacementFor(variable, prepared);
        units += (replacement != nullptr ? replacement->size() : std::wcslen(variable)) + 1;
    }
    return units;
}

bool WriteChildEnvironment(const wchar_t* parentBlock, const PreparedVariables& prepared, wchar_t* out)
{
    for (const wchar_t* variable = parentBlock; *variable != L'\0'; variable += std::wcslen(variable) + 1) {
        const size_t variableLength = std::wcslen(variable);
        LaunchHeapBlock scratch = AllocateLaunchBlock((variableLength + 1) * sizeof(wchar_t));
        if (!scratch) {
            return false;
        }
        auto* staged = static_cast<wchar_t*>(scratch.get());
        std::wmemcpy(staged, variable, variableLength + 1);

        const std::wstring* replacement = ReplacementFor(staged, prepared);
        const wchar_t* text = replacement != nullptr ? replacement->c_str() : staged;
        const size_t length = replacement != nullptr ? replacement->size() : variableLength;
        std::wmemcpy(out, text, length + 1);
        out += length + 1;
    }
    *out = L'\0';
    return true;
}

}  // namespace proclaunch
