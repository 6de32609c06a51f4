#include "launcher/decision_trace.h"

#include "common/paths.h"
#include "common/unlinked_file.h"
#include "common/protected_folders.h"
#include "common/text_conversion.h"

#include <cstdio>

namespace launcher {

const wchar_t kTraceVariable[] = L"WENDREL_TRACE";

DecisionTrace DecisionTrace::FromEnvironment()
{
    DecisionTrace trace;
    const DWORD size = ::GetEnvironmentVariableW(kTraceVariable, nullptr, 0);
    if (size <= 1) {
        return trace;
    }
    // The variable only switches the trace on: the caller of an elevated
    // program chooses nothing it writes. The file is new, in a folder of
    // this run's that only administrators can change, and stays there.
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t name[64] = {};
    std::swprintf(name, 64, L"\\wendrel-trace-%04u%02u%02u-%02u%02u%02u-%lu", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, ::GetCurrentProcessId());
    const std::wstring folder = common::SystemTempFolder() + name;
    if (!common::CreateProtectedFolder(folder)) {
        return trace;
    }
    const std::wstring path = folder + L"\\trace.txt";
    // Appending only; a reader may look while it grows.
    bool created = false;
    trace.m_file = common::OpenUnlinkedFile(path, FILE_APPEND_DATA, FILE_SHARE_READ, &created);
    if (trace.m_file && !created) {
        trace.m_file.reset();
    }
    trace.Line(L"trace file: " + QuotedPath(path));
    return trace;
}

void DecisionTrace::Line(const std::wstring& text)
{
    if (!m_file || text.empty()) {
        return;
    }
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t stamp[32] = {};
    std::swprintf(stamp, 32, L"%02u:%02u:%02u.%03u ", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const std::string bytes = common::Utf8FromWide(stamp + text + L"\r\n");
    DWORD written = 0;
    ::WriteFile(m_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring QuotedPath(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::wstring DescribeOptions(const LauncherState& state, const std::wstring& programNameOverride)
{
    std::wstring options;
    if (state.m_bEnglish) {
        options += L" /english";
    }
    if (!state.m_strLanguage.empty()) {
        options += L" /language=" + state.m_strLanguage;
    }
    if (!state.m_strCountry.empty()) {
        options += L" /country=" + state.m_strCountry;
    }
    if (!programNameOverride.empty()) {
        options += L" /exename=" + programNameOverride;
    }
    if (state.m_bNormalProcess) {
        options += L" /normalprocess";
    }
    if (state.m_bNoJavaError) {
        options += L" /nojavaerror";
    }
    return L"options:" + (options.empty() ? std::wstring(L" none") : options) +
           L"; installer arguments:" + (state.m_strExtraArgs.empty() ? L" none" : state.m_strExtraArgs);
}

}  // namespace launcher
