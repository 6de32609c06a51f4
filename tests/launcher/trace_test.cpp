// The decision trace (WENDREL_TRACE): each road through the launcher names
// itself and the command it started; without the variable no file appears.

#include "common/paths.h"
#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <regex>

#include <algorithm>
#include <functional>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void ClearMachineState()
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
    common::UniqueRegKey runOnce;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
        for (const wchar_t* name : {L"DeleteBundledJVM", L"DeletePellow", L"DeletePurlow"}) {
            ::RegDeleteValueW(runOnce.get(), name);
        }
    }
}

// One road: how the folder is prepared, the options, and the lines the trace
// must hold ("%F" stands for the launcher's folder, "%T" for the system
// temporary folder).
struct TraceCase {
    const char* name;
    const wchar_t* program;  // the launcher copied from the stand-ins or the dist folder
    std::function<void(const ScratchFolder&)> prepare;
    const wchar_t* arguments;
    std::vector<const wchar_t*> lines;
};

void PlaceJavaw(const std::wstring& home)
{
    ASSERT_TRUE(CreateFolders(home + L"\\bin"));
    ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), home + L"\\bin\\javaw.exe"));
}

// The folder of the helper files, as the RunOnce value names it.
std::wstring HelperFolder()
{
    std::wstring text;
    if (!ReadMachineString(kRunOnceKey, L"DeletePellow", text)) {
        return L"(no helper folder)";
    }
    const size_t open = text.find(L'"');
    return text.substr(open + 1, text.rfind(L'\\') - open - 1);
}

