// The real Setup.exe under Wine, on installation media made by each test,
// with recording stand-ins for the runtime installer and the platform
// installer. Its log, registry entries, status dialog and message boxes are
// read by the tests.

#include "setup/resources/resource.h"

#include "common/unique_resource.h"
#include "tests/setup/log_messages.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

using namespace testing_support;
using setup_testing::LogMessages;

const wchar_t kRuntimesKey[] = L"Software\\JavaSoft\\Java Runtime Environment";
const wchar_t kExclusionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Compatibility Assistant";
const wchar_t kExclusionValue[] = L"ExecutablesToExclude";
constexpr DWORD kWindowTimeoutMs = 30000;
constexpr UINT kStatusText = IDC_STATUS_TEXT;

const wchar_t kChecking[] = L"Checking installed Java Runtime Environments. Please wait...";
const wchar_t kInstalling[] = L"Installing Java Runtime Environment. Please wait...";
const wchar_t kCannotStart[] = L"Installation cannot be started. Please check the installation files.";
const wchar_t kNotAdministrator[] =
    L"You are not logged in as a member of the Administrator group.\nClose this dialog, consult with your system "
    L"administrator and start the installer again.";

// Whether this test runs on 64-bit Windows (as a 64-bit or a WoW64 process):
// the platform installer's folder follows it.
bool On64BitWindows()
{
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    return sizeof(void*) == 8 || wow64;
}

std::wstring LogFolder()
{
    wchar_t folder[MAX_PATH] = {};
    EXPECT_EQ(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
    return std::wstring(folder) + L"\\Install.QZ";
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search) {
        return names;
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(entry.cFileName);
        }
    } while (::FindNextFileW(search.get(), &entry));
    return names;
}


size_t IndexOf(const std::vector<std::wstring>& lines, const std::wstring& line)
{
    return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line)
{
    return IndexOf(lines, line) < lines.size();
}

