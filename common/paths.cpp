#include "common/paths.h"

#include <windows.h>

#include <cwchar>
#include <utility>
#include <vector>

namespace common {

namespace {

// One of the system's folder queries, which answer with the length and
// take a buffer of MAX_PATH at most.
std::wstring FolderFrom(UINT(WINAPI* query)(LPWSTR, UINT))
{
    std::vector<wchar_t> folder(MAX_PATH, L'\0');
    const UINT length = query(folder.data(), MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder.data(), length) : std::wstring();
}

UINT WINAPI QueryWindowsFolder(LPWSTR buffer, UINT size)
{
    return ::GetSystemWindowsDirectoryW(buffer, size);
}

UINT WINAPI QuerySystemFolder(LPWSTR buffer, UINT size)
{
    return ::GetSystemDirectoryW(buffer, size);
}

}  // namespace

std::wstring WindowsFolder()
{
    return FolderFrom(&QueryWindowsFolder);
}

std::wstring SystemTempFolder()
{
    return WindowsFolder() + L"\\Temp";
}

std::wstring SystemFolder()
{
    return FolderFrom(&QuerySystemFolder);
}

std::wstring SystemProgramPath(const wchar_t* name)
{
    return SystemFolder() + L"\\" + name;
}

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return {std::wstring(), path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::wstring PlainPathWhereItFits(const std::wstring& path)
{
    static const wchar_t kExtended[] = L"\\\\?\\";
    static const wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";
    std::wstring plain;
    if (path.rfind(kExtendedUnc, 0) == 0) {
        plain = L"\\\\" + path.substr(wcslen(kExtendedUnc));
    } else if (path.rfind(kExtended, 0) == 0 && path.size() >= 6 && path[5] == L':') {
        plain = path.substr(wcslen(kExtended));
    } else {
        return path;
    }
    return plain.size() < MAX_PATH ? plain : path;
}

std::wstring SystemFinalPathOf(HANDLE file)
{
    std::vector<wchar_t> path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            return std::wstring(path.data(), length);
        }
        path.resize(length + 1);
    }
}

std::wstring FinalPathOf(HANDLE file)
{
    return PlainPathWhereItFits(SystemFinalPathOf(file));
}

std::wstring ProgramPath(DWORD units)
{
    std::vector<wchar_t> path(units, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), units);
    return length > 0 && length < units ? std::wstring(path.data(), length) : std::wstring();
}

std::wstring CurrentFolder()
{
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    return needed > 0 ? CurrentFolder(needed) : std::wstring();
}

std::wstring CurrentFolder(DWORD units)
{
    std::vector<wchar_t> folder(units, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(units, folder.data());
    return length > 0 && length < units ? std::wstring(folder.data(), length) : std::wstring();
}

}  // namespace common
