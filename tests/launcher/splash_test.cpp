// The splash window of the real launcher under Wine: its size and place,
// frames drawn on the screen while the runtime installer runs, nothing
// while the Java installer runs, and the variants of its image resource
// (made with UpdateResourceW on a copy of the built launcher).

#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace testing_support;

const wchar_t kRuntimesKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr DWORD kWindowTimeoutMs = 20000;

// A 24 x 12 GIF89a with a single frame.
const char kOneFrameGif[] =
    "\x47\x49\x46\x38\x39\x61\x18\x00\x0C\x00\xB1\x00\x00\x00\x00\x00\xC8\x28\x28\x28\xC8\x28\x28\x28\xC8\x2C\x00"
    "\x00\x00\x00\x18\x00\x0C\x00\x00\x02\x1A\x54\x8C\xA7\xC9\xBA\xDF\xE2\x91\x14\x06\x5B\x63\xC6\x8F\x6F\xF4\x79"
    "\x57\x48\x91\x9C\xF8\x99\x12\x8A\x16\x00\x3B";

struct ProcessWindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchAnyWindow(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<ProcessWindowSearch*>(search);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (owner == s->processId && std::wstring(className) == L"#32770") {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// The launcher's dialog, shown or not.
HWND LauncherWindow(DWORD processId)
{
    ProcessWindowSearch search{processId, nullptr};
    ::EnumWindows(&MatchAnyWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The screen's pixels in the rectangle, as the user sees them.
std::vector<DWORD> CaptureScreen(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    common::UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen, width, height));
    HGDIOBJ old = ::SelectObject(memory, bitmap.get());
    ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    ::GetDIBits(memory, static_cast<HBITMAP>(bitmap.get()), 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

RECT CentredSquare(int size)
{
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - size) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - size) / 2;
    return RECT{x, y, x + size, y + size};
}

// The times (ms from the start) at which the area's pixels changed, sampled
// every 10 ms.
std::vector<DWORD> ChangeTimes(const RECT& area, DWORD durationMs)
{
    std::vector<DWORD> changes;
    const DWORD start = ::GetTickCount();
    std::vector<DWORD> last = CaptureScreen(area);
    while (::GetTickCount() - start < durationMs) {
        ::Sleep(10);
        std::vector<DWORD> now = CaptureScreen(area);
        if (now != last) {
            changes.push_back(::GetTickCount() - start);
            last.swap(now);
        }
    }
    return changes;
}

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey);
        ASSERT_TRUE(CopyProgram(StandinPath(L"wendrel-without-runtime.exe"), Launcher()));
        ASSERT_TRUE(WriteBytes(scratch / L"archive.jar", "PK\x05\x06 placeholder"));
        ASSERT_TRUE(CreateFolders(scratch / L"JVM\\bin"));
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), Javaw()));
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey); }

    std::wstring Launcher() const { return scratch / L"wendrel.exe"; }
    std::wstring Javaw() const { return scratch / L"JVM\\bin\\javaw.exe"; }

    // A runtime installer beside the launcher that takes its time: the
    // splash shows while it runs.
    void PlaceSlowRuntimeInstaller()
    {
        ASSERT_TRUE(CopyProgram(StandinPath(L"runtime_installer.exe"), scratch / L"JRE.exe"));
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), scratch / L"recorder.exe"));
    }

    HANDLE Start(std::vector<std::pair<std::wstring, std::wstring>> environment)
    {
        RunOptions options;
        environment.push_back({L"WENDREL_TRACE", L"1"});
        options.environment = environment;
        return StartProgram(L"\"" + Launcher() + L"\" /english", options);
    }

    std::string TraceText() const { return traces.Text(); }

    ScratchFolder scratch;
    TraceWatch traces;
};

