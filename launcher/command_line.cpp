#include "launcher/command_line.h"

#include "common/command_line_words.h"

#include <cwchar>

namespace launcher {

namespace {

wchar_t LowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::wstring LowerAscii(std::wstring text)
{
    for (auto& c : text) {
        c = LowerAscii(c);
    }
    return text;
}

// Case-insensitive for A to Z only, as the options are plain ASCII.
bool StartsWithIgnoringCase(const std::wstring& word, const wchar_t* prefix)
{
    const size_t length = wcslen(prefix);
    return word.size() >= length && LowerAscii(word.substr(0, length)) == LowerAscii(std::wstring(prefix));
}

struct Rewrite {
    const wchar_t* pattern;
    const wchar_t* replacement;
    bool LauncherState::*flag;
};

const Rewrite kRewrites[] = {
    {L"\"/norestart\"", L"\"-W\" \"rebootPanel.rebootSelected=False\"", nullptr},
    {L"\"/silent\"", L"\"-W\" \"play.auto=YES\"", nullptr},
    {L"\"-silent\"", L"\"-W\" \"play.auto=YES\"", nullptr},
    {L"\"/noshortcut\"", L"\"-W\" \"createdesktopshortcutswizardaction.active=False\"", nullptr},
    {L"\"/nowarning\"", L"\"-W\" \"play.nowarning=YES\"", nullptr},
    // No closing quote: the value and its quote stay behind the new name.
    {L"\"/searchlanguage=", L"\"-W\" \"play.searchLanguage=", nullptr},
    {L"\"/normalprocess\"", L"", &LauncherState::m_bNormalProcess},
    {L"\"/nojavaerror\"", L"", &LauncherState::m_bNoJavaError},
};

const wchar_t kExeNameOption[] = L"/exename=";

// "-Duser.<name>=<value>", quoted when the value holds a blank or a quote:
// a value never becomes a Java option of its own.
std::wstring JavaProperty(const wchar_t* name, const std::wstring& value)
{
    return common::QuotedWordIfNeeded(L"-Duser." + std::wstring(name) + L"=" + value);
}

}  // namespace

std::wstring TranslateArguments(const wchar_t* const* words, int count, LauncherState& state)
{
    std::wstring programNameOverride;
    for (int i = 1; i < count; ++i) {
        const std::wstring word = words[i];
        if (LowerAscii(word) == L"/english") {
            state.m_bEnglish = TRUE;
        } else if (StartsWithIgnoringCase(word, L"/language=")) {
            state.m_strLanguage = word.substr(10);
        } else if (StartsWithIgnoringCase(word, L"/country=")) {
            state.m_strCountry = word.substr(9);
        } else if (const size_t at = word.find(kExeNameOption); at != std::wstring::npos) {
            // The name is what follows the option, wherever it stands.
            programNameOverride = word.substr(at + wcslen(kExeNameOption));
        } else {
            // Quoted and escaped so that the installer reads the word as given.
            state.m_strExtraArgs += L" " + common::QuotedWord(word);
        }
    }
    RewriteExtraArguments(state);
    return programNameOverride;
}

void RewriteExtraArguments(LauncherState& state)
{
    for (const Rewrite& rewrite : kRewrites) {
        const size_t at = LowerAscii(state.m_strExtraArgs).find(rewrite.pattern);
        if (at == std::wstring::npos) {
            continue;
        }
        state.m_strExtraArgs.replace(at, wcslen(rewrite.pattern), rewrite.replacement);
        if (rewrite.flag) {
            state.*rewrite.flag = true;
        }
    }
}

void SplitProgramPath(LauncherState& state, const std::wstring& programNameOverride)
{
    const size_t slash = state.m_strFolder.rfind(L'\\');
    if (slash != std::wstring::npos) {
        state.m_strProgramName = state.m_strFolder.substr(slash + 1);
        state.m_strFolder.erase(slash);
    }
    if (!programNameOverride.empty()) {
        state.m_strProgramName = programNameOverride;
    }
}

void DetectSystemLanguage(LauncherState& state, LANGID userLanguage)
{
    const WORD primary = PRIMARYLANGID(userLanguage);
    const WORD sublanguage = SUBLANGID(userLanguage);
    struct Entry {
        WORD primary;
        const wchar_t* language;
        WORD countrySublanguage;  // 0: no country
        const wchar_t* country;
    };
    static const Entry kTable[] = {
        {LANG_CHINESE, L"zh", 1, L"TW"},   {LANG_CZECH, L"cs", 0, nullptr},   {LANG_GERMAN, L"de", 2, L"CH"},
        {LANG_GREEK, L"el", 0, nullptr},   {LANG_ENGLISH, L"en", 0, nullptr}, {LANG_SPANISH, L"es", 0, nullptr},
        {LANG_FINNISH, L"fi", 0, nullptr}, {LANG_FRENCH, L"fr", 0, nullptr},  {LANG_HUNGARIAN, L"hu", 0, nullptr},
        {LANG_ITALIAN, L"it", 0, nullptr}, {LANG_JAPANESE, L"ja", 0, nullptr}, {LANG_KOREAN, L"ko", 0, nullptr},
        {LANG_POLISH, L"pl", 0, nullptr},  {LANG_PORTUGUESE, L"pt", 1, L"BR"}, {LANG_RUSSIAN, L"ru", 0, nullptr},
    };
    for (const Entry& entry : kTable) {
        if (entry.primary != primary) {
            continue;
        }
        state.m_strSysLanguage = entry.language;
        if (entry.country && sublanguage == entry.countrySublanguage) {
            state.m_strSysCountry = entry.country;
        }
        return;
    }
}

std::wstring BuildJavaArguments(const LauncherState& state, bool imageExists, const std::wstring& imagePath,
                                const std::wstring& archivePath)
{
    const std::wstring jar = L"-jar \"" + archivePath + L"\"";
    std::wstring arguments;
    if (imageExists) {
        // Options before the system language.
        arguments = L"-splash:\"" + imagePath + L"\"";
        if (state.m_bEnglish) {
            arguments += L" -Duser.language=en";
        } else {
            if (!state.m_strLanguage.empty()) {
                arguments += L" " + JavaProperty(L"language", state.m_strLanguage);
            } else if (!state.m_strSysLanguage.empty()) {
                arguments += L" " + JavaProperty(L"language", state.m_strSysLanguage);
            }
            if (!state.m_strCountry.empty()) {
                arguments += L" " + JavaProperty(L"country", state.m_strCountry);
            } else if (!state.m_strSysCountry.empty()) {
                arguments += L" " + JavaProperty(L"country", state.m_strSysCountry);
            }
        }
        arguments += L" " + jar;
    } else if (state.m_bEnglish) {
        arguments = L"-Duser.language=en " + jar;
    } else if (!state.m_strSysLanguage.empty()) {
        // The system language before the options.
        arguments = JavaProperty(L"language", state.m_strSysLanguage);
        if (!state.m_strSysCountry.empty()) {
            arguments += L" " + JavaProperty(L"country", state.m_strSysCountry);
        }
        arguments += L" " + jar;
    } else if (!state.m_strLanguage.empty()) {
        arguments = JavaProperty(L"language", state.m_strLanguage);
        if (!state.m_strCountry.empty()) {
            arguments += L" " + JavaProperty(L"country", state.m_strCountry);
        }
        arguments += L" " + jar;
    } else {
        arguments = jar;
    }
    return arguments + state.m_strExtraArgs;
}

}  // namespace launcher
