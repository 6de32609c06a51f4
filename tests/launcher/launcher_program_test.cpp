// The real wendrel.exe under Wine, in a fresh folder each time, with
// stand-ins for javaw.exe, the runtime installer and msiexec.exe.

#include "launcher/resources/resource.h"

#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kJava7Key[] = L"{26A24AE4-039D-4CA4-87B4-2F83217080FF}";
const wchar_t kJava7UpdateKey[] = L"{26A24AE4-039D-4CA4-87B4-2F83217080FE}";
constexpr DWORD kWindowTimeoutMs = 20000;
// The name of a folder the launcher makes for itself in the system temporary folder.
const wchar_t kOwnFolderName[] = L"wendrel-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}";

bool Ends(HANDLE process)
{
    return ::WaitForSingleObject(process, kWindowTimeoutMs) == WAIT_OBJECT_0;
}

class LauncherProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearMachineState();
        // The built launcher carries a stand-in private runtime, which would
        // take precedence over the runtimes most tests are about.
        ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), Launcher()));
        ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
    }
    void TearDown() override { ClearMachineState(); }

    static void ClearMachineState()
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        for (const wchar_t* key : {kJava7Key, kJava7UpdateKey}) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKey) + L"\\" + key).c_str());
        }
        // The product's own uninstall entry lives in the 32-bit view.
        common::UniqueRegKey uninstall32;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                            uninstall32.put()) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(uninstall32.get(), L"" WENDREL_PRODUCT_ID);
        }
        common::UniqueRegKey runOnce;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(runOnce.get(), L"DeleteBundledJVM");
        }
        RemoveTree(SystemTempFolder() + L"\\BundledJVM");
    }

    std::wstring Launcher() const { return scratch / L"wendrel.exe"; }

    // A runtime home whose bin\javaw.exe is the recorder; returns javaw's path.
    std::wstring PlaceJavaw(const std::wstring& home)
    {
        EXPECT_TRUE(CreateFolders(home + L"\\bin"));
        EXPECT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), home + L"\\bin\\javaw.exe"));
        return home + L"\\bin\\javaw.exe";
    }

    void RegisterRuntime(const std::wstring& version, const std::wstring& home)
    {
        SetMachineString(kRuntimesKey, L"CurrentVersion", version);
        SetMachineString(std::wstring(kRuntimesKey) + L"\\" + version, L"JavaHome", home);
    }

    void PlaceRuntimeInstaller()
    {
        ASSERT_TRUE(CopyProgram(StandinPath(L"runtime_installer.exe"), scratch / L"JRE.exe"));
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), scratch / L"recorder.exe"));
    }

    std::wstring CommandLine(const std::wstring& arguments) const
    {
        return L"\"" + Launcher() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    }

    RunResult Run(const std::wstring& arguments, RunOptions options = RunOptions())
    {
        options.timeoutMs = 60000;
        return RunProgram(CommandLine(arguments), options);
    }

    HANDLE Start(const std::wstring& arguments, const RunOptions& options = RunOptions())
    {
        return StartProgram(CommandLine(arguments), options);
    }


    std::wstring Archive() const { return scratch / L"archive.jar"; }

    // A child's TEMP and TMP name the "Temp" folder in the run's own folder
    // below the system's, there while it runs; returns the run's folder.
    static std::wstring RunFolderOf(const Recording& run)
    {
        const std::wstring temp = FromUtf8(run.at("TEMP"));
        EXPECT_EQ(run.at("TMP"), run.at("TEMP"));
        EXPECT_EQ(run.at("tempfolder"), "there");
        std::wsmatch match;
        if (!std::regex_match(temp, match,
                              std::wregex(std::regex_replace(SystemTempFolder(), std::wregex(L"\\\\"), L"\\\\") +
                                          L"\\\\(" + kOwnFolderName + L")\\\\Temp"))) {
            ADD_FAILURE() << "TEMP is not a run's own folder: " << run.at("TEMP");
            return std::wstring();
        }
        return SystemTempFolder() + L"\\" + match[1].str();
    }

    ScratchFolder scratch;
};

