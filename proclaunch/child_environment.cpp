#include "proclaunch/child_environment.h"

#include "common/unique_resource.h"
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

// Emptied, not removed: a variable's absence and its empty value read the
// same to the runtime, and the block keeps the parent's shape.
const std::wstring kEmptiedJavaVariables[] = {L"JAVA_TOOL_OPTIONS=", L"_JAVA_OPTIONS=", L"JDK_JAVA_OPTIONS=",
                                              L"CLASSPATH="};

}  // namespace

bool PrepareVariables(const std::wstring& tempFolder, PreparedVariables* prepared)
{
    PreparedVariables texts{L"TEMP=" + tempFolder, L"TMP=" + tempFolder};
    for (const std::wstring* text : {&texts.temp, &texts.tmp}) {
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
    for (const std::wstring& emptied : kEmptiedJavaVariables) {
        if (StartsWithIgnoringCase(variable, emptied.c_str())) {
            return &emptied;
        }
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


bool ChildEnvironmentBlock(const std::wstring& tempFolder, std::wstring* block)
{
    PreparedVariables prepared;
    if (!PrepareVariables(tempFolder, &prepared)) {
        return false;
    }
    common::UniqueEnvironmentStrings parent(::GetEnvironmentStringsW());
    if (!parent) {
        return false;
    }
    std::wstring written(ChildEnvironmentUnits(parent.get(), prepared), L'\0');
    if (!WriteChildEnvironment(parent.get(), prepared, &written[0])) {
        return false;
    }
    *block = std::move(written);
    return true;
}

}  // namespace proclaunch
