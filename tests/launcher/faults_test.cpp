// Faults an unattended run meets: killed half-way, runs that overlap, a Java
// command line that cannot start, an empty log folder. Whatever a run made
// stays named for removal at the next logon, and the exit code says what
// happened.

#include "launcher/resources/resource.h"

#include "common/unique_resource.h"
#include "tests/support/test_support.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kNothingStarted = 1603;

std::set<std::wstring> RunFolders()
{
    return SystemTempEntries(L"wendrel-*");
}

// A run folder made since `before` was listed; empty when none.
std::wstring NewRunFolder(const std::set<std::wstring>& before, const wchar_t* holding)
{
    for (const std::wstring& folder : RunFolders()) {
        if (!before.count(folder) && ::GetFileAttributesW((folder + holding).c_str()) != INVALID_FILE_ATTRIBUTES) {
            return folder;
        }
    }
    return std::wstring();
}

std::wstring RemovalCommand()
{
    std::wstring command;
    return ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command) ? command : std::wstring();
}

bool Names(const std::wstring& command, const std::wstring& folder)
{
    return command.find(L"RD /S /Q \"" + folder + L"\"") != std::wstring::npos;
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearRunOnce();
        ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), Launcher()));
        ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
        ASSERT_TRUE(CreateFolders(scratch / L"jre8\\bin"));
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), scratch / L"jre8\\bin\\javaw.exe"));
        SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.8.0_202");
        SetMachineString(std::wstring(kRuntimesKey) + L"\\1.8.0_202", L"JavaHome", scratch / L"jre8");
    }
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        ClearRunOnce();
    }
    static void ClearRunOnce()
    {
        common::UniqueRegKey runOnce;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(runOnce.get(), L"DeleteBundledJVM");
        }
    }

    std::wstring Launcher() const { return scratch / L"wendrel.exe"; }
    std::wstring CommandLine(const std::wstring& arguments) const { return L"\"" + Launcher() + L"\" " + arguments; }

    // A private runtime whose javaw.exe is the recorder, behind `padding`
    // bytes that take their time to be written.
    void CarryRuntime(size_t padding)
    {
        const std::string archive =
            zip_testing::BuildZip({zip_testing::Entry("lib/padding.dat", std::string(padding, '\0')),
                                   zip_testing::Entry("bin/javaw.exe", ReadBytes(StandinPath(L"recorder.exe")))});
        ASSERT_TRUE(SetResource(Launcher(), RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), archive));
    }

    ScratchFolder scratch;
};