// Visible windows of a process and the status texts seen, sampled until it
// ends.
struct Observation {
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<std::wstring> statusTexts;  // distinct successive texts of the visible dialog
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->first && ::IsWindowVisible(window) && ::GetDlgItem(window, kStatusText) != nullptr) {
        search->second = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->first && ::IsWindowVisible(window) && ::GetDlgItem(window, kStatusText) == nullptr &&
        ::GetDlgItem(window, IDOK) != nullptr && WindowText(window) == L"Setup") {
        search->second = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForMessageBox(DWORD processId)
{
    const DWORD start = ::GetTickCount();
    do {
        std::pair<DWORD, HWND> search{processId, nullptr};
        ::EnumWindows(&FindMessageBox, reinterpret_cast<LPARAM>(&search));
        if (search.second) {
            return search.second;
        }
        ::Sleep(50);
    } while (::GetTickCount() - start < kWindowTimeoutMs);
    return nullptr;
}

HWND VisibleStatusDialog(DWORD processId)
{
    std::pair<DWORD, HWND> search{processId, nullptr};
    ::EnumWindows(&FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

class SetupProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SaveExclusionList();
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        ASSERT_TRUE(CreateFolders(media));
        ASSERT_TRUE(CopyProgram(DistPath(L"Setup.exe"), Setup()));
        ResetLogFolder(true);
    }
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        RestoreExclusionList();
    }

    std::wstring Setup() const { return media + L"\\Setup.exe"; }

    static void ResetLogFolder(bool present)
    {
        RemoveTree(LogFolder());
        if (present) {
            ASSERT_TRUE(CreateFolders(LogFolder()));
        }
    }

    // The only log file of the run.
    static std::vector<std::wstring> RunLog()
    {
        const auto files = FilesIn(LogFolder());
        EXPECT_EQ(files.size(), 1u);
        if (files.size() != 1) {
            return {};
        }
        EXPECT_EQ(files[0].size(), 33u);
        EXPECT_EQ(files[0].substr(19), L"-Setup.Exe.log");
        return LogMessages(LogFolder() + L"\\" + files[0]);
    }

    // A recording stand-in as the platform installer in a media folder.
    std::wstring PlaceInstaller(const std::wstring& folder, const std::wstring& name = L"Setup.exe")
    {
        EXPECT_TRUE(CreateFolders(media + L"\\" + folder));
        const std::wstring path = media + L"\\" + folder + L"\\" + name;
        EXPECT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), path));
        return path;
    }

    std::wstring PlaceRuntimeInstaller()
    {
        EXPECT_TRUE(CreateFolders(media + L"\\JVM"));
        const std::wstring path = media + L"\\JVM\\jre-setup.exe";
        EXPECT_TRUE(CopyProgram(StandinPath(L"runtime_installer.exe"), path));
        return path;
    }

    void RegisterRuntime(const std::wstring& version)
    {
        const std::wstring home = scratch / (L"java-" + version);
        ASSERT_TRUE(CreateFolders(home + L"\\bin\\server"));
        ASSERT_TRUE(WriteBytes(home + L"\\bin\\java.exe", "MZ"));
        ASSERT_TRUE(WriteBytes(home + L"\\bin\\server\\jvm.dll", "MZ"));
        SetString(std::wstring(kRuntimesKey) + L"\\" + version, L"JavaHome", home);
        SetString(std::wstring(kRuntimesKey) + L"\\" + version, L"RuntimeLib", home + L"\\bin\\server\\jvm.dll");
    }

    static void SetString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& text)
    {
        common::UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                    key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    std::wstring CommandLine(const std::wstring& arguments) const
    {
        return L"\"" + Setup() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    }

    // Starts Setup.exe and watches it until it ends: the status texts of
    // its visible dialog, sampled often.
    Observation Watch(const std::wstring& arguments, const RunOptions& options = RunOptions(),
                      const std::function<void(HWND)>& onVisible = nullptr)
    {
        Observation seen;
        common::UniqueHandle process(StartProgram(CommandLine(arguments), options));
        EXPECT_TRUE(process);
        if (!process) {
            return seen;
        }
        const DWORD id = ::GetProcessId(process.get());
        const DWORD start = ::GetTickCount();
        while (::WaitForSingleObject(process.get(), 2) == WAIT_TIMEOUT) {
            if (HWND dialog = VisibleStatusDialog(id)) {
                const std::wstring text = DialogItemText(dialog, kStatusText);
                if (::IsWindowVisible(dialog) &&
                    (seen.statusTexts.empty() || seen.statusTexts.back() != text)) {
                    seen.statusTexts.push_back(text);
                    if (onVisible) {
                        onVisible(dialog);
                    }
                }
            }
            if (::GetTickCount() - start > 90000) {
                ::TerminateProcess(process.get(), 1);
                ADD_FAILURE() << "Setup.exe did not end";
                return seen;
            }
        }
        seen.ended = true;
        ::GetExitCodeProcess(process.get(), &seen.exitCode);
        return seen;
    }

    // Answers the one message box the run shows: its text, then OK. The
    // status dialog, captioned alike, may be visible beside it.
    std::wstring AnswerMessageBox(HANDLE process, DWORD& exitCode)
    {
        std::wstring text;
        HWND box = WaitForMessageBox(::GetProcessId(process));
        EXPECT_NE(box, nullptr) << "no message box";
        if (box) {
            text = DialogItemText(box, 0xFFFF);
            PressDialogButton(box, IDOK);
        }
        if (::WaitForSingleObject(process, kWindowTimeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "Setup.exe did not end";
            ::TerminateProcess(process, 1);
        }
        ::GetExitCodeProcess(process, &exitCode);
        return text;
    }

    void SaveExclusionList()
    {
        common::UniqueRegKey key;
        m_hadList = false;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExclusionKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
            m_savedList = std::wstring(8192, L'\0');
            DWORD size = static_cast<DWORD>(m_savedList.size() * sizeof(wchar_t));
            m_hadList = ::RegQueryValueExW(key.get(), kExclusionValue, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&m_savedList[0]), &size) == ERROR_SUCCESS;
            m_savedList.resize(size / sizeof(wchar_t));
        }
    }
    void RestoreExclusionList()
    {
        common::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExclusionKey, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
            return;
        }
        if (m_hadList) {
            ::RegSetValueExW(key.get(), kExclusionValue, 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(m_savedList.data()),
                             static_cast<DWORD>(m_savedList.size() * sizeof(wchar_t)));
        } else {
            ::RegDeleteValueW(key.get(), kExclusionValue);
        }
    }
    static std::vector<std::wstring> ExclusionList()
    {
        std::vector<std::wstring> entries;
        std::wstring units(8192, L'\0');
        DWORD size = static_cast<DWORD>(units.size() * sizeof(wchar_t));
        if (::RegGetValueW(HKEY_LOCAL_MACHINE, kExclusionKey, kExclusionValue, RRF_RT_REG_MULTI_SZ, nullptr,
                           &units[0], &size) != ERROR_SUCCESS) {
            return entries;
        }
        for (const wchar_t* at = units.c_str(); *at; at += wcslen(at) + 1) {
            entries.emplace_back(at);
        }
        return entries;
    }

    ScratchFolder scratch;
    const std::wstring media = scratch / L"Media";
    bool m_hadList = false;
    std::wstring m_savedList;
};

