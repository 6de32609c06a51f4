#include "launcher/deferred_removal.h"

#include "common/unique_resource.h"
#include "launcher/file_operations.h"
#include "launcher/runtime_registry.h"
#include "launcher/runtime_rules.h"

#include <algorithm>
#include <vector>

namespace launcher {

namespace {

// One name for every session: runs started by a deployment service and by
// a user at the desk share the one RunOnce value.
const wchar_t kCommandMutex[] = L"Global\\wendrel-DeleteBundledJVM";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kValueName[] = L"DeleteBundledJVM";
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
    common::UniqueHandle m_mutex;
    bool m_owned = false;
};

std::vector<std::wstring> NamedFolders()
{
    const auto command = ReadMachineString(kRunOnceKey, kValueName, kLongestCommandBytes);
    return command ? FoldersOfRemovalCommand(*command) : std::vector<std::wstring>();
}

bool StoreNamedFolders(const std::vector<std::wstring>& folders)
{
    return folders.empty() ? DeleteRegistryValue(HKEY_LOCAL_MACHINE, kDeleteBundledJvmValue)
                           : SetRegistryString(HKEY_LOCAL_MACHINE, kDeleteBundledJvmValue,
                                               DeferredRemovalCommand(folders));
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

}  // namespace launcher
