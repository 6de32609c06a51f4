#include "launcher/launcher_dialog.h"

#include "common/application_name.h"
#include "common/resource_data.h"
#include "launcher/file_operations.h"
#include "launcher/java_error_dialog.h"
#include "launcher/process_start.h"
#include "launcher/resources/resource.h"
#include "launcher/update_log.h"

#include <ctime>
#include <vector>

namespace launcher {

namespace {

constexpr DWORD kCurrentFolderCapacity = 1040;

std::wstring CurrentFolder()
{
    std::vector<wchar_t> buffer(kCurrentFolderCapacity, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(kCurrentFolderCapacity, buffer.data());
    return length > 0 && length < kCurrentFolderCapacity ? std::wstring(buffer.data(), length) : std::wstring();
}

std::wstring TickCountText()
{
    return std::to_wstring(static_cast<long>(::GetTickCount()));
}

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

LauncherDialog::LauncherDialog(HINSTANCE instance)
    : m_hInstance(instance), m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME)))
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
    try {
        RunSequence();
    } catch (const UpdateLogFileError& failure) {
        // An unwritable log ends the run here, uninstall clean-up included.
        ::MessageBoxW(hwnd(), UpdateLogFileErrorText(failure).c_str(), common::ApplicationName().c_str(),
                      MB_OK | MB_ICONERROR);
        ::ShowWindow(hwnd(), SW_HIDE);
        return TRUE;
    }
    if (uninstallMode) {
        // Call point of the uninstall-mode clean-up: PrepareFolderRemoval
        // writes the helper programs and starts Pellow.
    }
    ::ShowWindow(hwnd(), SW_HIDE);
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
        return;
    }

    std::wstring archivePath = m_strFolder + L"\\archive.jar";
    std::wstring imagePath = m_strFolder + L"\\archive.gif";
    const std::wstring tickText = TickCountText();

    bool archiveFromResource = false;
    std::wstring archiveFolder;
    if (const auto archive = common::FindResourceBytes(m_hInstance, MAKEINTRESOURCEW(IDR_EMBEDDED_ARCHIVE),
                                                       RT_RCDATA)) {
        archiveFolder = GetSystemTempFolder() + L"\\" + tickText;
        CreateFolderPath(archiveFolder);
        archivePath = archiveFolder + L"\\archive.jar";
        archiveFromResource = WriteNewFile(archivePath, archive.data, archive.size);
    }

    if (!PathExists(archivePath)) {
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
    const std::wstring javaArguments = BuildJavaArguments(*this, PathExists(imagePath), imagePath, archivePath);
    const std::wstring previousFolder = CurrentFolder();
    ::SetCurrentDirectoryW(m_strFolder.c_str());

    if (privateRuntime) {
        RegisterPrivateRuntimeRemoval();
    }

    if (m_bNormalProcess) {
        StartDirectlyAndWait(javaProgram, javaArguments);
    } else {
        StartInSession(javaProgram, javaArguments, true, false);
    }

    PlaceRuntimeInstallerForUninstaller();
    if (privateRuntime) {
        RemovePrivateRuntime();
    }
    if (!previousFolder.empty()) {
        ::SetCurrentDirectoryW(previousFolder.c_str());
    }
    if (archiveFromResource) {
        ::DeleteFileW(archivePath.c_str());
        ::DeleteFileW(imagePath.c_str());
        ::RemoveDirectoryW(archiveFolder.c_str());
    }
    if (installerRan) {
        ShowSplash();
        RemoveJava7();
        HideSplash();
    }
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

void LauncherDialog::ShowMissingFileMessage(const std::wstring& path)
{
    const std::wstring text = ReplacePlaceholder(common::LoadStringResource(m_hInstance, IDS_FILE_MISSING), path);
    // OK only; the warning sign as framework message boxes give an OK box.
    ::MessageBoxW(hwnd(), text.c_str(), common::ApplicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void LauncherDialog::StartSplash()
{
    if (!common::FindResourceBytes(m_hInstance, L"ARCHIVE", L"GIF")) {
        ::ShowWindow(hwnd(), SW_HIDE);
        return;
    }
    // Call point of the splash window: it sizes the window to the image,
    // starts the animation and shows it. Until it is there the window stays
    // hidden as for a missing image.
    ::ShowWindow(hwnd(), SW_HIDE);
}

void LauncherDialog::HideSplash()
{
    ::ShowWindow(hwnd(), SW_HIDE);
}

void LauncherDialog::ShowSplash()
{
    // Without an image there is nothing worth showing.
    if (m_bSplashShown) {
        ::ShowWindow(hwnd(), SW_SHOW);
    }
}

}  // namespace launcher
