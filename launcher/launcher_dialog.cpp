#include "launcher/launcher_dialog.h"

#include "common/application_name.h"
#include "common/resource_data.h"
#include "common/system_folders.h"
#include "launcher/file_operations.h"
#include "launcher/java_error_dialog.h"
#include "launcher/media_check.h"
#include "launcher/process_start.h"
#include "launcher/protected_folders.h"
#include "launcher/resources/resource.h"
#include "launcher/update_log.h"

#include <ctime>
#include <vector>

namespace launcher {

namespace {

std::wstring ReplacePlaceholder(std::wstring text, const std::wstring& value)
{
    for (size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at + value.size())) {
        text.replace(at, 2, value);
    }
    return text;
}

std::wstring LocalTimestampNow()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local ? FormatUpdateLogTimestamp(*local) : std::wstring();
}

std::wstring NameFrom(BOOL (WINAPI* read)(LPWSTR, LPDWORD))
{
    std::vector<wchar_t> buffer(1000, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!read(buffer.data(), &size)) {
        return std::wstring();
    }
    return buffer.data();
}

BOOL WINAPI ReadComputerName(LPWSTR buffer, LPDWORD size)
{
    return ::GetComputerNameW(buffer, size);
}

BOOL WINAPI ReadUserName(LPWSTR buffer, LPDWORD size)
{
    return ::GetUserNameW(buffer, size);
}

}  // namespace

LauncherDialog::LauncherDialog(HINSTANCE instance, bool imagingReady, DecisionTrace& trace)
    : m_hInstance(instance),
      m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bImagingReady(imagingReady),
      m_trace(trace)
{
}

HWND LauncherDialog::Create()
{
    return CreateModeless(m_hInstance, IDD_LAUNCHER, nullptr);
}

BOOL LauncherDialog::OnInitDialog()
{
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    StartSplash();
    const bool uninstallMode = PathExists(m_strFolder + L"\\uninstall.dat");
    if (uninstallMode) {
        m_trace.Line(L"uninstall mode: " + m_strFolder + L"\\uninstall.dat exists");
    } else {
        m_mediaList = common::LoadMediaList(m_hInstance);
    }
    // Every user may create files in the system's temporary folder ahead of
    // us: what the run unpacks and what its children keep as temporary files
    // go into a folder of its own.
    if (m_runFolder.Create(common::SystemTempFolder())) {
        m_childTemp = m_runFolder.path() + L"\\Temp";
        if (!CreateProtectedFolder(m_childTemp)) {
            m_childTemp.clear();
        }
    }
    try {
        RunSequence();
    } catch (const UpdateLogFileError& failure) {
        // An unwritable log ends the run here, uninstall clean-up included.
        HideSplash();
        ::MessageBoxW(hwnd(), UpdateLogFileErrorText(failure).c_str(), common::ApplicationName().c_str(),
                      MB_OK | MB_ICONERROR);
        return TRUE;
    }
    if (uninstallMode) {
        PrepareFolderRemoval();
    }
    // Every child the run waits for has ended.
    m_runFolder.Remove();
    // Hidden and paused, not merely hidden: the splash object is never freed,
    // and a thread still drawing would use GDI+ after its shut-down.
    HideSplash();
    return TRUE;
}

