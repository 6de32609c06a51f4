#pragma once
// Removes the product's folder once the uninstaller has emptied it, then its
// parent and grandparent if they are empty by then. Never deletes a file.

#include <windows.h>

#include <string>
#include <string_view>

namespace purlow {

// The folder named on the command line: everything after the program's own
// name, trimmed; quotes around it are dropped, spaces inside need none.
std::wstring TargetFolderFromCommandLine(std::wstring_view commandLine);

// The path up to, not including, its last "\"; empty when it has none.
std::wstring ParentFolder(std::wstring_view path);

struct RemovalLimits {
    DWORD attemptIntervalMs = 1000;
    DWORD uninstallerGraceMs = 20000;  // after this, a folder still holding the uninstaller is given up
    DWORD giveUpMs = 120000;
};

// What the removal needs from the system; tests give it a clock of their own.
class RemovalSystem {
public:
    virtual ~RemovalSystem() = default;
    virtual DWORD TickCount() = 0;
    virtual void Sleep(DWORD ms) = 0;
    virtual void RemoveFolder(const std::wstring& path) = 0;
    virtual bool FolderExists(const std::wstring& path) = 0;
    virtual bool FileExists(const std::wstring& path) = 0;
};

// The real system: RemoveDirectoryW, FindFirstFileW, GetTickCount, Sleep.
class Win32RemovalSystem : public RemovalSystem {
public:
    DWORD TickCount() override;
    void Sleep(DWORD ms) override;
    void RemoveFolder(const std::wstring& path) override;
    bool FolderExists(const std::wstring& path) override;
    bool FileExists(const std::wstring& path) override;
};

void RemoveFolderWhenEmpty(const std::wstring& target, RemovalSystem& system,
                           const RemovalLimits& limits = RemovalLimits());

}  // namespace purlow
