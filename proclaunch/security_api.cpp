#include "proclaunch/security_api.h"

namespace proclaunch {

namespace {

template <typename Function>
void Resolve(HMODULE library, const char* name, Function& entry)
{
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

template <typename Function, typename Result, typename... Arguments>
Result Forward(Function entry, Result missing, Arguments... arguments)
{
    if (entry == nullptr) {
        ::SetLastError(SecurityApiMissing);
        return missing;
    }
    return entry(arguments...);
}

// Constructed with the program's other static objects, before any launch.
const SecurityApi g_securityApi;

}  // namespace

SecurityApi::SecurityApi()
{
    Fill(L"advapi32.dll", L"user32.dll");
}

SecurityApi::SecurityApi(const wchar_t* advapiLibrary, const wchar_t* userLibrary)
{
    Fill(advapiLibrary, userLibrary);
}

void SecurityApi::Fill(const wchar_t* advapiLibrary, const wchar_t* userLibrary)
{
    m_table = {};
    m_table.advapi32 = ::LoadLibraryW(advapiLibrary);
    if (m_table.advapi32 == nullptr) {
        return;
    }
    Resolve(m_table.advapi32, "GetTokenInformation", m_table.getTokenInformation);
    Resolve(m_table.advapi32, "GetLengthSid", m_table.getLengthSid);
    Resolve(m_table.advapi32, "CopySid", m_table.copySid);
    Resolve(m_table.advapi32, "InitializeSecurityDescriptor", m_table.initializeSecurityDescriptor);
    Resolve(m_table.advapi32, "GetSecurityDescriptorDacl", m_table.getSecurityDescriptorDacl);
    Resolve(m_table.advapi32, "SetSecurityDescriptorDacl", m_table.setSecurityDescriptorDacl);
    Resolve(m_table.advapi32, "GetAclInformation", m_table.getAclInformation);
    Resolve(m_table.advapi32, "InitializeAcl", m_table.initializeAcl);
    Resolve(m_table.advapi32, "GetAce", m_table.getAce);
    Resolve(m_table.advapi32, "AddAce", m_table.addAce);
    Resolve(m_table.advapi32, "AddAccessAllowedAce", m_table.addAccessAllowedAce);
    Resolve(m_table.advapi32, "OpenProcessToken", m_table.openProcessToken);
    Resolve(m_table.advapi32, "ImpersonateLoggedOnUser", m_table.impersonateLoggedOnUser);
    Resolve(m_table.advapi32, "RevertToSelf", m_table.revertToSelf);

    m_table.user32 = ::LoadLibraryW(userLibrary);
    if (m_table.user32 == nullptr) {
        return;
    }
    Resolve(m_table.user32, "GetUserObjectSecurity", m_table.getUserObjectSecurity);
    Resolve(m_table.user32, "SetUserObjectSecurity", m_table.setUserObjectSecurity);
    Resolve(m_table.user32, "OpenWindowStationW", m_table.openWindowStation);
    Resolve(m_table.user32, "CloseWindowStation", m_table.closeWindowStation);
    Resolve(m_table.user32, "OpenDesktopW", m_table.openDesktop);
    Resolve(m_table.user32, "CloseDesktop", m_table.closeDesktop);
    Resolve(m_table.user32, "GetProcessWindowStation", m_table.getProcessWindowStation);
    Resolve(m_table.user32, "SetProcessWindowStation", m_table.setProcessWindowStation);
}

SecurityApi::~SecurityApi()
{
    if (m_table.advapi32 != nullptr) {
        ::FreeLibrary(m_table.advapi32);
    }
    if (m_table.user32 != nullptr) {
        ::FreeLibrary(m_table.user32);
    }
}

BOOL SecurityApi::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                                      DWORD informationLength, PDWORD returnLength) const
{
    return Forward(m_table.getTokenInformation, FALSE, token, informationClass, information, informationLength,
                   returnLength);
}

DWORD SecurityApi::GetLengthSid(PSID sid) const
{
    return Forward(m_table.getLengthSid, DWORD(0xFFFFFFFF), sid);
}

BOOL SecurityApi::CopySid(DWORD destinationLength, PSID destination, PSID source) const
{
    return Forward(m_table.copySid, FALSE, destinationLength, destination, source);
}

BOOL SecurityApi::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) const
{
    return Forward(m_table.initializeSecurityDescriptor, FALSE, descriptor, revision);
}

