// The media's whole road under Wine (Setup.exe, the runtime installer, the
// launcher, javaw.exe), on media made by the release command, with one thing
// tampered per row; then a racer that swaps a file the moment it is held.
// Every recording stand-in, planted ones included, records its start into
// one file, so a planted program that ran cannot go unseen.

#include "common/unique_resource.h"
#include "media_tamper_paths.h"
#include "tests/setup/log_messages.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <functional>
#include <memory>
#include <regex>
#include <thread>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"Software\\JavaSoft\\Java Runtime Environment";
const wchar_t kJavaInstallerNotFound[] =
    L"Java Runtime Environment installer is not found or Setup.config configuration file is not correct.";
const wchar_t kCannotStart[] = L"Installation cannot be started. Please check the installation files.";
constexpr size_t kJarSize = 1000;  // the placeholder archive the media were made with

std::wstring LogFolder()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\Install.QZ";
}

void CopyTree(const std::wstring& from, const std::wstring& to)
{
    CreateFolders(to);
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind search(::FindFirstFileW((from + L"\\*").c_str(), &entry));
    while (search) {
        const std::wstring name = entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") {
                CopyTree(from + L"\\" + name, to + L"\\" + name);
            }
        } else {
            ASSERT_TRUE(CopyProgram(from + L"\\" + name, to + L"\\" + name)) << Utf8(name);
        }
        if (!::FindNextFileW(search.get(), &entry)) {
            break;
        }
    }
}

// Setup.exe's message boxes: the status dialog has a status text, a box has
// its static text 0xFFFF.
BOOL CALLBACK FindMessageBox(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->first && ::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF) != nullptr &&
        ::GetDlgItem(window, IDOK) != nullptr) {
        search->second = window;
        return FALSE;
    }
    return TRUE;
}

// What one run of the media showed.
struct Road {
    DWORD exitCode = 0;
    std::vector<std::wstring> messages;  // Setup's message boxes, answered with OK
    std::string starts;                  // every recorder start, planted ones included
    std::wstring setupLog;
    std::wstring trace;                  // the launcher's decision trace
    bool runtimeInstallerRan = false;
    bool javaStarted = false;            // the private runtime's javaw.exe
};

// A program that swaps the file for its own the moment it sees it held by
// someone else, and keeps trying until told to stop. Its probe takes the file
// for a moment, which alone can keep the holder out; so it probes only once
// `armed` says the holder should have it.
struct Racer {
    std::wstring target;
    std::wstring evil;
    std::function<bool()> armed = [] { return true; };
    std::atomic<bool> stop{false};
    bool sawHeld = false;
    int refused = 0;

    void Run()
    {
        while (!stop && !armed()) {
            ::Sleep(10);
        }
        while (!stop && !sawHeld) {
            common::UniqueFile probe(
                ::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            sawHeld = !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
            probe.reset();
            ::Sleep(1);  // its own probe would otherwise keep the holder out most of the time
        }
        const std::wstring staged = evil + L".staged";
        while (!stop && sawHeld) {
            ::CopyFileW(evil.c_str(), staged.c_str(), FALSE);
            if (::MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ||
                ::CopyFileW(evil.c_str(), target.c_str(), FALSE)) {
                return;  // swapped: the holder has let go
            }
            ++refused;
        }
    }
};

class MediaTamperTest : public ::testing::Test {
public:
    // Fresh media and records for each run.
    void SetUp() override
    {
        RemoveTree(media);
        for (const wchar_t* record : {L"starts", L"runtime-installer", L"planted-cmd"}) {
            ::DeleteFileW((scratch / record).c_str());
        }
        planted.clear();
        traces.reset();
        traces = std::make_unique<TraceWatch>();
        CopyTree(MEDIA_TAMPER_MEDIA, media);
        // This tree's own Setup.exe, built with the same list.
        ASSERT_TRUE(CopyProgram(MEDIA_TAMPER_SETUP, media + L"\\Setup.exe"));
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        RemoveTree(LogFolder());
        ASSERT_TRUE(CreateFolders(LogFolder()));
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey); }

