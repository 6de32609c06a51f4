// The launcher runs elevated; these tests try what a local user without
// those rights, or a file downloaded beside the media, could do to it: race
// the unpacking of the private runtime, plant a program where the launcher
// once wrote its own, plant a library beside it.

#include "launcher/resources/resource.h"

#include "common/unique_resource.h"
#include "tests/support/test_support.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The launchers' run folders now in the system temporary folder.
std::set<std::wstring> OwnFolders()
{
    std::set<std::wstring> folders = SystemTempEntries(L"wendrel-*");
    // A trace's folder is kept on purpose.
    for (const std::wstring& trace : SystemTempEntries(L"wendrel-trace-*")) {
        folders.erase(trace);
    }
    return folders;
}

// The private runtime's folder of a run started after `before` was taken;
// empty until there is one.
std::wstring NewPrivateRuntimeFolder(const std::set<std::wstring>& before)
{
    for (const std::wstring& folder : OwnFolders()) {
        if (!before.count(folder) && Exists(folder + L"\\BundledJVM")) {
            return folder + L"\\BundledJVM";
        }
    }
    return std::wstring();
}

// A runtime whose unpacking takes a while before bin\javaw.exe comes: a large
// first entry, stored under its name twice, which makes the launcher write
// the entries one after another in archive order.
const std::string& SlowRuntimeArchive()
{
    static const std::string archive = [] {
        const std::string large(64 << 20, '\0');
        return zip_testing::BuildZip({zip_testing::Entry("lib/large.dat", large), zip_testing::Entry("lib/large.dat", "x"),
                                      zip_testing::Entry("bin/javaw.exe", ReadBytes(StandinPath(L"recorder.exe"))),
                                      zip_testing::Entry("lib/rt.jar", "PK stand-in class library")});
    }();
    return archive;
}

// Plants a program at `target` below the private runtime's folder of the
// next run and holds it open for reading, as soon as that folder exists.
// Windows keeps everyone but administrators out of it; the planter stands
// for whoever got in anyway, to show the unpacking still never takes a file
// it did not write.
class Planter {
public:
    explicit Planter(std::wstring target)
        : m_before(OwnFolders()), m_target(std::move(target)), m_thread([this] { Plant(); }) {}
    ~Planter()
    {
        m_stop = true;
        m_thread.join();
    }
    // Waits for the plant; true when the planted file is there and held.
    bool Planted()
    {
        while (!m_done) {
            ::Sleep(10);
        }
        return m_held.valid();
    }
    // The private runtime's folder it planted in.
    std::wstring Folder() const { return m_folder; }

private:
    void Plant()
    {
        std::wstring folder;
        while (!m_stop && (folder = NewPrivateRuntimeFolder(m_before)).empty()) {
            ::Sleep(0);
        }
        const std::wstring target = folder + L"\\" + m_target;
        ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
        if (!folder.empty() && WriteBytes(target, ReadBytes(StandinPath(L"recorder.exe")))) {
            m_held.reset(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        m_folder = folder;
        m_done = true;
    }

    std::set<std::wstring> m_before;
    std::wstring m_target;
    std::wstring m_folder;
    common::UniqueFile m_held;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

class PlantingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearMachineState();
        ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), Launcher()));
        ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
        ASSERT_TRUE(CreateFolders(scratch / L"jre8\\bin"));
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), RegisteredJavaw()));
        SetMachineString(kRuntimesKey, L"CurrentVersion", L"1.8.0_202");
        SetMachineString(std::wstring(kRuntimesKey) + L"\\1.8.0_202", L"JavaHome", scratch / L"jre8");
    }
    void TearDown() override { ClearMachineState(); }

    static void ClearMachineState()
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        common::UniqueRegKey runOnce;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, runOnce.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(runOnce.get(), L"DeleteBundledJVM");
        }
        RemoveTree(SystemTempFolder() + L"\\BundledJVM");
    }

    std::wstring Launcher() const { return scratch / L"wendrel.exe"; }
    std::wstring RegisteredJavaw() const { return scratch / L"jre8\\bin\\javaw.exe"; }

    RunResult Run(RunOptions options = RunOptions())
    {
        options.timeoutMs = 60000;
        return RunProgram(L"\"" + Launcher() + L"\" /english", options);
    }

    ScratchFolder scratch;
};

