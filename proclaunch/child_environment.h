#pragma once
// The launcher's child environment: the parent's variables in their order,
// TEMP, TMP and JAVA_TOOL_OPTIONS (matched without regard to case) replaced
// by prepared texts, nothing added.

#include <windows.h>

#include <string>

namespace proclaunch {

// A prepared variable text ("NAME=value") holds at most this many UTF-16
// units with its terminator.
constexpr size_t kPreparedVariableUnits = 100;

struct PreparedVariables {
    std::wstring temp;             // "TEMP=" + SystemRoot + "\Temp"
    std::wstring tmp;              // "TMP=" + the same folder
    std::wstring javaToolOptions;  // "JAVA_TOOL_OPTIONS=" with an empty value
};

// The system temporary folder for a SystemRoot value.
std::wstring SystemTempFolder(const std::wstring& systemRoot);

// The three texts for a SystemRoot value. False when one would not fit
// kPreparedVariableUnits.
bool PrepareVariables(const std::wstring& systemRoot, PreparedVariables* prepared);

// The prepared text that replaces a variable, or null when it stays.
const std::wstring* ReplacementFor(const wchar_t* variable, const PreparedVariables& prepared);

// UTF-16 units the new block needs for a parent block (terminators and the
// final one included).
size_t ChildEnvironmentUnits(const wchar_t* parentBlock, const PreparedVariables& prepared);

// Writes the new block; `out` holds ChildEnvironmentUnits units. Each
// variable is first copied into a heap block of its own length; false when
// such a block cannot be had (the block in `out` is then incomplete).
bool WriteChildEnvironment(const wchar_t* parentBlock, const PreparedVariables& prepared, wchar_t* out);

}  // namespace proclaunch
