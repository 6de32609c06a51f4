#pragma once
// The security, token and window-station functions the process launch uses,
// reached through a table filled by name at start-up instead of the import
// table: a library or entry point the system lacks becomes an ordinary
// failure with last-error SecurityApiMissing rather than a program that
// cannot start.

#include "common/unique_resource.h"

#include <windows.h>

namespace proclaunch {

// Last-error code of a call whose entry point was not found.
constexpr DWORD SecurityApiMissing = 1000001;

class SecurityApi {
public:
    // Loads "advapi32.dll" and "user32.dll".
    SecurityApi();
    // The same table filled from other libraries (the first stands for
    // advapi32, the second for user32), so that a missing library or entry
    // can be met for real.
    SecurityApi(const wchar_t* advapiLibrary, const wchar_t* userLibrary);
    SecurityApi(const SecurityApi&) = delete;
    SecurityApi& operator=(const SecurityApi&) = delete;

    // Each passes its arguments to the function of the same name and returns
    // its result; with the entry missing it sets SecurityApiMissing and
    // returns that function's failure value (0xFFFFFFFF for GetLengthSid).
    BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                             DWORD informationLength, PDWORD returnLength) const;
    DWORD GetLengthSid(PSID sid) const;
    BOOL CopySid(DWORD destinationLength, PSID destination, PSID source) const;
    BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) const;
    BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl,
                                   LPBOOL daclDefaulted) const;
    BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                                   BOOL daclDefaulted) const;
    BOOL GetAclInformation(PACL acl, LPVOID information, DWORD informationLength,
                           ACL_INFORMATION_CLASS informationClass) const;
    BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) const;
    BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) const;
    BOOL AddAce(PACL acl, DWORD revision, DWORD startingIndex, LPVOID aceList, DWORD aceListLength) const;
    BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) const;
    BOOL ImpersonateLoggedOnUser(HANDLE token) const;
    BOOL RevertToSelf() const;
    BOOL GetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION requested, PSECURITY_DESCRIPTOR descriptor,
                               DWORD length, LPDWORD needed) const;
    BOOL SetUserObjectSecurity(HANDLE object, PSECURITY_INFORMATION information,
                               PSECURITY_DESCRIPTOR descriptor) const;
    HWINSTA OpenWindowStationW(LPCWSTR name, BOOL inherit, ACCESS_MASK desiredAccess) const;
    BOOL CloseWindowStation(HWINSTA windowStation) const;
    HDESK OpenDesktopW(LPCWSTR name, DWORD flags, BOOL inherit, ACCESS_MASK desiredAccess) const;
    BOOL CloseDesktop(HDESK desktop) const;
    HWINSTA GetProcessWindowStation() const;
    BOOL SetProcessWindowStation(HWINSTA windowStation) const;

    // Whether AddAccessAllowedAce was found (it is looked up with the rest
    // but nothing calls it).
    bool HasAddAccessAllowedAce() const { return m_table.addAccessAllowedAce != nullptr; }

private:
    void Fill(const wchar_t* advapiLibrary, const wchar_t* userLibrary);

    // Twenty-four machine words, zero until filled.
    struct Table {
        common::UniqueLibrary advapi32;
        common::UniqueLibrary user32;
        decltype(&::GetTokenInformation) getTokenInformation;
        decltype(&::GetLengthSid) getLengthSid;
        decltype(&::CopySid) copySid;
        decltype(&::InitializeSecurityDescriptor) initializeSecurityDescriptor;
        decltype(&::GetSecurityDescriptorDacl) getSecurityDescriptorDacl;
        decltype(&::SetSecurityDescriptorDacl) setSecurityDescriptorDacl;
        decltype(&::GetAclInformation) getAclInformation;
        decltype(&::InitializeAcl) initializeAcl;
        decltype(&::GetAce) getAce;
        decltype(&::AddAce) addAce;
        decltype(&::AddAccessAllowedAce) addAccessAllowedAce;
        decltype(&::OpenProcessToken) openProcessToken;
        decltype(&::ImpersonateLoggedOnUser) impersonateLoggedOnUser;
        decltype(&::RevertToSelf) revertToSelf;
        decltype(&::GetUserObjectSecurity) getUserObjectSecurity;
        decltype(&::SetUserObjectSecurity) setUserObjectSecurity;
        decltype(&::OpenWindowStationW) openWindowStation;
        decltype(&::CloseWindowStation) closeWindowStation;
        decltype(&::OpenDesktopW) openDesktop;
        decltype(&::CloseDesktop) closeDesktop;
        decltype(&::GetProcessWindowStation) getProcessWindowStation;
        decltype(&::SetProcessWindowStation) setProcessWindowStation;
    };
    static_assert(sizeof(Table) == 24 * sizeof(void*), "the table is 24 machine words");

    Table m_table = {};
};

// A closer that calls through the table the value was opened or changed
// through: an owner is made with the table, `Owner owner({&api})`.
template <typename T, void (*Release)(const SecurityApi&, T)>
using ThroughTable = common::ReleasedThroughTable<SecurityApi, T, Release>;

void CloseWindowStationThroughTable(const SecurityApi& api, HWINSTA windowStation);
void CloseDesktopThroughTable(const SecurityApi& api, HDESK desktop);
void SetWindowStationThroughTable(const SecurityApi& api, HWINSTA windowStation);
void RevertToSelfThroughTable(const SecurityApi& api, HANDLE impersonatedToken);

using UniqueWindowStation = common::UniqueResource<ThroughTable<HWINSTA, &CloseWindowStationThroughTable>>;
using UniqueDesktop = common::UniqueResource<ThroughTable<HDESK, &CloseDesktopThroughTable>>;
// Scope guards: the window station to set again as the process's own, and
// the token the thread impersonates until it reverts to itself.
using WindowStationRestore = common::UniqueResource<ThroughTable<HWINSTA, &SetWindowStationThroughTable>>;
using Impersonation = common::UniqueResource<ThroughTable<HANDLE, &RevertToSelfThroughTable>>;

// The one table of the process, filled before the first launch and released
// at exit.
const SecurityApi& ProcessSecurityApi();

}  // namespace proclaunch
