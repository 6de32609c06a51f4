#pragma once
// The launcher's child environment: the parent's variables in their order,
// TEMP and TMP (matched without regard to case) naming the folder the
// launcher gives its children, and the variables through which the Java
// runtime takes options or classes from outside (JAVA_TOOL_OPTIONS,
// _JAVA_OPTIONS, JDK_JAVA_OPTIONS, CLASSPATH) emptied; nothing added.

#include <windows.h>

#include <string>

namespace proclaunch {

// A prepared variable text ("NAME=value") holds at most this many UTF-16
// units with its terminator.
constexpr size_t kPreparedVariableUnits = 100;

struct PreparedVariables {
    std::wstring temp;  // "TEMP=" + the children's temporary folder
    std::wstring tmp;   // "TMP=" + the same folder
};

// The two texts for the children's temporary folder. False when one would
// not fit kPreparedVariableUnits.
bool PrepareVariables(const std::wstring& tempFolder, PreparedVariables* prepared);

// The prepared text that replaces a variable, or null when it stays.
const std::wstring* ReplacementFor(const wchar_t* variable, const PreparedVariables& prepared);

// UTF-16 units the new block needs for a parent block (terminators and the
// final one included).
size_t ChildEnvironmentUnits(const wchar_t* parentBlock, const PreparedVariables& prepared);

// Writes the new block; `out` holds ChildEnvironmentUnits units. Each
// variable is first copied into a heap block of its own length; false when
// such a block cannot be had (the block in `out` is then incomplete).
bool WriteChildEnvironment(const wchar_t* parentBlock, const PreparedVariables& prepared, wchar_t* out);

// The child environment of this process's own, for a start that builds no
// block itself. False when the texts do not fit or memory runs out.
bool ChildEnvironmentBlock(const std::wstring& tempFolder, std::wstring* block);

}  // namespace proclaunch
