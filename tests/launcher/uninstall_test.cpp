// Uninstall mode ("uninstall.dat" beside the launcher): the real launcher
// writes its helper programs into a folder of its own in the system
// temporary folder, registers their deletion and starts Pellow, which has
// Purlow remove the folder.

#include "launcher/helper_programs.h"
#include "launcher/resources/resource.h"

#include "build_paths.h"
#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace testing_support;

const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr DWORD kEndTimeoutMs = 60000;

std::wstring TempHelper(const wchar_t* name)
{
    return SystemTempFolder() + L"\\" + name;
}

// The helper file that a RunOnce value ("cmd.exe /C  del "<path>"") deletes;
// empty when the value is missing.
std::wstring RegisteredHelper(const wchar_t* valueName)
{
    std::wstring text;
    if (!ReadMachineString(kRunOnceKey, valueName, text)) {
        return std::wstring();
    }
    const size_t open = text.find(L'"');
    const size_t close = text.rfind(L'"');
    return open == std::wstring::npos || close <= open ? std::wstring() : text.substr(open + 1, close - open - 1);
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.rfind(L'\\'));
}

// The Purlow this Windows should get: x64 where the probe key exists.
std::wstring ExpectedPurlow()
{
    return launcher::IsPlatformProbeKeyPresent() ? WENDREL_HELPER_PURLOW_X64 : WENDREL_HELPER_PURLOW_X86;
}

class UninstallModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearMachineState();
        // A product folder with a blank, two levels below the scratch folder,
        // so that Purlow's removal of empty parents stays inside it.
        product = scratch / L"Programs\\Velmar\\Quarrix Product";
        ASSERT_TRUE(CreateFolders(product));
        ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), Launcher()));
        ASSERT_TRUE(WriteBytes(product + L"\\archive.jar", "PK\x05\x06 placeholder"));
        ASSERT_TRUE(WriteBytes(product + L"\\uninstall.dat", ""));
        // The Java uninstaller's runtime lies outside the folder it empties.
        ASSERT_TRUE(CreateFolders(scratch / L"jre\\bin"));
        javaw = scratch / L"jre\\bin\\javaw.exe";
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), javaw));
        SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.8.0_202");
        SetMachineString(std::wstring(kRuntimesKey) + L"\\1.8.0_202", L"JavaHome", scratch / L"jre");
    }
    void TearDown() override
    {
        // A Pellow started by the run reaches its Purlow first: it ends once Purlow runs.
        WaitUntilNoProcessNamed(L"Pellow.exe", 10000);
        ClearMachineState();
    }

public:
    static void ClearMachineState()
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        const std::wstring helpers = RegisteredHelper(L"DeletePurlow");
        common::UniqueRegKey runOnce;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(runOnce.get(), L"DeletePellow");
            ::RegDeleteValueW(runOnce.get(), L"DeletePurlow");
        }
        // An earlier run's Purlow may still be running for a moment.
        for (int attempt = 0; attempt < 50; ++attempt) {
            ::DeleteFileW(TempHelper(L"Purlow.exe").c_str());
            ::DeleteFileW(TempHelper(L"Pellow.exe").c_str());
            if (!helpers.empty()) {
                RemoveTree(FolderOf(helpers));
            }
            if (!FileExists(TempHelper(L"Purlow.exe")) && !FileExists(TempHelper(L"Pellow.exe")) &&
                (helpers.empty() || !FolderExists(FolderOf(helpers)))) {
                break;
            }
            ::Sleep(100);
        }
    }

protected:
    std::wstring Launcher() const { return product + L"\\wendrel.exe"; }

    RunResult Run(RunOptions options = RunOptions())
    {
        options.timeoutMs = kEndTimeoutMs;
        return RunProgram(L"\"" + Launcher() + L"\" /english", options);
    }

    ScratchFolder scratch;
    std::wstring product;
    std::wstring javaw;
};

