#include "tests/proclaunch/launch_test_support.h"

#include "common/unique_resource.h"

#include <gtest/gtest.h>

#include <iomanip>

namespace launch_testing {

std::ostream& operator<<(std::ostream& out, const AceView& ace)
{
    out << "{type " << int(ace.type) << ", flags 0x" << std::hex << int(ace.flags) << ", mask 0x" << ace.mask
        << std::dec << ", sid";
    for (BYTE b : ace.sid) {
        out << ' ' << int(b);
    }
    return out << '}';
}

AceView WindowStationFirst(const Sid& sid)
{
    return {ACCESS_ALLOWED_ACE_TYPE, 0x0B, 0xF0000000, sid};
}

AceView WindowStationSecond(const Sid& sid)
{
    return {ACCESS_ALLOWED_ACE_TYPE, 0x04, 0x000F037F, sid};
}

AceView DesktopEntry(const Sid& sid)
{
    return {ACCESS_ALLOWED_ACE_TYPE, 0x00, 0x000F01FF, sid};
}

Sid WellKnown(WELL_KNOWN_SID_TYPE type)
{
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

Sid OtherLogonSid()
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    EXPECT_TRUE(::AllocateAndInitializeSid(&nt, 3, SECURITY_LOGON_IDS_RID, 0x1234, 0x5678, 0, 0, 0, 0, 0, &sid));
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    Sid copy(bytes, bytes + ::GetLengthSid(sid));
    ::FreeSid(sid);
    return copy;
}

Sid CurrentLogonSid()
{
    common::UniqueHandle token;
    EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    DWORD length = 0;
    ::GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &length);
    std::vector<BYTE> buffer(length);
    EXPECT_TRUE(::GetTokenInformation(token.get(), TokenGroups, buffer.data(), length, &length));
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if ((groups->Groups[i].Attributes & SE_GROUP_LOGON_ID) == SE_GROUP_LOGON_ID) {
            const BYTE* bytes = static_cast<const BYTE*>(groups->Groups[i].Sid);
            return Sid(bytes, bytes + ::GetLengthSid(groups->Groups[i].Sid));
        }
    }
    return Sid();
}

std::vector<BYTE> BuildAcl(const std::vector<AceView>& aces)
{
    DWORD size = sizeof(ACL);
    for (const auto& ace : aces) {
        size += static_cast<DWORD>(offsetof(ACCESS_ALLOWED_ACE, SidStart) + ace.sid.size());
    }
    std::vector<BYTE> acl(size);
    EXPECT_TRUE(::InitializeAcl(reinterpret_cast<PACL>(acl.data()), size, ACL_REVISION));
    for (const auto& ace : aces) {
        Sid sid = ace.sid;
        const BOOL added =
            ace.type == ACCESS_DENIED_ACE_TYPE
                ? ::AddAccessDeniedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, ace.flags, ace.mask,
                                         sid.data())
                : ::AddAccessAllowedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, ace.flags, ace.mask,
                                          sid.data());
        EXPECT_TRUE(added);
    }
    return acl;
}

std::vector<AceView> AcesOf(const ACL* acl)
{
    std::vector<AceView> aces;
    if (acl == nullptr) {
        return aces;
    }
    for (WORD i = 0; i < acl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(const_cast<PACL>(acl), i, &raw)) {
            ADD_FAILURE() << "GetAce " << i;
            break;
        }
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        AceView view;
        view.type = ace->Header.AceType;
        view.flags = ace->Header.AceFlags;
        view.mask = ace->Mask;
        const BYTE* sid = reinterpret_cast<const BYTE*>(&ace->SidStart);
        view.sid.assign(sid, sid + (ace->Header.AceSize - offsetof(ACCESS_ALLOWED_ACE, SidStart)));
        aces.push_back(view);
    }
    return aces;
}

DaclState ReadDacl(HANDLE object)
{
    DaclState state;
    DWORD needed = 0;
    ::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> descriptor(needed);
    if (!::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) {
        ADD_FAILURE() << "GetKernelObjectSecurity: " << ::GetLastError();
        return state;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    EXPECT_TRUE(::GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    state.present = present != FALSE;
    state.isNull = present && dacl == nullptr;
    state.aces = AcesOf(dacl);
    return state;
}

bool WriteDacl(HANDLE object, const std::vector<AceView>& aces)
{
    std::vector<BYTE> acl = BuildAcl(aces);
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    return ::SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, &descriptor) != FALSE;
}

HWINSTA OpenInteractiveWindowStation()
{
    return ::OpenWindowStationW(L"winsta0", FALSE, READ_CONTROL | WRITE_DAC);
}

HDESK OpenInteractiveDesktop()
{
    return ::OpenDesktopW(L"default", 0, FALSE, READ_CONTROL | WRITE_DAC);
}

void ResetInteractiveDacls()
{
    const Sid everyone = WellKnown(WinWorldSid);
    HWINSTA station = OpenInteractiveWindowStation();
    ASSERT_NE(station, nullptr) << ::GetLastError();
    EXPECT_TRUE(WriteDacl(station, {{ACCESS_ALLOWED_ACE_TYPE, 0, 0x000F037F, everyone}})) << ::GetLastError();
    ::CloseWindowStation(station);
    HDESK desktop = OpenInteractiveDesktop();
    ASSERT_NE(desktop, nullptr) << ::GetLastError();
    EXPECT_TRUE(WriteDacl(desktop, {{ACCESS_ALLOWED_ACE_TYPE, 0, 0x000F01FF, everyone}})) << ::GetLastError();
    ::CloseDesktop(desktop);
}

DWORD HandleCount()
{
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

bool ThreadImpersonates()
{
    common::UniqueHandle token;
    return ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) != FALSE;
}

void WaitForProcessesNamed(const std::wstring& imageName, DWORD timeoutMs)
{
    for (DWORD id : ProcessesNamed(imageName)) {
        common::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
        if (process) {
            ::WaitForSingleObject(process.get(), timeoutMs);
        }
    }
}

}  // namespace launch_testing
