#include "launcher/file_operations.h"

#include "common/unique_resource.h"

#include <io.h>

#include <vector>

namespace launcher {

std::wstring CurrentFolder()
{
    constexpr DWORD kCurrentFolderCapacity = 1040;
    std::vector<wchar_t> buffer(kCurrentFolderCapacity, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(kCurrentFolderCapacity, buffer.data());
    return length > 0 && length < kCurrentFolderCapacity ? std::wstring(buffer.data(), length) : std::wstring();
}

namespace {

// Puts the current folder back when the operation leaves, whatever way.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() : m_folder(CurrentFolder()) {}
    ~CurrentFolderKeeper()
    {
        if (!m_folder.empty()) {
            const DWORD lastError = ::GetLastError();
            ::SetCurrentDirectoryW(m_folder.c_str());
            ::SetLastError(lastError);
        }
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    std::wstring m_folder;
};

bool IsRootOrBareDrive(const std::wstring& path)
{
    return path == L"\\" || (path.size() == 2 && path[1] == L':');
}

}  // namespace

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return {std::wstring(), path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::wstring GetSystemTempFolder()
{
    std::wstring root;
    const DWORD size = ::GetEnvironmentVariableW(L"SystemRoot", nullptr, 0);
    if (size > 0) {
        root.resize(size);
        root.resize(::GetEnvironmentVariableW(L"SystemRoot", &root[0], size));
    }
    return root + L"\\Temp";
}

std::wstring SystemProgramPath(const wchar_t* name)
{
    std::vector<wchar_t> folder(MAX_PATH, L'\0');
    const UINT length = ::GetSystemDirectoryW(folder.data(), MAX_PATH);
    return std::wstring(folder.data(), length < MAX_PATH ? length : 0) + L"\\" + name;
}

bool PathExists(const std::wstring& path)
{
    return ::_waccess(path.c_str(), 0) == 0;
}

bool FolderExists(const std::wstring& path)
{
    CurrentFolderKeeper keeper;
    return ::SetCurrentDirectoryW(path.c_str()) != FALSE;
}

bool CreateFolderPath(const std::wstring& path)
{
    CurrentFolderKeeper keeper;
    ::CreateDirectoryW(path.c_str(), nullptr);
    if (::SetCurrentDirectoryW(path.c_str())) {
        return true;
    }
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return false;
    }
    const std::wstring parent = path.substr(0, slash);
    if (parent.empty() || IsRootOrBareDrive(parent)) {
        return false;
    }
    if (!CreateFolderPath(parent)) {
        return false;
    }
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

int DeleteFolderContents(const std::wstring& folder)
{
    std::wstring previous;
    for (;;) {
        WIN32_FIND_DATAW entry = {};
        common::UniqueFind listing(::FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
        if (!listing) {
            return 0;
        }
        bool found = false;
        do {
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) {
                found = true;
                break;
            }
        } while (::FindNextFileW(listing.get(), &entry));
        listing.reset();
        if (!found) {
            return 0;
        }
        // The listing starts again after every removal, so its order never
        // depends on entries already gone.
        const std::wstring path = folder + L"\\" + entry.cFileName;
        if (path == previous) {
            // Removed but still listed (a file whose deletion waits for
            // another process to close it): give up instead of looping.
            return -1;
        }
        previous = path;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A link is removed itself: what it points at is not ours to empty.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && DeleteFolderContents(path) == -1) {
                return -1;
            }
            if (!::RemoveDirectoryW(path.c_str())) {
                return -1;
            }
        } else {
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
                ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            }
            ::DeleteFileW(path.c_str());
            if (PathExists(path)) {
                return -1;
            }
        }
    }
}

void EnsureRegistryKey(HKEY root, const std::wstring& keyPath)
{
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
        return;
    }
    const auto [parentPath, name] = SplitAtLastBackslash(keyPath);
    if (parentPath.empty()) {
        // A key right below the root.
        ::RegCreateKeyW(root, name.c_str(), key.put());
        return;
    }
    common::UniqueRegKey parent;
    if (::RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) {
        EnsureRegistryKey(root, parentPath);
        if (::RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) {
            return;
        }
    }
    ::RegCreateKeyW(parent.get(), name.c_str(), key.put());
}

void SetRegistryString(HKEY root, const std::wstring& valuePath, const std::wstring& text)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    EnsureRegistryKey(root, keyPath);
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        return;
    }
    // The terminating null is stored too: readers that take the raw bytes
    // would otherwise run past the text.
    ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void DeleteRegistryValue(HKEY root, const std::wstring& valuePath)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
        return;
    }
    ::RegDeleteValueW(key.get(), valueName.c_str());
}

bool WriteNewFile(const std::wstring& path, const void* data, DWORD size)
{
    common::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

}  // namespace launcher