TEST_F(SplashTest, ShippedImageShowsCentredAt60By60AndANewFrameAbout10TimesASecond)
{
    PlaceSlowRuntimeInstaller();
    common::UniqueHandle process(Start({{L"RUNTIME_INSTALLER_DELAY_MS", L"4000"}}));
    ASSERT_TRUE(process);
    HWND window = WaitForProcessWindow(::GetProcessId(process.get()), L"", kWindowTimeoutMs);
    ASSERT_NE(window, nullptr) << "the splash window shows";
    RECT rect = {};
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    const RECT centred = CentredSquare(60);
    EXPECT_EQ(rect.left, centred.left);
    EXPECT_EQ(rect.top, centred.top);
    EXPECT_EQ(rect.right - rect.left, 60);
    EXPECT_EQ(rect.bottom - rect.top, 60);

    const std::vector<DWORD> changes = ChangeTimes(rect, 2000);
    ASSERT_GE(changes.size(), 8u) << "frames are drawn on the screen";
    std::vector<DWORD> gaps;
    for (size_t i = 1; i < changes.size(); ++i) {
        gaps.push_back(changes[i] - changes[i - 1]);
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const DWORD median = gaps[gaps.size() / 2];
    EXPECT_GE(median, 70u) << "60 ms hold plus 40 ms delay per frame";
    EXPECT_LE(median, 180u);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0) << "the launcher ends";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "a clean end with the paused thread still there";
}

TEST_F(SplashTest, WhileTheJavaInstallerRunsTheWindowIsHiddenAndNothingIsDrawn)
{
    common::UniqueHandle process(Start({{L"RECORDER_SLEEP_MS", L"3000"}}));
    ASSERT_TRUE(process);
    ASSERT_TRUE(WaitForFile(Javaw() + L".record", kWindowTimeoutMs));
    HWND window = LauncherWindow(::GetProcessId(process.get()));
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(ChangeTimes(CentredSquare(60), 1500).empty()) << "the paused animation draws nothing";
    EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
}

TEST_F(SplashTest, WithoutTheImageResourceTheWindowNeverShowsAndTheRunGoesOn)
{
    const std::wstring plain = scratch / L"plain.exe";
    ASSERT_TRUE(CopyProgramWithoutResources(Launcher(), plain, [](LPCWSTR type, LPCWSTR) {
        return !IS_INTRESOURCE(type) && std::wstring(type) == L"GIF";
    }));
    ASSERT_TRUE(ReadResource(plain, L"GIF", L"ARCHIVE").empty());
    ASSERT_TRUE(::MoveFileExW(plain.c_str(), Launcher().c_str(), MOVEFILE_REPLACE_EXISTING));
    PlaceSlowRuntimeInstaller();
    common::UniqueHandle process(Start({{L"RUNTIME_INSTALLER_DELAY_MS", L"2000"}}));
    ASSERT_TRUE(process);
    EXPECT_EQ(WaitForProcessWindow(::GetProcessId(process.get()), L"", 4000), nullptr) << "never shown";
    EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    const auto runs = ReadRecordings(Javaw());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(FromUtf8(runs[0].at("commandline")),
              Javaw() + L" -Duser.language=en -jar \"" + (scratch / L"archive.jar") + L"\"");
    EXPECT_NE(TraceText().find("splash: no image resource"), std::string::npos);
}

struct ImageCase {
    const char* name;
    std::string bytes;
    int width;
    int height;
    const char* traceLine;
};

class SplashImageTest : public SplashTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(SplashImageTest, WindowTakesTheImageSizeAndTheRunGoesOn)
{
    const ImageCase& c = GetParam();
    ASSERT_TRUE(SetResource(Launcher(), L"GIF", L"ARCHIVE", c.bytes));
    PlaceSlowRuntimeInstaller();
    common::UniqueHandle process(Start({{L"RUNTIME_INSTALLER_DELAY_MS", L"2000"}}));
    ASSERT_TRUE(process);
    HWND window = WaitForProcessWindow(::GetProcessId(process.get()), L"", kWindowTimeoutMs);
    ASSERT_NE(window, nullptr);
    RECT rect = {};
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, c.width);
    EXPECT_EQ(rect.bottom - rect.top, c.height);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(ReadRecordings(Javaw()).size(), 1u) << "the Java installer still runs";
    EXPECT_NE(TraceText().find(c.traceLine), std::string::npos) << TraceText();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplashImageTest,
    ::testing::Values(
        // Sized and shown, but no thread draws into it.
        ImageCase{"OneFrame", std::string(kOneFrameGif, sizeof(kOneFrameGif) - 1), 24, 12,
                  "splash: 24 x 12, 1 frames, not animated"},
        ImageCase{"Undecodable", "GIF89a but nothing a decoder could read", 0, 0,
                  "splash: 0 x 0, 0 frames, not animated"}),
    [](const ::testing::TestParamInfo<ImageCase>& info) { return info.param.name; });

}  // namespace