// Each way someone else's file gets into the private runtime's folder: the
// runtime is passed over (the registered one runs), nothing there ever runs,
// and a run afterwards takes the private runtime again.
struct PlantCase {
    const char* name;
    const wchar_t* target;  // below BundledJVM
};

class RacingPlanterTest : public PlantingTest, public ::testing::WithParamInterface<PlantCase> {};

TEST_P(RacingPlanterTest, PrivateRuntimeIsPassedOverAndNothingPlantedRuns)
{
    ASSERT_TRUE(SetResource(Launcher(), RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), SlowRuntimeArchive()));
    {
        Planter planter(GetParam().target);
        ASSERT_FALSE(Run().timedOut);
        ASSERT_TRUE(planter.Planted()) << "the planter lost the race";
        EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u) << "the registered runtime runs instead";
        EXPECT_FALSE(Exists(planter.Folder() + L"\\bin\\javaw.exe.record")) << "nothing in the folder ran";
        // The planted file, still held, keeps the run folder: it stays
        // named for the removal at the next logon.
        std::wstring command;
        ASSERT_TRUE(ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command));
        const std::wstring runFolder = planter.Folder().substr(0, planter.Folder().rfind(L'\\'));
        EXPECT_NE(command.find(L"\"" + runFolder + L"\""), std::wstring::npos) << Utf8(command);
    }

    const std::wstring record = scratch / L"private-javaw.exe";
    RunOptions options;
    options.environment = {{L"RECORDER_RECORD", record + L".record"}};
    ASSERT_FALSE(Run(options).timedOut);
    EXPECT_EQ(ReadRecordings(record).size(), 1u) << "a run afterwards takes the private runtime";
}

INSTANTIATE_TEST_SUITE_P(Cases, RacingPlanterTest,
                         ::testing::Values(PlantCase{"RacedJavaw", L"bin\\javaw.exe"},
                                           PlantCase{"RacedClassLibrary", L"lib\\rt.jar"}),
                         [](const ::testing::TestParamInfo<PlantCase>& info) { return info.param.name; });