    // A recording stand-in where the attacker puts a program.
    std::wstring Plant(const std::wstring& relative)
    {
        const std::wstring path = media + L"\\" + relative;
        CreateFolders(path.substr(0, path.rfind(L'\\')));
        EXPECT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), path));
        planted.push_back(path);
        return path;
    }

    // javaSleepMs keeps the Java installer stand-in running that long;
    // program is the media's program started.
    Road Run(Racer* racer = nullptr, const wchar_t* javaSleepMs = nullptr, const wchar_t* program = L"Setup.exe")
    {
        RunOptions options;
        options.environment = {{L"RECORDER_RECORD", scratch / L"starts"},
                               {L"WENDREL_TRACE", L"1"},
                               {L"RUNTIME_INSTALLER_RECORD", scratch / L"runtime-installer"},
                               {L"RUNTIME_INSTALLER_HOME", scratch / L"jre"},
                               {L"RUNTIME_INSTALLER_JAVAW", StandinPath(L"recorder.exe")},
                               // Registered but too old for the launcher: it would run a JRE.exe beside it.
                               {L"RUNTIME_INSTALLER_VERSION", L"1.7.0_80"},
                               {L"RUNTIME_INSTALLER_DELAY_MS", L"100"}};
        if (javaSleepMs) {
            options.environment.push_back({L"RECORDER_SLEEP_MS", javaSleepMs});
        }
        Road road;
        common::UniqueHandle process(
            StartProgram(L"\"" + media + L"\\" + program + L"\" /silent /nojavaerror /language=fr", options));
        EXPECT_TRUE(process);
        std::thread racing;
        if (racer) {
            racing = std::thread([racer] { racer->Run(); });
        }
        const DWORD start = ::GetTickCount();
        while (process && ::WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
            std::pair<DWORD, HWND> search{::GetProcessId(process.get()), nullptr};
            ::EnumWindows(&FindMessageBox, reinterpret_cast<LPARAM>(&search));
            if (search.second) {
                road.messages.push_back(DialogItemText(search.second, 0xFFFF));
                PressDialogButton(search.second, IDOK);
                const HWND box = search.second;
                WaitUntil([box] { return !::IsWindow(box); }, 5000);
            }
            if (::GetTickCount() - start > 120000) {
                ::TerminateProcess(process.get(), 1);
                ADD_FAILURE() << "Setup.exe did not end";
            }
        }
        if (racer) {
            racer->stop = true;
            racing.join();
        }
        ::GetExitCodeProcess(process.get(), &road.exitCode);
        road.starts = ReadBytes(scratch / L"starts");
        road.trace = FromUtf8(traces->Text());
        road.runtimeInstallerRan = !ReadBytes(scratch / L"runtime-installer").empty();
        road.javaStarted = road.starts.find("\\BundledJVM\\bin\\javaw.exe") != std::string::npos;
        WIN32_FIND_DATAW entry = {};
        common::UniqueFind log(::FindFirstFileW((LogFolder() + L"\\*-Setup.Exe.log").c_str(), &entry));
        if (log) {
            for (const std::wstring& line : setup_testing::LogMessages(LogFolder() + L"\\" + entry.cFileName)) {
                road.setupLog += line + L"\n";
            }
        }
        for (const std::wstring& path : planted) {
            EXPECT_EQ(road.starts.find(Utf8(path)), std::string::npos) << "planted and run: " << Utf8(path);
        }
        return road;
    }

    ScratchFolder scratch;
    const std::wstring media = scratch / L"media";
    std::vector<std::wstring> planted;
    std::unique_ptr<TraceWatch> traces;
};

struct TamperRow {
    const char* what;
    std::function<void(MediaTamperTest&, const std::wstring& media)> tamper;
    DWORD exitCode;
    const wchar_t* message;   // Setup's message box, or none
    bool javaStarted;
    std::wstring named;       // the line of the setup log (or with "trace:", of the trace) that names the file
};

void Replace(const std::wstring& path, const std::string& bytes)
{
    EXPECT_TRUE(WriteBytes(path, bytes));
}

