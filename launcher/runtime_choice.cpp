#include "launcher/runtime_choice.h"

#include "common/error_text.h"
#include "common/held_file.h"
#include "common/resource_data.h"
#include "common/paths.h"
#include "launcher/file_operations.h"
#include "launcher/media_check.h"
#include "launcher/child_processes.h"
#include "common/protected_folders.h"
#include "launcher/resources/resource.h"
#include "launcher/runtime_registry.h"
#include "launcher/runtime_rules.h"
#include "launcher/zip/win32/zip_extract.h"

namespace launcher {

namespace {

constexpr DWORD kCurrentVersionBytes = 100;
constexpr DWORD kJavaHomeBytes = 2080;

// Held from its unpacking until the Java installer has started.
const wchar_t kPrivateRuntimeProgram[] = L"bin\\javaw.exe";

std::wstring DescribeUnpacking(const zip::ExtractionSummary& summary, DWORD elapsedMs)
{
    if (!summary.opened) {
        return L"the archive could not be opened";
    }
    return std::to_wstring(summary.filesWritten) + L" files written, " + std::to_wstring(summary.filesFailed) +
           L" failed, " + std::to_wstring(summary.entriesSkipped) + L" entries skipped, walk ended with " +
           std::to_wstring(summary.stopResult) + L", " + std::to_wstring(elapsedMs) + L" ms";
}

std::wstring ErrorSuffix(DWORD error)
{
    return L" (error " + std::to_wstring(error) + L")";
}

// " " and the system's text for the error; empty for none.
std::wstring SystemErrorSentence(DWORD error)
{
    const std::wstring text = error ? common::WithoutLineEnd(common::SystemErrorText(error)) : std::wstring();
    return text.empty() ? std::wstring() : L" " + text;
}

RuntimeFound PassedOver(std::wstring why, JavaError error = JavaError::None)
{
    RuntimeFound found;
    found.error = error;
    found.traceLine = std::move(why);
    return found;
}

RuntimeFound Taken(std::wstring home, common::UniqueFile heldProgram, std::wstring why)
{
    RuntimeFound found;
    found.taken = true;
    found.home = std::move(home);
    found.heldProgram = std::move(heldProgram);
    found.traceLine = std::move(why);
    return found;
}

// "started and waited for, exit code N" or "could not be started".
std::wstring DescribeWaitedStart(bool started, DWORD exitCode)
{
    return started ? L"started and waited for, exit code " + std::to_wstring(exitCode)
                   : std::wstring(L"could not be started");
}

}  // namespace

std::wstring PrivateRuntimeFolder(const std::wstring& runFolder)
{
    return runFolder + L"\\BundledJVM";
}

RuntimeFound PreparePrivateRuntime(const RunContext& run)
{
    const auto archive = common::FindResourceBytes(run.instance, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), RT_RCDATA);
    if (!archive) {
        return PassedOver(L"private runtime: none carried (no resource 2000): passed over");
    }
    if (run.runFolder.empty()) {
        RuntimeFound found = PassedOver(L"private runtime: no folder of the launcher's own for it: passed over");
        found.failure = L"The Java runtime that comes with the installer could not be unpacked: no folder could be "
                        L"made for it in \"" + common::SystemTempFolder() + L"\"." +
                        SystemErrorSentence(run.runFolderError);
        return found;
    }
    // Inside the run's own folder, which nobody else can change: a
    // "BundledJVM" elsewhere, an earlier run's or anyone's, is left alone.
    const std::wstring folder = PrivateRuntimeFolder(run.runFolder);
    if (!common::CreateProtectedFolder(folder)) {
        return PassedOver(L"private runtime: " + QuotedPath(folder) + L" cannot be created as the launcher's own" +
                          ErrorSuffix(::GetLastError()) + L": passed over");
    }
    // Straight from the resource: no archive file that could be swapped
    // between its write and its reading.
    const DWORD start = ::GetTickCount();
    zip::ExtractionSummary summary =
        zip::ExtractZipArchiveFromMemory(archive.data, archive.size, folder, {kPrivateRuntimeProgram});
    const std::wstring unpacked =
        L"private runtime: unpacked into " + QuotedPath(folder) + L" (" + DescribeUnpacking(summary, ::GetTickCount() - start) + L")";
    if (!summary.complete() || !summary.heldFiles[0]) {
        summary.heldFiles.clear();
        RemoveFolderTree(folder);
        RuntimeFound found = PassedOver(unpacked + (summary.complete() ? L", no bin\\javaw.exe" : L", not completely") +
                                        (summary.firstError ? ErrorSuffix(summary.firstError) : L"") +
                                        L": passed over");
        found.failure = L"The Java runtime that comes with the installer could not be unpacked into \"" + folder +
                        L"\"." + SystemErrorSentence(summary.firstError);
        return found;
    }
    return Taken(folder, std::move(summary.heldFiles[0]), unpacked + L": taken");
}

