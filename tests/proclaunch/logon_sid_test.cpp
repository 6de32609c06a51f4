// The logon SID from the process's real token, and the walk over group
// lists prepared in memory (no token here lacks a logon SID).

#include "proclaunch/logon_sid.h"

#include "common/unique_resource.h"
#include "proclaunch/launch_heap.h"
#include "tests/proclaunch/captured_log.h"
#include "tests/proclaunch/launch_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace launch_testing;
using proclaunch::OutstandingLaunchBlocks;

const std::vector<std::wstring> kFoundLines = {
    L"GetLogonSID",
    L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:",
    L"GetLogonSID: Get the token group information from the access token:",
    L"GetLogonSID: Loop through the groups to find the logon SID:",
    L"GetLogonSID: Found the logon SID; make a copy of it:",
    L"GetLogonSID: return true",
};

Sid SidAt(PSID sid)
{
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return Sid(bytes, bytes + ::GetLengthSid(sid));
}

TEST(GetLogonSidTest, CopiesTheTokensLogonSidAndItsOwnerGivesItBack)
{
    const Sid expected = CurrentLogonSid();
    ASSERT_FALSE(expected.empty()) << "Wine's token carries a logon SID";
    common::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    const long outstanding = OutstandingLaunchBlocks();

    CapturedLog log;
    proclaunch::UniqueLogonSid owned;
    ASSERT_TRUE(proclaunch::GetLogonSID(proclaunch::ProcessSecurityApi(), token.get(), owned.put()));
    const PSID sid = owned.get();
    ASSERT_NE(sid, nullptr);
    EXPECT_EQ(SidAt(sid), expected);
    EXPECT_EQ(::HeapSize(::GetProcessHeap(), 0, sid), expected.size()) << "exactly as long as the SID";
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding + 1) << "only the SID is left to the caller";
    EXPECT_EQ(log.lines(), kFoundLines);

    log.clear();
    owned.reset();
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding);
    EXPECT_EQ(log.lines(), (std::vector<std::wstring>{L"FreeLogonSID"}));
}

TEST(GetLogonSidTest, FirstQueryFailingWithItsOwnCodeAllocatesNothing)
{
    CapturedLog log;
    const long outstanding = OutstandingLaunchBlocks();
    PSID sid = nullptr;
    ::SetLastError(0);
    EXPECT_FALSE(proclaunch::GetLogonSID(proclaunch::ProcessSecurityApi(), nullptr, &sid));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sid, nullptr);
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding);
    EXPECT_EQ(log.lines(), (std::vector<std::wstring>{
                               L"GetLogonSID",
                               L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:",
                               L"GetLogonSID: return false"}));
}

TEST(GetLogonSidTest, OutOfMemoryGivesMinusOneAndLeavesNoBuffer)
{
    common::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    const long outstanding = OutstandingLaunchBlocks();
    const std::vector<std::vector<std::wstring>> expectedLines = {
        {L"GetLogonSID", L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:",
         L"GetLogonSID: return false"},
        {L"GetLogonSID", L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:",
         L"GetLogonSID: Get the token group information from the access token:",
         L"GetLogonSID: Loop through the groups to find the logon SID:",
         L"GetLogonSID: Found the logon SID; make a copy of it:", L"GetLogonSID: return false"},
    };
    for (long n = 1; n <= 2; ++n) {
        CapturedLog log;
        PSID sid = nullptr;
        proclaunch::FailLaunchAllocationForTests(n);
        EXPECT_FALSE(proclaunch::GetLogonSID(proclaunch::ProcessSecurityApi(), token.get(), &sid));
        EXPECT_EQ(::GetLastError(), 0xFFFFFFFFu);
        proclaunch::FailLaunchAllocationForTests(0);
        EXPECT_EQ(sid, nullptr);
        EXPECT_EQ(OutstandingLaunchBlocks(), outstanding);
        EXPECT_EQ(log.lines(), expectedLines[n - 1]) << "allocation " << n;
    }
}

TEST(GetLogonSidTest, MissingTokenEntryFailsWithTheTableCode)
{
    proclaunch::SecurityApi noAdvapi(L"proclaunch-no-such-library.dll", L"user32.dll");
    common::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    PSID sid = nullptr;
    EXPECT_FALSE(proclaunch::GetLogonSID(noAdvapi, token.get(), &sid));
    EXPECT_EQ(::GetLastError(), proclaunch::SecurityApiMissing);
    EXPECT_EQ(sid, nullptr);
}

