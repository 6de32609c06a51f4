#pragma once
// Keeping the Program Compatibility Assistant away from the setup program:
// its path goes into the assistant's exclusion list (HKLM, multi-string
// "ExecutablesToExclude"), which stays at most 25 entries long when only
// this program fills it.

#include <string>
#include <vector>

namespace setup {

constexpr wchar_t kCompatibilityAssistantKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Compatibility Assistant";
constexpr wchar_t kExclusionListValue[] = L"ExecutablesToExclude";
// The list is handled in one buffer of this many UTF-16 units; a stored list
// of this many bytes or more is left alone.
constexpr size_t kExclusionListUnits = 8192;

// Whether a recorded Windows version ("CurrentVersion") is 6.0 or later, as
// text: "6.1" is, "5.1" and "10.0" are not.
bool IsVistaVersionText(const std::wstring& version);

// The strings of a stored multi-string, up to its first empty string or the
// end of the data, whichever comes first; a last string without its null is
// taken as it stands.
std::vector<std::wstring> MultiStringEntries(const wchar_t* data, size_t units);

// What adding a path to a stored list comes to.
struct ExclusionListUpdate {
    bool found = false;          // already listed (letter case ignored): no change
    bool fits = true;            // false: the new list would not fit the buffer; no change
    size_t pathsNum = 0;         // entries of the stored list
    std::wstring firstEntry;     // the stored list's first entry, or empty
    std::wstring secondEntry;    // where the written list starts when the first is dropped
    std::wstring value;          // the multi-string to write, closing empty string included
};
// More than 24 entries lose the first when the path is added.
ExclusionListUpdate PlanExclusionListUpdate(const wchar_t* data, size_t units, const std::wstring& path);

bool WindowsVista();
// Makes sure a key below HKLM exists, creating missing parents first.
void CreateSubSubKey(const std::wstring& path);
void SetPCA(const std::wstring& path);

}  // namespace setup