TEST_F(UninstallModeTest, HelpersAreWrittenIntoAFolderOfTheLaunchersOwnAndRegisteredForDeletion)
{
    // Programs planted where the helpers used to go, one of them held so
    // that it cannot be deleted: they must never run.
    const std::string planted = ReadBytes(StandinPath(L"recorder.exe"));
    ASSERT_TRUE(WriteBytes(TempHelper(L"Pellow.exe"), planted));
    ASSERT_TRUE(WriteBytes(TempHelper(L"Purlow.exe"), planted));
    common::UniqueFile holder(::CreateFileW(TempHelper(L"Purlow.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);

    const RunResult result = Run();
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u) << "the uninstaller runs first";

    const std::wstring pellow = RegisteredHelper(L"DeletePellow");
    const std::wstring purlow = RegisteredHelper(L"DeletePurlow");
    const std::wstring folder = FolderOf(pellow);
    EXPECT_EQ(FolderOf(folder), SystemTempFolder());
    EXPECT_TRUE(std::regex_match(folder.substr(folder.rfind(L'\\') + 1),
                                 std::wregex(L"wendrel-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
        << Utf8(folder);
    EXPECT_EQ(pellow, folder + L"\\Pellow.exe");
    EXPECT_EQ(purlow, folder + L"\\Purlow.exe");
    EXPECT_TRUE(ReadBytes(pellow) == ReadBytes(WENDREL_HELPER_PELLOW));
    EXPECT_TRUE(ReadBytes(purlow) == ReadBytes(ExpectedPurlow()));
    EXPECT_TRUE(FolderExists(product)) << "the folder still holds files";

    ::Sleep(500);  // time for a planted helper to run and record, which it must not
    EXPECT_FALSE(FileExists(TempHelper(L"Pellow.exe.record")));
    EXPECT_FALSE(FileExists(TempHelper(L"Purlow.exe.record")));
    EXPECT_TRUE(ReadBytes(TempHelper(L"Purlow.exe")) == planted) << "someone else's file is left as it is";
}

TEST_F(UninstallModeTest, PellowIsWaitedForAndStartedWithThePurlowPathAndTheUnquotedFolder)
{
    // Resource 1001 replaced by the recorder: it records how it was started.
    ASSERT_TRUE(SetResource(Launcher(), L"RT_EXE", MAKEINTRESOURCEW(IDR_PELLOW),
                            ReadBytes(StandinPath(L"recorder.exe"))));
    ASSERT_FALSE(Run().timedOut);
    const std::wstring pellow = RegisteredHelper(L"DeletePellow");
    const auto runs = ReadRecordings(pellow);
    ASSERT_EQ(runs.size(), 1u) << "recorded before the launcher ended";
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), pellow + L" " + RegisteredHelper(L"DeletePurlow") + L" " + product);
    EXPECT_EQ(FromUtf8(runs[0].at("cwd")), SystemTempFolder());
}

TEST_F(UninstallModeTest, PurlowRemovesTheEmptiedFolderAndItsEmptyParentsOnceTheLauncherFileIsGone)
{
    RunOptions options;
    options.environment = {{L"RECORDER_EMPTY_FOLDER", product}, {L"RECORDER_EMPTY_KEEP", L"wendrel.exe"}};
    ASSERT_FALSE(Run(options).timedOut);
    ASSERT_TRUE(FolderExists(product));
    EXPECT_FALSE(FileExists(product + L"\\uninstall.dat")) << "the stand-in uninstaller emptied the folder";
    // The real uninstaller's own clean-up deletes the launcher after it ended.
    ASSERT_TRUE(::DeleteFileW(Launcher().c_str()));

    const DWORD start = ::GetTickCount();
    while (FolderExists(scratch / L"Programs") && ::GetTickCount() - start < 15000) {
        ::Sleep(100);
    }
    EXPECT_FALSE(FolderExists(product));
    EXPECT_FALSE(FolderExists(scratch / L"Programs\\Velmar")) << "the empty parent";
    EXPECT_FALSE(FolderExists(scratch / L"Programs")) << "the empty grandparent";
}

TEST_F(UninstallModeTest, WithoutUninstallDatNothingIsWrittenOrStarted)
{
    ASSERT_TRUE(::DeleteFileW((product + L"\\uninstall.dat").c_str()));
    ASSERT_FALSE(Run().timedOut);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    std::wstring text;
    EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeletePellow", text));
    EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeletePurlow", text));
}

TEST_F(UninstallModeTest, WithoutTheHelperResourcesNothingIsWrittenOrStarted)
{
    const std::wstring stripped = scratch / L"stripped.exe";
    ASSERT_TRUE(CopyProgramWithoutResources(Launcher(), stripped, [](LPCWSTR type, LPCWSTR) {
        return !IS_INTRESOURCE(type) && std::wstring(type) == L"RT_EXE";
    }));
    ASSERT_TRUE(ReadResource(stripped, L"RT_EXE", MAKEINTRESOURCEW(IDR_PELLOW)).empty());
    ASSERT_FALSE(ReadResource(stripped, L"GIF", L"ARCHIVE").empty()) << "only the helpers are gone";
    ASSERT_TRUE(::MoveFileExW(stripped.c_str(), Launcher().c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_FALSE(Run().timedOut);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    std::wstring text;
    EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeletePellow", text));
    EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeletePurlow", text));
}

// A helper file that is held open cannot be replaced: an earlier run's copy
// is reused, anything else must never run with the launcher's rights. The
// placement is called directly, on a folder of the test's own.
struct HeldFileCase {
    const char* name;
    const wchar_t* heldName;
    bool identical;  // holds the launcher's own bytes
};

class HeldHelperFileTest : public ::testing::TestWithParam<HeldFileCase> {};

TEST_P(HeldHelperFileTest, IsReusedOnlyWhenItHoldsTheLaunchersBytes)
{
    const HeldFileCase& c = GetParam();
    ScratchFolder scratch;
    const std::wstring launcherCopy = scratch / L"wendrel.exe";
    // Pellow replaced by the recorder, so a start shows as a record.
    const std::string recorder = ReadBytes(StandinPath(L"recorder.exe"));
    ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), launcherCopy));
    ASSERT_TRUE(SetResource(launcherCopy, L"RT_EXE", MAKEINTRESOURCEW(IDR_PELLOW), recorder));
    const bool heldIsPellow = std::wstring(c.heldName) == L"Pellow.exe";
    const std::string own = heldIsPellow ? recorder : ReadBytes(WENDREL_HELPER_PURLOW_X86);
    const std::string planted = c.identical ? own : recorder + "planted";
    const std::wstring helpers = scratch / L"helpers";
    ASSERT_TRUE(CreateFolders(helpers));
    const std::wstring held = helpers + L"\\" + c.heldName;
    ASSERT_TRUE(WriteBytes(held, planted));
    common::UniqueFile holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);

    HMODULE module = ::LoadLibraryExW(launcherCopy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    launcher::DecisionTrace trace;
    EXPECT_EQ(launcher::PlaceHelpersAndStartPellow(module, IDR_PURLOW_X86, helpers, scratch / L"product", trace),
              c.identical);
    ::FreeLibrary(module);
    EXPECT_EQ(ReadRecordings(helpers + L"\\Pellow.exe").size(), c.identical ? 1u : 0u);
    EXPECT_TRUE(ReadBytes(held) == planted) << "a held file is never rewritten";
    EXPECT_EQ(RegisteredHelper(L"DeletePellow").empty(), !c.identical);
    EXPECT_EQ(RegisteredHelper(L"DeletePurlow").empty(), !c.identical);
    UninstallModeTest::ClearMachineState();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeldHelperFileTest,
    ::testing::Values(HeldFileCase{"IdenticalPurlow", L"Purlow.exe", true},
                      HeldFileCase{"OtherPurlow", L"Purlow.exe", false},
                      HeldFileCase{"IdenticalPellow", L"Pellow.exe", true},
                      HeldFileCase{"OtherPellow", L"Pellow.exe", false}),
    [](const ::testing::TestParamInfo<HeldFileCase>& info) { return info.param.name; });

// 32-bit Windows, where the probe key is missing, gets the x86 Purlow: the
// same placement called with the probe's other answer, on the built
// launcher's resources and in a folder of the test's own.
TEST(HelperPlacementTest, WithoutTheProbeKeyTheX86PurlowIsWritten)
{
    EXPECT_EQ(launcher::PurlowResourceFor(false), IDR_PURLOW_X86);
    EXPECT_EQ(launcher::PurlowResourceFor(true), IDR_PURLOW_X64);

    ScratchFolder scratch;
    const std::wstring launcherCopy = scratch / L"wendrel.exe";
    // Pellow is the recorder here, so nothing real starts.
    ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), launcherCopy));
    ASSERT_TRUE(SetResource(launcherCopy, L"RT_EXE", MAKEINTRESOURCEW(IDR_PELLOW),
                            ReadBytes(StandinPath(L"recorder.exe"))));
    HMODULE module = ::LoadLibraryExW(launcherCopy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const std::wstring temp = scratch / L"temp";
    ASSERT_TRUE(CreateFolders(temp));
    launcher::DecisionTrace trace;
    EXPECT_TRUE(launcher::PlaceHelpersAndStartPellow(module, IDR_PURLOW_X86, temp, scratch / L"product", trace));
    ::FreeLibrary(module);
    EXPECT_TRUE(ReadBytes(temp + L"\\Purlow.exe") == ReadBytes(WENDREL_HELPER_PURLOW_X86));
    EXPECT_TRUE(FileExists(temp + L"\\Pellow.exe.record"));
    std::wstring text;
    EXPECT_TRUE(ReadMachineString(kRunOnceKey, L"DeletePurlow", text));
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(text, std::wstring(system) + L"\\cmd.exe /C  del \"" + temp + L"\\Purlow.exe\"");
    common::UniqueRegKey runOnce;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(runOnce.get(), L"DeletePellow");
        ::RegDeleteValueW(runOnce.get(), L"DeletePurlow");
    }
}

}  // namespace