// A TOKEN_GROUPS record in memory.
class PreparedGroups {
public:
    void add(const Sid& sid, DWORD attributes)
    {
        m_sids.push_back(sid);
        m_attributes.push_back(attributes);
    }
    const TOKEN_GROUPS& record()
    {
        const size_t count = m_sids.size();
        m_bytes.assign(sizeof(TOKEN_GROUPS) + (count > 0 ? count - 1 : 0) * sizeof(SID_AND_ATTRIBUTES), 0);
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(m_bytes.data());
        groups->GroupCount = static_cast<DWORD>(count);
        for (size_t i = 0; i < count; ++i) {
            groups->Groups[i].Sid = m_sids[i].data();
            groups->Groups[i].Attributes = m_attributes[i];
        }
        return *groups;
    }

private:
    std::vector<Sid> m_sids;
    std::vector<DWORD> m_attributes;
    std::vector<BYTE> m_bytes;
};

struct GroupsCase {
    const char* label;
    std::vector<std::pair<Sid, DWORD>> groups;
    int expectedIndex;  // -1: no logon SID
};
void PrintTo(const GroupsCase& c, std::ostream* out) { *out << c.label; }

class LogonSidGroupsTest : public ::testing::TestWithParam<GroupsCase> {};

TEST_P(LogonSidGroupsTest, TakesTheFirstGroupWithBothLogonIdBits)
{
    PreparedGroups prepared;
    for (const auto& [sid, attributes] : GetParam().groups) {
        prepared.add(sid, attributes);
    }
    const long outstanding = OutstandingLaunchBlocks();
    CapturedLog log;
    PSID sid = nullptr;
    DWORD failure = 0;
    ASSERT_TRUE(proclaunch::CopyLogonSidFromGroups(proclaunch::ProcessSecurityApi(), prepared.record(), &sid,
                                                   &failure));
    std::vector<std::wstring> expectedLines = {L"GetLogonSID: Loop through the groups to find the logon SID:"};
    if (GetParam().expectedIndex < 0) {
        EXPECT_EQ(sid, nullptr) << "left as the caller set it";
    } else {
        ASSERT_NE(sid, nullptr);
        EXPECT_EQ(SidAt(sid), GetParam().groups[GetParam().expectedIndex].first);
        expectedLines.push_back(L"GetLogonSID: Found the logon SID; make a copy of it:");
        proclaunch::FreeLaunchBlock(sid);
    }
    EXPECT_EQ(log.lines(), expectedLines);
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding);
}

const Sid kLogonA = OtherLogonSid();
const Sid kLogonB = [] {
    Sid sid = OtherLogonSid();
    sid.back() ^= 1;
    return sid;
}();
const Sid kUsers = WellKnown(WinBuiltinUsersSid);

INSTANTIATE_TEST_SUITE_P(Groups, LogonSidGroupsTest, ::testing::Values(
    GroupsCase{"NoGroups", {}, -1},
    GroupsCase{"NoLogonBits", {{kUsers, SE_GROUP_ENABLED | SE_GROUP_MANDATORY}}, -1},
    GroupsCase{"OnlyTheHighBit", {{kLogonA, 0x80000007}}, -1},
    GroupsCase{"OnlyTheSecondBit", {{kLogonA, 0x40000007}}, -1},
    GroupsCase{"BothBitsSecondGroup", {{kUsers, 7}, {kLogonA, 0xC0000007}, {kUsers, 7}}, 1},
    GroupsCase{"BothBitsWithoutOthers", {{kLogonA, 0xC0000000}}, 0},
    GroupsCase{"FirstOfTwoLogonSids", {{kLogonA, 0xC0000007}, {kLogonB, 0xC0000007}}, 0}),
    [](const ::testing::TestParamInfo<GroupsCase>& info) { return std::string(info.param.label); });

TEST(LogonSidGroupsTest, SidThatCannotBeCopiedGivesMinusThreeAndNoBuffer)
{
    Sid invalid = {2, 1, 0, 0, 0, 0, 0, 5, 5, 0, 0, 0};  // revision 2: no valid SID
    PreparedGroups prepared;
    prepared.add(invalid, 0xC0000007);
    const long outstanding = OutstandingLaunchBlocks();
    PSID sid = nullptr;
    DWORD failure = 0;
    EXPECT_FALSE(proclaunch::CopyLogonSidFromGroups(proclaunch::ProcessSecurityApi(), prepared.record(), &sid,
                                                    &failure));
    EXPECT_EQ(failure, 0xFFFFFFFDu);
    EXPECT_EQ(sid, nullptr);
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding);
}

}  // namespace
