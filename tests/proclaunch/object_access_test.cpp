// Merging the granted entries into DACLs built in memory, and the grant
// routines on the prefix's real "winsta0" and "default".

#include "proclaunch/object_access.h"

#include "common/application_name.h"
#include "tests/proclaunch/captured_log.h"
#include "tests/proclaunch/launch_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace launch_testing;
using proclaunch::DesktopGrant;
using proclaunch::ObjectGrant;
using proclaunch::OutstandingLaunchBlocks;
using proclaunch::WindowStationGrant;

Sid Mine()
{
    return OtherLogonSid();
}

// Same length as Mine(), other last sub-authority.
Sid Other()
{
    Sid sid = OtherLogonSid();
    sid.back() ^= 0x5A;
    return sid;
}

AceView Everyone(ACCESS_MASK mask)
{
    return {ACCESS_ALLOWED_ACE_TYPE, 0, mask, WellKnown(WinWorldSid)};
}

AceView WithFlags(AceView ace, BYTE flags)
{
    ace.flags = flags;
    return ace;
}

AceView WithMask(AceView ace, ACCESS_MASK mask)
{
    ace.mask = mask;
    return ace;
}

AceView Denied(AceView ace)
{
    ace.type = ACCESS_DENIED_ACE_TYPE;
    return ace;
}

enum class OldDacl { Entries, Absent, Null };

struct MergeCase {
    const char* label;
    bool desktop;
    OldDacl old;
    std::vector<AceView> before;
    std::vector<AceView> after;
};
void PrintTo(const MergeCase& c, std::ostream* out) { *out << c.label; }

class MergeGrantedAcesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeGrantedAcesTest, KeepsOldEntriesInOrderDropsIdenticalGrantsAndAppendsThem)
{
    const MergeCase& param = GetParam();
    const ObjectGrant& grant = param.desktop ? DesktopGrant : WindowStationGrant;
    std::vector<BYTE> oldAcl = BuildAcl(param.before);
    PACL oldDacl = param.old == OldDacl::Entries ? reinterpret_cast<PACL>(oldAcl.data()) : nullptr;
    const BOOL present = param.old != OldDacl::Absent;
    Sid sid = Mine();

    const long outstanding = OutstandingLaunchBlocks();
    proclaunch::LaunchHeapBlock merged;
    ASSERT_EQ(proclaunch::MergeGrantedAces(proclaunch::ProcessSecurityApi(), grant, oldDacl, present, sid.data(),
                                           &merged),
              0u);
    auto* acl = static_cast<PACL>(merged.get());
    EXPECT_EQ(AcesOf(acl), param.after);

    ACL_SIZE_INFORMATION sizes = {};
    ASSERT_TRUE(::GetAclInformation(acl, &sizes, sizeof(sizes), AclSizeInformation));
    EXPECT_EQ(sizes.AclBytesFree, 0u) << "the new DACL is sized exactly";
    EXPECT_TRUE(::IsValidAcl(acl));

    merged.reset();
    EXPECT_EQ(OutstandingLaunchBlocks(), outstanding) << "the ACE template is freed";
}

const Sid kMine = Mine();
const Sid kOther = Other();

