#include "launcher/launcher_run.h"

#include "common/application_name.h"
#include "common/media_files.h"
#include "common/paths.h"
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/failure_reports.h"
#include "launcher/file_operations.h"
#include "launcher/helper_programs.h"
#include "launcher/installed_folder.h"
#include "launcher/java_installer.h"
#include "launcher/runtime_choice.h"
#include "launcher/runtime_cleanup.h"
#include "launcher/runtime_registry.h"
#include "launcher/update_log.h"

namespace launcher {

LauncherRun::LauncherRun(HINSTANCE instance, HWND owner, LauncherState& options, DecisionTrace& trace,
                         Splash& splash)
    : m_run{instance, owner, options, trace, splash, nullptr, std::wstring(), std::wstring()}
{
}

DWORD LauncherRun::Run()
{
    m_mediaList = common::LoadMediaList(m_run.instance);
    bool uninstallMode =
        IsInstalledProductFolder(m_run.options.m_strFolder, m_mediaList ? &*m_mediaList : nullptr, m_run.trace);
    // The installed product's folder is its own installer's to vouch for.
    m_run.mediaList = m_mediaList && !uninstallMode ? &*m_mediaList : nullptr;
    // Every user may create files in the system's temporary folder ahead of
    // us: what the run unpacks and what its children keep as temporary files
    // go into a folder of its own.
    if (m_runFolder.Create(common::SystemTempFolder())) {
        m_run.runFolder = m_runFolder.path();
        m_run.childTemp = m_runFolder.CreateChildTemp();
    } else {
        m_run.runFolderError = ::GetLastError();
        m_run.trace.Line(L"run folder: none could be made in " + QuotedPath(common::SystemTempFolder()) + L" (error " +
                         std::to_wstring(m_run.runFolderError) + L")");
    }
    // The children run elevated and search their working folder for
    // libraries: one that only administrators can change, the run folder or
    // else the system folder. The uninstaller keeps the installed product's.
    const std::wstring callersFolder = common::CurrentFolder(kCurrentFolderUnits);
    const std::wstring workingFolder = uninstallMode               ? m_run.options.m_strFolder
                                       : !m_run.runFolder.empty() ? m_run.runFolder
                                                                  : common::SystemFolder();
    ::SetCurrentDirectoryW(workingFolder.c_str());
    DWORD exitCode = kExitNothingStarted;
    try {
        exitCode = RunSequence();
    } catch (const UpdateLogFileError& failure) {
        // An unwritable log ends the run here, uninstall clean-up included.
        m_run.splash.Hide();
        ::MessageBoxW(m_run.owner, UpdateLogFileErrorText(failure).c_str(), common::ApplicationName().c_str(),
                      MB_OK | MB_ICONERROR);
        exitCode = kExitNothingStarted;
        uninstallMode = false;
    }
    if (uninstallMode) {
        PrepareFolderRemoval(m_run);
    }
    // Out of the run folder, so that it can go.
    if (!callersFolder.empty()) {
        ::SetCurrentDirectoryW(callersFolder.c_str());
    }
    // Every child the run waits for has ended.
    m_runFolder.Remove();
    return exitCode;
}

DWORD LauncherRun::RunSequence()
{
    DecisionTrace& trace = m_run.trace;
    const HCURSOR normalCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    RuntimeFound privateRuntime = PreparePrivateRuntime(m_run);
    trace.Line(privateRuntime.traceLine);
    RuntimeFound localRuntime = FindLocalRuntime(m_run);
    trace.Line(localRuntime.traceLine);
    if (trace.IsOn()) {
        trace.Line(L"registered runtimes: " + RegisteredRuntimeVersions());
    }
    const InstallerRun carriedInstaller = RunCarriedRuntimeInstaller(m_run);
    trace.Line(carriedInstaller.traceLine);
    const InstallerRun installerBeside = RunRuntimeInstallerBesideLauncher(m_run);
    trace.Line(installerBeside.traceLine);
    ::SetCursor(normalCursor);

    // A "JVM" folder beside the launcher wins over the private runtime.
    std::wstring runtimeHome = localRuntime.taken ? localRuntime.home : privateRuntime.home;
    if (!privateRuntime.taken && !localRuntime.taken) {
        const RuntimeFound installed = CheckInstalledRuntime();
        trace.Line(installed.traceLine);
        if (!installed.taken) {
            // A carried runtime that could not be unpacked is the reason the
            // user is told, not the registry.
            ReportJavaError(m_run, installed.error, privateRuntime.failure);
            trace.Line(L"no usable Java runtime: nothing started");
            return kExitNothingStarted;
        }
        runtimeHome = installed.home;
    }
    trace.Line(L"Java runtime: " + QuotedPath(runtimeHome));

    JavaArchive archive = PrepareJavaArchive(m_run);
    if (archive.status == JavaArchive::Status::NotTaken) {
        trace.Line(L"archive not taken: " + QuotedPath(archive.archivePath) + L"; nothing started");
        ReportArchiveNotTaken(m_run, archive.archivePath);
        return kExitNothingStarted;
    }
    if (archive.status == JavaArchive::Status::Missing) {
        trace.Line(L"archive missing: " + QuotedPath(archive.archivePath) + L"; nothing started");
        ShowMissingFileMessage(m_run, archive.archivePath);
        return kExitNothingStarted;
    }

    LauncherState& options = m_run.options;
    options.m_strSysLanguage.clear();
    options.m_strSysCountry.clear();
    DetectSystemLanguage(options, ::GetUserDefaultLangID());
    m_run.splash.Hide();

    const std::wstring javaProgram = runtimeHome + L"\\bin\\javaw.exe";
    const std::wstring javaArguments =
        BuildJavaArguments(options, archive.imageTaken, archive.imagePath, archive.archivePath);

    // javaw.exe of the runtime taken, where the launcher holds it.
    const RuntimeFound& taken = localRuntime.taken ? localRuntime : privateRuntime;
    const HANDLE heldJava = taken.taken && taken.heldProgram ? taken.heldProgram.get() : nullptr;
    const JavaInstallerRun java = StartJavaInstaller(m_run, javaProgram, javaArguments, heldJava);
    if (!java.started) {
        trace.Line(L"Java installer could not be started " + java.how + L" (error " +
                   std::to_wstring(java.startError) + L"): " + java.commandLine);
        ReportJavaInstallerNotStarted(m_run, java.startError);
    } else {
        trace.Line(L"Java installer started " + java.how + L" and waited for: " + java.commandLine);
        trace.Line(L"Java installer exit code: " + std::to_wstring(java.exitCode));
    }
    privateRuntime.heldProgram.reset();
    localRuntime.heldProgram.reset();

    PlaceRuntimeInstallerForUninstaller(m_run.instance);
    if (privateRuntime.taken) {
        RemovePrivateRuntime(m_run.runFolder);
    }
    if (carriedInstaller.ran || installerBeside.ran) {
        m_run.splash.Show();
        RemoveJava7();
        m_run.splash.Hide();
    }
    return java.started ? java.exitCode : kExitNothingStarted;
}

}  // namespace launcher