// A local user's "BundledJVM" in the system's temporary folder, whose
// folder a racing program keeps swapping for a link to another folder: the
// elevated launcher never enters it, so nothing there or behind the link is
// removed, and the private runtime is still used.
TEST_F(PlantingTest, APlantedBundledJvmWithARacingLinkSwapperLosesNothing)
{
    const std::wstring planted = SystemTempFolder() + L"\\BundledJVM";
    ASSERT_TRUE(CreateFolders(planted + L"\\sub"));
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(WriteBytes(planted + L"\\sub\\f" + std::to_wstring(i) + L".txt", "planted"));
    }
    const std::wstring victim = scratch / L"victim";
    ASSERT_TRUE(CreateFolders(victim + L"\\deeper"));
    for (const wchar_t* name : {L"a", L"b", L"c", L"deeper\\d", L"deeper\\e"}) {
        ASSERT_TRUE(WriteBytes(victim + L"\\" + name, "precious"));
    }
    // The racer is a Unix program: no sharing rule of Wine's holds it back.
    // It stops when told, when the test's folder goes, or after two minutes.
    const std::string sub = UnixPath(planted + L"\\sub");
    const std::string away = UnixPath(planted) + "/away";
    const std::wstring stop = scratch / L"stop";
    const std::wstring swapped = scratch / L"swapped";
    ASSERT_TRUE(StartUnixShell(
        "end=$(($(date +%s) + 120)); while [ ! -e '" + UnixPath(stop) + "' ] && [ -d '" + UnixPath(scratch.path()) +
        "' ] && [ $(date +%s) -lt $end ]; do mv '" + sub + "' '" + away + "' && ln -s '" + UnixPath(victim) + "' '" +
        sub + "' && touch '" + UnixPath(swapped) + "' && rm '" + sub + "' && mv '" + away + "' '" + sub +
        "'; done; touch '" + UnixPath(stop) + ".done'"));
    struct StopRacer {
        std::wstring stop;
        ~StopRacer()
        {
            WriteBytes(stop, "");
            WaitForFile(stop + L".done", 10000);
        }
    } stopRacer{stop};
    ASSERT_TRUE(CopyProgram(DistPath(L"wendrel.exe"), Launcher()));
    const std::wstring record = scratch / L"private-javaw.exe";
    RunOptions options;
    options.environment = {{L"RECORDER_RECORD", record + L".record"}};
    const RunResult result = Run(options);
    ASSERT_TRUE(WriteBytes(stop, ""));
    ASSERT_TRUE(WaitForFile(stop + L".done", 10000)) << "the racer ends";
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(FileExists(swapped)) << "the racer swapped a link in";

    const auto runs = ReadRecordings(record);
    ASSERT_EQ(runs.size(), 1u) << "the private runtime is used";
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")).find(planted), std::wstring::npos) << runs[0].at("commandline");
    for (const wchar_t* name : {L"a", L"b", L"c", L"deeper\\d", L"deeper\\e"}) {
        EXPECT_EQ(ReadBytes(victim + L"\\" + name), "precious") << Utf8(name);
    }
    int left = 0;
    for (int i = 0; i < 400; ++i) {
        left += FileExists(planted + L"\\sub\\f" + std::to_wstring(i) + L".txt") ? 1 : 0;
    }
    EXPECT_EQ(left, 400) << "the planted tree is untouched";
}

TEST_F(PlantingTest, RuntimeWithAnEntryThatFailsItsCheckIsPassedOver)
{
    std::vector<zip_testing::EntryLayout> entries = {
        zip_testing::Entry("bin/javaw.exe", ReadBytes(StandinPath(L"recorder.exe"))),
        zip_testing::Entry("lib/rt.jar", "PK stand-in class library")};
    entries[1].crc = zip_testing::Crc32(entries[1].data) ^ 1;
    ASSERT_TRUE(SetResource(Launcher(), RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME),
                            zip_testing::BuildZip(entries)));
    RunOptions options;
    options.environment = {{L"WENDREL_TRACE", L"1"}};
    const TraceWatch traces;
    const std::set<std::wstring> before = OwnFolders();
    ASSERT_FALSE(Run(options).timedOut);
    EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u);
    EXPECT_EQ(OwnFolders(), before) << "nothing unpacked is left";
    EXPECT_NE(traces.Text().find("1 failed, 0 entries skipped, walk ended with 65536"), std::string::npos)
        << traces.Text();
}

// A library of a name the launcher loads, planted beside it.
TEST_F(PlantingTest, LibraryPlantedBesideTheLauncherNeverRuns)
{
    const std::wstring planted = scratch / L"gdiplus.dll";
    ASSERT_TRUE(CopyProgram(StandinPath(L"planted_library.dll"), planted));
    const NativeLibraryFirst nativeFirst(L"wendrel.exe", L"gdiplus");
    RunOptions options;
    options.environment = {{L"WENDREL_TRACE", L"1"}};
    const TraceWatch traces;
    ASSERT_FALSE(Run(options).timedOut);
    EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u);
    EXPECT_FALSE(FileExists(planted + L".loaded")) << ReadBytes(planted + L".loaded");
    EXPECT_NE(traces.Text().find("splash: 60 x 60, 12 frames, animated"), std::string::npos)
        << "GDI+ came from the system folder: " << traces.Text();
}

}  // namespace