TEST_F(SetupProgramTest, WithoutConfigurationOrRuntimeTheInstallerForThisWindowsStartsWithSetupsArguments)
{
    const std::wstring own = On64BitWindows() ? L"Windows64" : L"Windows32";
    const std::wstring other = On64BitWindows() ? L"Windows32" : L"Windows64";
    const std::wstring installer = PlaceInstaller(own);
    const std::wstring otherInstaller = PlaceInstaller(other);

    const Observation seen = Watch(L"/silent \"-W\" \"a b\"");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_TRUE(seen.statusTexts.empty()) << "the dialog showed";

    EXPECT_TRUE(ReadRecordings(otherInstaller).empty());
    const auto runs = ReadRecordings(installer);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), installer + L" /silent -W \"a b\" ");
    EXPECT_EQ(FromUtf8(runs[0].at("desktop")), L"WinSta0\\Default");

    const std::wstring folder = media + L"\\";
    const std::wstring first = On64BitWindows() ? L"64" : L"32";
    const std::vector<std::wstring> expectedHead = {
        L"InitCommonControls()",
        L"CWinApp::InitInstance()",
        L"AfxEnableControlContainer()",
        L"::CoInitialize (NULL)",
        L"::ExePath: " + Setup(),
        L"::Administator -> DoModal()",
        L"OnInitDialog()",
        L"Before begin thread",
    };
    const std::vector<std::wstring> expectedWorker = {
        L"WorkerThread: ::CoInitialize (NULL)",
        L"WorkerThread: szMessage.LoadString (IDS_CHECKINGINSTALLEDJAVAVMS)",
        L"WorkerThread: ::SendMessage (pDialog->m_hWnd, WM_COPYDATA, (WPARAM) NULL, (LPARAM) &cds)",
        L"WorkerThread: Is Windows Vista?",
        L"WindowsVista",
        L"WindowsVista: RegOpenKeyEx success: KeyPath: Software\\Microsoft\\Windows NT\\CurrentVersion",
        L"WindowsVista: RegQueryValueEx success: ValueName: CurrentVersion",
    };
    const std::vector<std::wstring> expectedCheck = {
        L"WorkerThread: Before CheckInstalledJavaVms",
        L"CheckInstalledJavaVms",
        L"CheckInstalledJavaVms: szRequiredVmVersion: 0.0.0",
        L"JVMInstallerFound",
        L"JVMInstallerFound: isFolderExist: " + media + L"\\JVM",
        L"IsFolderExist: " + media + L"\\JVM",
        L"IsFolderExist: file attributes read error",
        L"JVMInstallerFound: Does not exist: " + media + L"\\JVM",
        L"CheckInstalledJavaVms: szRequiredVmVersion after JVMInstallerFound: 0.0.0",
        L"WorkerThread: Before LaunchInstaller",
        L"LaunchInstaller",
        L"IsWow64",
        L"IsWow64: return: " + std::wstring(sizeof(void*) == 4 && On64BitWindows() ? L"true" : L"false"),
        std::wstring(On64BitWindows() ? L"LaunchInstaller: wow64: " : L"LaunchInstaller: wow32: ") + first,
        L"SearchPlatformInstaller",
        L"GetApplicationDirectory:",
        L"GetApplicationDirectory: GetModuleFileNameW",
        L"GetApplicationDirectory: Set szApplicationDirectory",
        L"GetApplicationDirectory: szApplicationDirectory: " + Setup(),
        L"GetApplicationDirectory: return: " + folder,
        L"SearchPlatformInstaller: FindString" + folder + L"*.*",
        L"IsFileInFolder: szFolderPath: " + folder + own,
        L"IsFileInFolder: FindString: " + folder + own + L"\\Setup.exe",
        L"IsFileInFolder: found: szFoundFilePath: " + installer,
        L"SearchPlatformInstaller: FoundFilePath: " + installer,
        L"LaunchInstaller: szInstallerPath: " + installer,
        L"LaunchInstaller: szInstallerArgs: /silent -W \"a b\" ",
        L"LaunchInstaller: Before launch: tcInstallerPath: " + installer,
        L"LaunchInstaller: Before launch: tcInstallerArgs: /silent -W \"a b\" ",
        L"LaunchInstaller: not normalprocess: LaunchProcess",
    };
    const std::vector<std::wstring> expectedTail = {
        L"LaunchInstaller: after LaunchProcess",
        L"WorkerThread: After LaunchInstaller",
        L"WorkerThread: After EndDialog",
    };

    const std::vector<std::wstring> log = RunLog();
    ASSERT_GT(log.size(), expectedHead.size());
    EXPECT_EQ(std::vector<std::wstring>(log.begin(), log.begin() + expectedHead.size()), expectedHead);
    // The main thread's line and the worker's first lines may interleave,
    // but none is lost.
    const size_t afterBegin = IndexOf(log, L"After begin thread");
    ASSERT_LT(afterBegin, log.size());
    std::vector<std::wstring> worker;
    for (size_t i = expectedHead.size(); i < log.size(); ++i) {
        if (i != afterBegin) {
            worker.push_back(log[i]);
        }
    }
    ASSERT_GT(worker.size(), expectedWorker.size());
    EXPECT_EQ(std::vector<std::wstring>(worker.begin(), worker.begin() + expectedWorker.size()), expectedWorker);
    const size_t check = IndexOf(worker, expectedCheck.front());
    ASSERT_LT(check + expectedCheck.size(), worker.size());
    EXPECT_EQ(std::vector<std::wstring>(worker.begin() + check, worker.begin() + check + expectedCheck.size()),
              expectedCheck);
    // The interactive-session launch's own lines, then the end.
    const size_t launch = check + expectedCheck.size();
    EXPECT_EQ(worker[launch], L"LaunchProcess");
    const size_t end = IndexOf(worker, expectedTail.front());
    ASSERT_LT(end, worker.size());
    ASSERT_GT(end, launch);
    EXPECT_EQ(worker[end - 1], L"LaunchProcess: return true");
    EXPECT_EQ(std::vector<std::wstring>(worker.begin() + end, worker.end()), expectedTail);
}

