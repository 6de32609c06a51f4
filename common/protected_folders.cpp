#include "common/protected_folders.h"

#include "common/deferred_removal.h"
#include "common/folder_tree.h"

#include <objbase.h>
#include <sddl.h>

namespace common {

const wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {

constexpr int kUniqueNameAttempts = 8;
// A file the Java installer let go of only just now may still hold the
// folder for a moment.
constexpr int kRemovalAttempts = 10;

std::wstring UnguessableName()
{
    GUID guid = {};
    if (FAILED(::CoCreateGuid(&guid))) {
        return std::wstring();
    }
    wchar_t text[40] = {};
    if (::StringFromGUID2(guid, text, 40) == 0) {
        return std::wstring();
    }
    // "{...}" without its braces.
    return L"wendrel-" + std::wstring(text + 1, 36);
}

}  // namespace

UniqueLocalMem ProtectedFolderDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr);
    return UniqueLocalMem(descriptor);
}

bool CreateProtectedFolder(const std::wstring& path)
{
    const UniqueLocalMem descriptor = ProtectedFolderDescriptor();
    if (!descriptor) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

namespace {

// A new protected folder below `parent` with an unguessable name, made by
// `create`, which may also refuse a name for being taken.
template <typename Create>
std::wstring CreateUniqueFolder(const std::wstring& parent, Create create)
{
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        const std::wstring name = UnguessableName();
        if (name.empty()) {
            return std::wstring();
        }
        const std::wstring path = parent + L"\\" + name;
        if (create(path)) {
            return path;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::wstring();
        }
    }
    return std::wstring();
}

}  // namespace

std::wstring CreateUniqueProtectedFolder(const std::wstring& parent)
{
    return CreateUniqueFolder(parent, CreateProtectedFolder);
}

bool RunFolder::Create(const std::wstring& parent)
{
    Remove();
    m_path = CreateUniqueFolder(parent, [](const std::wstring& path) {
        return CreateRegisteredFolder(path, [&path] { return CreateProtectedFolder(path); });
    });
    return !m_path.empty();
}

std::wstring RunFolder::CreateChildTemp() const
{
    const std::wstring temp = m_path + L"\\Temp";
    return !m_path.empty() && CreateProtectedFolder(temp) ? temp : std::wstring();
}

void RunFolder::Remove()
{
    if (m_path.empty()) {
        return;
    }
    const DWORD lastError = ::GetLastError();
    for (int attempt = 0; attempt < kRemovalAttempts && !RemoveFolderTree(m_path); ++attempt) {
        ::Sleep(attempt * 10);
    }
    // A folder that stays is left to the logon's command.
    ForgetRemovedFolder(m_path);
    m_path.clear();
    ::SetLastError(lastError);
}

}  // namespace common
