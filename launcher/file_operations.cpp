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

bool PathExists(const std::wstring& path)
{
    return ::_waccess(path.c_str(), 0) == 0;
}

bool FolderExists(const std::wstring& path)
{
    CurrentFolderKeeper keeper;
    return ::SetCurrentDirectoryW(path.c_str()) != FALSE;
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
