#include "helpers/purlow/folder_removal.h"

#include "common/unique_resource.h"

namespace purlow {

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring_view Trim(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Searches for the path itself, so a missing path and one that cannot be
// searched both count as absent.
bool FindAttributes(const std::wstring& path, DWORD& attributes)
{
    WIN32_FIND_DATAW found;
    common::UniqueFind search(::FindFirstFileW(path.c_str(), &found));
    if (!search) {
        return false;
    }
    attributes = found.dwFileAttributes;
    return true;
}

}  // namespace

std::wstring TargetFolderFromCommandLine(std::wstring_view commandLine)
{
    std::wstring_view rest;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const size_t closing = commandLine.find(L'"', 1);
        if (closing != std::wstring_view::npos) {
            rest = commandLine.substr(closing + 1);
        }
    } else {
        const size_t blank = commandLine.find_first_of(L" \t");
        if (blank != std::wstring_view::npos) {
            rest = commandLine.substr(blank);
        }
    }
    rest = Trim(rest);
    if (!rest.empty() && rest.front() == L'"') {
        rest.remove_prefix(1);
        // Only a closing quote goes: cutting another character would name another folder.
        if (!rest.empty() && rest.back() == L'"') {
            rest.remove_suffix(1);
        }
    }
    return std::wstring(rest);
}

std::wstring ParentFolder(std::wstring_view path)
{
    const size_t last = path.rfind(L'\\');
    if (last == std::wstring_view::npos) {
        return std::wstring();
    }
    return std::wstring(path.substr(0, last));
}

DWORD Win32RemovalSystem::TickCount()
{
    return ::GetTickCount();
}

void Win32RemovalSystem::Sleep(DWORD ms)
{
    ::Sleep(ms);
}

void Win32RemovalSystem::RemoveFolder(const std::wstring& path)
{
    ::RemoveDirectoryW(path.c_str());
}

bool Win32RemovalSystem::FolderExists(const std::wstring& path)
{
    DWORD attributes = 0;
    return FindAttributes(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32RemovalSystem::FileExists(const std::wstring& path)
{
    DWORD attributes = 0;
    return FindAttributes(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void RemoveFolderWhenEmpty(const std::wstring& target, RemovalSystem& system, const RemovalLimits& limits)
{
    if (target.empty()) {
        return;
    }
    const std::wstring parent = ParentFolder(target);
    const std::wstring grandparent = ParentFolder(parent);
    const std::wstring uninstaller = target + L"\\uninstaller.exe";

    // Tick differences are unsigned, so the limits hold across the tick count's wrap.
    const DWORD start = system.TickCount();
    while (system.TickCount() - start < limits.giveUpMs) {
        system.RemoveFolder(target);
        if (!system.FolderExists(target)) {
            break;
        }
        // A sleep, not a busy poll: a helper must not hold a processor for two minutes.
        const DWORD pauseStart = system.TickCount();
        for (DWORD waited = 0; waited < limits.attemptIntervalMs; waited = system.TickCount() - pauseStart) {
            system.Sleep(limits.attemptIntervalMs - waited);
        }
        // The uninstaller is still in place, so the folder will not empty.
        if (system.TickCount() - start >= limits.uninstallerGraceMs && system.FileExists(uninstaller)) {
            break;
        }
    }

    if (!parent.empty()) {
        system.RemoveFolder(parent);
    }
    if (!grandparent.empty()) {
        system.RemoveFolder(grandparent);
    }
}

}  // namespace purlow
