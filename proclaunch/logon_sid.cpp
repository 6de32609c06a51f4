#include "proclaunch/logon_sid.h"

#include "proclaunch/launch_heap.h"
#include "proclaunch/step_log.h"

namespace proclaunch {

bool CopyLogonSidFromGroups(const SecurityApi& api, const TOKEN_GROUPS& groups, PSID* sid, DWORD* failureCode)
{
    LogStep(L"GetLogonSID: Loop through the groups to find the logon SID:");
    for (DWORD index = 0; index < groups.GroupCount; ++index) {
        const SID_AND_ATTRIBUTES& group = groups.Groups[index];
        if ((group.Attributes & SE_GROUP_LOGON_ID) != SE_GROUP_LOGON_ID) {
            continue;
        }
        LogStep(L"GetLogonSID: Found the logon SID; make a copy of it:");
        const DWORD length = api.GetLengthSid(group.Sid);
        LaunchHeapBlock copy = AllocateLaunchBlock(length);
        if (!copy) {
            *failureCode = HeapMemoryMissing;
            return false;
        }
        if (!api.CopySid(length, copy.get(), group.Sid)) {
            copy.reset();
            *sid = nullptr;
            *failureCode = LogonSidCopyFailed;
            return false;
        }
        *sid = copy.release();
        break;
    }
    return true;
}

namespace {

bool LogonSidFailure(DWORD code)
{
    LogStep(L"GetLogonSID: return false");
    ::SetLastError(code);
    return false;
}

}  // namespace

bool GetLogonSID(const SecurityApi& api, HANDLE token, PSID* sid)
{
    LogStep(L"GetLogonSID");
    LaunchHeapBlock groups;

    LogStep(L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:");
    DWORD length = 0;
    if (!api.GetTokenInformation(token, TokenGroups, nullptr, 0, &length)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            return LogonSidFailure(error);
        }
    }
    groups = AllocateLaunchBlock(length);
    if (!groups) {
        return LogonSidFailure(HeapMemoryMissing);
    }

    LogStep(L"GetLogonSID: Get the token group information from the access token:");
    if (!api.GetTokenInformation(token, TokenGroups, groups.get(), length, &length)) {
        groups.reset();
        return LogonSidFailure(TokenGroupsQueryFailed);
    }

    DWORD failureCode = 0;
    if (!CopyLogonSidFromGroups(api, *static_cast<const TOKEN_GROUPS*>(groups.get()), sid, &failureCode)) {
        groups.reset();
        return LogonSidFailure(failureCode);
    }

    groups.reset();
    LogStep(L"GetLogonSID: return true");
    return true;
}

void FreeLogonSID(PSID sid)
{
    LogStep(L"FreeLogonSID");
    FreeLaunchBlock(sid);
}

}  // namespace proclaunch
