#include "launcher/command_line.h"

#include "common/command_line_words.h"
#include "common/unique_resource.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <ostream>
#include <vector>

namespace {

// Test names show the words, not the bytes of the case.
void PrintWords(const std::vector<const wchar_t*>& words, std::ostream* out)
{
    for (size_t i = 0; i < words.size(); ++i) {
        *out << (i ? " " : "");
        for (const wchar_t* c = words[i]; *c; ++c) {
            *out << (*c < 0x80 && (iswalnum(*c) || wcschr(L"/-=.", *c)) ? static_cast<char>(*c) : '_');
        }
    }
}

using launcher::LauncherState;

LauncherState Translate(std::vector<const wchar_t*> words, std::wstring* programNameOverride = nullptr)
{
    words.insert(words.begin(), L"C:\\media\\wendrel.exe");
    LauncherState state;
    const std::wstring name = launcher::TranslateArguments(words.data(), static_cast<int>(words.size()), state);
    if (programNameOverride) {
        *programNameOverride = name;
    }
    return state;
}

struct RewriteCase {
    std::vector<const wchar_t*> words;
    const wchar_t* extraArgs;
    bool normalProcess;
    bool noJavaError;
};

void PrintTo(const RewriteCase& c, std::ostream* out)
{
    PrintWords(c.words, out);
}

class RewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTest, GivesTheInstallerText)
{
    const LauncherState state = Translate(GetParam().words);
    EXPECT_EQ(state.m_strExtraArgs, GetParam().extraArgs);
    EXPECT_EQ(state.m_bNormalProcess, GetParam().normalProcess);
    EXPECT_EQ(state.m_bNoJavaError, GetParam().noJavaError);
}

INSTANTIATE_TEST_SUITE_P(EachOptionInAnyCase, RewriteTest, ::testing::Values(
    RewriteCase{{L"/norestart"}, L" \"-W\" \"rebootPanel.rebootSelected=False\"", false, false},
    RewriteCase{{L"/NoRestart"}, L" \"-W\" \"rebootPanel.rebootSelected=False\"", false, false},
    RewriteCase{{L"/silent"}, L" \"-W\" \"play.auto=YES\"", false, false},
    RewriteCase{{L"/SILENT"}, L" \"-W\" \"play.auto=YES\"", false, false},
    RewriteCase{{L"-Silent"}, L" \"-W\" \"play.auto=YES\"", false, false},
    RewriteCase{{L"/NOSHORTCUT"}, L" \"-W\" \"createdesktopshortcutswizardaction.active=False\"", false, false},
    RewriteCase{{L"/noWarning"}, L" \"-W\" \"play.nowarning=YES\"", false, false},
    RewriteCase{{L"/searchlanguage=de"}, L" \"-W\" \"play.searchLanguage=de\"", false, false},
    RewriteCase{{L"/SearchLanguage=FR"}, L" \"-W\" \"play.searchLanguage=FR\"", false, false},
    RewriteCase{{L"/normalprocess"}, L" ", true, false},
    RewriteCase{{L"/NormalProcess"}, L" ", true, false},
    RewriteCase{{L"/nojavaerror"}, L" ", false, true},
    RewriteCase{{L"/NOJAVAERROR"}, L" ", false, true}));

INSTANTIATE_TEST_SUITE_P(OnlyTheExactWord, RewriteTest, ::testing::Values(
    RewriteCase{{L"/silently"}, L" \"/silently\"", false, false},
    RewriteCase{{L"x/silent"}, L" \"x/silent\"", false, false},
    RewriteCase{{L"/norestart2"}, L" \"/norestart2\"", false, false},
    RewriteCase{{L"/noshortcuts"}, L" \"/noshortcuts\"", false, false},
    RewriteCase{{L"/nowarnings"}, L" \"/nowarnings\"", false, false},
    RewriteCase{{L"/normalprocess=1"}, L" \"/normalprocess=1\"", false, false},
    RewriteCase{{L"/nojavaerrors"}, L" \"/nojavaerrors\"", false, false},
    RewriteCase{{L"--silent"}, L" \"--silent\"", false, false},
    RewriteCase{{L"/searchlanguage"}, L" \"/searchlanguage\"", false, false}));

INSTANTIATE_TEST_SUITE_P(EachOptionOnce, RewriteTest, ::testing::Values(
    RewriteCase{{L"/silent", L"/silent"}, L" \"-W\" \"play.auto=YES\" ", false, false},
    RewriteCase{{L"/SILENT", L"-silent"}, L" \"-W\" \"play.auto=YES\" ", false, false},
    RewriteCase{{L"/noshortcut", L"x", L"/NOSHORTCUT"},
                L" \"-W\" \"createdesktopshortcutswizardaction.active=False\" \"x\" ", false, false},
    RewriteCase{{L"/nojavaerror", L"/NoJavaError"}, L"  ", false, true},
    // The last value, in the first one's place.
    RewriteCase{{L"/searchlanguage=a", L"x", L"/searchlanguage=b"},
                L" \"-W\" \"play.searchLanguage=b\" \"x\" ", false, false}));