INSTANTIATE_TEST_SUITE_P(Dacls, MergeGrantedAcesTest, ::testing::Values(
    MergeCase{"EmptyWindowStationDacl", false, OldDacl::Entries, {},
              {WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"OtherEntriesStayFirst", false, OldDacl::Entries, {Everyone(0x000F037F)},
              {Everyone(0x000F037F), WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"IdenticalGrantsMoveToTheEnd", false, OldDacl::Entries,
              {WindowStationFirst(kMine), Everyone(1), WindowStationSecond(kMine), Everyone(2)},
              {Everyone(1), Everyone(2), WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"GrantsInReverseOrderAreReplaced", false, OldDacl::Entries,
              {WindowStationSecond(kMine), WindowStationFirst(kMine)},
              {WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"EveryDuplicateIsDropped", false, OldDacl::Entries,
              {WindowStationFirst(kMine), WindowStationFirst(kMine), WindowStationSecond(kMine)},
              {WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"SameLengthOtherSidStays", false, OldDacl::Entries,
              {WindowStationFirst(kOther), WindowStationSecond(kOther)},
              {WindowStationFirst(kOther), WindowStationSecond(kOther), WindowStationFirst(kMine),
               WindowStationSecond(kMine)}},
    MergeCase{"InheritedCopyStays", false, OldDacl::Entries,
              {WithFlags(WindowStationFirst(kMine), 0x0B | INHERITED_ACE)},
              {WithFlags(WindowStationFirst(kMine), 0x0B | INHERITED_ACE), WindowStationFirst(kMine),
               WindowStationSecond(kMine)}},
    MergeCase{"OtherMaskStays", false, OldDacl::Entries, {WithMask(WindowStationSecond(kMine), 0x000F0000)},
              {WithMask(WindowStationSecond(kMine), 0x000F0000), WindowStationFirst(kMine),
               WindowStationSecond(kMine)}},
    MergeCase{"DeniedEntryOfTheSameShapeStays", false, OldDacl::Entries, {Denied(WindowStationFirst(kMine))},
              {Denied(WindowStationFirst(kMine)), WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"AbsentWindowStationDacl", false, OldDacl::Absent, {},
              {WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"NullWindowStationDacl", false, OldDacl::Null, {},
              {WindowStationFirst(kMine), WindowStationSecond(kMine)}},
    MergeCase{"DesktopOtherEntriesStayFirst", true, OldDacl::Entries, {Everyone(0x000F01FF)},
              {Everyone(0x000F01FF), DesktopEntry(kMine)}},
    MergeCase{"DesktopDuplicatesDropped", true, OldDacl::Entries,
              {DesktopEntry(kMine), Everyone(3), DesktopEntry(kMine)}, {Everyone(3), DesktopEntry(kMine)}},
    MergeCase{"DesktopKeepsWindowStationShapedEntries", true, OldDacl::Entries, {WindowStationSecond(kMine)},
              {WindowStationSecond(kMine), DesktopEntry(kMine)}},
    MergeCase{"DesktopInheritedCopyStays", true, OldDacl::Entries, {WithFlags(DesktopEntry(kMine), INHERITED_ACE)},
              {WithFlags(DesktopEntry(kMine), INHERITED_ACE), DesktopEntry(kMine)}},
    MergeCase{"DesktopOtherSidStays", true, OldDacl::Entries, {DesktopEntry(kOther)},
              {DesktopEntry(kOther), DesktopEntry(kMine)}},
    MergeCase{"AbsentDesktopDacl", true, OldDacl::Absent, {}, {DesktopEntry(kMine)}},
    MergeCase{"NullDesktopDacl", true, OldDacl::Null, {}, {DesktopEntry(kMine)}}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.label); });

std::vector<BYTE> AceBytes(const AceView& view)
{
    std::vector<BYTE> acl = BuildAcl({view});
    void* ace = nullptr;
    ::GetAce(reinterpret_cast<PACL>(acl.data()), 0, &ace);
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    return std::vector<BYTE>(static_cast<const BYTE*>(ace), static_cast<const BYTE*>(ace) + header->AceSize);
}

struct CompareCase {
    const char* label;
    AceView existing;
    bool identical;
};
void PrintTo(const CompareCase& c, std::ostream* out) { *out << c.label; }

class CompareAcesTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareAcesTest, IdenticalOnlyWhenEveryFieldAndTheWholeSidAgree)
{
    const std::vector<BYTE> granted = AceBytes(WindowStationSecond(kMine));
    std::vector<BYTE> existing = AceBytes(GetParam().existing);
    if (GetParam().existing.type == 0xFF) {  // a size that differs while the rest agrees
        existing = granted;
        reinterpret_cast<ACE_HEADER*>(existing.data())->AceSize -= 4;
    }
    CapturedLog log;
    EXPECT_EQ(proclaunch::CompareAces(reinterpret_cast<const ACCESS_ALLOWED_ACE*>(granted.data()),
                                      reinterpret_cast<const ACCESS_ALLOWED_ACE*>(existing.data())),
              GetParam().identical);
    EXPECT_EQ(log.lines(), (std::vector<std::wstring>{
                               L"CompareAces", GetParam().identical ? L"CompareAces return true"
                                                                    : L"CompareAces return false"}));
}

INSTANTIATE_TEST_SUITE_P(Fields, CompareAcesTest, ::testing::Values(
    CompareCase{"Identical", WindowStationSecond(kMine), true},
    CompareCase{"OtherFlags", WithFlags(WindowStationSecond(kMine), 0x0B), false},
    CompareCase{"OtherMask", WithMask(WindowStationSecond(kMine), 0x000F037E), false},
    CompareCase{"OtherType", Denied(WindowStationSecond(kMine)), false},
    CompareCase{"OtherSidSameLength", WindowStationSecond(kOther), false},
    CompareCase{"OtherSize", AceView{0xFF, 0, 0, kMine}, false}),
    [](const ::testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.label); });

const std::vector<std::wstring> kWindowStationQueryFailed = {
    L"AddAceToWindowStation",
    L"AddAceToWindowStation: Obtain the DACL for the window station:",
    L"AddAceToWindowStation: in catch (error)",
    L"AddAceToWindowStation: Free the allocated buffers:",
    L"AddAceToWindowStation: return false",
};

TEST(AddAceToObjectTest, FirstQueryFailureOtherThanTooSmallReturnsItsCodeAndAllocatesNothing)
{
    HWINSTA enumerateOnly = ::OpenWindowStationW(L"winsta0", FALSE, WINSTA_ENUMERATE);
    ASSERT_NE(enumerateOnly, nullptr);
    struct {
        const char* label;
        HANDLE object;
    } cases[] = {{"null handle", nullptr}, {"handle without READ_CONTROL", enumerateOnly}};
    Sid sid = Mine();
    for (const auto& c : cases) {
        DWORD needed = 0;
        ::GetKernelObjectSecurity(c.object, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        const DWORD expected = ::GetLastError();
        ASSERT_NE(expected, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.label;

        CapturedLog log;
        const long outstanding = OutstandingLaunchBlocks();
        proclaunch::FailLaunchAllocationForTests(1);  // any allocation would show as a different failure
        ::SetLastError(0);
        EXPECT_FALSE(proclaunch::AddAceToWindowStation(ObjectSecurityApi(),
                                                       static_cast<HWINSTA>(c.object), sid.data()))
            << c.label;
        EXPECT_EQ(::GetLastError(), expected) << c.label;
        proclaunch::FailLaunchAllocationForTests(0);
        EXPECT_EQ(OutstandingLaunchBlocks(), outstanding) << c.label;
        EXPECT_EQ(log.lines(), kWindowStationQueryFailed) << c.label;
    }
    ::CloseWindowStation(enumerateOnly);
}

TEST(AddAceToObjectTest, OutOfMemoryAtEachAllocationFreesWhatWasTaken)
{
    HWINSTA station = OpenInteractiveWindowStation();
    HDESK desktop = OpenInteractiveDesktop();
    ASSERT_NE(station, nullptr);
    ASSERT_NE(desktop, nullptr);
    Sid sid = Mine();
    const long outstanding = OutstandingLaunchBlocks();
    for (long n = 1; n <= 4; ++n) {
        proclaunch::FailLaunchAllocationForTests(n);
        ::SetLastError(0);
        EXPECT_FALSE(proclaunch::AddAceToWindowStation(ObjectSecurityApi(), station, sid.data()))
            << "allocation " << n;
        EXPECT_EQ(::GetLastError(), proclaunch::HeapMemoryMissing);
        EXPECT_EQ(OutstandingLaunchBlocks(), outstanding) << "allocation " << n;

        proclaunch::FailLaunchAllocationForTests(n);
        EXPECT_FALSE(proclaunch::AddAceToDesktop(ObjectSecurityApi(), desktop, sid.data()));
        EXPECT_EQ(::GetLastError(), proclaunch::HeapMemoryMissing);
        EXPECT_EQ(OutstandingLaunchBlocks(), outstanding) << "allocation " << n;
    }
    proclaunch::FailLaunchAllocationForTests(0);
    ::CloseDesktop(desktop);
    ::CloseWindowStation(station);
    ResetInteractiveDacls();
}

class InteractiveObjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        station = OpenInteractiveWindowStation();
        desktop = OpenInteractiveDesktop();
        ASSERT_NE(station, nullptr);
        ASSERT_NE(desktop, nullptr);
    }
    void TearDown() override
    {
        ::CloseDesktop(desktop);
        ::CloseWindowStation(station);
        ResetInteractiveDacls();
    }
    HWINSTA station = nullptr;
    HDESK desktop = nullptr;
    Sid sid = Mine();
};

TEST_F(InteractiveObjectsTest, WindowStationWithBothGrantsKeepsItsEntryCount)
{
    const AceView everyone = Everyone(0x000F037F);
    ASSERT_TRUE(WriteDacl(station, {WindowStationFirst(sid), everyone, WindowStationSecond(sid)}));
    ASSERT_TRUE(proclaunch::AddAceToWindowStation(ObjectSecurityApi(), station, sid.data()));
    const DaclState after = ReadDacl(station);
    EXPECT_TRUE(after.present);
    EXPECT_EQ(after.aces, (std::vector<AceView>{everyone, WindowStationFirst(sid), WindowStationSecond(sid)}));
}

TEST_F(InteractiveObjectsTest, DesktopGrantedTwiceHoldsOneEntry)
{
    const AceView everyone = Everyone(0x000F01FF);
    ASSERT_TRUE(WriteDacl(desktop, {everyone}));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(proclaunch::AddAceToDesktop(ObjectSecurityApi(), desktop, sid.data()));
    }
    EXPECT_EQ(ReadDacl(desktop).aces, (std::vector<AceView>{everyone, DesktopEntry(sid)}));
}

TEST_F(InteractiveObjectsTest, SuccessWritesEveryStepOfTheWindowStationRoutine)
{
    ASSERT_TRUE(WriteDacl(station, {Everyone(0x000F037F), WindowStationFirst(sid)}));
    CapturedLog log;
    ASSERT_TRUE(proclaunch::AddAceToWindowStation(ObjectSecurityApi(), station, sid.data()));
    const auto expected = Concat({
        kWindowStationOpening,
        kCompareFalse, kCompareFalse,  // everyone: first and second grant
        kCompareTrue, kCompareFalse,   // the old first grant
        {L"AddAceToWindowStation: Initialize the new DACL:",
         L"AddAceToWindowStation: If DACL is present, copy it to a new DACL:",
         L"AddAceToWindowStation: Copy the ACEs to the new ACL:",
         L"AddAceToWindowStation: Get an ACE:"},
        kCompareFalse, kCompareFalse,
        {L"AddAceToWindowStation: Add the ACE to the new ACL:",
         L"AddAceToWindowStation: Get an ACE:"},
        kCompareTrue, kCompareFalse,  // both comparisons are made, then the entry is left out
        kWindowStationClosing,
    });
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(InteractiveObjectsTest, SuccessWritesEveryStepOfTheDesktopRoutine)
{
    ASSERT_TRUE(WriteDacl(desktop, {DesktopEntry(sid), Everyone(0x000F01FF)}));
    CapturedLog log;
    ASSERT_TRUE(proclaunch::AddAceToDesktop(ObjectSecurityApi(), desktop, sid.data()));
    const std::vector<std::wstring> expected = Concat({kDesktopOpening, {
        L"CompareAces", L"CompareAces return true",
        L"CompareAces", L"CompareAces return false",
        L"AddAceToDesktop: Initialize the new ACL:",
        L"AddAceToDesktop: If DACL is present, copy it to a new DACL:",
        L"AddAceToDesktop: Copy the ACEs to the new ACL:",
        L"AddAceToDesktop: Get an ACE:",
        L"CompareAces", L"CompareAces return true",
        L"AddAceToDesktop: Get an ACE:",
        L"CompareAces", L"CompareAces return false",
        L"AddAceToDesktop: Add the ACE to the new ACL:",
        L"AddAceToDesktop: Add ACE to the DACL:",
        L"AddAceToDesktop: Set new DACL to the new security descriptor.",
        L"AddAceToDesktop: Set the new security descriptor for the desktop object:",
        L"AddAceToDesktop: Free buffers:",
        L"AddAceToDesktop: return true",
    }});
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(ReadDacl(desktop).aces, (std::vector<AceView>{Everyone(0x000F01FF), DesktopEntry(sid)}));
}

TEST_F(InteractiveObjectsTest, NullDaclOnTheRealObjectGivesOnlyTheGrants)
{
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    ASSERT_TRUE(::SetKernelObjectSecurity(station, DACL_SECURITY_INFORMATION, &descriptor));
    ASSERT_TRUE(ReadDacl(station).isNull);
    ASSERT_TRUE(proclaunch::AddAceToWindowStation(ObjectSecurityApi(), station, sid.data()));
    EXPECT_EQ(ReadDacl(station).aces, (std::vector<AceView>{WindowStationFirst(sid), WindowStationSecond(sid)}));
}

TEST(ApplicationNameTest, FileNameWithoutFolderAndExtension)
{
    struct {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"C:\\Media\\Setup.exe", L"Setup"},
        {L"C:\\a.b\\wendrel.EXE", L"wendrel"},
        {L"C:\\x\\name.with.dots.exe", L"name.with.dots"},
        {L"C:\\x\\noextension", L"noextension"},
        {L"plain.exe", L"plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(common::ApplicationNameFromPath(c.path), c.name) << c.path;
    }
    EXPECT_EQ(common::ApplicationName(), L"proclaunch_rules_test");
}

}  // namespace