TEST_F(SetupProgramTest, MissingRuntimeIsInstalledFromTheMediaWhileTheDialogSaysSo)
{
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"x64" : L"x32");
    const std::wstring runtimeInstaller = PlaceRuntimeInstaller();
    // Many registered runtimes below the requirement keep the check visible
    // long enough to be read.
    for (int i = 0; i < 60; ++i) {
        RegisterRuntime(L"1.7.0_" + std::to_wstring(i));
    }
    RunOptions options;
    options.environment = {{L"RUNTIME_INSTALLER_DELAY_MS", L"3000"},
                           {L"RUNTIME_INSTALLER_HOME", scratch / L"InstalledJRE"},
                           {L"RUNTIME_INSTALLER_JAVAW", StandinPath(L"recorder.exe")}};
    int closeRequests = 0;
    const Observation seen = Watch(L"/x", options, [&](HWND dialog) {
        // Enter, Escape and Alt+F4 while the worker runs change nothing.
        if (DialogItemText(dialog, kStatusText) == kInstalling) {
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            ++closeRequests;
        }
    });
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_EQ(seen.statusTexts, (std::vector<std::wstring>{kChecking, kInstalling}));
    EXPECT_EQ(closeRequests, 1);

    const auto runtimeRuns = ReadRecordings(runtimeInstaller);
    ASSERT_EQ(runtimeRuns.size(), 1u);
    EXPECT_EQ(FromUtf8(runtimeRuns[0].at("commandline")), runtimeInstaller + L" /s");
    const auto runs = ReadRecordings(installer);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), installer + L" /x ");

    const std::vector<std::wstring> log = RunLog();
    EXPECT_TRUE(Contains(log, L"CheckInstalledJavaVms: szRequiredVmVersion after JVMInstallerFound: 1.8.0"));
    EXPECT_TRUE(Contains(log, L"JVMInstallerFound: exists: " + media + L"\\JVM"));
    EXPECT_TRUE(Contains(log, L"CheckInstalledJavaVms: compare: 1.8.0 1.7.0_59"));
    EXPECT_TRUE(Contains(log, L"WorkerThread: nstalled Java not found"));
    EXPECT_TRUE(Contains(log, L"LaunchJavaInstaller: LaunchProcess: tcInstallerPath: " + runtimeInstaller));
    EXPECT_TRUE(Contains(log, L"LaunchJavaInstaller: LaunchProcess: tcInstallerArgs: /s"));
    // Waited for: the installer's 3 s lie between these two lines.
    const auto stampOf = [&](const wchar_t* message) {
        const auto files = FilesIn(LogFolder());
        const std::string bytes = files.empty() ? std::string() : ReadBytes(LogFolder() + L"\\" + files[0]);
        const size_t at = bytes.find(Utf8(message));
        return at == std::string::npos || at < 9 ? std::string() : bytes.substr(at - 9, 8);
    };
    const std::string before = stampOf(L"WorkerThread: Before LaunchJavaInstaller");
    const std::string after = stampOf(L"WorkerThread: After LaunchJavaInstaller");
    ASSERT_EQ(before.size(), 8u);
    ASSERT_EQ(after.size(), 8u);
    const auto seconds = [](const std::string& hms) {
        return std::stoi(hms.substr(0, 2)) * 3600 + std::stoi(hms.substr(3, 2)) * 60 + std::stoi(hms.substr(6, 2));
    };
    EXPECT_GE((seconds(after) - seconds(before) + 86400) % 86400, 2);
    EXPECT_EQ(log.back(), L"WorkerThread: After EndDialog");
}