TEST_F(LauncherProgramTest, JvmFolderBesideIsUsedWithTheExactArgumentText)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    const RunResult result = Run(L"/english /silent /NoShortcut -W \"play.note=a b\" /exename=Quarrix");
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);

    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")),
              javaw + L" -Duser.language=en -jar \"" + Archive() +
                  L"\" \"-W\" \"play.auto=YES\" \"-W\" \"createdesktopshortcutswizardaction.active=False\""
                  L" \"-W\" \"play.note=a b\"");
    EXPECT_EQ(FromUtf8(runs[0].at("cwd")), RunFolderOf(runs[0])) << "no folder others can change";
    EXPECT_FALSE(FolderExists(RunFolderOf(runs[0]))) << "the run's own folder goes when the installer has ended";
}

// The first word of the command line is the caller's to choose: the
// launcher's folder is where its file lies.
TEST_F(LauncherProgramTest, ItsFolderIsWhereItsFileLiesWhateverTheFirstWordSays)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    const std::wstring decoy = PlaceJavaw(scratch / L"decoy\\JVM");
    RunOptions options;
    options.program = Launcher();
    options.timeoutMs = 60000;
    const RunResult result = RunProgram(L"\"" + (scratch / L"decoy\\wendrel.exe") + L"\" /english", options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    EXPECT_TRUE(ReadRecordings(decoy).empty());
}

TEST_F(LauncherProgramTest, AFolderWithABlankCannotLetAShorterProgramPathRun)
{
    // "...\Quarrix Media\JVM\bin\javaw.exe" unquoted would first run "...\Quarrix.exe".
    const std::wstring media = scratch / L"Quarrix Media";
    ASSERT_TRUE(CreateFolders(media));
    ASSERT_TRUE(CopyProgram(DistPath(L"wendrel.exe"), media + L"\\wendrel.exe"));
    ASSERT_TRUE(WriteBytes(media + L"\\archive.jar", "PK\x05\x06 placeholder"));
    const std::wstring javaw = PlaceJavaw(media + L"\\JVM");
    const std::wstring decoy = scratch / L"Quarrix.exe";
    ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), decoy));

    RunOptions options;
    options.timeoutMs = 60000;
    for (const wchar_t* arguments : {L"/english", L"/english /normalprocess"}) {
        SCOPED_TRACE(Utf8(arguments));
        const RunResult result = RunProgram(L"\"" + media + L"\\wendrel.exe\" " + arguments, options);
        ASSERT_TRUE(result.started);
        ASSERT_FALSE(result.timedOut);
    }
    EXPECT_TRUE(ReadRecordings(decoy).empty());
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 2u);
    // The removed "/normalprocess" leaves its blank behind in the second run.
    const std::wstring expected = L"\"" + javaw + L"\" -Duser.language=en -jar \"" + media + L"\\archive.jar\"";
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), expected);
    EXPECT_EQ(FromUtf8(runs[1].at("commandline")), expected + L" ");
}

TEST_F(LauncherProgramTest, SplashImageBesideGivesTheSplashForm)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    ASSERT_TRUE(WriteBytes(scratch / L"archive.gif", "GIF89a"));
    ASSERT_FALSE(Run(L"/language=de /country=AT").timedOut);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")),
              javaw + L" -splash:\"" + (scratch / L"archive.gif") +
                  L"\" -Duser.language=de -Duser.country=AT -jar \"" + Archive() + L"\"");
}

// Without a splash image the system's language comes before the options;
// with one, the options come first. Needs an English UI, as Wine has by
// default.
TEST_F(LauncherProgramTest, SystemLanguageComesBeforeTheOptionsOnlyWithoutSplashImage)
{
    if (PRIMARYLANGID(::GetUserDefaultLangID()) != LANG_ENGLISH) {
        GTEST_SKIP() << "the user's UI language is not English";
    }
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    ASSERT_FALSE(Run(L"/language=fr /country=CA").timedOut);
    ASSERT_TRUE(WriteBytes(scratch / L"archive.gif", "GIF89a"));
    ASSERT_FALSE(Run(L"/language=fr /country=CA").timedOut);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), javaw + L" -Duser.language=en -jar \"" + Archive() + L"\"");
    EXPECT_EQ(FromUtf8(runs[1].at("commandline")),
              javaw + L" -splash:\"" + (scratch / L"archive.gif") + L"\" -Duser.language=fr -Duser.country=CA -jar \"" +
                  Archive() + L"\"");
}

