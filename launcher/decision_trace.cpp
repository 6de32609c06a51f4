#include "launcher/decision_trace.h"

#include "common/unlinked_file.h"
#include "common/text_conversion.h"

#include <cstdio>
#include <vector>

namespace launcher {

const wchar_t kTraceVariable[] = L"WENDREL_TRACE";

DecisionTrace DecisionTrace::FromEnvironment()
{
    DecisionTrace trace;
    const DWORD size = ::GetEnvironmentVariableW(kTraceVariable, nullptr, 0);
    if (size <= 1) {
        return trace;
    }
    std::vector<wchar_t> path(size, L'\0');
    if (::GetEnvironmentVariableW(kTraceVariable, path.data(), size) + 1 != size) {
        return trace;
    }
    // Appending only, shared: several runs (and a reader) may hold it.
    // A link under its name is not written through: no trace then.
    bool created = false;
    trace.m_file = common::OpenUnlinkedFile(path.data(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &created);
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
