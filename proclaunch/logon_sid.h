#pragma once
// The logon SID of a token: the group whose attributes carry both logon-ID
// bits. The copy lives on the process heap and belongs to the caller.

#include "common/unique_resource.h"
#include "proclaunch/security_api.h"

#include <windows.h>

namespace proclaunch {

// Failure codes besides the failing call's own last-error code.
constexpr DWORD TokenGroupsQueryFailed = 0xFFFFFFFE;
constexpr DWORD LogonSidCopyFailed = 0xFFFFFFFD;

// Stores a heap copy of the token's logon SID in *sid. True also when the
// token has none; *sid is then left as the caller set it (null). On false
// the last-error code holds the failure code and *sid holds no buffer.
bool GetLogonSID(const SecurityApi& api, HANDLE token, PSID* sid);

// The walk over the token's groups inside GetLogonSID, on its own so that a
// group list without a logon SID can be given to it (no token here has one
// without). On false *failureCode is set and *sid holds no buffer.
bool CopyLogonSidFromGroups(const SecurityApi& api, const TOKEN_GROUPS& groups, PSID* sid, DWORD* failureCode);

// Frees a SID that GetLogonSID stored.
void FreeLogonSID(PSID sid);

using UniqueLogonSid = common::UniqueResource<common::ReleasedBy<PSID, &FreeLogonSID>>;

}  // namespace proclaunch