// An option inside another word is that word's text, never an option.
INSTANTIATE_TEST_SUITE_P(NothingInsideAWord, RewriteTest, ::testing::Values(
    RewriteCase{{L"x\"/normalprocess", L"y"}, L" \"x\\\"/normalprocess\" \"y\"", false, false},
    RewriteCase{{L"a\" \"/silent"}, L" \"a\\\" \\\"/silent\"", false, false},
    RewriteCase{{L"\"/searchlanguage=de"}, L" \"\\\"/searchlanguage=de\"", false, false}));

INSTANTIATE_TEST_SUITE_P(MixedWords, RewriteTest, ::testing::Values(
    // Removed words leave their blank; other words keep their place.
    RewriteCase{{L"a", L"/normalprocess", L"b", L"/nojavaerror", L"c"}, L" \"a\"  \"b\"  \"c\"", true, true},
    // A word with a blank stays one quoted word.
    RewriteCase{{L"-W", L"play.logLocation=C:\\my logs"}, L" \"-W\" \"play.logLocation=C:\\my logs\"", false, false},
    // The caller's own property arguments pass unchanged.
    RewriteCase{{L"-W", L"play.auto=yes", L"/silent"}, L" \"-W\" \"play.auto=yes\" \"-W\" \"play.auto=YES\"", false,
                false},
    // Quotes and a closing backslash escaped, an empty word kept: each
    // reaches the installer as given.
    RewriteCase{{L"a\"b", L"C:\\dir\\", L""}, L" \"a\\\"b\" \"C:\\dir\\\\\" \"\"", false, false},
    RewriteCase{{}, L"", false, false}));

// The quoting rule both programs write their children's words by: whatever
// the word, the child's CommandLineToArgvW reads it back unchanged.
TEST(CommandLineWordsTest, EveryWordReadsBackAsGiven)
{
    const wchar_t* words[] = {L"plain",  L"C:\\Program Files\\Quarrix", L"", L"a\"b", L"a\\\"b",
                              L"trail\\", L"trail\\\\", L"\\\\server\\share\\", L"tab\there", L"\"",
                              L"\\\"", L"-Duser.language=fr -javaagent:x.jar"};
    for (const wchar_t* word : words) {
        for (const std::wstring& quoted : {common::QuotedWord(word), common::QuotedWordIfNeeded(word)}) {
            int count = 0;
            common::UniqueLocalMem read(::CommandLineToArgvW((L"p.exe " + quoted + L" next").c_str(), &count));
            ASSERT_EQ(count, 3) << testing::PrintToString(quoted);
            EXPECT_STREQ(static_cast<wchar_t**>(read.get())[1], word) << testing::PrintToString(quoted);
            EXPECT_STREQ(static_cast<wchar_t**>(read.get())[2], L"next");
        }
    }
    EXPECT_EQ(common::QuotedWordIfNeeded(L"C:\\dir\\"), L"C:\\dir\\") << "a word without blank or quote stays";
}

TEST(CommandLineWordsTest, QuotedProgramPathQuotesOnlyAPathWithABlankOrTab)
{
    EXPECT_EQ(common::QuotedProgramPath(L"C:\\M\\Setup.exe"), L"C:\\M\\Setup.exe");
    EXPECT_EQ(common::QuotedProgramPath(L"C:\\Media Dir\\Setup.exe"), L"\"C:\\Media Dir\\Setup.exe\"");
    EXPECT_EQ(common::QuotedProgramPath(L"C:\\a\tb\\x.exe"), L"\"C:\\a\tb\\x.exe\"");
}

TEST(TranslateArgumentsTest, LauncherOptionsAreTakenInAnyCaseAndTheLastWins)
{
    std::wstring name;
    const LauncherState state =
        Translate({L"/ENGLISH", L"/Language=fr", L"/language=de", L"/COUNTRY=ch", L"/country=AT"}, &name);
    EXPECT_TRUE(state.m_bEnglish);
    EXPECT_EQ(state.m_strLanguage, L"de");
    EXPECT_EQ(state.m_strCountry, L"AT");
    EXPECT_EQ(state.m_strExtraArgs, L"");
    EXPECT_EQ(name, L"");
}