TEST_F(SetupProgramTest, ARegisteredRuntimeThatMeetsTheRequirementIsNotReinstalled)
{
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    const std::wstring runtimeInstaller = PlaceRuntimeInstaller();
    RegisterRuntime(L"1.8");
    RegisterRuntime(L"1.8.0_291");
    const Observation seen = Watch(L"");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_TRUE(ReadRecordings(runtimeInstaller).empty());
    const std::vector<std::wstring> log = RunLog();
    const size_t first = IndexOf(log, L"CheckInstalledJavaVms: compare: 1.8.0 1.8");
    const size_t second = IndexOf(log, L"CheckInstalledJavaVms: compare: 1.8.0 1.8.0_291");
    ASSERT_LT(second, log.size());
    EXPECT_EQ(first + 1, second);
    EXPECT_EQ(log[second + 1], L"CheckInstalledJavaVms: compare success");
    EXPECT_FALSE(Contains(log, L"WorkerThread: nstalled Java not found"));
    EXPECT_EQ(ReadRecordings(installer).size(), 1u);
}

TEST_F(SetupProgramTest, ARequiredVersionFromTheConfigurationIsMetByAnOlderRuntime)
{
    const std::wstring installer = PlaceInstaller(L"Windows" + std::wstring(On64BitWindows() ? L"64" : L"32"));
    ASSERT_TRUE(WriteBytes(media + L"\\Setup.config",
                           "<?xml version=\"1.0\"?><configuration><appSettings>"
                           "<add key=\"JRE.RequiredVersion\" value=\"1.6.0\"/></appSettings></configuration>"));
    RegisterRuntime(L"1.6.0_45");
    const Observation seen = Watch(L"");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    const std::vector<std::wstring> log = RunLog();
    EXPECT_TRUE(Contains(log, L"CheckInstalledJavaVms: szRequiredVmVersion: 1.6.0"));
    EXPECT_TRUE(Contains(log, L"CheckInstalledJavaVms: compare success"));
    EXPECT_EQ(ReadRecordings(installer).size(), 1u);
}

TEST_F(SetupProgramTest, NormalProcessStartsTheInstallerDirectlyAndPassesItsExitCode)
{
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    RunOptions options;
    options.environment = {{L"RECORDER_EXIT_CODE", L"3010"}};
    const Observation seen = Watch(L"/normalprocess \"C:\\Program Files\\Q\"", options);
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 3010u);
    const auto runs = ReadRecordings(installer);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")), installer + L" /normalprocess \"C:\\Program Files\\Q\" ");
    const std::vector<std::wstring> log = RunLog();
    const size_t direct = IndexOf(log, L"LaunchInstaller: normalprocess: CreateProcess");
    ASSERT_LT(direct + 4, log.size());
    EXPECT_EQ(log[direct + 1],
              L"LaunchInstaller: normalprocess: Command: " + installer + L" /normalprocess \"C:\\Program Files\\Q\" ");
    EXPECT_EQ(log[direct + 2], L"LaunchInstaller: normalprocess: before Wait");
    EXPECT_EQ(log[direct + 3], L"LaunchInstaller: normalprocess: after Wait");
    EXPECT_FALSE(Contains(log, L"LaunchProcess"));
}