// What the elevated children inherit: on both roads a temporary folder of
// the run's own, gone after the run, and no Java options or class path from
// the caller.
TEST_F(LauncherProgramTest, ChildrenGetTheRunsOwnTempFolderAndNoJavaOptionsOnBothRoads)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    RunOptions options;
    options.environment = {{L"TEMP", scratch / L"own-temp"},         {L"TMP", scratch / L"own-tmp"},
                           {L"JAVA_TOOL_OPTIONS", L"-javaagent:a.jar"}, {L"_JAVA_OPTIONS", L"-javaagent:b.jar"},
                           {L"JDK_JAVA_OPTIONS", L"-javaagent:c.jar"},  {L"CLASSPATH", L"C:\\planted"}};
    ASSERT_FALSE(Run(L"/english /nowarning", options).timedOut);
    ASSERT_FALSE(Run(L"/english /normalprocess /nowarning", options).timedOut);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(FromUtf8(runs[1].at("commandline")),
              javaw + L" -Duser.language=en -jar \"" + Archive() + L"\"  \"-W\" \"play.nowarning=YES\"");
    std::set<std::wstring> runFolders;
    for (const Recording& run : runs) {
        EXPECT_EQ(FromUtf8(run.at("cwd")), RunFolderOf(run));
        for (const char* emptied : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"}) {
            EXPECT_EQ(run.at(emptied), "") << emptied;
        }
        runFolders.insert(RunFolderOf(run));
    }
    EXPECT_EQ(runFolders.size(), 2u) << "a folder of each run's own";
    for (const std::wstring& folder : runFolders) {
        EXPECT_FALSE(FolderExists(folder)) << Utf8(folder);
    }
}

TEST_F(LauncherProgramTest, JavaInstallerIsWaitedFor)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    RunOptions options;
    options.environment = {{L"RECORDER_SLEEP_MS", L"1500"}};
    const RunResult result = Run(L"/english", options);
    ASSERT_FALSE(result.timedOut);
    EXPECT_GE(result.elapsedMs, 1500u);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
}

TEST_F(LauncherProgramTest, RegisteredRuntimeWithJavawIsUsed)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"jre1.8.0_202");
    RegisterRuntime(L"1.8.0_202", scratch / L"jre1.8.0_202");
    ASSERT_FALSE(Run(L"/english").timedOut);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), javaw + L" -Duser.language=en -jar \"" + Archive() + L"\"");
}

TEST_F(LauncherProgramTest, JvmFolderBesideWinsOverTheRegisteredRuntime)
{
    const std::wstring registered = PlaceJavaw(scratch / L"jre");
    RegisterRuntime(L"1.8.0_202", scratch / L"jre");
    const std::wstring local = PlaceJavaw(scratch / L"JVM");
    ASSERT_FALSE(Run(L"/english").timedOut);
    EXPECT_EQ(ReadRecordings(local).size(), 1u);
    EXPECT_TRUE(ReadRecordings(registered).empty());
}

// Runs the launcher, expects the Java error dialog, checks its texts and
// presses OK; the launcher must then end.
void AnswerJavaErrorDialog(HANDLE process)
{
    HWND dialog = WaitForProcessWindow(::GetProcessId(process), L"Error!", kWindowTimeoutMs);
    ASSERT_NE(dialog, nullptr) << "no Java error dialog";
    const std::wstring text = DialogItemText(dialog, IDC_JAVA_ERROR_TEXT);
    EXPECT_EQ(text.rfind(L"Java Runtime Environment in your system does not match the requirements of the installer "
                         L"or it is not installed properly.\r\nhttps://",
                         0),
              0u)
        << Utf8(text);
    EXPECT_EQ(text.find(L"\n", text.find(L"\r\n") + 2), std::wstring::npos) << "one line break";
    EXPECT_NE(text.find(L" for more information."), std::wstring::npos);
    EXPECT_EQ(DialogItemText(dialog, IDOK), L"OK");
    EXPECT_NE(::SendMessageW(::GetDlgItem(dialog, IDC_JAVA_WARNING), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
        << "the warning bitmap is shown";
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog, IDCANCEL)));
    PressDialogButton(dialog, IDOK);
    EXPECT_TRUE(Ends(process)) << "the launcher ends after the dialog";
}

