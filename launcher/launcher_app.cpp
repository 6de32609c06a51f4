#include "launcher/launcher_app.h"

#include "common/paths.h"
#include "common/unique_resource.h"
#include "launcher/command_line.h"
#include "launcher/launcher_dialog.h"
#include "launcher/splash/gdiplus_api.h"

#include <shellapi.h>

namespace launcher {

bool LauncherApp::InitInstance()
{
    // Without GDI+ in the system folder the run goes on without its splash.
    const GdiplusApi* gdiplus = GetGdiplusApi();
    Gdiplus::GdiplusStartupInput input;
    m_gdiplusStarted = gdiplus && gdiplus->GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Gdiplus::Ok;
    m_trace = DecisionTrace::FromEnvironment();
    if (m_trace.IsOn()) {
        m_trace.Line(L"wendrel started, process " + std::to_wstring(::GetCurrentProcessId()));
        m_trace.Line(L"command line: " + std::wstring(::GetCommandLineW()));
    }

    int count = 0;
    common::UniqueLocalMem words(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!words) {
        return false;
    }
    const auto* argv = static_cast<const wchar_t* const*>(words.get());

    LauncherState options;
    options.m_strFolder = count > 0 ? argv[0] : L"";
    const std::wstring programNameOverride = TranslateArguments(argv, count, options);
    SplitProgramPath(options, programNameOverride);
    // The folder the launcher reads its archive from and, as uninstaller,
    // removes: its own, whatever its caller wrote as the first word.
    const std::wstring ownPath = common::ProgramPath();
    if (const size_t slash = ownPath.rfind(L'\\'); slash != std::wstring::npos) {
        options.m_strFolder = ownPath.substr(0, slash);
    }
    if (m_trace.IsOn()) {
        m_trace.Line(DescribeOptions(options, programNameOverride));
    }

    LauncherDialog dialog(m_hInstance, m_gdiplusStarted, options, m_trace);
    dialog.Create();
    dialog.Destroy();
    m_exitCode = dialog.ExitCode();
    m_trace.Line(L"exit code " + std::to_wstring(m_exitCode));
    m_trace.Line(L"wendrel ends");
    return false;
}

int LauncherApp::ExitInstance()
{
    if (m_gdiplusStarted) {
        GetGdiplusApi()->GdiplusShutdown(m_gdiplusToken);
        m_gdiplusStarted = false;
    }
    return static_cast<int>(m_exitCode);
}

}  // namespace launcher
