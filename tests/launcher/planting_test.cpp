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
#include <thread>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::wstring PrivateRuntimeFolder()
{
    return SystemTempFolder() + L"\\BundledJVM";
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

// Plants a program at `target` and holds it open for reading, as soon as
// `trigger` exists (at once when it does already).
class Planter {
public:
    Planter(std::wstring trigger, std::wstring target)
        : m_trigger(std::move(trigger)), m_target(std::move(target)), m_thread([this] { Plant(); }) {}
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
    void LetGo() { m_held.reset(); }

private:
    void Plant()
    {
        while (!m_stop && !Exists(m_trigger)) {
            ::Sleep(0);
        }
        const std::wstring folder = m_target.substr(0, m_target.rfind(L'\\'));
        ::CreateDirectoryW(folder.c_str(), nullptr);
        if (WriteBytes(m_target, ReadBytes(StandinPath(L"recorder.exe")))) {
            m_held.reset(::CreateFileW(m_target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        m_done = true;
    }

    std::wstring m_trigger;
    std::wstring m_target;
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
        RemoveTree(PrivateRuntimeFolder());
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
// and once the planter lets go a run takes the private runtime again.
struct PlantCase {
    const char* name;
    const wchar_t* target;   // below BundledJVM
    bool beforeStart;        // planted before the launcher runs, else raced
};

class RacingPlanterTest : public PlantingTest, public ::testing::WithParamInterface<PlantCase> {};

TEST_P(RacingPlanterTest, PrivateRuntimeIsPassedOverAndNothingPlantedRuns)
{
    const PlantCase& c = GetParam();
    ASSERT_TRUE(SetResource(Launcher(), RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), SlowRuntimeArchive()));
    const std::wstring folder = PrivateRuntimeFolder();
    if (c.beforeStart) {
        ASSERT_TRUE(CreateFolders(folder + L"\\bin"));
    }
    {
        Planter planter(folder, folder + L"\\" + c.target);
        if (c.beforeStart) {
            ASSERT_TRUE(planter.Planted());
        }
        ASSERT_FALSE(Run().timedOut);
        ASSERT_TRUE(planter.Planted()) << "the planter lost the race";
        EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u) << "the registered runtime runs instead";
        EXPECT_FALSE(Exists(folder + L"\\bin\\javaw.exe.record")) << "nothing in the folder ran";
        std::wstring command;
        EXPECT_FALSE(ReadMachineString(kRunOnceKey, L"DeleteBundledJVM", command));
    }

    const std::wstring javaw = folder + L"\\bin\\javaw.exe";
    RunOptions options;
    options.environment = {{L"RECORDER_SLEEP_MS", L"2000"}};
    common::UniqueHandle process(StartProgram(L"\"" + Launcher() + L"\" /english", options));
    ASSERT_TRUE(process);
    EXPECT_TRUE(WaitForFile(javaw + L".record", 30000)) << "a run afterwards takes the private runtime";
    EXPECT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RacingPlanterTest,
                         ::testing::Values(PlantCase{"RacedJavaw", L"bin\\javaw.exe", false},
                                           PlantCase{"RacedClassLibrary", L"lib\\rt.jar", false},
                                           PlantCase{"PlantedBeforeTheStart", L"bin\\javaw.exe", true}),
                         [](const ::testing::TestParamInfo<PlantCase>& info) { return info.param.name; });

TEST_F(PlantingTest, RuntimeWithAnEntryThatFailsItsCheckIsPassedOver)
{
    std::vector<zip_testing::EntryLayout> entries = {
        zip_testing::Entry("bin/javaw.exe", ReadBytes(StandinPath(L"recorder.exe"))),
        zip_testing::Entry("lib/rt.jar", "PK stand-in class library")};
    entries[1].crc = zip_testing::Crc32(entries[1].data) ^ 1;
    ASSERT_TRUE(SetResource(Launcher(), RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME),
                            zip_testing::BuildZip(entries)));
    RunOptions options;
    options.environment = {{L"WENDREL_TRACE", scratch / L"trace.txt"}};
    ASSERT_FALSE(Run(options).timedOut);
    EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u);
    EXPECT_FALSE(FolderExists(PrivateRuntimeFolder())) << "what was unpacked is removed at once";
    EXPECT_NE(ReadBytes(scratch / L"trace.txt").find("1 failed, 0 entries skipped, walk ended with 65536"),
              std::string::npos)
        << ReadBytes(scratch / L"trace.txt");
}

// A library of a name the launcher loads, planted beside it.
TEST_F(PlantingTest, LibraryPlantedBesideTheLauncherNeverRuns)
{
    const std::wstring planted = scratch / L"gdiplus.dll";
    ASSERT_TRUE(CopyProgram(StandinPath(L"planted_library.dll"), planted));
    const NativeLibraryFirst nativeFirst(L"wendrel.exe", L"gdiplus");
    RunOptions options;
    options.environment = {{L"WENDREL_TRACE", scratch / L"trace.txt"}};
    ASSERT_FALSE(Run(options).timedOut);
    EXPECT_EQ(ReadRecordings(RegisteredJavaw()).size(), 1u);
    EXPECT_FALSE(FileExists(planted + L".loaded")) << ReadBytes(planted + L".loaded");
    EXPECT_NE(ReadBytes(scratch / L"trace.txt").find("splash: 60 x 60, 12 frames, animated"), std::string::npos)
        << "GDI+ came from the system folder: " << ReadBytes(scratch / L"trace.txt");
}

}  // namespace
