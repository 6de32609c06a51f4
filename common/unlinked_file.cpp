#include "common/unlinked_file.h"

#include "common/paths.h"

#include <vector>

namespace common {

namespace {

// Whether the open file is reached by exactly its own name in its own
// folder: no reparse point, no second name, and the system's final path of
// the file is its folder's final path plus the name asked for.
bool IsReachedWithoutLinks(HANDLE file, const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks != 1) {
        return false;
    }
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return false;
    }
    const std::wstring folderPath = path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
    UniqueFile folder(::CreateFileW(folderPath.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        return false;
    }
    std::wstring expected = SystemFinalPathOf(folder.get());
    const std::wstring actual = SystemFinalPathOf(file);
    if (expected.empty() || actual.empty()) {
        return false;
    }
    if (expected.back() != L'\\') {
        expected += L'\\';
    }
    expected += path.substr(slash + 1);
    return ::CompareStringOrdinal(expected.c_str(), -1, actual.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The absolute form of a relative path ("\\AutoUpdate.log" names the root of
// the working folder's drive): the checks compare absolute paths.
std::wstring AbsolutePath(const std::wstring& path)
{
    std::vector<wchar_t> absolute(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(absolute.size()), absolute.data(), nullptr);
        if (length == 0) {
            return path;
        }
        if (length < absolute.size()) {
            return std::wstring(absolute.data(), length);
        }
        absolute.resize(length + 1);
    }
}

// Deletes the file this open made, through its own handle: its name may
// lead elsewhere by now.
void DeleteCreatedFile(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

UniqueFile OpenUnlinkedFile(const std::wstring& requestedPath, DWORD access, DWORD share, bool* created)
{
    const std::wstring path = AbsolutePath(requestedPath);
    // Reading the attributes is what the checks below need. Deleting, so
    // that a refused file this open made is not left behind, only for a
    // file nobody else may open meanwhile: a handle that may delete keeps
    // out every reader that does not share deleting.
    access |= FILE_READ_ATTRIBUTES;
    const DWORD createAccess = share == 0 ? access | DELETE : access;
    *created = true;
    UniqueFile file(::CreateFileW(path.c_str(), createAccess, share, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {
        *created = false;
        file.reset(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const DWORD error = ::GetLastError();
        if (!file && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            // The name is there but leads nowhere: a link whose target is
            // missing (Wine follows links even when asked not to).
            ::SetLastError(ERROR_CANT_ACCESS_FILE);
        }
    }
    if (!file) {
        return file;
    }
    if (!IsReachedWithoutLinks(file.get(), path)) {
        if (*created && createAccess != access) {
            DeleteCreatedFile(file.get());
        }
        file.reset();
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
    }
    return file;
}

}  // namespace common
