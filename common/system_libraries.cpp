#include "common/system_libraries.h"

#include <string>
#include <vector>

namespace common {

void UseSystemFolderForLibraries()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefault = FindFunction<SetDefaultDllDirectoriesFunction>(::GetModuleHandleW(L"kernel32.dll"),
                                                                           "SetDefaultDllDirectories");
    if (setDefault) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Nor the current folder, on systems that search it.
    ::SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    // A loader that does not know the flag: the full path says the same.
    const UINT length = ::GetSystemDirectoryW(nullptr, 0);
    if (length == 0) {
        return nullptr;
    }
    std::vector<wchar_t> folder(length, L'\0');
    if (::GetSystemDirectoryW(folder.data(), length) == 0) {
        return nullptr;
    }
    const std::wstring path = std::wstring(folder.data()) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace common
