// The security table filled from real, missing and partial libraries.

#include "proclaunch/security_api.h"

#include "tests/proclaunch/launch_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace launch_testing;
using proclaunch::SecurityApi;
using proclaunch::SecurityApiMissing;

constexpr wchar_t kNoSuchLibrary[] = L"proclaunch-no-such-library.dll";
constexpr wchar_t kPartialUser32[] = L"proclaunch_partial_user32.dll";

// One call per forwarding operation, with arguments the real function
// handles harmlessly, and the result it gives when its entry is missing.
struct Operation {
    std::string name;
    DWORD_PTR missingResult;
    std::function<DWORD_PTR(const SecurityApi&)> call;
};

std::vector<Operation> AllOperations()
{
    static Sid everyone = WellKnown(WinWorldSid);
    static std::vector<BYTE> acl = BuildAcl({});
    static SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    return {
        {"GetTokenInformation", 0,
         [](const SecurityApi& api) {
             DWORD length = 0;
             return DWORD_PTR(api.GetTokenInformation(nullptr, TokenGroups, nullptr, 0, &length));
         }},
        {"GetLengthSid", 0xFFFFFFFF, [](const SecurityApi& api) { return DWORD_PTR(api.GetLengthSid(everyone.data())); }},
        {"CopySid", 0,
         [](const SecurityApi& api) {
             BYTE small[4];
             return DWORD_PTR(api.CopySid(sizeof(small), small, everyone.data()));
         }},
        {"InitializeSecurityDescriptor", 0,
         [](const SecurityApi& api) {
             SECURITY_DESCRIPTOR fresh;
             return DWORD_PTR(api.InitializeSecurityDescriptor(&fresh, SECURITY_DESCRIPTOR_REVISION));
         }},
        {"GetSecurityDescriptorDacl", 0,
         [](const SecurityApi& api) {
             BOOL present = FALSE, defaulted = FALSE;
             PACL dacl = nullptr;
             return DWORD_PTR(api.GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
         }},
        {"SetSecurityDescriptorDacl", 0,
         [](const SecurityApi& api) { return DWORD_PTR(api.SetSecurityDescriptorDacl(&descriptor, FALSE, nullptr, FALSE)); }},
        {"GetAclInformation", 0,
         [](const SecurityApi& api) {
             ACL_SIZE_INFORMATION sizes = {};
             return DWORD_PTR(api.GetAclInformation(reinterpret_cast<PACL>(acl.data()), &sizes, sizeof(sizes),
                                                    AclSizeInformation));
         }},
        {"InitializeAcl", 0,
         [](const SecurityApi& api) {
             DWORD buffer[16];
             return DWORD_PTR(api.InitializeAcl(reinterpret_cast<PACL>(buffer), sizeof(buffer), ACL_REVISION));
         }},
        {"GetAce", 0,
         [](const SecurityApi& api) {
             void* ace = nullptr;
             return DWORD_PTR(api.GetAce(reinterpret_cast<PACL>(acl.data()), 0, &ace));
         }},
        {"AddAce", 0,
         [](const SecurityApi& api) {
             std::vector<BYTE> target = BuildAcl({});
             return DWORD_PTR(api.AddAce(reinterpret_cast<PACL>(target.data()), ACL_REVISION, MAXDWORD, nullptr, 0));
         }},
        {"OpenProcessToken", 0,
         [](const SecurityApi& api) {
             HANDLE token = nullptr;
             const BOOL opened = api.OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
             if (opened) {
                 ::CloseHandle(token);
             }
             return DWORD_PTR(opened);
         }},
        {"ImpersonateLoggedOnUser", 0,
         [](const SecurityApi& api) { return DWORD_PTR(api.ImpersonateLoggedOnUser(nullptr)); }},
        {"RevertToSelf", 0, [](const SecurityApi& api) { return DWORD_PTR(api.RevertToSelf()); }},
        {"GetUserObjectSecurity", 0,
         [](const SecurityApi& api) {
             SECURITY_INFORMATION requested = DACL_SECURITY_INFORMATION;
             DWORD needed = 0;
             return DWORD_PTR(api.GetUserObjectSecurity(nullptr, &requested, nullptr, 0, &needed));
         }},
        {"SetUserObjectSecurity", 0,
         [](const SecurityApi& api) {
             SECURITY_INFORMATION information = DACL_SECURITY_INFORMATION;
             return DWORD_PTR(api.SetUserObjectSecurity(nullptr, &information, &descriptor));
         }},
        {"OpenWindowStationW", 0,
         [](const SecurityApi& api) {
             return DWORD_PTR(api.OpenWindowStationW(L"proclaunch-no-such-station", FALSE, READ_CONTROL));
         }},
        {"CloseWindowStation", 0, [](const SecurityApi& api) { return DWORD_PTR(api.CloseWindowStation(nullptr)); }},
        {"OpenDesktopW", 0,
         [](const SecurityApi& api) {
             return DWORD_PTR(api.OpenDesktopW(L"proclaunch-no-such-desktop", 0, FALSE, READ_CONTROL));
         }},
        {"CloseDesktop", 0, [](const SecurityApi& api) { return DWORD_PTR(api.CloseDesktop(nullptr)); }},
        {"GetProcessWindowStation", 0,
         [](const SecurityApi& api) { return DWORD_PTR(api.GetProcessWindowStation()); }},
        {"SetProcessWindowStation", 0,
         [](const SecurityApi& api) { return DWORD_PTR(api.SetProcessWindowStation(::GetProcessWindowStation())); }},
    };
}

const std::set<std::string> kUser32Operations = {
    "GetUserObjectSecurity", "SetUserObjectSecurity", "OpenWindowStationW", "CloseWindowStation",
    "OpenDesktopW",          "CloseDesktop",          "GetProcessWindowStation", "SetProcessWindowStation"};

std::set<std::string> Everything()
{
    std::set<std::string> names;
    for (const auto& operation : AllOperations()) {
        names.insert(operation.name);
    }
    return names;
}

struct TableCase {
    const char* label;
    const wchar_t* advapiLibrary;   // null: the process's own table
    const wchar_t* userLibrary;
    std::set<std::string> missing;
};
void PrintTo(const TableCase& c, std::ostream* out) { *out << c.label; }

class SecurityApiTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(SecurityApiTableTest, MissingEntriesFailWithTheirResultAndCodeOthersReachTheSystem)
{
    const TableCase& param = GetParam();
    std::unique_ptr<SecurityApi> own;
    if (param.advapiLibrary != nullptr) {
        own = std::make_unique<SecurityApi>(param.advapiLibrary, param.userLibrary);
    }
    const SecurityApi& api = own ? *own : proclaunch::ProcessSecurityApi();
    ASSERT_EQ(AllOperations().size(), 21u);
    for (const auto& operation : AllOperations()) {
        ::SetLastError(0x12345678);
        const DWORD_PTR result = operation.call(api);
        const DWORD error = ::GetLastError();
        if (param.missing.count(operation.name)) {
            EXPECT_EQ(result, operation.missingResult) << operation.name;
            EXPECT_EQ(error, SecurityApiMissing) << operation.name;
        } else {
            EXPECT_NE(error, SecurityApiMissing) << operation.name << " should reach the system";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Libraries, SecurityApiTableTest, ::testing::Values(
    TableCase{"ProcessTable", nullptr, nullptr, {}},
    TableCase{"NamedSystemLibraries", L"advapi32.dll", L"user32.dll", {}},
    TableCase{"FirstLibraryMissing", kNoSuchLibrary, L"user32.dll", Everything()},
    TableCase{"SecondLibraryMissing", L"advapi32.dll", kNoSuchLibrary, kUser32Operations},
    TableCase{"OneEntryMissing", L"advapi32.dll", kPartialUser32, {"SetUserObjectSecurity"}},
    TableCase{"FirstLibraryWithoutAnyOfItsNames", L"user32.dll", L"user32.dll",
              [] {
                  auto names = Everything();
                  for (const auto& name : kUser32Operations) {
                      names.erase(name);
                  }
                  return names;
              }()}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.label); });

TEST(SecurityApiTest, PresentEntriesPassResultsOutParametersAndErrorCodesThrough)
{
    const SecurityApi& api = proclaunch::ProcessSecurityApi();
    Sid everyone = WellKnown(WinWorldSid);
    EXPECT_EQ(api.GetLengthSid(everyone.data()), ::GetLengthSid(everyone.data()));

    BYTE small[4];
    ::SetLastError(0x12345678);
    const BOOL tableCopied = api.CopySid(sizeof(small), small, everyone.data());
    const DWORD tableCopyError = ::GetLastError();
    ::SetLastError(0x12345678);
    EXPECT_FALSE(tableCopied);
    EXPECT_EQ(tableCopied, ::CopySid(sizeof(small), small, everyone.data()));
    EXPECT_EQ(tableCopyError, ::GetLastError());

    Sid copy(everyone.size());
    EXPECT_TRUE(api.CopySid(static_cast<DWORD>(copy.size()), copy.data(), everyone.data()));
    EXPECT_EQ(copy, everyone);

    HANDLE token = nullptr;
    ASSERT_TRUE(api.OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD throughTable = 0, direct = 0;
    ::SetLastError(0);
    EXPECT_FALSE(api.GetTokenInformation(token, TokenGroups, nullptr, 0, &throughTable));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ::GetTokenInformation(token, TokenGroups, nullptr, 0, &direct);
    EXPECT_EQ(throughTable, direct);
    ::CloseHandle(token);

    ::SetLastError(0);
    EXPECT_EQ(api.OpenWindowStationW(L"proclaunch-no-such-station", FALSE, READ_CONTROL), nullptr);
    const DWORD tableError = ::GetLastError();
    ::OpenWindowStationW(L"proclaunch-no-such-station", FALSE, READ_CONTROL);
    EXPECT_EQ(tableError, ::GetLastError());
    EXPECT_NE(tableError, 0u);

    EXPECT_EQ(api.GetProcessWindowStation(), ::GetProcessWindowStation());
    EXPECT_TRUE(api.HasAddAccessAllowedAce()) << "looked up with the rest though nothing calls it";
}

TEST(SecurityApiTest, DestructionFreesTheLibrariesItLoaded)
{
    ASSERT_EQ(::GetModuleHandleW(kPartialUser32), nullptr);
    {
        SecurityApi api(L"advapi32.dll", kPartialUser32);
        EXPECT_NE(::GetModuleHandleW(kPartialUser32), nullptr);
    }
    EXPECT_EQ(::GetModuleHandleW(kPartialUser32), nullptr);
}

TEST(SecurityApiTest, WithoutTheFirstLibraryTheSecondIsNeverLoaded)
{
    ASSERT_EQ(::GetModuleHandleW(kPartialUser32), nullptr);
    SecurityApi api(kNoSuchLibrary, kPartialUser32);
    EXPECT_EQ(::GetModuleHandleW(kPartialUser32), nullptr);
    EXPECT_FALSE(api.HasAddAccessAllowedAce());
}

}  // namespace
