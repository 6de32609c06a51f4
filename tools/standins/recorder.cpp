// A program that records how it was started and exits: it appends one block
// to "<its own path>.record" (UTF-8, key=value lines ending in "end"):
//   commandline, cwd, TEMP, TMP, JAVA_TOOL_OPTIONS (only those set), injob,
//   desktop ("<window station>\<desktop>").
// With RECORDER_BREAKAWAY_PROBE set it also records whether a process it
// starts may leave its job ("breakaway=1" or "breakaway=0").
// RECORDER_SLEEP_MS makes it wait before exiting; RECORDER_EXIT_CODE sets its
// exit code; RECORDER_RECORD names another record file. RECORDER_EMPTY_FOLDER
// makes it stand for an uninstaller: it deletes everything in that folder
// except the file named by RECORDER_EMPTY_KEEP (the running launcher, which
// Windows would not let it delete). Copied under other names it stands for javaw.exe and others.
// Given "-jar <file>" it reads that file as Java does (read and write sharing)
// and records "jar=<bytes read>" or "jar=error <code>".

#include "common/unique_resource.h"
#include "common/text_conversion.h"

#include <shellapi.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name, bool& present)
{
    present = false;
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        // Set but empty reads as size 0 with no error.
        present = ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    size = ::GetEnvironmentVariableW(name, &value[0], size);
    value.resize(size);
    present = true;
    return value;
}

std::wstring ObjectName(HANDLE object)
{
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (!::GetUserObjectInformationW(object, UOI_NAME, name, sizeof(name) - sizeof(wchar_t), &needed)) {
        return L"?";
    }
    return name;
}

// Starts a suspended copy of itself outside its job and ends it at once.
bool ChildMayBreakAway()
{
    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &created)) {
        return false;
    }
    ::TerminateProcess(created.hProcess, 0);
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);
    return true;
}

// Deletes every file and folder below the folder, except one file name at
// its top.
void EmptyFolder(const std::wstring& folder, const std::wstring& keep)
{
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind listing(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!listing) {
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L".." || (!keep.empty() && ::lstrcmpiW(name.c_str(), keep.c_str()) == 0)) {
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(path, std::wstring());
            ::RemoveDirectoryW(path.c_str());
        } else {
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        }
    } while (::FindNextFileW(listing.get(), &entry));
}

// The archive after "-jar", read whole the way Java opens it.
std::wstring ReadJar()
{
    int count = 0;
    common::UniqueLocalMem words(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const auto* argv = static_cast<const wchar_t* const*>(words.get());
    for (int i = 1; argv != nullptr && i + 1 < count; ++i) {
        if (std::wstring(argv[i]) != L"-jar") {
            continue;
        }
        common::UniqueFile jar(::CreateFileW(argv[i + 1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!jar) {
            return L"jar=error " + std::to_wstring(::GetLastError()) + L"\n";
        }
        unsigned long long total = 0;
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(jar.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            total += read;
        }
        return L"jar=" + std::to_wstring(total) + L"\n";
    }
    return std::wstring();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    std::wstring record = L"commandline=" + std::wstring(::GetCommandLineW()) + L"\n";

    wchar_t folder[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryW(ARRAYSIZE(folder), folder);
    record += L"cwd=" + std::wstring(folder) + L"\n";

    for (const wchar_t* name : {L"TEMP", L"TMP", L"JAVA_TOOL_OPTIONS", L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS",
                                L"CLASSPATH"}) {
        bool present = false;
        const std::wstring value = Variable(name, present);
        if (present) {
            record += std::wstring(name) + L"=" + value + L"\n";
        }
    }
    // Whether the temporary folder it was given is there while it runs.
    bool tempPresent = false;
    const DWORD tempAttributes = ::GetFileAttributesW(Variable(L"TEMP", tempPresent).c_str());
    record += std::wstring(L"tempfolder=") +
              (tempAttributes != INVALID_FILE_ATTRIBUTES && (tempAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"there"
                                                                                                        : L"missing") +
              L"\n";

    BOOL inJob = FALSE;
    ::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob);
    record += std::wstring(L"injob=") + (inJob ? L"1" : L"0") + L"\n";
    record += L"desktop=" + ObjectName(::GetProcessWindowStation()) + L"\\" +
              ObjectName(::GetThreadDesktop(::GetCurrentThreadId())) + L"\n";
    bool probe = false;
    Variable(L"RECORDER_BREAKAWAY_PROBE", probe);
    if (probe) {
        record += std::wstring(L"breakaway=") + (ChildMayBreakAway() ? L"1" : L"0") + L"\n";
    }
    record += ReadJar();
    record += L"end\n";

    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    // A program unpacked into a folder that is removed after the run records elsewhere.
    bool recordNamed = false;
    const std::wstring namedRecord = Variable(L"RECORDER_RECORD", recordNamed);
    const std::wstring recordPath = recordNamed && !namedRecord.empty() ? namedRecord : std::wstring(self) + L".record";
    common::UniqueFile file(::CreateFileW(recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        const std::string bytes = common::Utf8FromWide(record);
        DWORD written = 0;
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    file.reset();

    bool present = false;
    const std::wstring emptyFolder = Variable(L"RECORDER_EMPTY_FOLDER", present);
    if (present && !emptyFolder.empty()) {
        bool keepPresent = false;
        EmptyFolder(emptyFolder, Variable(L"RECORDER_EMPTY_KEEP", keepPresent));
    }
    const std::wstring sleepMs = Variable(L"RECORDER_SLEEP_MS", present);
    if (present) {
        ::Sleep(static_cast<DWORD>(std::wcstoul(sleepMs.c_str(), nullptr, 10)));
    }
    const std::wstring exitCode = Variable(L"RECORDER_EXIT_CODE", present);
    return present ? static_cast<int>(std::wcstol(exitCode.c_str(), nullptr, 10)) : 0;
}