TEST(TranslateArgumentsTest, EnglishMustBeTheWholeWord)
{
    const LauncherState state = Translate({L"/englishx"});
    EXPECT_FALSE(state.m_bEnglish);
    EXPECT_EQ(state.m_strExtraArgs, L" \"/englishx\"");
}

struct ExeNameCase {
    std::vector<const wchar_t*> words;
    const wchar_t* name;
    const wchar_t* extraArgs;
};

void PrintTo(const ExeNameCase& c, std::ostream* out)
{
    PrintWords(c.words, out);
}

class ExeNameTest : public ::testing::TestWithParam<ExeNameCase> {};

TEST_P(ExeNameTest, OnlyLowerCaseNamesTheProgram)
{
    std::wstring name;
    const LauncherState state = Translate(GetParam().words, &name);
    EXPECT_EQ(name, GetParam().name);
    EXPECT_EQ(state.m_strExtraArgs, GetParam().extraArgs);
}

INSTANTIATE_TEST_SUITE_P(Table, ExeNameTest, ::testing::Values(
    ExeNameCase{{L"/exename=Quarrix Setup"}, L"Quarrix Setup", L""},
    ExeNameCase{{L"/exename=a", L"/exename=b"}, L"b", L""},
    ExeNameCase{{L"/EXENAME=a"}, L"", L" \"/EXENAME=a\""},
    ExeNameCase{{L"/ExeName=a"}, L"", L" \"/ExeName=a\""},
    // Wherever the option stands, the name is what follows it.
    ExeNameCase{{L"x/exename=up"}, L"up", L""},
    ExeNameCase{{L"/exename="}, L"", L""}));

struct SplitCase {
    const wchar_t* programPath;
    const wchar_t* nameOverride;
    const wchar_t* folder;
    const wchar_t* programName;
};

void PrintTo(const SplitCase& c, std::ostream* out)
{
    PrintWords({c.programPath, c.nameOverride}, out);
}

class SplitProgramPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitProgramPathTest, FolderAndName)
{
    LauncherState state;
    state.m_strFolder = GetParam().programPath;
    launcher::SplitProgramPath(state, GetParam().nameOverride);
    EXPECT_EQ(state.m_strFolder, GetParam().folder);
    EXPECT_EQ(state.m_strProgramName, GetParam().programName);
}

INSTANTIATE_TEST_SUITE_P(Table, SplitProgramPathTest, ::testing::Values(
    SplitCase{L"C:\\media\\x64\\wendrel.exe", L"", L"C:\\media\\x64", L"wendrel.exe"},
    SplitCase{L"C:\\media\\wendrel.exe", L"Quarrix", L"C:\\media", L"Quarrix"},
    SplitCase{L"wendrel.exe", L"", L"wendrel.exe", L""},
    SplitCase{L"wendrel.exe", L"Quarrix", L"wendrel.exe", L"Quarrix"}));

struct LanguageCase {
    LANGID language;
    const wchar_t* code;
    const wchar_t* country;
};

void PrintTo(const LanguageCase& c, std::ostream* out)
{
    *out << "0x" << std::hex << c.language;
}

class DetectSystemLanguageTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(DetectSystemLanguageTest, CodesFromTheUiLanguage)
{
    LauncherState state;
    launcher::DetectSystemLanguage(state, GetParam().language);
    EXPECT_EQ(state.m_strSysLanguage, GetParam().code);
    EXPECT_EQ(state.m_strSysCountry, GetParam().country);
}

INSTANTIATE_TEST_SUITE_P(Table, DetectSystemLanguageTest, ::testing::Values(
    LanguageCase{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), L"zh", L"TW"},
    LanguageCase{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"zh", L""},
    LanguageCase{MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), L"cs", L""},
    LanguageCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"de", L""},
    LanguageCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), L"de", L"CH"},
    LanguageCase{MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), L"de", L""},
    LanguageCase{MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), L"el", L""},
    LanguageCase{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"en", L""},
    LanguageCase{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK), L"en", L""},
    LanguageCase{MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"es", L""},
    LanguageCase{MAKELANGID(LANG_FINNISH, SUBLANG_DEFAULT), L"fi", L""},
    LanguageCase{MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), L"fr", L""},
    LanguageCase{MAKELANGID(LANG_HUNGARIAN, SUBLANG_DEFAULT), L"hu", L""},
    LanguageCase{MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), L"it", L""},
    LanguageCase{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), L"ja", L""},
    LanguageCase{MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT), L"ko", L""},
    LanguageCase{MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), L"pl", L""},
    LanguageCase{MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), L"pt", L"BR"},
    LanguageCase{MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE), L"pt", L""},
    LanguageCase{MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), L"ru", L""},
    // Not in the table, although the launcher's messages exist in Turkish.
    LanguageCase{MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), L"", L""},
    LanguageCase{MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), L"", L""},
    LanguageCase{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), L"", L""}));

