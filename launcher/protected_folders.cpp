#include "launcher/protected_folders.h"

#include "launcher/file_operations.h"

#include <objbase.h>
#include <sddl.h>

namespace launcher {

const wchar_t kProtectedFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {

constexpr int kUniqueNameAttempts = 8;

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

common::UniqueLocalMem ProtectedFolderDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr);
    return common::UniqueLocalMem(descriptor);
}

bool CreateProtectedFolder(const std::wstring& path)
{
    const common::UniqueLocalMem descriptor = ProtectedFolderDescriptor();
    if (!descriptor) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

std::wstring CreateUniqueProtectedFolder(const std::wstring& parent)
{
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        const std::wstring name = UnguessableName();
        if (name.empty()) {
            return std::wstring();
        }
        const std::wstring path = parent + L"\\" + name;
        if (CreateProtectedFolder(path)) {
            return path;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::wstring();
        }
    }
    return std::wstring();
}

bool RunFolder::Create(const std::wstring& parent)
{
    Remove();
    m_path = CreateUniqueProtectedFolder(parent);
    return !m_path.empty();
}

void RunFolder::Remove()
{
    if (!m_path.empty()) {
        const DWORD lastError = ::GetLastError();
        RemoveFolderTree(m_path);
        m_path.clear();
        ::SetLastError(lastError);
    }
}

}  // namespace launcher
