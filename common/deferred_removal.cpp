#include "common/deferred_removal.h"

#include "common/paths.h"
#include "common/registry.h"
#include "common/unique_resource.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace common {

namespace {

// One name for every session: runs started by a deployment service and by
// a user at the desk share the one RunOnce value.
const wchar_t kCommandMutex[] = L"Global\\wendrel-DeleteBundledJVM";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kValueName[] = L"DeleteBundledJVM";
const wchar_t kValuePath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeleteBundledJVM";
const wchar_t kRemoveFolder[] = L"RD /S /Q \"";
const wchar_t kNextCommand[] = L" & ";
constexpr DWORD kLongestCommandBytes = 8192;
// Anyone may take a global name first and hold it: a run waits this long,
// then goes on without a folder rather than hang.
constexpr DWORD kLockWaitMs = 20000;

// The command's mutex, owned while this lives; empty when it could not be
// had in time. A run killed while it held the mutex leaves it abandoned,
// which hands it to the next one.
class CommandLock {
public:
    CommandLock() : m_mutex(::CreateMutexW(nullptr, FALSE, kCommandMutex))
    {
        if (m_mutex) {
            const DWORD waited = ::WaitForSingleObject(m_mutex.get(), kLockWaitMs);
            m_owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        }
    }
    ~CommandLock()
    {
        if (m_owned) {
            ::ReleaseMutex(m_mutex.get());
        }
    }
    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;

    explicit operator bool() const { return m_owned; }

private:
    UniqueHandle m_mutex;
    bool m_owned = false;
};

std::vector<std::wstring> NamedFolders()
{
    const auto command = ReadRegistryString(HKEY_LOCAL_MACHINE, kRunOnceKey, kValueName, KEY_QUERY_VALUE,
                                            {RegistryValueTypes::Strings, kLongestCommandBytes, ReadAsStored});
    return command ? FoldersOfRemovalCommand(*command) : std::vector<std::wstring>();
}

bool StoreNamedFolders(const std::vector<std::wstring>& folders)
{
    return folders.empty() ? DeleteRegistryValue(HKEY_LOCAL_MACHINE, kValuePath)
                           : SetRegistryString(HKEY_LOCAL_MACHINE, kValuePath, DeferredRemovalCommand(folders));
}

bool IsGone(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::wstring DeferredRemovalCommand(const std::vector<std::wstring>& runFolders)
{
    std::wstring command = SystemProgramPath(L"cmd.exe") + L" /C  ";
    for (size_t i = 0; i < runFolders.size(); ++i) {
        command += (i ? kNextCommand : L"") + std::wstring(kRemoveFolder) + runFolders[i] + L"\"";
    }
    return command;
}

std::vector<std::wstring> FoldersOfRemovalCommand(const std::wstring& command)
{
    std::vector<std::wstring> folders;
    const size_t length = wcslen(kRemoveFolder);
    for (size_t at = command.find(kRemoveFolder); at != std::wstring::npos; at = command.find(kRemoveFolder, at)) {
        const size_t start = at + length;
        const size_t end = command.find(L'"', start);
        if (end == std::wstring::npos) {
            break;
        }
        folders.push_back(command.substr(start, end - start));
        at = end + 1;
    }
    return folders;
}

bool CreateRegisteredFolder(const std::wstring& folder, const std::function<bool()>& create)
{
    const CommandLock lock;
    if (!lock) {
        ::SetLastError(ERROR_TIMEOUT);
        return false;
    }
    // Folders already gone make room: their runs ended, or were cut short
    // before they made them. Folders are made only under the lock, so none
    // of a run still starting is taken for gone.
    std::vector<std::wstring> folders = NamedFolders();
    folders.erase(std::remove_if(folders.begin(), folders.end(), IsGone), folders.end());
    folders.push_back(folder);
    if (DeferredRemovalCommand(folders).size() > kLongestRunOnceCommand) {
        ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    if (!StoreNamedFolders(folders)) {
        ::SetLastError(ERROR_CANTWRITE);
        return false;
    }
    if (create()) {
        return true;
    }
    const DWORD error = ::GetLastError();
    folders.pop_back();
    StoreNamedFolders(folders);
    ::SetLastError(error);
    return false;
}

bool ForgetRemovedFolder(const std::wstring& folder)
{
    if (!IsGone(folder)) {
        return false;
    }
    const CommandLock lock;
    if (!lock) {
        return false;
    }
    std::vector<std::wstring> folders = NamedFolders();
    folders.erase(std::remove(folders.begin(), folders.end(), folder), folders.end());
    return StoreNamedFolders(folders);
}

}  // namespace common
