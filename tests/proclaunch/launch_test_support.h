#pragma once
// What the process-launch tests share: access entries read from and written
// to real objects or built in memory, the logon SID of this process, and a
// look at the process's handles and the children it started.

#include "proclaunch/security_api.h"
#include "tests/support/test_support.h"

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace launch_testing {

using Sid = std::vector<BYTE>;

struct AceView {
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    Sid sid;
    bool operator==(const AceView& other) const
    {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};
std::ostream& operator<<(std::ostream& out, const AceView& ace);

// The entries the launch grants a SID.
AceView WindowStationFirst(const Sid& sid);   // 0x0B, 0xF0000000
AceView WindowStationSecond(const Sid& sid);  // 0x04, 0x000F037F
AceView DesktopEntry(const Sid& sid);         // 0x00, 0x000F01FF

Sid WellKnown(WELL_KNOWN_SID_TYPE type);
// A SID of the logon-SID shape (S-1-5-5-x-y) that is not this process's.
Sid OtherLogonSid();
// The group of this process's token with both logon-ID bits.
Sid CurrentLogonSid();

// An ACL in memory holding exactly these entries (access-allowed or -denied).
std::vector<BYTE> BuildAcl(const std::vector<AceView>& aces);
std::vector<AceView> AcesOf(const ACL* acl);

// The security table with user32's object-security entries taken from
// proclaunch_object_security.dll: Wine answers the user-object calls with an
// empty descriptor and drops what is written, so the tests that read DACLs
// back let the routines reach the same handles through kernel-object security.
inline const proclaunch::SecurityApi& ObjectSecurityApi()
{
    static const proclaunch::SecurityApi api(L"advapi32.dll", L"proclaunch_object_security.dll");
    return api;
}

// The DACL of a window station or desktop (kept by Wine as kernel-object
// security).
struct DaclState {
    bool present = false;
    bool isNull = false;
    std::vector<AceView> aces;
};
DaclState ReadDacl(HANDLE object);
// Gives the object exactly this DACL.
bool WriteDacl(HANDLE object, const std::vector<AceView>& aces);

// Opened with READ_CONTROL | WRITE_DAC.
HWINSTA OpenInteractiveWindowStation();
HDESK OpenInteractiveDesktop();

// Puts everyone-only DACLs on winsta0 and default, so that a launch meets a
// known state.
void ResetInteractiveDacls();

// Open handles of this process, counted by asking each possible value
// (Wine's GetProcessHandleCount always answers 0).
DWORD HandleCount();
// Whether the thread runs under a token of its own.
bool ThreadImpersonates();

using testing_support::ProcessesNamed;
// Waits for every process of that name to end (at most timeoutMs).
void WaitForProcessesNamed(const std::wstring& imageName, DWORD timeoutMs);

}  // namespace launch_testing