BOOL SecurityApi::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl,
                                            LPBOOL daclDefaulted) const
{
    return Forward(m_table.getSecurityDescriptorDacl, FALSE, descriptor, daclPresent, dacl, daclDefaulted);
}

BOOL SecurityApi::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                                            BOOL daclDefaulted) const
{
    return Forward(m_table.setSecurityDescriptorDacl, FALSE, descriptor, daclPresent, dacl, daclDefaulted);
}

BOOL SecurityApi::GetAclInformation(PACL acl, LPVOID information, DWORD informationLength,
                                    ACL_INFORMATION_CLASS informationClass) const
{
    return Forward(m_table.getAclInformation, FALSE, acl, information, informationLength, informationClass);
}

BOOL SecurityApi::InitializeAcl(PACL acl, DWORD length, DWORD revision) const
{
    return Forward(m_table.initializeAcl, FALSE, acl, length, revision);
}

BOOL SecurityApi::GetAce(PACL acl, DWORD index, LPVOID* ace) const
{
    return Forward(m_table.getAce, FALSE, acl, index, ace);
}

BOOL SecurityApi::AddAce(PACL acl, DWORD revision, DWORD startingIndex, LPVOID aceList, DWORD aceListLength) const
{
    return Forward(m_table.addAce, FALSE, acl, revision, startingIndex, aceList, aceListLength);
}

BOOL SecurityApi::OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) const
{
    return Forward(m_table.openProcessToken, FALSE, process, desiredAccess, token);
}

BOOL SecurityApi::ImpersonateLoggedOnUser(HANDLE token) const
{
    return Forward(m_table.impersonateLoggedOnUser, FALSE, token);
}

BOOL SecurityApi::RevertToSelf() const
{
    return Forward(m_table.revertToSelf, FALSE);
}

BOOL SecurityApi::GetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION requested,
                                        PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD needed) const
{
    return Forward(m_table.getUserObjectSecurity, FALSE, object, requested, descriptor, length, needed);
}

BOOL SecurityApi::SetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION information,
                                        PSECURITY_DESCRIPTOR descriptor) const
{
    return Forward(m_table.setUserObjectSecurity, FALSE, object, information, descriptor);
}

HWINSTA SecurityApi::OpenWindowStationW(LPCWSTR name, BOOL inherit, ACCESS_MASK desiredAccess) const
{
    return Forward(m_table.openWindowStation, HWINSTA(nullptr), name, inherit, desiredAccess);
}

BOOL SecurityApi::CloseWindowStation(HWINSTA windowStation) const
{
    return Forward(m_table.closeWindowStation, FALSE, windowStation);
}

HDESK SecurityApi::OpenDesktopW(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK desiredAccess) const
{
    return Forward(m_table.openDesktop, HDESK(nullptr), name, flags, inherit, desiredAccess);
}

BOOL SecurityApi::CloseDesktop(HDESK desktop) const
{
    return Forward(m_table.closeDesktop, FALSE, desktop);
}

HWINSTA SecurityApi::GetProcessWindowStation() const
{
    return Forward(m_table.getProcessWindowStation, HWINSTA(nullptr));
}

BOOL SecurityApi::SetProcessWindowStation(HWINSTA windowStation) const
{
    return Forward(m_table.setProcessWindowStation, FALSE, windowStation);
}

const SecurityApi& ProcessSecurityApi()
{
    return g_securityApi;
}

}  // namespace proclaunch