TEST_F(LauncherProgramTest, RuntimeOlderThan18ShowsTheJavaErrorDialogAndStartsNothing)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"jre7");
    RegisterRuntime(L"1.7", scratch / L"jre7");
    common::UniqueHandle process(Start(L""));
    ASSERT_TRUE(process);
    AnswerJavaErrorDialog(process.get());
    EXPECT_TRUE(ReadRecordings(javaw).empty());
    EXPECT_FALSE(FileExists(scratch / L"AutoUpdate.log"));
}

TEST_F(LauncherProgramTest, JavaHomeWithoutJavawShowsTheJavaErrorDialog)
{
    ASSERT_TRUE(CreateFolders(scratch / L"jre\\bin"));
    RegisterRuntime(L"1.8.0_202", scratch / L"jre");
    common::UniqueHandle process(Start(L""));
    ASSERT_TRUE(process);
    AnswerJavaErrorDialog(process.get());
}

TEST_F(LauncherProgramTest, NoRegisteredRuntimeShowsTheJavaErrorDialog)
{
    common::UniqueHandle process(Start(L""));
    ASSERT_TRUE(process);
    AnswerJavaErrorDialog(process.get());
}

TEST_F(LauncherProgramTest, UnattendedRunWithNoJavaErrorAppendsOneLogEntryPerRun)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"jre7");
    RegisterRuntime(L"1.7.0_80", scratch / L"jre7");
    for (int run = 0; run < 2; ++run) {
        const RunResult result = Run(L"/silent /nojavaerror \"/exename=Quarrix Setup\"");
        ASSERT_TRUE(result.started);
        ASSERT_FALSE(result.timedOut) << "a dialog must not stop an unattended run";
    }
    EXPECT_TRUE(ReadRecordings(javaw).empty());

    const std::string bytes = ReadBytes(scratch / L"AutoUpdate.log");
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    wchar_t user[1000] = {};
    DWORD userSize = 1000;
    ::GetUserNameW(user, &userSize);
    wchar_t computer[1000] = {};
    DWORD computerSize = 1000;
    ::GetComputerNameW(computer, &computerSize);
    const std::wstring stamp = L"Date: \\d\\d/\\d\\d/\\d\\d\\d\\d Time: \\d\\d:\\d\\d";
    const std::wstring rule(80, L'-');
    const std::wstring entry = L"\r\n\r\n" + rule + L"\r\n" + L"Starting 'Quarrix Setup' update process\\. " + stamp +
                               L"\r\n\r\nUsername: " + user + L"\r\nComputer name: " + computer +
                               L"\r\n\r\nJava Runtime Environment is outdated or not installed properly\\.\r\n\r\n"
                               L"Finishing 'Quarrix Setup' update process\\. " +
                               stamp + L"\r\n" + rule + L"\r\n";
    EXPECT_TRUE(std::regex_match(text, std::wregex(entry + entry))) << Utf8(text);
}

TEST_F(LauncherProgramTest, UpdateLogNamesTheProgramFileWithoutExeName)
{
    RegisterRuntime(L"1.6.0_45", scratch / L"jre6");
    ASSERT_FALSE(Run(L"-silent /nojavaerror").timedOut);
    const std::string bytes = ReadBytes(scratch / L"AutoUpdate.log");
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_NE(text.find(L"Starting 'wendrel.exe' update process. "), std::wstring::npos);
    EXPECT_NE(text.find(L"Finishing 'wendrel.exe' update process. "), std::wstring::npos);
}

TEST_F(LauncherProgramTest, LogLocationPutsTheLogIntoThatFolder)
{
    RegisterRuntime(L"1.7", scratch / L"jre7");
    ASSERT_TRUE(CreateFolders(scratch / L"my logs"));
    ASSERT_FALSE(Run(L"/silent /nojavaerror -W \"play.logLocation=" + (scratch / L"my logs") + L"\"").timedOut);
    EXPECT_FALSE(FileExists(scratch / L"AutoUpdate.log"));
    EXPECT_EQ(ReadBytes(scratch / L"my logs\\AutoUpdate.log").substr(0, 2), std::string("\xFF\xFE", 2));
}