TEST_F(MediaTamperTest, NothingPlantedRunsAndEachRefusalNamesTheFile)
{
    const std::wstring l = L"Windows64";  // the launcher this (64-bit) Windows takes
    const TamperRow rows[] = {
        {"untampered", [](MediaTamperTest&, const std::wstring&) {}, 0, nullptr, true,
         L"CheckInstalledJavaVms: szRequiredVmVersion: 1.8.0_202"},
        {"JVM installer swapped", [](MediaTamperTest& t, const std::wstring&) { t.Plant(L"JVM\\jre-setup.exe"); },
         1603, kJavaInstallerNotFound, false, L"LaunchJavaInstaller: {media}\\JVM\\jre-setup.exe differs from the media: "},
        {"JVM\\install.cmd added before it",
         [](MediaTamperTest& t, const std::wstring& m) {
             Replace(m + L"\\JVM\\install.cmd", "echo ran> \"" + Utf8(t.scratch / L"planted-cmd") + "\"\r\n");
         },
         0, nullptr, true, L"JVMInstallerFound: listed: {media}\\JVM\\jre-setup.exe"},
        {"Windows32\\Setup.exe swapped (and no Windows64)",
         [](MediaTamperTest& t, const std::wstring& m) {
             RemoveTree(m + L"\\Windows64");
             t.Plant(L"Windows32\\Setup.exe");
         },
         1603, kCannotStart, false, L"LaunchInstaller: {media}\\Windows32\\Setup.exe differs from the media: size "},
        {"node-x64\\Setup.exe added", [](MediaTamperTest& t, const std::wstring&) { t.Plant(L"node-x64\\Setup.exe"); },
         0, nullptr, true, L"LaunchInstaller: listed: {media}\\Windows64\\Setup.exe"},
        {"Windows* removed, Evil.exe beside Setup.exe",
         [](MediaTamperTest& t, const std::wstring& m) {
             RemoveTree(m + L"\\Windows32");
             RemoveTree(m + L"\\Windows64");
             t.Plant(L"Evil.exe");
         },
         1603, kCannotStart, false, L"LaunchInstaller: {media}\\Windows32\\Setup.exe differs from the media: missing"},
        {"Setup.config changed",
         [](MediaTamperTest&, const std::wstring& m) {
             const std::string config = ReadBytes(m + L"\\Setup.config");
             Replace(m + L"\\Setup.config", config.substr(0, config.find("1.8.0_202")) + "1.1.0_001" +
                                                config.substr(config.find("1.8.0_202") + 9));
         },
         1603, kJavaInstallerNotFound, false,
         L"HoldSetupConfiguration: {media}\\Setup.config differs from the media: SHA-256 "},
        {"archive.jar swapped",
         [&l](MediaTamperTest&, const std::wstring& m) { Replace(m + L"\\" + l + L"\\archive.jar", "PK evil"); },
         1603, nullptr, false, L"trace:archive: \"{media}\\Windows64\\archive.jar\" differs from the media: size 7 bytes"},
        {"archive.gif swapped",
         [&l](MediaTamperTest&, const std::wstring& m) { Replace(m + L"\\" + l + L"\\archive.gif", "GIF89a evil"); },
         0, nullptr, true, L"trace:splash image: \"{media}\\Windows64\\archive.gif\" differs from the media: size 11"},
        {"JRE.exe and JVM\\bin\\javaw.exe planted beside the launcher",
         [&l](MediaTamperTest& t, const std::wstring&) {
             t.Plant(l + L"\\JRE.exe");
             t.Plant(l + L"\\JVM\\bin\\javaw.exe");
         },
         0, nullptr, true,
         L"trace:runtime installer: \"{media}\\Windows64\\JRE.exe\" differs from the media: not on the media's list"},
        {"uninstall.dat planted beside the launcher",
         [&l](MediaTamperTest&, const std::wstring& m) { Replace(m + L"\\" + l + L"\\uninstall.dat", ""); }, 1603,
         kCannotStart, false,
         L"LaunchInstaller: {media}\\Windows64\\Setup.exe differs from the media: its folder holds "},
    };
    for (const TamperRow& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        row.tamper(*this, media);
        const Road road = Run();
        EXPECT_EQ(road.exitCode, row.exitCode);
        EXPECT_EQ(road.messages, row.message ? std::vector<std::wstring>{row.message} : std::vector<std::wstring>{});
        EXPECT_EQ(road.javaStarted, row.javaStarted) << road.starts;
        std::wstring named = row.named;
        if (named.find(L"{media}") != std::wstring::npos) {
            named.replace(named.find(L"{media}"), 7, media);
        }
        const bool inTrace = named.compare(0, 6, L"trace:") == 0;
        const std::wstring& text = inTrace ? road.trace : road.setupLog;
        const size_t at = text.find(inTrace ? named.substr(6) : named);
        EXPECT_NE(at, std::wstring::npos) << Utf8(text);
        const size_t lineEnd = at == std::wstring::npos ? at : text.find(L'\n', at);
        std::printf("%s: exit code %lu, %s, Java installer %s; %s: %s\n", row.what, road.exitCode,
                    road.messages.empty() ? "no message" : Utf8(L"message \"" + road.messages[0] + L"\"").c_str(),
                    road.javaStarted ? "started" : "not started", inTrace ? "trace" : "setup log",
                    at == std::wstring::npos ? "-" : Utf8(text.substr(at, lineEnd - at)).c_str());
        EXPECT_FALSE(FileExists(scratch / L"planted-cmd"));
        if (row.javaStarted) {
            // Java read the archive while the launcher held it.
            EXPECT_NE(road.starts.find("jar=" + std::to_string(kJarSize) + "\n"), std::string::npos) << road.starts;
            EXPECT_EQ(road.starts.find("-splash:") != std::string::npos, std::string(row.what) != "archive.gif swapped");
        }
        if (std::string(row.what) == "archive.jar swapped") {
            EXPECT_TRUE(FileExists(media + L"\\" + l + L"\\AutoUpdate.log"));
        }
    }
}

