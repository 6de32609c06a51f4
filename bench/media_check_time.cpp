// media-check-time.exe MEDIA RUNS: what checking the media's files against
// the programs' lists adds (for the benchmark under Wine; not a deliverable).
// MEDIA holds Setup.exe and Windows64\Setup.exe with their lists; copies of
// both without the list are made beside them. Paired runs, alternating:
//   Setup.exe's start to the platform installer's start,
//   the launcher's start to javaw.exe's start,
// each with and without the list, and the hash's throughput on the launcher.
#include "common/media_files.h"
#include "common/paths.h"
#include "common/protected_folders.h"
#include "tests/support/test_support.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Seconds()
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

bool HasChild(DWORD parent)
{
    common::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parent) {
            return true;
        }
    }
    return false;
}

// Seconds from the program's start until its first child is seen (the
// process list is read over and over); the program then runs to its end.
// Negative when it started no child.
double TimeToFirstChild(const std::wstring& commandLine)
{
    const double start = Seconds();
    common::UniqueHandle process(testing_support::StartProgram(commandLine, testing_support::RunOptions()));
    const DWORD id = ::GetProcessId(process.get());
    double seconds = -1;
    while (seconds < 0) {
        const bool ended = ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        if (HasChild(id)) {
            seconds = Seconds() - start;
        } else if (ended) {
            break;
        }
    }
    ::WaitForSingleObject(process.get(), 120000);
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: media-check-time MEDIA RUNS\n");
        return 2;
    }
    const std::wstring media = argv[1];
    const int runs = _wtoi(argv[2]);
    const auto isList = [](LPCWSTR type, LPCWSTR name) {
        return type == RT_RCDATA && IS_INTRESOURCE(name) && LOWORD(name) == common::kMediaListResource;
    };
    const std::wstring setup = media + L"\\Setup.exe", launcher = media + L"\\Windows64\\Setup.exe";
    if (!testing_support::CopyProgramWithoutResources(setup, media + L"\\Setup-without-list.exe", isList) ||
        !testing_support::CopyProgramWithoutResources(launcher, media + L"\\Windows64\\without-list.exe", isList)) {
        std::fprintf(stderr, "media-check-time: cannot copy the programs without their lists\n");
        return 1;
    }

    // A registered runtime: Setup.exe starts the launcher, not the runtime installer.
    const std::wstring home = media.substr(0, media.rfind(L'\\')) + L"\\registered-jre";
    const std::wstring key = L"SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8.0_202";
    testing_support::CreateFolders(home + L"\\bin\\server");
    testing_support::WriteBytes(home + L"\\bin\\java.exe", "MZ");
    testing_support::WriteBytes(home + L"\\bin\\server\\jvm.dll", "MZ");
    testing_support::SetMachineString(key, L"JavaHome", home);
    testing_support::SetMachineString(key, L"RuntimeLib", home + L"\\bin\\server\\jvm.dll");

    // The hash alone: Setup.exe's check of the launcher, through its own list.
    HMODULE setupImage = ::LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const auto list = common::LoadMediaList(setupImage);
    const common::MediaFile* listed = list ? common::FindMediaFile(*list, L"Windows64\\Setup.exe") : nullptr;
    if (!listed) {
        std::fprintf(stderr, "media-check-time: Setup.exe lists no Windows64\\Setup.exe\n");
        return 1;
    }
    // Paired with the copy Setup.exe makes of a runtime installer: the same
    // check, the bytes also written into a run folder of its own.
    common::RunFolder runFolder;
    if (!runFolder.Create(common::SystemTempFolder())) {
        std::fprintf(stderr, "media-check-time: no run folder\n");
        return 1;
    }
    const std::wstring copy = runFolder.path() + L"\\copy.exe";
    std::vector<double> hashSeconds;
    std::vector<double> copySeconds;
    for (int run = 0; run < 2 * runs; ++run) {
        const bool copying = (run % 2 == 1) != (run / 2 % 2 == 1);  // alternating which goes first
        LARGE_INTEGER frequency, begin, end;
        ::QueryPerformanceFrequency(&frequency);
        ::QueryPerformanceCounter(&begin);
        common::MediaFileCheck check = copying ? common::CopyCheckedMediaFile(*list, media, L"Windows64\\Setup.exe", copy)
                                               : common::CheckMediaFile(*list, media, L"Windows64\\Setup.exe");
        ::QueryPerformanceCounter(&end);
        if (!check) {
            std::fprintf(stderr, "media-check-time: the launcher differs from the list: %ls\n", check.problem.c_str());
            return 1;
        }
        check.held.reset();
        ::DeleteFileW(copy.c_str());
        (copying ? copySeconds : hashSeconds).push_back(double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart));
    }
    const double megabytes = double(listed->size) / 1e6;
    std::printf("hash: SHA-256 of the launcher (%.1f MB) through its held handle: median %.3f s, %.0f MB/s\n",
                megabytes, Median(hashSeconds), megabytes / Median(hashSeconds));
    std::printf("copy: the same check writing a copy into a run folder of its own, as Setup.exe does for a runtime "
                "installer: median %.3f s, %+.3f s added (%.0f MB/s)\n",
                Median(copySeconds), Median(copySeconds) - Median(hashSeconds), megabytes / Median(copySeconds));

    // The launcher's own checks, in process: its list read from its image,
    // "archive.jar" and "archive.gif" opened, hashed and held.
    HMODULE launcherImage = ::LoadLibraryExW(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    std::vector<double> launcherCheckSeconds;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER frequency, begin, end;
        ::QueryPerformanceFrequency(&frequency);
        ::QueryPerformanceCounter(&begin);
        const auto launcherList = common::LoadMediaList(launcherImage);
        const bool taken = launcherList &&
                           common::CheckMediaFile(*launcherList, media + L"\\Windows64", L"archive.jar") &&
                           common::CheckMediaFile(*launcherList, media + L"\\Windows64", L"archive.gif");
        ::QueryPerformanceCounter(&end);
        if (!taken) {
            std::fprintf(stderr, "media-check-time: the launcher's archive.jar or archive.gif differs from its list\n");
            return 1;
        }
        launcherCheckSeconds.push_back(double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart));
    }
    std::printf("launcher's checks (its list, archive.jar and archive.gif hashed and held): median %.4f s\n",
                Median(launcherCheckSeconds));

    struct Road {
        const char* what;
        std::wstring withList, withoutList, arguments;
        std::vector<double> with, without;
    } roads[] = {
        {"Setup.exe start to the platform installer's start", setup, media + L"\\Setup-without-list.exe",
         L" /silent /normalprocess", {}, {}},
        {"launcher start to javaw.exe's start", launcher, media + L"\\Windows64\\without-list.exe",
         L" /silent /normalprocess", {}, {}},
    };
    for (int run = 0; run < runs; ++run) {
        for (Road& road : roads) {
            const bool listFirst = run % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                const bool list = (turn == 0) == listFirst;
                const double seconds =
                    TimeToFirstChild(L"\"" + (list ? road.withList : road.withoutList) + L"\"" + road.arguments);
                (list ? road.with : road.without).push_back(seconds);
            }
        }
    }
    for (const Road& road : roads) {
        std::printf("%s: median %.3f s with the list, %.3f s without, %+.3f s added (%d paired runs)\n", road.what,
                    Median(road.with), Median(road.without), Median(road.with) - Median(road.without), runs);
    }
    return 0;
}