TEST_F(LauncherProgramTest, NoJavaErrorWithoutSilentShowsAndLogsNothing)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"jre7");
    RegisterRuntime(L"1.7", scratch / L"jre7");
    const RunResult result = Run(L"/nojavaerror");
    ASSERT_FALSE(result.timedOut);
    EXPECT_FALSE(FileExists(scratch / L"AutoUpdate.log"));
    EXPECT_TRUE(ReadRecordings(javaw).empty());
}

TEST_F(LauncherProgramTest, NoRegisteredRuntimeWithNoJavaErrorLeavesNoTrace)
{
    const RunResult result = Run(L"/silent /nojavaerror");
    ASSERT_FALSE(result.timedOut);
    EXPECT_FALSE(FileExists(scratch / L"AutoUpdate.log"));
}

TEST_F(LauncherProgramTest, UnwritableUpdateLogEndsTheRunWithAFileErrorReport)
{
    RegisterRuntime(L"1.7", scratch / L"jre7");
    const std::wstring location = scratch / L"missing";
    common::UniqueHandle process(Start(L"/silent /nojavaerror -W \"play.logLocation=" + location + L"\""));
    ASSERT_TRUE(process);
    HWND box = WaitForProcessWindow(::GetProcessId(process.get()), L"wendrel", kWindowTimeoutMs);
    ASSERT_NE(box, nullptr) << "no file-error report";
    const std::wstring text = DialogItemText(box, 0xFFFF);
    EXPECT_EQ(text.rfind(L"The update log \"" + location + L"\\AutoUpdate.log\" could not be written.", 0), 0u)
        << Utf8(text);
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(Ends(process.get()));
}

TEST_F(LauncherProgramTest, MissingArchiveShowsItsFullPathAndEnds)
{
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    ASSERT_TRUE(::DeleteFileW(Archive().c_str()));
    common::UniqueHandle process(Start(L"/english"));
    ASSERT_TRUE(process);
    HWND box = WaitForProcessWindow(::GetProcessId(process.get()), L"wendrel", kWindowTimeoutMs);
    ASSERT_NE(box, nullptr) << "no missing-file message";
    EXPECT_EQ(DialogItemText(box, 0xFFFF), L"\"" + Archive() + L"\" file is missing.");
    EXPECT_NE(::GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(::GetDlgItem(box, IDCANCEL), nullptr) << "OK only";
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(Ends(process.get()));
    EXPECT_TRUE(ReadRecordings(javaw).empty());
}

TEST_F(LauncherProgramTest, MessageBoxCaptionFollowsTheProgramsFileName)
{
    ASSERT_TRUE(::DeleteFileW(Archive().c_str()));
    PlaceJavaw(scratch / L"JVM");
    ASSERT_TRUE(CopyProgram(Launcher(), scratch / L"QuarrixUninstall.exe"));
    common::UniqueHandle process(StartProgram(L"\"" + (scratch / L"QuarrixUninstall.exe") + L"\""));
    ASSERT_TRUE(process);
    HWND box = WaitForProcessWindow(::GetProcessId(process.get()), L"QuarrixUninstall", kWindowTimeoutMs);
    ASSERT_NE(box, nullptr);
    PressDialogButton(box, IDOK);
    EXPECT_TRUE(Ends(process.get()));
}

class RuntimeInstallerTest : public LauncherProgramTest {
protected:
    void AddUninstallEntry(const wchar_t* key, const std::wstring& displayName)
    {
        SetMachineString(std::wstring(kUninstallKey) + L"\\" + key, L"DisplayName", displayName);
    }
    // The launcher starts the system folder's msiexec.exe, never one beside
    // it: the stand-in takes the system's place for the test, and Wine is
    // told to run it rather than its own.
    static std::wstring Msiexec()
    {
        wchar_t folder[MAX_PATH] = {};
        ::GetSystemDirectoryW(folder, MAX_PATH);
        return std::wstring(folder) + L"\\msiexec.exe";
    }
    void PlaceMsiexec()
    {
        m_systemMsiexec = ReadBytes(Msiexec());
        ASSERT_FALSE(m_systemMsiexec.empty());
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), Msiexec()));
        m_nativeMsiexec = std::make_unique<NativeLibraryFirst>(L"", L"msiexec.exe");
        // A planted one beside the launcher must not run.
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), scratch / L"msiexec.exe"));
    }
    void TearDown() override
    {
        if (!m_systemMsiexec.empty()) {
            // A stand-in the run started ends before the system's file comes back.
            WaitUntilNoProcessNamed(L"msiexec.exe", 10000);
            ::DeleteFileW((Msiexec() + L".record").c_str());
            WriteBytes(Msiexec(), m_systemMsiexec);
            m_nativeMsiexec.reset();
        }
        EXPECT_FALSE(FileExists(scratch / L"msiexec.exe.record")) << "the planted msiexec.exe ran";
        LauncherProgramTest::TearDown();
    }

