#include "launcher/file_operations.h"

#include "common/paths.h"
#include "common/unique_resource.h"

#include <io.h>

namespace launcher {

namespace {

// Puts the current folder back when the operation leaves, whatever way.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper() : m_folder(common::CurrentFolder(kCurrentFolderUnits)) {}
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

}  // namespace

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return {std::wstring(), path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
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

namespace {

struct ListedEntry {
    std::wstring name;
    DWORD attributes = 0;
};

// The first entry but "." and "..", listed through the folder's own handle
// from the start; false when the folder is empty or cannot be listed.
bool FirstEntry(HANDLE folder, ListedEntry& first, bool& failed)
{
    alignas(8) unsigned char buffer[16 * 1024];
    failed = false;
    FILE_INFO_BY_HANDLE_CLASS listing = FileFullDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, listing, buffer, sizeof(buffer))) {
            failed = ::GetLastError() != ERROR_NO_MORE_FILES;
            return false;
        }
        listing = FileFullDirectoryInfo;
        for (auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(buffer);;
             entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(reinterpret_cast<const unsigned char*>(entry) +
                                                                 entry->NextEntryOffset)) {
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                first = {name, entry->FileAttributes};
                return true;
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
        }
    }
}

// Empties the folder open as `folder` at `path`; 0, or -1 at the first
// entry that cannot be removed.
int DeleteHeldFolderContents(HANDLE folder, const std::wstring& path)
{
    std::wstring previous;
    for (;;) {
        // The listing starts again after every removal, so its order never
        // depends on entries already gone.
        ListedEntry entry;
        bool failed = false;
        if (!FirstEntry(folder, entry, failed)) {
            return failed ? -1 : 0;
        }
        const std::wstring entryPath = path + L"\\" + entry.name;
        if (entryPath == previous) {
            // Removed but still listed (a file whose deletion waits for
            // another process to close it): give up instead of looping.
            return -1;
        }
        previous = entryPath;
        if (RemoveOwnEntry(entryPath, (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) == -1) {
            return -1;
        }
    }
}

// The entry itself, a link as the link; held without delete sharing, so
// that nobody can rename it or put a link in its place while it is emptied
// and deleted.
common::UniqueFile OpenOwnEntry(const std::wstring& path)
{
    return common::UniqueFile(::CreateFileW(
        path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

int RemoveOwnEntry(const std::wstring& path, bool listedAsLink)
{
    common::UniqueFile entry = OpenOwnEntry(path);
    if (!entry) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof(basic))) {
        return -1;
    }
    const bool isLink = (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (listedAsLink && !isLink) {
        // Listed as a link, yet the handle reached something else: the
        // system followed it (Wine does). Removed by name, which removes
        // the link and nothing it points at.
        entry.reset();
        return ::RemoveDirectoryW(path.c_str()) || ::DeleteFileW(path.c_str()) ? 0 : -1;
    }
    if (!isLink && (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        DeleteHeldFolderContents(entry.get(), path) == -1) {
        return -1;
    }
    if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        ::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof(basic));
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof(disposition)) ? 0 : -1;
}

bool RemoveFolderTree(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return !PathExists(path);
    }
    RemoveOwnEntry(path, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    return !PathExists(path);
}

int DeleteFolderContents(const std::wstring& folder)
{
    common::UniqueFile held = OpenOwnEntry(folder);
    if (!held) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    return DeleteHeldFolderContents(held.get(), folder);
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

bool SetRegistryString(HKEY root, const std::wstring& valuePath, const std::wstring& text)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    EnsureRegistryKey(root, keyPath);
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    // The terminating null is stored too: readers that take the raw bytes
    // would otherwise run past the text.
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool DeleteRegistryValue(HKEY root, const std::wstring& valuePath)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = ::RegDeleteValueW(key.get(), valueName.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool WriteNewFile(const std::wstring& path, const void* data, DWORD size)
{
    // An old file is deleted by its name, which deletes a link planted
    // there and never what it points at (a handle could follow it: Wine's
    // do); a folder there is not ours to empty.
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !::DeleteFileW(path.c_str())) {
        return false;
    }
    // New, and never through a link that came in between.
    common::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), data, size, &written, nullptr) && written == size;
}

}  // namespace launcher