void LauncherDialog::RunSequence()
{
    HCURSOR normalCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    std::wstring runtimeHome;
    const bool privateRuntime = PreparePrivateRuntime(runtimeHome);
    const bool localRuntime = FindLocalRuntime(runtimeHome);
    const bool installerRan = RunRuntimeInstallers();
    ::SetCursor(normalCursor);

    if (!privateRuntime && !localRuntime && !CheckInstalledRuntime(runtimeHome)) {
        m_trace.Line(L"no usable Java runtime: nothing started");
        return;
    }

    m_trace.Line(L"Java runtime: " + runtimeHome);

    std::wstring archivePath = m_strFolder + L"\\archive.jar";
    std::wstring imagePath = m_strFolder + L"\\archive.gif";

    bool archiveFromResource = false;
    std::wstring archiveFolder;
    if (const auto archive = common::FindResourceBytes(m_hInstance, MAKEINTRESOURCEW(IDR_EMBEDDED_ARCHIVE),
                                                       RT_RCDATA)) {
        // The Java installer runs elevated from this archive: a folder of our own.
        archiveFolder = CreateUniqueProtectedFolder(common::SystemTempFolder());
        if (!archiveFolder.empty()) {
            archivePath = archiveFolder + L"\\archive.jar";
            archiveFromResource = WriteNewFile(archivePath, archive.data, archive.size);
            if (!archiveFromResource) {
                ::DeleteFileW(archivePath.c_str());  // no half archive for the installer
            }
        }
    }

    // Held with read sharing only until the Java installer has ended: Java
    // may read them, nobody may change them.
    common::MediaFileCheck heldArchive;
    common::MediaFileCheck heldImage;
    if (m_mediaList && !archiveFromResource) {
        heldArchive = CheckBesideLauncher(*m_mediaList, m_strFolder, L"archive.jar", L"archive", m_trace);
        if (!heldArchive) {
            ReportArchiveNotTaken(archivePath);
            return;
        }
        heldImage = CheckBesideLauncher(*m_mediaList, m_strFolder, L"archive.gif", L"splash image", m_trace);
    }

    if (!PathExists(archivePath)) {
        if (!archiveFolder.empty()) {
            RemoveFolderTree(archiveFolder);
        }
        m_trace.Line(L"archive missing: " + archivePath + L"; nothing started");
        ShowMissingFileMessage(archivePath);
        return;
    }

    if (archiveFromResource) {
        imagePath = archiveFolder + L"\\archive.gif";
        if (const auto image = common::FindResourceBytes(m_hInstance, L"ARCHIVE", L"GIF")) {
            WriteNewFile(imagePath, image.data, image.size);
        }
    }

    m_strSysLanguage.clear();
    m_strSysCountry.clear();
    DetectSystemLanguage(*this, ::GetUserDefaultLangID());
    HideSplash();

    const std::wstring javaProgram = runtimeHome + L"\\bin\\javaw.exe";
    const bool imageTaken = PathExists(imagePath) && (heldImage || !m_mediaList || archiveFromResource);
    const std::wstring javaArguments = BuildJavaArguments(*this, imageTaken, imagePath, archivePath);
    const std::wstring previousFolder = CurrentFolder();
    ::SetCurrentDirectoryW(m_strFolder.c_str());

    if (privateRuntime) {
        RegisterPrivateRuntimeRemoval();
    }

    StartJavaInstaller(javaProgram, javaArguments);
    m_heldRuntimeProgram.reset();

    PlaceRuntimeInstallerForUninstaller();
    if (privateRuntime) {
        RemovePrivateRuntime();
    }
    if (!previousFolder.empty()) {
        ::SetCurrentDirectoryW(previousFolder.c_str());
    }
    if (!archiveFolder.empty()) {
        RemoveFolderTree(archiveFolder);
    }
    if (installerRan) {
        ShowSplash();
        RemoveJava7();
        HideSplash();
    }
}

void LauncherDialog::StartJavaInstaller(const std::wstring& program, const std::wstring& arguments)
{
    DWORD exitCode = 0;
    const bool started = m_bNormalProcess ? StartDirectlyAndWait(program, arguments, m_childTemp, &exitCode)
                                          : StartInSession(program, arguments, m_childTemp, true, false, &exitCode);
    const DWORD startError = ::GetLastError();
    if (!m_trace.IsOn()) {
        return;
    }
    const std::wstring how = m_bNormalProcess ? L"directly (/normalprocess)" : L"in the interactive session";
    if (!started) {
        m_trace.Line(L"Java installer could not be started " + how + L" (error " + std::to_wstring(startError) +
                     L"): " + DirectCommandLine(program, arguments));
        return;
    }
    m_trace.Line(L"Java installer started " + how + L" and waited for: " + DirectCommandLine(program, arguments));
    m_trace.Line(L"Java installer exit code: " + std::to_wstring(exitCode));
}

void LauncherDialog::ReportJavaError()
{
    if (m_bNoJavaError) {
        WriteUpdateLog();
    } else {
        ShowJavaErrorDialog();
    }
}

void LauncherDialog::ShowJavaErrorDialog()
{
    JavaErrorDialog dialog(m_hInstance);
    dialog.Run(hwnd());
}

void LauncherDialog::WriteUpdateLog()
{
    if (!IsUnattendedRun(m_strExtraArgs)) {
        return;
    }
    const std::wstring path = UpdateLogPath(m_strExtraArgs, m_strFolder);
    UpdateLogEntry entry;
    entry.programName = m_strProgramName;
    entry.startTimestamp = LocalTimestampNow();
    entry.userName = NameFrom(&ReadUserName);
    entry.computerName = NameFrom(&ReadComputerName);
    entry.finishTimestamp = LocalTimestampNow();
    AppendToUpdateLog(path, ComposeUpdateLogEntry(entry));
}

// Not the media's archive: treated as a missing one, reported the way an
// unattended run asks for.
void LauncherDialog::ReportArchiveNotTaken(const std::wstring& path)
{
    m_trace.Line(L"archive not taken: " + path + L"; nothing started");
    if (m_bNoJavaError && IsUnattendedRun(m_strExtraArgs)) {
        WriteUpdateLog();
    } else {
        ShowMissingFileMessage(path);
    }
}

void LauncherDialog::ShowMissingFileMessage(const std::wstring& path)
{
    const std::wstring text = ReplacePlaceholder(common::LoadStringResource(m_hInstance, IDS_FILE_MISSING), path);
    // OK only; the warning sign as framework message boxes give an OK box.
    ::MessageBoxW(hwnd(), text.c_str(), common::ApplicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace launcher