std::wstring Expand(std::wstring text, const std::wstring& folder)
{
    for (const auto& [mark, value] : {std::pair<std::wstring, std::wstring>{L"%F", folder},
                                      std::pair<std::wstring, std::wstring>{L"%T", SystemTempFolder()},
                                      std::pair<std::wstring, std::wstring>{L"%H", HelperFolder()}}) {
        for (size_t at = text.find(mark); at != std::wstring::npos; at = text.find(mark, at + value.size())) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

class TraceTest : public ::testing::TestWithParam<TraceCase> {
protected:
    void SetUp() override { ClearMachineState(); }
    void TearDown() override
    {
        const std::wstring helpers = HelperFolder();
        ClearMachineState();
        // A Pellow started by the run reaches its Purlow first: it ends once Purlow runs.
        WaitUntilNoProcessNamed(L"Pellow.exe", 10000);
        RemoveTree(helpers);
    }
};

TEST_P(TraceTest, NamesTheRoadTakenAndTheCommandStarted)
{
    const TraceCase& c = GetParam();
    ScratchFolder scratch;
    ASSERT_TRUE(CopyProgram(std::wstring(c.program) == L"dist" ? DistPath(L"wendrel.exe")
                                                               : StandinPath(L"wendrel-without-runtime.exe"),
                            scratch / L"wendrel.exe"));
    ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
    c.prepare(scratch);
    RunOptions options;
    options.timeoutMs = 60000;
    // The variable only switches the trace on; a path in it is not used.
    options.environment = {{L"WENDREL_TRACE", common::SystemProgramPath(L"trace.cmd")}, {L"RECORDER_EXIT_CODE", L"7"}};
    const TraceWatch traces;
    const std::wstring commandLine = L"\"" + (scratch / L"wendrel.exe") + L"\" " + c.arguments;
    const RunResult result = RunProgram(commandLine, options);
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);

    const std::wstring trace = FromUtf8(traces.Text());
    EXPECT_FALSE(FileExists(common::SystemProgramPath(L"trace.cmd")));
    // First, where it is: a folder of its own in the system's temporary folder.
    EXPECT_TRUE(std::regex_search(trace, std::wregex(L"^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} trace file: \"" +
                                                     std::regex_replace(SystemTempFolder(), std::wregex(L"\\\\"), L"\\\\") +
                                                     L"\\\\wendrel-trace-\\d{8}-\\d{6}-\\d+\\\\trace\\.txt\"\r\n")))
        << Utf8(trace);
    EXPECT_NE(trace.find(L" command line: " + commandLine + L"\r\n"), std::wstring::npos) << Utf8(trace);
    std::wsmatch runFolder;
    std::regex_search(trace, runFolder, std::wregex(L"wendrel-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"));
    for (const wchar_t* line : c.lines) {
        std::wstring expected = L" " + Expand(line, scratch.path());
        if (const size_t at = expected.find(L"%R"); at != std::wstring::npos) {
            expected.replace(at, 2, SystemTempFolder() + L"\\" + (runFolder.empty() ? L"?" : runFolder.str()));
        }
        EXPECT_NE(trace.find(expected), std::wstring::npos) << Utf8(expected) << "\nin\n" << Utf8(trace);
    }
    EXPECT_NE(trace.find(L" wendrel ends\r\n"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Roads, TraceTest,
    ::testing::Values(
        TraceCase{"JvmFolder", L"standin", [](const ScratchFolder& s) { PlaceJavaw(s / L"JVM"); },
                  L"/english /silent",
                  {L"options: /english; installer arguments: \"-W\" \"play.auto=YES\"\r\n",
                   L"private runtime: none carried (no resource 2000): passed over\r\n",
                   L"JVM folder: \"%F\\JVM\\bin\" is a folder: taken\r\n",
                   L"Java installer started in the interactive session and waited for: %F\\JVM\\bin\\javaw.exe "
                   L"-Duser.language=en -jar \"%F\\archive.jar\" \"-W\" \"play.auto=YES\"\r\n",
                   L"Java installer exit code: 7\r\n"}},
        TraceCase{"NormalProcess", L"standin", [](const ScratchFolder& s) { PlaceJavaw(s / L"JVM"); },
                  L"/english /normalprocess",
                  {L"options: /english /normalprocess; installer arguments: \r\n",
                   L"Java installer started directly (/normalprocess) and waited for: %F\\JVM\\bin\\javaw.exe "
                   L"-Duser.language=en -jar \"%F\\archive.jar\" \r\n",
                   L"Java installer exit code: 7\r\n"}},
        TraceCase{"PrivateRuntime", L"dist", [](const ScratchFolder&) {}, L"/english",
                  // %R: the run's own folder, whose name nobody knows in advance.
                  {L"private runtime: unpacked into \"%R\\BundledJVM\" (",
                   L"ms): taken\r\n",
                   L"Java installer started in the interactive session and waited for: %R\\BundledJVM\\bin\\javaw.exe "
                   L"-Duser.language=en -jar \"%F\\archive.jar\"\r\n"}},
        TraceCase{"RegisteredRuntime", L"standin",
                  [](const ScratchFolder& s) {
                      PlaceJavaw(s / L"jre8");
                      SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.8.0_202");
                      SetMachineString(std::wstring(kRuntimesKey) + L"\\1.8.0_202", L"JavaHome", s / L"jre8");
                      SetMachineString(std::wstring(kRuntimesKey) + L"\\1.7", L"JavaHome", s / L"jre7");
                  },
                  L"/english",
                  {L"JVM folder: \"%F\\JVM\\bin\" is not a folder: passed over\r\n",
                   L"registered runtimes: 1.7 (older), 1.8.0_202 (1.8 or later)\r\n",
                   L"runtime installer: \"%F\\JRE.exe\" not there\r\n",
                   L"registered runtime: 1.8.0_202 at \"%F\\jre8\": taken\r\n",
                   L"Java installer started in the interactive session and waited for: %F\\jre8\\bin\\javaw.exe "
                   L"-Duser.language=en -jar \"%F\\archive.jar\"\r\n"}},
        TraceCase{"RuntimeInstaller", L"standin",
                  [](const ScratchFolder& s) {
                      ASSERT_TRUE(CopyProgram(StandinPath(L"runtime_installer.exe"), s / L"JRE.exe"));
                      ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), s / L"recorder.exe"));
                  },
                  L"/english",
                  {L"registered runtimes: none\r\n",
                   L"runtime installer: \"%F\\JRE.exe\" started and waited for, exit code 0: %F\\JRE.exe /s\r\n",
                   L"registered runtime: 1.8.0_202 at \"%F\\InstalledJRE\": taken\r\n",
                   L"waited for: %F\\InstalledJRE\\bin\\javaw.exe -Duser.language=en"}},
        TraceCase{"JavaError", L"standin",
                  [](const ScratchFolder& s) {
                      PlaceJavaw(s / L"jre7");
                      SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.7");
                      SetMachineString(std::wstring(kRuntimesKey) + L"\\1.7", L"JavaHome", s / L"jre7");
                  },
                  L"/silent /nojavaerror",
                  {L"options: /nojavaerror; installer arguments: \"-W\" \"play.auto=YES\" \r\n",
                   L"registered runtime: CurrentVersion 1.7 is older than 1.8: Java error\r\n",
                   L"no usable Java runtime: nothing started\r\n"}},
        TraceCase{"UninstallMode", L"standin",
                  [](const ScratchFolder& s) {
                      PlaceJavaw(s / L"JVM");
                      ASSERT_TRUE(WriteBytes(s / L"uninstall.dat", ""));
                  },
                  L"/english",
                  {L"uninstall mode: \"%F\\uninstall.dat\" exists\r\n",
                   L"uninstall: \"%H\\Purlow.exe\" written\r\n",
                   L"uninstall: \"%H\\Pellow.exe\" written\r\n",
                   L"uninstall: Pellow started in the interactive session and ended with exit code 0: "
                   L"%H\\Pellow.exe %H\\Purlow.exe %F\r\n"}}),
    [](const ::testing::TestParamInfo<TraceCase>& info) { return info.param.name; });

TEST(TraceOffTest, WithoutTheVariableOrWithItEmptyNoFileAppears)
{
    ClearMachineState();
    ScratchFolder scratch;
    ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), scratch / L"wendrel.exe"));
    ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
    PlaceJavaw(scratch / L"JVM");
    ASSERT_EQ(::GetEnvironmentVariableW(L"WENDREL_TRACE", nullptr, 0), 0u) << "the test runs without the variable";
    RunOptions options;
    options.timeoutMs = 60000;
    options.workingFolder = scratch.path();
    ASSERT_FALSE(RunProgram(L"\"" + (scratch / L"wendrel.exe") + L"\" /english", options).timedOut);
    options.environment = {{L"WENDREL_TRACE", L""}};
    ASSERT_FALSE(RunProgram(L"\"" + (scratch / L"wendrel.exe") + L"\" /english", options).timedOut);
    EXPECT_EQ(ReadRecordings(scratch / L"JVM\\bin\\javaw.exe").size(), 2u);

    // The folder holds what it held, plus the stand-in's record.
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind listing(::FindFirstFileW((scratch / L"*").c_str(), &entry));
    ASSERT_TRUE(listing);
    do {
        names.push_back(entry.cFileName);
    } while (::FindNextFileW(listing.get(), &entry));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"JVM", L"archive.jar", L"wendrel.exe"}));
}

}  // namespace