private:
    std::string m_systemMsiexec;
    std::unique_ptr<NativeLibraryFirst> m_nativeMsiexec;
};

TEST_F(RuntimeInstallerTest, InstallerBesideRunsSilentlyThenJava7IsRemoved)
{
    PlaceRuntimeInstaller();
    PlaceMsiexec();
    AddUninstallEntry(kJava7UpdateKey, L"Java 7 Update 80");
    AddUninstallEntry(kJava7Key, L"Java 7");
    ASSERT_FALSE(Run(L"/english").timedOut);

    const auto installs = ReadRecordings(scratch / L"JRE.exe");
    ASSERT_EQ(installs.size(), 1u);
    EXPECT_EQ(FromUtf8(installs[0].at("commandline")), (scratch / L"JRE.exe") + L" /s");
    // The installer registers its runtime only after a pause: the launcher
    // found it, so it waited.
    const std::wstring javaw = scratch / L"InstalledJRE\\bin\\javaw.exe";
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), javaw + L" -Duser.language=en -jar \"" + Archive() + L"\"");

    ASSERT_TRUE(WaitForFile(Msiexec() + L".record", 10000)) << "msiexec was not started";
    WaitUntilNoProcessNamed(L"msiexec.exe", 10000);  // its record is complete once it has ended
    const auto removals = ReadRecordings(Msiexec());
    ASSERT_EQ(removals.size(), 1u);
    const std::wstring line = FromUtf8(removals[0].at("commandline"));
    const std::wstring expectedEnd = std::wstring(L" /quiet /X") + kJava7Key;
    ASSERT_GE(line.size(), expectedEnd.size());
    EXPECT_EQ(line.substr(line.size() - expectedEnd.size()), expectedEnd) << Utf8(line);
    EXPECT_EQ(FromUtf8(removals[0].at("cwd")), SystemTempFolder());
}

TEST_F(RuntimeInstallerTest, DisplayNameThatOnlyBeginsWithJava7StartsNothing)
{
    PlaceRuntimeInstaller();
    PlaceMsiexec();
    AddUninstallEntry(kJava7UpdateKey, L"Java 7 Update 80");
    ASSERT_FALSE(Run(L"/english").timedOut);
    EXPECT_EQ(ReadRecordings(scratch / L"JRE.exe").size(), 1u);
    ::Sleep(1500);  // time for a late msiexec to show, which must not come
    EXPECT_FALSE(FileExists(Msiexec() + L".record"));
}

TEST_F(RuntimeInstallerTest, RegisteredRuntime18KeepsTheInstallerFromRunning)
{
    PlaceRuntimeInstaller();
    PlaceMsiexec();
    AddUninstallEntry(kJava7Key, L"Java 7");
    const std::wstring javaw = PlaceJavaw(scratch / L"jre8");
    RegisterRuntime(L"1.8.0_202", scratch / L"jre8");
    ASSERT_FALSE(Run(L"/english").timedOut);
    EXPECT_FALSE(FileExists(scratch / L"JRE.exe.record"));
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    ::Sleep(1000);  // time for a late msiexec to show, which must not come
    EXPECT_FALSE(FileExists(Msiexec() + L".record")) << "Java 7 is removed only after an installer ran";
}

