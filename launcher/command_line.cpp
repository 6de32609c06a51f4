#include "launcher/command_line.h"

#include "common/command_line_words.h"

#include <cwchar>
#include <set>
#include <vector>

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

// An option of the installer's that the launcher writes in the installer's
// own terms, or takes for itself (a flag, and no text).
struct WordOption {
    const wchar_t* word;         // the whole word, any letter case
    const wchar_t* replacement;  // empty: the word is taken away
    bool LauncherState::*flag;
};

const WordOption kWordOptions[] = {
    {L"/norestart", L"\"-W\" \"rebootPanel.rebootSelected=False\"", nullptr},
    {L"/silent", L"\"-W\" \"play.auto=YES\"", nullptr},
    {L"-silent", L"\"-W\" \"play.auto=YES\"", nullptr},
    {L"/noshortcut", L"\"-W\" \"createdesktopshortcutswizardaction.active=False\"", nullptr},
    {L"/nowarning", L"\"-W\" \"play.nowarning=YES\"", nullptr},
    {L"/normalprocess", L"", &LauncherState::m_bNormalProcess},
    {L"/nojavaerror", L"", &LauncherState::m_bNoJavaError},
};

const wchar_t kSearchLanguageOption[] = L"/searchlanguage=";

// The installer's words, each in its place: an option given twice is
// written once, and a later "/searchlanguage=" gives the first one its value.
// A word taken away leaves the blank before it.
class InstallerWords {
public:
    explicit InstallerWords(LauncherState& state) : m_state(state) {}

    void Add(const std::wstring& word)
    {
        const std::wstring lower = LowerAscii(word);
        for (const WordOption& option : kWordOptions) {
            if (lower != option.word) {
                continue;
            }
            if (option.flag) {
                m_state.*option.flag = true;
            }
            // "/silent" and "-silent" are one option.
            const bool first = m_written.insert(option.replacement).second;
            Append(first ? option.replacement : L"");
            return;
        }
        if (StartsWithIgnoringCase(word, kSearchLanguageOption)) {
            const std::wstring text =
                L"\"-W\" " + common::QuotedWord(L"play.searchLanguage=" + word.substr(wcslen(kSearchLanguageOption)));
            if (m_searchLanguage == std::wstring::npos) {
                m_searchLanguage = m_pieces.size();
                Append(text);
            } else {
                m_pieces[m_searchLanguage] = L" " + text;
                Append(L"");
            }
            return;
        }
        // Quoted and escaped so that the installer reads the word as given.
        Append(common::QuotedWord(word));
    }

    std::wstring Text() const
    {
        std::wstring text;
        for (const std::wstring& piece : m_pieces) {
            text += piece;
        }
        return text;
    }

private:
    void Append(const std::wstring& text) { m_pieces.push_back(L" " + text); }

    LauncherState& m_state;
    std::vector<std::wstring> m_pieces;
    std::set<std::wstring> m_written;
    size_t m_searchLanguage = std::wstring::npos;
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
    InstallerWords installerWords(state);
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
            installerWords.Add(word);
        }
    }
    state.m_strExtraArgs = installerWords.Text();
    return programNameOverride;
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
