#pragma once
// What program-level tests share: paths of the built programs, a fresh folder
// per test, starting a program with an exact command line and a time limit,
// and reading what stand-ins recorded.

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// A built deliverable, e.g. DistPath(L"Pellow.exe") or DistPath(L"x64\\Purlow.exe").
std::wstring DistPath(const std::wstring& relative);
// A built stand-in program, e.g. StandinPath(L"recorder.exe").
std::wstring StandinPath(const std::wstring& name);

// A new empty folder under the temporary folder, removed with its contents
// when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return m_path; }
    std::wstring operator/(const std::wstring& relative) const { return m_path + L"\\" + relative; }

private:
    std::wstring m_path;
};

struct RunOptions {
    std::wstring workingFolder;     // empty: the test's own
    std::wstring stdoutFile;        // empty: standard output not redirected
    DWORD timeoutMs = 30000;
    DWORD creationFlags = 0;
    HANDLE job = nullptr;           // assign the process to this job before it runs
    std::wstring program;           // empty: the command line's first word names it
    std::vector<std::pair<std::wstring, std::wstring>> environment;  // added to the test's own
};

struct RunResult {
    bool started = false;
    DWORD startError = 0;
    bool timedOut = false;   // the process was killed at the time limit
    DWORD exitCode = 0;
    DWORD elapsedMs = 0;
};

// Starts a program with exactly this command line and waits for it.
RunResult RunProgram(const std::wstring& commandLine, const RunOptions& options = RunOptions());

// Starts a program and returns its process handle without waiting.
HANDLE StartProgram(const std::wstring& commandLine, const RunOptions& options = RunOptions());

bool CopyProgram(const std::wstring& from, const std::wstring& to);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);   // empty when missing
bool FolderExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool CreateFolders(const std::wstring& path);        // every missing level
void RemoveTree(const std::wstring& path);

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& bytes);

// The runs a recorder stand-in wrote beside itself ("<exe>.record"), oldest first.
using Recording = std::map<std::string, std::string>;
std::vector<Recording> ReadRecordings(const std::wstring& exePath);

// Machine registry values for tests. view is 0 for the test's own view,
// which is the program under test's view for unflagged reads, or
// KEY_WOW64_32KEY / KEY_WOW64_64KEY where the program asks for a view.
void SetMachineString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& text, REGSAM view = 0);
bool ReadMachineString(const std::wstring& keyPath, const wchar_t* name, std::wstring& text, REGSAM view = 0);

// While it lives, Wine prefers a native library of this name (e.g. L"gdiplus")
// in programs of this file name (empty: in every program), and so looks for
// it in the program's folder first, as Windows does for libraries outside
// its known list; for a program name (L"msiexec.exe") it runs a real program
// in the system folder instead of its own.
class NativeLibraryFirst {
public:
    NativeLibraryFirst(const std::wstring& program, const wchar_t* library);
    ~NativeLibraryFirst();
    NativeLibraryFirst(const NativeLibraryFirst&) = delete;
    NativeLibraryFirst& operator=(const NativeLibraryFirst&) = delete;

private:
    std::wstring m_key;
    std::wstring m_library;
};

// %SystemRoot%\Temp.
std::wstring SystemTempFolder();

// The full paths of what lies in the system temporary folder under names
// matching the pattern ("wendrel-*").
std::set<std::wstring> SystemTempEntries(const wchar_t* pattern);

// The launcher's traces (WENDREL_TRACE): it writes each run's into a folder
// of its own, "<system temp>\wendrel-trace-*\trace.txt". A test lists the
// folders before a run and reads the one that run made.
class TraceWatch {
public:
    TraceWatch();
    ~TraceWatch();  // removes the folders made since
    TraceWatch(const TraceWatch&) = delete;
    TraceWatch& operator=(const TraceWatch&) = delete;

    // The path of the one trace made since; empty while there is none.
    std::wstring Path() const;
    // Its text; empty while there is none.
    std::string Text() const;

private:
    std::set<std::wstring> m_before;
};

// Unix programs under Wine, for what Wine's own calls cannot make: its
// CreateSymbolicLinkW reports success and makes nothing. A Unix symbolic
// link stands for a Windows link (a junction for a folder).
// The Unix path of a Windows path; empty outside Wine.
std::string UnixPath(const std::wstring& windowsPath);
// Starts "/bin/sh -c <script>" and does not wait: Wine gives no handle to
// wait on, so the script signals its end itself (a file it makes).
bool StartUnixShell(const std::string& script);
// Makes `link` a symbolic link to `target` and waits until it is there.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target);
// Polls every 50 ms; false when the file did not appear within the limit.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);

// Waits for something another process does: asks every 50 ms, and once
// more at the limit; false when it never held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// The running processes of this image name (file name only).
std::vector<DWORD> ProcessesNamed(const std::wstring& imageName);
// Waits until no process of this image name runs; false when one still
// ran at the limit.
bool WaitUntilNoProcessNamed(const std::wstring& imageName, DWORD timeoutMs);

// Resources of a built program, for variants made from one build.
// Adds or replaces one resource (language neutral).
bool SetResource(const std::wstring& program, LPCWSTR type, LPCWSTR name, const std::string& bytes);
// Copies the program and rewrites the copy with every resource except those
// for which drop(type, name) is true (Wine ignores deletions by update).
bool CopyProgramWithoutResources(const std::wstring& from, const std::wstring& to,
                                 const std::function<bool(LPCWSTR type, LPCWSTR name)>& drop);
// The resource's bytes, read from the program file; empty when missing.
std::string ReadResource(const std::wstring& program, LPCWSTR type, LPCWSTR name);
// The bytes of one language's resource in a loaded module; empty when missing.
std::string ResourceInLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
// The strings of a string-table block (resource id block, ids 16 * (block - 1)
// and on), by id; empty strings are left out.
std::map<int, std::wstring> StringTableBlock(const std::string& block, int blockId);

// Windows of another process, for tests that answer its dialogs and
// message boxes.
// A visible top-level window of the process with this caption (empty: any),
// waited for up to the time limit; NULL when none appeared.
HWND WaitForProcessWindow(DWORD processId, const std::wstring& caption, DWORD timeoutMs);
std::wstring WindowText(HWND window);
std::wstring DialogItemText(HWND dialog, int id);
// Sends the button's click to its dialog as the button itself would.
void PressDialogButton(HWND dialog, int id);

}  // namespace testing_support