TEST_F(RuntimeInstallerTest, InstallerRunsAlsoWhenTheJvmFolderIsUsed)
{
    PlaceRuntimeInstaller();
    const std::wstring local = PlaceJavaw(scratch / L"JVM");
    ASSERT_FALSE(Run(L"/english").timedOut);
    EXPECT_EQ(ReadRecordings(scratch / L"JRE.exe").size(), 1u);
    EXPECT_EQ(ReadRecordings(local).size(), 1u);
}

// A copy of the launcher with a data resource added, as a build could.
bool AddDataResource(const std::wstring& program, WORD id, const std::string& bytes)
{
    HANDLE update = ::BeginUpdateResourceW(program.c_str(), FALSE);
    if (!update) {
        return false;
    }
    const BOOL added = ::UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(id),
                                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                         const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    return ::EndUpdateResourceW(update, !added) && added;
}

TEST_F(LauncherProgramTest, EmbeddedArchiveIsWrittenToAFolderOfItsOwnAndRemovedAfterwards)
{
    ASSERT_TRUE(::DeleteFileW(Archive().c_str()));
    ASSERT_TRUE(AddDataResource(Launcher(), IDR_EMBEDDED_ARCHIVE, "embedded archive"));
    const std::wstring javaw = PlaceJavaw(scratch / L"JVM");
    ASSERT_FALSE(Run(L"/english").timedOut);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    const std::wstring line = FromUtf8(runs[0].at("commandline"));
    // The launcher's own splash image is written beside the archive.
    const std::wstring prefix = javaw + L" -splash:\"";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << Utf8(line);
    const size_t imageEnd = line.find(L"\\archive.gif\"", prefix.size());
    ASSERT_NE(imageEnd, std::wstring::npos) << Utf8(line);
    const std::wstring folder = line.substr(prefix.size(), imageEnd - prefix.size());
    const std::wstring archive = folder + L"\\archive.jar";
    EXPECT_EQ(line.substr(imageEnd), L"\\archive.gif\" -Duser.language=en -jar \"" + archive + L"\"");
    // In the run folder, which the logon's removal names.
    std::wsmatch parts;
    ASSERT_TRUE(std::regex_match(folder, parts, std::wregex(L"(.*)\\\\(" + std::wstring(kOwnFolderName) + L")\\\\Archive")))
        << Utf8(folder);
    EXPECT_EQ(parts[1].str(), SystemTempFolder());
    EXPECT_FALSE(FolderExists(SystemTempFolder() + L"\\" + parts[2].str())) << "the run folder is removed";
}

TEST_F(RuntimeInstallerTest, EmbeddedInstallerRunsFromAFolderOfItsOwnThatIsRemovedAfterwards)
{
    ASSERT_TRUE(AddDataResource(Launcher(), IDR_RUNTIME_INSTALLER, ReadBytes(StandinPath(L"runtime_installer.exe"))));
    PlaceMsiexec();
    AddUninstallEntry(kJava7Key, L"Java 7");
    RunOptions options;
    options.environment = {{L"RUNTIME_INSTALLER_RECORD", scratch / L"embedded.record"},
                           {L"RUNTIME_INSTALLER_HOME", scratch / L"InstalledJRE"},
                           {L"RUNTIME_INSTALLER_JAVAW", StandinPath(L"recorder.exe")}};
    ASSERT_FALSE(Run(L"/english", options).timedOut);

    const auto installs = ReadRecordings(scratch / L"embedded");
    ASSERT_EQ(installs.size(), 1u);
    const std::wstring line = FromUtf8(installs[0].at("commandline"));
    std::wsmatch parts;
    ASSERT_TRUE(std::regex_match(
        line, parts, std::wregex(L"(.*)\\\\(" + std::wstring(kOwnFolderName) + L")\\\\Installer\\\\JRE\\.exe /s")))
        << Utf8(line);
    EXPECT_EQ(parts[1].str(), SystemTempFolder());
    EXPECT_FALSE(FolderExists(SystemTempFolder() + L"\\" + parts[2].str())) << "the written installer is removed";

    const std::wstring javaw = scratch / L"InstalledJRE\\bin\\javaw.exe";
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    ASSERT_TRUE(WaitForFile(Msiexec() + L".record", 10000)) << "Java 7 is removed after the installer ran";
}

