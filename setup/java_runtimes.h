#pragma once
// Whether a registered Java runtime is new enough for the installer.

#include <string>
#include <vector>

namespace setup {

// What the Java check shows while it searches: the status dialog.
class StatusDisplay {
public:
    virtual void DisplayWindow() = 0;
    virtual void HideWindow() = 0;

protected:
    ~StatusDisplay() = default;
};

// Whether a is not greater than b: dotted versions compared number by
// number, where only a component's leading number counts (0 when it has
// none); a version that ends where the other goes on is not greater.
bool IsVersionLessOrEqual(const std::wstring& a, const std::wstring& b);

// Ascending version order; equal versions keep their order.
void SortVersions(std::vector<std::wstring>& versions);

// An existing file (not a folder); also a file whose attributes cannot be
// read because it is in use or access is denied.
bool FileExists(const std::wstring& path);

namespace jvm {
// Appends the names of the usable runtimes registered under HKLM
// "Software\JavaSoft\Java Runtime Environment" (in this process's registry
// view) in enumeration order and returns their number; an enumeration
// failure empties the list and gives 0.
size_t GetInstalledJavaVms(std::vector<std::wstring>& versions);
}  // namespace jvm

// True when no runtime is required, or a usable registered runtime is at
// least the required one (JRE.RequiredVersion, or 1.8.0 when the media carry
// a runtime installer). Shows the display during the search.
bool CheckInstalledJavaVms(StatusDisplay* pDialog);

}  // namespace setup