RuntimeFound FindLocalRuntime(const RunContext& run)
{
    const std::wstring& folder = run.options.m_strFolder;
    if (!FolderExists(folder + L"\\JVM\\bin")) {
        return PassedOver(L"JVM folder: " + QuotedPath(folder + L"\\JVM\\bin") + L" is not a folder: passed over");
    }
    common::UniqueFile heldProgram;
    if (run.mediaList) {
        // Only a runtime the media vouch for, its javaw.exe held until it has started.
        common::MediaFileCheck javaw =
            CheckBesideLauncher(*run.mediaList, folder, L"JVM\\bin\\javaw.exe", L"JVM folder", run.trace);
        if (!javaw) {
            return PassedOver(L"JVM folder: passed over");
        }
        heldProgram = std::move(javaw.held);
    }
    return Taken(folder + L"\\JVM", std::move(heldProgram), L"JVM folder: " + QuotedPath(folder + L"\\JVM\\bin") + L" is a folder: taken");
}

InstallerRun RunCarriedRuntimeInstaller(const RunContext& run)
{
    InstallerRun outcome;
    if (IsRuntime18OrLaterRegistered()) {
        return outcome;
    }
    const auto installer =
        common::FindResourceBytes(run.instance, MAKEINTRESOURCEW(IDR_RUNTIME_INSTALLER), RT_RCDATA);
    if (!installer) {
        return outcome;
    }
    const std::wstring folder = run.runFolder + L"\\Installer";
    if (run.runFolder.empty() || !common::CreateProtectedFolder(folder)) {
        outcome.traceLine = L"runtime installer: carried one (resource 3000) not run, no folder of the launcher's own" +
                            ErrorSuffix(::GetLastError());
        return outcome;
    }
    const std::wstring path = folder + L"\\JRE.exe";
    if (common::UniqueFile held = common::WriteHeldFile(path, installer.data, installer.size)) {
        DWORD exitCode = 0;
        outcome.ran = StartInSession(path, L"/s", run.childTemp, true, false, &exitCode, held.get());
        outcome.traceLine = L"runtime installer: carried one (resource 3000) " +
                            DescribeWaitedStart(outcome.ran, exitCode) + L": " + DirectCommandLine(path, L"/s");
    } else {
        outcome.traceLine = L"runtime installer: carried one (resource 3000) cannot be written to " + QuotedPath(path);
    }
    // A short write leaves no half installer to run later.
    RemoveFolderTree(folder);
    return outcome;
}

InstallerRun RunRuntimeInstallerBesideLauncher(const RunContext& run)
{
    InstallerRun outcome;
    const std::wstring installer = run.options.m_strFolder + L"\\JRE.exe";
    if (!PathExists(installer)) {
        outcome.traceLine = L"runtime installer: " + QuotedPath(installer) + L" not there";
        return outcome;
    }
    if (IsRuntime18OrLaterRegistered()) {
        outcome.traceLine = L"runtime installer: " + QuotedPath(installer) + L" not run, a runtime 1.8 or later is registered";
        return outcome;
    }
    // With a list, a copy checked in the one read, in the run's own folder:
    // an installer loads libraries from beside itself.
    std::wstring program = installer;
    common::MediaFileCheck held;
    if (run.mediaList) {
        const std::wstring folder = run.runFolder + L"\\Installer";
        if (run.runFolder.empty() || !common::CreateProtectedFolder(folder)) {
            outcome.traceLine = L"runtime installer: " + QuotedPath(installer) + L" not run, no folder of the launcher's own";
            return outcome;
        }
        program = folder + L"\\JRE.exe";
        if (!(held = CheckBesideLauncher(*run.mediaList, run.options.m_strFolder, L"JRE.exe", L"runtime installer",
                                         run.trace, program))) {
            RemoveFolderTree(folder);
            outcome.traceLine = L"runtime installer: " + QuotedPath(installer) + L" passed over";
            return outcome;
        }
    }
    DWORD exitCode = 0;
    outcome.ran = StartInSession(program, L"/s", run.childTemp, true, false, &exitCode,
                                 held ? held.held.get() : nullptr);
    outcome.traceLine = L"runtime installer: " + QuotedPath(installer) + L" " + DescribeWaitedStart(outcome.ran, exitCode) +
                        L": " + DirectCommandLine(program, L"/s");
    if (program != installer) {
        held.held.reset();
        RemoveFolderTree(program.substr(0, program.rfind(L'\\')));
    }
    return outcome;
}

RuntimeFound CheckInstalledRuntime()
{
    const auto currentVersion = ReadMachineString(kJavaRuntimeKey, L"CurrentVersion", kCurrentVersionBytes);
    if (!currentVersion) {
        return PassedOver(L"registered runtime: no CurrentVersion: Java error", JavaError::NothingRegistered);
    }
    const std::wstring& version = *currentVersion;
    if (IsCurrentVersionTooOld(version)) {
        return PassedOver(L"registered runtime: CurrentVersion " + version + L" is older than 1.8: Java error",
                          JavaError::Unusable);
    }
    const auto javaHome =
        ReadMachineString(std::wstring(kJavaRuntimeKey) + L"\\" + version, L"JavaHome", kJavaHomeBytes);
    if (!javaHome) {
        return PassedOver(L"registered runtime: CurrentVersion " + version + L" has no JavaHome: Java error",
                          JavaError::Unusable);
    }
    const std::wstring& home = *javaHome;
    if (!PathExists(home + L"\\bin\\javaw.exe")) {
        return PassedOver(L"registered runtime: " + version + L" at " + QuotedPath(home) + L" has no bin\\javaw.exe: Java error",
                          JavaError::Unusable);
    }
    return Taken(home, common::UniqueFile(), L"registered runtime: " + version + L" at " + QuotedPath(home) + L": taken");
}

}  // namespace launcher
