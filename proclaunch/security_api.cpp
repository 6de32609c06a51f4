#include "proclaunch/security_api.h"

#include "common/system_libraries.h"

namespace proclaunch {

namespace {

template <typename Function>
void Resolve(HMODULE library, const char* name, Function& entry)
{
    entry = common::FindFunction<Function>(library, name);
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
    m_table.advapi32.reset(::LoadLibraryW(advapiLibrary));
    if (!m_table.advapi32) {
        return;
    }
    Resolve(m_table.advapi32.get(), "GetTokenInformation", m_table.getTokenInformation);
    Resolve(m_table.advapi32.get(), "GetLengthSid", m_table.getLengthSid);
    Resolve(m_table.advapi32.get(), "CopySid", m_table.copySid);
    Resolve(m_table.advapi32.get(), "InitializeSecurityDescriptor", m_table.initializeSecurityDescriptor);
    Resolve(m_table.advapi32.get(), "GetSecurityDescriptorDacl", m_table.getSecurityDescriptorDacl);
    Resolve(m_table.advapi32.get(), "SetSecurityDescriptorDacl", m_table.setSecurityDescriptorDacl);
    Resolve(m_table.advapi32.get(), "GetAclInformation", m_table.getAclInformation);
    Resolve(m_table.advapi32.get(), "InitializeAcl", m_table.initializeAcl);
    Resolve(m_table.advapi32.get(), "GetAce", m_table.getAce);
    Resolve(m_table.advapi32.get(), "AddAce", m_table.addAce);
    Resolve(m_table.advapi32.get(), "AddAccessAllowedAce", m_table.addAccessAllowedAce);
    Resolve(m_table.advapi32.get(), "OpenProcessToken", m_table.openProcessToken);
    Resolve(m_table.advapi32.get(), "ImpersonateLoggedOnUser", m_table.impersonateLoggedOnUser);
    Resolve(m_table.advapi32.get(), "RevertToSelf", m_table.revertToSelf);

    m_table.user32.reset(::LoadLibraryW(userLibrary));
    if (!m_table.user32) {
        return;
    }
    Resolve(m_table.user32.get(), "GetUserObjectSecurity", m_table.getUserObjectSecurity);
    Resolve(m_table.user32.get(), "SetUserObjectSecurity", m_table.setUserObjectSecurity);
    Resolve(m_table.user32.get(), "OpenWindowStationW", m_table.openWindowStation);
    Resolve(m_table.user32.get(), "CloseWindowStation", m_table.closeWindowStation);
    Resolve(m_table.user32.get(), "OpenDesktopW", m_table.openDesktop);
    Resolve(m_table.user32.get(), "CloseDesktop", m_table.closeDesktop);
    Resolve(m_table.user32.get(), "GetProcessWindowStation", m_table.getProcessWindowStation);
    Resolve(m_table.user32.get(), "SetProcessWindowStation", m_table.setProcessWindowStation);
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

void CloseWindowStationThroughTable(const SecurityApi& api, HWINSTA windowStation)
{
    api.CloseWindowStation(windowStation);
}

void CloseDesktopThroughTable(const SecurityApi& api, HDESK desktop)
{
    api.CloseDesktop(desktop);
}

void SetWindowStationThroughTable(const SecurityApi& api, HWINSTA windowStation)
{
    api.SetProcessWindowStation(windowStation);
}

void RevertToSelfThroughTable(const SecurityApi& api, HANDLE)
{
    api.RevertToSelf();
}

const SecurityApi& ProcessSecurityApi()
{
    // Built on first use, so that no program's static objects depend on the
    // order in which static objects are constructed; freed at exit.
    static const SecurityApi processTable;
    return processTable;
}

}  // namespace proclaunch