class PrivateRuntimeTest : public LauncherProgramTest {
protected:
    void SetUp() override
    {
        LauncherProgramTest::SetUp();
        ASSERT_TRUE(CopyProgram(DistPath(L"wendrel.exe"), Launcher()));
        // The unpacked javaw.exe records beside the test, as its folder goes.
        options.environment = {{L"RECORDER_SLEEP_MS", L"3000"}, {L"RECORDER_RECORD", Record() + L".record"}};
    }

    std::wstring Record() const { return scratch / L"javaw.exe"; }

    RunOptions options;
};

TEST_F(PrivateRuntimeTest, UnpackedIntoTheRunsOwnFolderRegisteredForRemovalAndRemovedAfterwards)
{
    common::UniqueHandle process(Start(L"/english", options));
    ASSERT_TRUE(process);
    ASSERT_TRUE(WaitForFile(Record() + L".record", kWindowTimeoutMs));
    const auto runs = ReadRecordings(Record());
    ASSERT_EQ(runs.size(), 1u);
    const std::wstring runFolder = RunFolderOf(runs[0]);
    const std::wstring folder = runFolder + L"\\BundledJVM";
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")).rfind(folder + L"\\bin\\javaw.exe ", 0), 0u)
        << runs[0].at("commandline");
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring command;
    EXPECT_TRUE(ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command));
    EXPECT_EQ(command, std::wstring(system) + L"\\cmd.exe /C  RD /S /Q \"" + runFolder + L"\"");
    // Unpacked as the archive says: DOS-made files read-only, no empty folders, no archive left.
    EXPECT_EQ(::GetFileAttributesW((folder + L"\\lib\\rt.jar").c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(FileExists(folder + L"\\lib\\security\\java.policy"));
    EXPECT_FALSE(FolderExists(folder + L"\\lib\\applet"));
    EXPECT_FALSE(FileExists(folder + L"\\BundledJVM.zip")) << "unpacked straight from the resource";

    ASSERT_TRUE(Ends(process.get()));
    EXPECT_FALSE(FolderExists(runFolder));
    EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command));
}

TEST_F(PrivateRuntimeTest, FolderThatCannotBeRemovedIsLeftToTheLogonsRemoval)
{
    common::UniqueHandle process(Start(L"/english", options));
    ASSERT_TRUE(process);
    ASSERT_TRUE(WaitForFile(Record() + L".record", kWindowTimeoutMs));
    const std::wstring runFolder = RunFolderOf(ReadRecordings(Record()).at(0));
    const std::wstring heldPath = runFolder + L"\\BundledJVM\\held.dll";
    ASSERT_TRUE(WriteBytes(heldPath, "x"));
    common::UniqueFile held(
        ::CreateFileW(heldPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    ASSERT_TRUE(Ends(process.get()));
    EXPECT_TRUE(FileExists(heldPath));
    std::wstring command;
    EXPECT_TRUE(ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command));
    EXPECT_NE(command.find(L"RD /S /Q \"" + runFolder + L"\""), std::wstring::npos) << Utf8(command);
    held.reset();
    RemoveTree(runFolder);
}

TEST_F(LauncherProgramTest, RuntimeInstallerIsPlacedBesideTheRegisteredUninstaller)
{
    const std::string installer = "MZ embedded runtime installer";
    ASSERT_TRUE(AddDataResource(Launcher(), IDR_RUNTIME_INSTALLER, installer));
    const std::wstring javaw = PlaceJavaw(scratch / L"jre8");
    RegisterRuntime(L"1.8.0_202", scratch / L"jre8");
    ASSERT_TRUE(CreateFolders(scratch / L"product\\Uninstall"));
    SetMachineString(std::wstring(kUninstallKey) + L"\\" + L"" WENDREL_PRODUCT_ID, L"UninstallString",
                     scratch / L"product\\Uninstall\\wendrel.exe", KEY_WOW64_32KEY);
    ASSERT_FALSE(Run(L"/english").timedOut);
    EXPECT_EQ(ReadRecordings(javaw).size(), 1u);
    EXPECT_EQ(ReadBytes(scratch / L"product\\Uninstall\\JRE.exe"), installer);
}

}  // namespace
