// The built Setup.exe's resources, read block by block: the string table in
// each of its 27 languages, the status dialog's template, the manifest and
// the icon.

#include "setup/resources/resource.h"

#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <map>
#include <set>

namespace {

using namespace testing_support;

class SetupResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module.reset(::LoadLibraryExW(DistPath(L"Setup.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_module) << "cannot load Setup.exe";
    }

    std::string Bytes(LPCWSTR type, LPCWSTR name, WORD language)
    {
        return ResourceInLanguage(m_module.get(), type, name, language);
    }

    // Strings 96 to 111 of one language.
    std::map<int, std::wstring> Block7(WORD language)
    {
        return StringTableBlock(Bytes(RT_STRING, MAKEINTRESOURCEW(7), language), 7);
    }

    common::UniqueLibrary m_module;
};

const WORD kLanguages[] = {2,  5,  6,  7,  8,  9,  11, 12, 14,   16,   19,   20,   21,   24,
                           25, 26, 27, 29, 31, 36, 1028, 1041, 1042, 1046, 2052, 2070, 3082};

TEST_F(SetupResourcesTest, EnglishTextsAreExact)
{
    const auto english = Block7(9);
    const std::map<int, std::wstring> expected = {
        {102, L"Checking installed Java Runtime Environments. Please wait..."},
        {103, L"Installing Java Runtime Environment. Please wait..."},
        {104, L"Starting installer..."},
        {105, L"Java Runtime Environment installer is not found or Setup.config configuration file is not correct."},
        {106, L"Installation cannot be started. Please check the installation files."},
        {107, L"Setup"},
        {108, L"You are not logged in as a member of the Administrator group.\nClose this dialog, consult with your "
              L"system administrator and start the installer again."},
    };
    EXPECT_EQ(english, expected);
}

TEST_F(SetupResourcesTest, EveryLanguageBlockIsCompleteAndTranslated)
{
    const auto english = Block7(9);
    for (WORD language : kLanguages) {
        const auto strings = Block7(language);
        ASSERT_EQ(strings.size(), 7u) << "language " << language;
        EXPECT_EQ(strings.begin()->first, 102) << "language " << language;
        EXPECT_EQ(strings.rbegin()->first, 108) << "language " << language;
        EXPECT_NE(strings.at(105).find(L"Setup.config"), std::wstring::npos) << "language " << language;
        EXPECT_NE(strings.at(108).find(L'\n'), std::wstring::npos) << "language " << language;
        if (language != 9) {
            for (int id : {102, 103, 104, 106, 108}) {
                EXPECT_NE(strings.at(id), english.at(id)) << "language " << language << " id " << id;
            }
        }
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::set<WORD>*>(found)->insert(language);
    return TRUE;
}

TEST_F(SetupResourcesTest, TheTableHasExactlyTheShippedLanguages)
{
    // The lookup falls back between languages, so a missing block would not
    // show above; and a neutral block would hide the translations.
    std::set<WORD> found;
    ::EnumResourceLanguagesW(m_module.get(), RT_STRING, MAKEINTRESOURCEW(7), &CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(found, std::set<WORD>(std::begin(kLanguages), std::end(kLanguages)));
}

TEST_F(SetupResourcesTest, TheStatusDialogTemplateIsExact)
{
    const std::string bytes = Bytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_SETUP_DIALOG), 0);
    ASSERT_GE(bytes.size(), 26u);
    const char* p = bytes.data();
    auto word = [&](size_t at) {
        WORD w;
        std::memcpy(&w, p + at, 2);
        return w;
    };
    auto dword = [&](size_t at) {
        DWORD d;
        std::memcpy(&d, p + at, 4);
        return d;
    };
    EXPECT_EQ(word(0), 1);        // extended template
    EXPECT_EQ(word(2), 0xFFFF);
    EXPECT_EQ(dword(8), 0x00040000u);  // WS_EX_APPWINDOW
    EXPECT_EQ(dword(12), 0x90880048u);
    EXPECT_EQ(word(16), 1);       // one control
    EXPECT_EQ(word(18), 0);
    EXPECT_EQ(word(20), 0);
    EXPECT_EQ(word(22), 160);
    EXPECT_EQ(word(24), 54);
    size_t at = 26;
    EXPECT_EQ(word(at), 0);       // no menu
    EXPECT_EQ(word(at + 2), 0);   // default class
    EXPECT_EQ(word(at + 4), 0);   // empty title
    at += 6;
    EXPECT_EQ(word(at), 8);       // points
    EXPECT_EQ(word(at + 2), 400);
    EXPECT_EQ(static_cast<BYTE>(p[at + 4]), 0);
    EXPECT_EQ(static_cast<BYTE>(p[at + 5]), 1);
    at += 6;
    const std::wstring face(reinterpret_cast<const wchar_t*>(p + at));
    EXPECT_EQ(face, L"MS Shell Dlg");
    at += (face.size() + 1) * 2;
    at = (at + 3) & ~static_cast<size_t>(3);
    ASSERT_GE(bytes.size(), at + 30);
    EXPECT_EQ(dword(at + 4), 0u);              // extended style
    EXPECT_EQ(dword(at + 8), 0x50020001u);
    EXPECT_EQ(word(at + 12), 7);
    EXPECT_EQ(word(at + 14), 7);
    EXPECT_EQ(word(at + 16), 146);
    EXPECT_EQ(word(at + 18), 39);
    EXPECT_EQ(dword(at + 20), static_cast<DWORD>(IDC_STATUS_TEXT));
    EXPECT_EQ(word(at + 24), 0xFFFF);
    EXPECT_EQ(word(at + 26), 0x0082);          // STATIC
    EXPECT_EQ(word(at + 28), 0);               // empty text
}

TEST_F(SetupResourcesTest, TheManifestAsksForAdministratorsAndNamesTheSystems)
{
    const std::string manifest = Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1), 0);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos);
    for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << id;
    }
}

TEST_F(SetupResourcesTest, TheIconIsThere)
{
    EXPECT_NE(::FindResourceW(m_module.get(), MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
}

}  // namespace
