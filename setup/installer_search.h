#pragma once
// Finding the programs on the installation media beside the setup program,
// and starting them: the Java runtime installer in "JVM\", the platform
// installer in a folder named for the system's bitness ("64" or "32" in its
// name) or beside the program.

#include <windows.h>

#include <string>

namespace setup {

// The runtime installer that JVMInstallerFound located; read by
// LaunchJavaInstaller.
extern std::wstring g_szJavaInstallerPath;

// Where Setup's children work: its run folder (protected, removed when the
// run ends) and the children's TEMP inside it; both empty when the folder
// could not be made.
struct ChildFolders {
    std::wstring runFolder;
    std::wstring temp;
};

// The fixed buffers of the searches and starts, terminator included: longer
// patterns find nothing, longer paths, arguments or command lines are not
// started.
constexpr size_t kPatternUnits = 256;
constexpr size_t kLaunchUnits = 260;
// The program's own path is read from a buffer of this many units: a longer
// path reads as empty (common::ProgramPath(kProgramPathUnits)).
constexpr DWORD kProgramPathUnits = 1024;
std::wstring GetApplicationDirectory();     // with its trailing backslash, or empty
bool IsFileInFolder(const std::wstring& szFolderPath, std::wstring& szFoundFilePath);
bool IsFolderExist(const std::wstring& path);
bool JVMInstallerFound();
// Runs the runtime installer with "/s" and waits; message 105 when it cannot
// be started. True when it ran. With a list, the listed installer is copied
// into the run folder as it is checked and the copy runs there, the folder
// as its working folder; without a run folder it does not run.
bool LaunchJavaInstaller(const ChildFolders& folders);
// A 32-bit program on 64-bit Windows (IsWow64Process, where kernel32 has it).
bool IsWow64();
std::wstring SearchPlatformIndependentInstaller();
std::wstring SearchPlatformInstaller(const std::wstring& marker);

// The program's arguments after its path, each followed by one blank; a
// word with a blank, tab or double quote, or an empty one, quoted so that
// CommandLineToArgvW reads it back as given.
std::wstring InstallerArguments(const wchar_t* commandLine);

// Finds the platform installer, starts it with this program's arguments and
// waits for it. Returns the exit code for this program: the installer's own,
// or one of exit_codes.h when it did not run (message 106 shown, except for a
// failed direct start). The installer gets the run folder as its working
// folder and its TEMP.
DWORD LaunchInstaller(const ChildFolders& folders);

}  // namespace setup