// A media folder whose name holds "&" and blanks: the road goes on, and
// nothing of the name reaches a command.
TEST_F(MediaTamperTest, AMediaFolderNamedWithAnAmpersandIsJustAName)
{
    const std::wstring named = scratch / L"M & echo planted";
    CopyTree(media, named);
    const Road road = Run(nullptr, nullptr, L"..\\M & echo planted\\Setup.exe");
    EXPECT_EQ(road.exitCode, 0u);
    EXPECT_TRUE(road.javaStarted) << road.starts;
    EXPECT_NE(road.trace.find(L"\\M & echo planted\\Windows64\\archive.jar"), std::wstring::npos)
        << Utf8(road.trace);
    EXPECT_FALSE(FileExists(scratch / L"planted-cmd"));
    RemoveTree(named);
}

// The media's runtime installer is copied, checked, into Setup's own
// folder and runs there: nothing planted beside it on the media is in its
// folder or its working folder.
TEST_F(MediaTamperTest, TheRuntimeInstallerRunsFromACheckedCopyInARunFolder)
{
    const Road road = Run();
    ASSERT_TRUE(road.runtimeInstallerRan);
    const std::wstring record = FromUtf8(ReadBytes(scratch / L"runtime-installer"));
    std::wsmatch found;
    ASSERT_TRUE(std::regex_search(record, found, std::wregex(L"commandline=\"?(.*)\\\\jre-setup\\.exe\"? /s")))
        << Utf8(record);
    const std::wstring folder = found[1].str();
    EXPECT_EQ(folder.rfind(SystemTempFolder() + L"\\wendrel-", 0), 0u) << Utf8(record);
    EXPECT_NE(record.find(L"cwd=" + folder + L"\n"), std::wstring::npos) << Utf8(record);
    EXPECT_FALSE(FolderExists(folder)) << "removed when Setup ends";
}

// Started directly, the launcher is on its own: a marker planted beside it
// does not make it the uninstaller, which would use no list.
TEST_F(MediaTamperTest, UninstallDatBesideTheLauncherStartedDirectlyIsNotBelieved)
{
    Replace(media + L"\\Windows64\\uninstall.dat", "");
    Plant(L"Windows64\\JVM\\bin\\javaw.exe");
    const Road road = Run(nullptr, nullptr, L"Windows64\\Setup.exe");
    EXPECT_TRUE(road.javaStarted) << road.starts;
    EXPECT_NE(road.trace.find(L"uninstall mode: not taken, \"" + media + L"\\Windows64\" holds the media's archive.jar"),
              std::wstring::npos)
        << Utf8(road.trace);
}

TEST_F(MediaTamperTest, ARacerSwappingAHeldFileNeverGetsItsBytesRun)
{
    for (const wchar_t* target : {L"Windows64\\Setup.exe", L"Windows64\\archive.jar"}) {
        SCOPED_TRACE(Utf8(target));
        TearDown();
        SetUp();
        Racer racer;
        racer.target = media + L"\\" + target;
        racer.evil = Plant(L"evil.exe");
        const bool launcher = std::wstring(target).find(L"Setup.exe") != std::wstring::npos;
        if (launcher) {
            planted.push_back(racer.target);  // the genuine launcher is no recorder: a start recorded there is the racer's
            // Setup.exe holds the launcher until it has ended: race it once
            // the launcher's trace shows it running.
            racer.armed = [this] { return !traces->Text().empty(); };
        } else {
            // The archive is held from its check until Java has ended: race it
            // while the Java installer runs.
            racer.armed = [this] {
                return ReadBytes(scratch / L"starts").find("\\BundledJVM\\bin\\javaw.exe") != std::string::npos;
            };
        }
        const Road road = Run(&racer, launcher ? nullptr : L"3000");
        EXPECT_TRUE(racer.sawHeld);
        EXPECT_GT(racer.refused, 0);
        // The run goes on with the genuine file, or stops with the message.
        if (road.javaStarted) {
            EXPECT_EQ(road.exitCode, 0u);
            EXPECT_NE(road.starts.find("jar=" + std::to_string(kJarSize) + "\n"), std::string::npos) << road.starts;
        } else if (launcher) {
            EXPECT_EQ(road.exitCode, 1603u);
            EXPECT_EQ(road.messages, std::vector<std::wstring>{kCannotStart});
        } else {
            EXPECT_NE(road.trace.find(L"archive.jar\" differs from the media"), std::wstring::npos);
            EXPECT_TRUE(FileExists(media + L"\\Windows64\\AutoUpdate.log"));
            EXPECT_EQ(road.exitCode, 1603u) << "nothing installed";
        }
        std::printf("racer on %ls: saw it held, %d swaps refused, %s\n", target, racer.refused,
                    road.javaStarted ? "the genuine road went on" : "the run stopped as for a changed file");
    }
}

}  // namespace