// From Setup.exe through the launcher to the Java installer, each word
// arrives as given: blanks, quotes, an empty word, a closing backslash, and
// a language value that must not become a Java option of its own.
TEST_F(SetupProgramTest, EveryWordArrivesAtTheJavaInstallerAsGiven)
{
    const std::wstring launcherFolder = media + (On64BitWindows() ? L"\\Windows64" : L"\\Windows32");
    ASSERT_TRUE(CreateFolders(launcherFolder + L"\\JVM\\bin"));
    ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), launcherFolder + L"\\Setup.exe"));
    ASSERT_TRUE(WriteBytes(launcherFolder + L"\\archive.jar", "PK\x05\x06 placeholder"));
    ASSERT_TRUE(WriteBytes(launcherFolder + L"\\archive.gif", "GIF89a"));
    const std::wstring javaw = launcherFolder + L"\\JVM\\bin\\javaw.exe";
    ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), javaw));
    RegisterRuntime(L"1.8.0_202");

    const Observation seen = Watch(L"/silent -W \"play.installLocation=C:\\Program Files\\Quarrix\" \"say \\\"hi\\\"\" \"\" "
                                   L"\"C:\\trailing dir\\\\\" C:\\plain\\ /language=\"fr -javaagent:x.jar\"");
    ASSERT_TRUE(seen.ended);
    const auto runs = ReadRecordings(javaw);
    ASSERT_EQ(runs.size(), 1u);
    int count = 0;
    common::UniqueLocalMem words(::CommandLineToArgvW(FromUtf8(runs[0].at("commandline")).c_str(), &count));
    const auto* argv = static_cast<const wchar_t* const*>(words.get());
    const std::vector<std::wstring> received(argv + 1, argv + count);
    const std::vector<std::wstring> expected = {
        L"-splash:" + launcherFolder + L"\\archive.gif", L"-Duser.language=fr -javaagent:x.jar", L"-jar",
        launcherFolder + L"\\archive.jar", L"-W", L"play.auto=YES", L"-W",
        L"play.installLocation=C:\\Program Files\\Quarrix", L"say \"hi\"", L"", L"C:\\trailing dir\\",
        L"C:\\plain\\"};
    EXPECT_EQ(received, expected) << runs[0].at("commandline");
    // A word without blank or quote is logged as it always was.
    EXPECT_TRUE(Contains(RunLog(), L"LaunchInstaller: szInstallerArgs: /silent -W "
                                   L"\"play.installLocation=C:\\Program Files\\Quarrix\" \"say \\\"hi\\\"\" \"\" "
                                   L"\"C:\\trailing dir\\\\\" C:\\plain\\ \"/language=fr -javaagent:x.jar\" "));
}

TEST_F(SetupProgramTest, TheInstallersExitCodeIsPassedOnThroughTheInteractiveSessionToo)
{
    PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    RunOptions options;
    options.environment = {{L"RECORDER_EXIT_CODE", L"1602"}};
    const Observation seen = Watch(L"", options);
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 1602u);
}

TEST_F(SetupProgramTest, ALibraryPlantedBesideSetupNeverRuns)
{
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    const std::wstring planted = media + L"\\comctl32.dll";
    ASSERT_TRUE(CopyProgram(StandinPath(L"planted_library.dll"), planted));
    const NativeLibraryFirst nativeFirst(L"Setup.exe", L"comctl32");
    const Observation seen = Watch(L"");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_EQ(ReadRecordings(installer).size(), 1u);
    EXPECT_FALSE(FileExists(planted + L".loaded")) << ReadBytes(planted + L".loaded");
}

TEST_F(SetupProgramTest, AnExecutableBesideSetupIsTheLastResort)
{
    // A bitness folder with only a folder in it is passed over; Setup.exe
    // itself is no candidate.
    ASSERT_TRUE(CreateFolders(media + L"\\Windows64\\only-a-folder"));
    const std::wstring beside = media + L"\\install.exe";
    ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), beside));
    const Observation seen = Watch(L"");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_EQ(ReadRecordings(beside).size(), 1u);
    const std::vector<std::wstring> log = RunLog();
    EXPECT_TRUE(Contains(log, L"LaunchInstaller: SearchPlatformIndependentInstaller"));
    EXPECT_TRUE(Contains(log, L"SearchPlatformIndependentInstaller: FoundFilePath: " + beside));
}