TEST_F(FaultTest, ARunKilledWhileUnpackingIsRemovedByTheLogonsCommandAndALaterRunKeepsIt)
{
    CarryRuntime(192u << 20);
    const std::set<std::wstring> before = RunFolders();
    common::UniqueHandle killed(StartProgram(CommandLine(L"/english")));
    ASSERT_TRUE(killed);
    std::wstring folder;
    ASSERT_TRUE(WaitUntil([&] { return !(folder = NewRunFolder(before, L"\\BundledJVM\\lib")).empty(); }, kTimeoutMs));
    ASSERT_TRUE(Names(RemovalCommand(), folder)) << "named before anything is unpacked";
    ASSERT_TRUE(::TerminateProcess(killed.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(killed.get(), kTimeoutMs), WAIT_OBJECT_0);
    ASSERT_TRUE(FolderExists(folder));

    CarryRuntime(0);
    const RunResult later = RunProgram(CommandLine(L"/english"));
    ASSERT_FALSE(later.timedOut);
    EXPECT_EQ(later.exitCode, 0u);
    const std::wstring command = RemovalCommand();
    EXPECT_TRUE(Names(command, folder)) << "a later run keeps the killed run's folder named: " << Utf8(command);

    // What the next logon runs.
    const RunResult logon = RunProgram(command, [] {
        RunOptions options;
        options.timeoutMs = 120000;
        return options;
    }());
    ASSERT_FALSE(logon.timedOut);
    EXPECT_FALSE(FolderExists(folder));
}

TEST_F(FaultTest, OverlappingRunsKeepEachOthersFolderNamed)
{
    CarryRuntime(0);
    RunOptions first;
    first.environment = {{L"RECORDER_SLEEP_MS", L"4000"}, {L"RECORDER_RECORD", scratch / L"first.record"}};
    RunOptions second = first;
    second.environment[1].second = scratch / L"second.record";
    std::set<std::wstring> before = RunFolders();
    common::UniqueHandle a(StartProgram(CommandLine(L"/english"), first));
    std::wstring folderA;
    ASSERT_TRUE(WaitUntil([&] { return !(folderA = NewRunFolder(before, L"\\BundledJVM\\bin\\javaw.exe")).empty(); },
                          kTimeoutMs));
    before.insert(folderA);
    common::UniqueHandle b(StartProgram(CommandLine(L"/english"), second));
    ASSERT_TRUE(WaitForFile(scratch / L"second.record", kTimeoutMs));
    const std::wstring folderB = NewRunFolder(before, L"\\BundledJVM\\bin\\javaw.exe");
    const std::wstring both = RemovalCommand();
    EXPECT_TRUE(Names(both, folderA) && Names(both, folderB)) << Utf8(both);

    ASSERT_EQ(::WaitForSingleObject(a.get(), kTimeoutMs), WAIT_OBJECT_0);
    ASSERT_EQ(::WaitForSingleObject(b.get(), kTimeoutMs), WAIT_OBJECT_0);
    EXPECT_FALSE(FolderExists(folderA) || FolderExists(folderB));
    EXPECT_EQ(RemovalCommand(), L"") << "nothing left to name";
}

// Each road's exit code, and what the unattended one leaves in its log.
struct ExitCase {
    const char* name;
    const wchar_t* arguments;   // "%LONG%" stands for a word too long for Java's command line
    const wchar_t* environment; // RECORDER_EXIT_CODE, or nullptr
    DWORD exitCode;
    const wchar_t* message;     // the message box's first words; nullptr: none
    const wchar_t* logged;      // a line of the update log beside the launcher; nullptr: no log
};

void PrintTo(const ExitCase& c, std::ostream* out)
{
    *out << c.name;
}

class ExitCodeTest : public FaultTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodeTest, SaysWhatHappened)
{
    const ExitCase& c = GetParam();
    std::wstring arguments = c.arguments;
    if (const size_t at = arguments.find(L"%LONG%"); at != std::wstring::npos) {
        arguments.replace(at, 6, std::wstring(1100, L'x'));
    }
    RunOptions options;
    if (c.environment) {
        options.environment = {{L"RECORDER_EXIT_CODE", c.environment}};
    }
    common::UniqueHandle process(StartProgram(CommandLine(arguments), options));
    ASSERT_TRUE(process);
    if (c.message) {
        HWND box = WaitForProcessWindow(::GetProcessId(process.get()), L"wendrel", kTimeoutMs);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(DialogItemText(box, 0xFFFF).rfind(c.message, 0), 0u) << Utf8(DialogItemText(box, 0xFFFF));
        PressDialogButton(box, IDOK);
    }
    ASSERT_EQ(::WaitForSingleObject(process.get(), kTimeoutMs), WAIT_OBJECT_0) << "no window waits";
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, c.exitCode);
    const std::string log = ReadBytes(scratch / L"AutoUpdate.log");
    const std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    if (c.logged) {
        EXPECT_NE(text.find(std::wstring(L"\r\n") + c.logged + L"\r\n"), std::wstring::npos) << Utf8(text);
    } else {
        EXPECT_TRUE(log.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, ExitCodeTest, ::testing::Values(
    ExitCase{"JavaRanItsCodePassedOn", L"/english", L"3010", 3010, nullptr, nullptr},
    ExitCase{"CommandLineTooLong", L"/english %LONG%", nullptr, kNothingStarted,
             L"The installer could not be started. Its command line is too long", nullptr},
    ExitCase{"CommandLineTooLongUnattended", L"/silent %LONG%", nullptr, kNothingStarted, nullptr,
             L"The installer could not be started. Its command line is too long: shorten the arguments."}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(FaultTest, NoRuntimeWithNoJavaErrorShowsNothingButSaysSoInItsExitCode)
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
    const RunResult result = RunProgram(CommandLine(L"/silent /nojavaerror"));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, kNothingStarted);
    EXPECT_FALSE(FileExists(scratch / L"AutoUpdate.log"));
}

TEST_F(FaultTest, AnEmptyLogFolderWritesTheLogAtTheRootOfTheWorkingDrive)
{
    SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.7");
    const std::wstring rootLog = SystemTempFolder().substr(0, 3) + L"AutoUpdate.log";
    ::DeleteFileW(rootLog.c_str());
    RunOptions options;
    options.workingFolder = SystemTempFolder();
    const RunResult result = RunProgram(CommandLine(L"/silent /nojavaerror -W play.logLocation="), options);
    ASSERT_FALSE(result.timedOut) << "no message waits";
    EXPECT_EQ(result.exitCode, kNothingStarted);
    const std::string log = ReadBytes(rootLog);
    ::DeleteFileW(rootLog.c_str());
    EXPECT_GT(log.size(), 100u) << "an entry, not an empty file";
}

// The system's temporary folder gone: no run folder, so the carried runtime
// cannot be unpacked, and the log says so rather than blame Java.
TEST_F(FaultTest, NoSystemTempFolderIsTheReasonTheLogGives)
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
    CarryRuntime(0);
    const std::wstring temp = SystemTempFolder();
    const std::wstring aside = temp + L"-aside";
    ASSERT_TRUE(::MoveFileW(temp.c_str(), aside.c_str()));
    const RunResult result = RunProgram(CommandLine(L"/silent /nojavaerror"));
    ::MoveFileW(aside.c_str(), temp.c_str());
    ASSERT_TRUE(FolderExists(temp));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, kNothingStarted);
    const std::string log = ReadBytes(scratch / L"AutoUpdate.log");
    const std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    EXPECT_NE(text.find(L"outdated or not installed properly.\r\nThe Java runtime that comes with the installer could "
                        L"not be unpacked: no folder could be made for it in \"" + temp + L"\"."),
              std::wstring::npos)
        << Utf8(text);
}

}  // namespace