struct JavaArgumentsCase {
    const char* name;
    BOOL english;
    const wchar_t* language;
    const wchar_t* country;
    LANGID system;
    const wchar_t* withImage;
    const wchar_t* withoutImage;
};

void PrintTo(const JavaArgumentsCase& c, std::ostream* out)
{
    *out << c.name;
}

class BuildJavaArgumentsTest : public ::testing::TestWithParam<JavaArgumentsCase> {};

TEST_P(BuildJavaArgumentsTest, BothForms)
{
    LauncherState state;
    state.m_bEnglish = GetParam().english;
    state.m_strLanguage = GetParam().language;
    state.m_strCountry = GetParam().country;
    state.m_strExtraArgs = L" \"-W\" \"play.auto=YES\"";
    launcher::DetectSystemLanguage(state, GetParam().system);
    const std::wstring splash = L"-splash:\"C:\\m\\archive.gif\"";
    const std::wstring jar = L"-jar \"C:\\m\\archive.jar\" \"-W\" \"play.auto=YES\"";
    EXPECT_EQ(launcher::BuildJavaArguments(state, true, L"C:\\m\\archive.gif", L"C:\\m\\archive.jar"),
              splash + GetParam().withImage + jar);
    EXPECT_EQ(launcher::BuildJavaArguments(state, false, L"C:\\m\\archive.gif", L"C:\\m\\archive.jar"),
              GetParam().withoutImage + jar);
}

const LANGID kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kTurkish = MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT);

INSTANTIATE_TEST_SUITE_P(Table, BuildJavaArgumentsTest, ::testing::Values(
    JavaArgumentsCase{"NoOptionsEnglishSystem", FALSE, L"", L"", kEnglishUs, L" -Duser.language=en ",
                      L"-Duser.language=en "},
    JavaArgumentsCase{"NoOptionsUnknownSystem", FALSE, L"", L"", kTurkish, L" ", L""},
    JavaArgumentsCase{"EnglishOption", TRUE, L"fr", L"CA", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS),
                      L" -Duser.language=en ", L"-Duser.language=en "},
    // Options first with the image, the system first without it.
    JavaArgumentsCase{"LanguageOptionEnglishSystem", FALSE, L"de", L"", kEnglishUs, L" -Duser.language=de ",
                      L"-Duser.language=en "},
    JavaArgumentsCase{"LanguageAndCountryOptions", FALSE, L"fr", L"CA", kEnglishUs,
                      L" -Duser.language=fr -Duser.country=CA ", L"-Duser.language=en "},
    JavaArgumentsCase{"CountryOptionOnly", FALSE, L"", L"CA", kEnglishUs, L" -Duser.language=en -Duser.country=CA ",
                      L"-Duser.language=en "},
    JavaArgumentsCase{"OptionsOnUnknownSystem", FALSE, L"fr", L"CA", kTurkish,
                      L" -Duser.language=fr -Duser.country=CA ", L"-Duser.language=fr -Duser.country=CA "},
    JavaArgumentsCase{"CountryWithoutLanguageOnUnknownSystem", FALSE, L"", L"CA", kTurkish, L" -Duser.country=CA ",
                      L""},
    JavaArgumentsCase{"SwissGerman", FALSE, L"", L"", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS),
                      L" -Duser.language=de -Duser.country=CH ", L"-Duser.language=de -Duser.country=CH "},
    JavaArgumentsCase{"Taiwan", FALSE, L"", L"", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL),
                      L" -Duser.language=zh -Duser.country=TW ", L"-Duser.language=zh -Duser.country=TW "},
    JavaArgumentsCase{"Brazil", FALSE, L"", L"", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
                      L" -Duser.language=pt -Duser.country=BR ", L"-Duser.language=pt -Duser.country=BR "},
    JavaArgumentsCase{"BrazilWithCountryOption", FALSE, L"", L"PT",
                      MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
                      L" -Duser.language=pt -Duser.country=PT ", L"-Duser.language=pt -Duser.country=BR "},
    // A value never becomes a Java option of its own.
    JavaArgumentsCase{"ValuesWithABlankOrQuoteStayOneWord", FALSE, L"fr -javaagent:x.jar", L"C\"A", kTurkish,
                      L" \"-Duser.language=fr -javaagent:x.jar\" \"-Duser.country=C\\\"A\" ",
                      L"\"-Duser.language=fr -javaagent:x.jar\" \"-Duser.country=C\\\"A\" "}),
    [](const ::testing::TestParamInfo<JavaArgumentsCase>& info) { return std::string(info.param.name); });

}  // namespace