TEST_F(SetupProgramTest, NoInstallerAnywhereShowsMessage106AndEndsWithItsCode)
{
    common::UniqueHandle process(StartProgram(CommandLine(L"")));
    ASSERT_TRUE(process);
    DWORD exitCode = 0;
    EXPECT_EQ(AnswerMessageBox(process.get(), exitCode), kCannotStart);
    EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::vector<std::wstring> log = RunLog();
    EXPECT_TRUE(Contains(log, L"SearchPlatformIndependentInstaller: return empty"));
    EXPECT_TRUE(Contains(log, L"LaunchInstaller: szInstallerPath: "));
    EXPECT_EQ(log.back(), L"WorkerThread: After EndDialog");
}

TEST_F(SetupProgramTest, AnInstallerPathTooLongForTheCommandLineIsRefusedWithMessage106)
{
    // Found, but the arguments alone, or path and arguments together,
    // exceed the 260-unit buffers.
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    for (size_t length : {300u, 250u}) {
        ResetLogFolder(true);
        common::UniqueHandle process(StartProgram(CommandLine(std::wstring(length, L'a'))));
        ASSERT_TRUE(process);
        DWORD exitCode = 0;
        EXPECT_EQ(AnswerMessageBox(process.get(), exitCode), kCannotStart) << length;
        EXPECT_EQ(exitCode, static_cast<DWORD>(ERROR_INSTALL_FAILURE)) << length;
        EXPECT_EQ(RunLog().back(), L"WorkerThread: After EndDialog") << length;
    }
    EXPECT_TRUE(ReadRecordings(installer).empty());
}

TEST_F(SetupProgramTest, ARuntimeInstallerThatCannotStartShowsMessage105ThenTheInstallerRuns)
{
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    ASSERT_TRUE(CreateFolders(media + L"\\JVM"));
    ASSERT_TRUE(WriteBytes(media + L"\\JVM\\readme.txt", "not a program"));
    common::UniqueHandle process(StartProgram(CommandLine(L"")));
    ASSERT_TRUE(process);
    DWORD exitCode = 0;
    EXPECT_EQ(AnswerMessageBox(process.get(), exitCode),
              L"Java Runtime Environment installer is not found or Setup.config configuration file is not correct.");
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(ReadRecordings(installer).size(), 1u);
}

TEST_F(SetupProgramTest, TheExclusionListGainsTheProgramPathOnceOverTwoRuns)
{
    PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    for (int run = 0; run < 2; ++run) {
        ResetLogFolder(true);
        ASSERT_TRUE(Watch(L"").ended);
    }
    const auto entries = ExclusionList();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), Setup()), 1);
    EXPECT_TRUE(Contains(RunLog(), L"SetPCA: Path found: Path: " + Setup()));
}

TEST_F(SetupProgramTest, WithoutTheLogFolderNoFileIsWrittenAndTheRunIsTheSame)
{
    ResetLogFolder(false);
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    const Observation seen = Watch(L"/x");
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.exitCode, 0u);
    EXPECT_EQ(ReadRecordings(installer).size(), 1u);
    EXPECT_FALSE(FolderExists(LogFolder()));
}

TEST_F(SetupProgramTest, AStandardUserSeesMessage108AndNothingElseHappens)
{
    ASSERT_TRUE(CopyProgram(StandinPath(L"setup-standard-user.exe"), Setup()));
    const std::wstring installer = PlaceInstaller(On64BitWindows() ? L"Windows64" : L"Windows32");
    common::UniqueHandle process(StartProgram(CommandLine(L"")));
    ASSERT_TRUE(process);
    DWORD exitCode = 0;
    EXPECT_EQ(AnswerMessageBox(process.get(), exitCode), kNotAdministrator);
    EXPECT_EQ(exitCode, 740u);
    EXPECT_TRUE(ReadRecordings(installer).empty());
    const std::vector<std::wstring> log = RunLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), L"::Not Administator -> ErrorMessage");
    EXPECT_FALSE(Contains(log, L"OnInitDialog()"));
}

}  // namespace
