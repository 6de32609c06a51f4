#include "common/folder_tree.h"

#include "common/unique_resource.h"

#include <io.h>

namespace common {

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
UniqueFile OpenOwnEntry(const std::wstring& path)
{
    return UniqueFile(::CreateFileW(
        path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

int RemoveOwnEntry(const std::wstring& path, bool listedAsLink)
{
    UniqueFile entry = OpenOwnEntry(path);
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
        return ::_waccess(path.c_str(), 0) != 0;
    }
    RemoveOwnEntry(path, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    return ::_waccess(path.c_str(), 0) != 0;
}

int DeleteFolderContents(const std::wstring& folder)
{
    UniqueFile held = OpenOwnEntry(folder);
    if (!held) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    return DeleteHeldFolderContents(held.get(), folder);
}

}  // namespace common
