// The built launcher's resources, read block by block: Wine picks the
// neutral block whatever the UI language, so each language is read directly.

#include "launcher/resources/resource.h"

#include "common/unique_resource.h"
#include "launcher/zip/core/zip_archive.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace {

using namespace testing_support;

class LauncherResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module.reset(::LoadLibraryExW(DistPath(L"wendrel.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(m_module) << "cannot load wendrel.exe";
    }

    std::string Bytes(LPCWSTR type, LPCWSTR name, WORD language)
    {
        return ResourceInLanguage(m_module.get(), type, name, language);
    }

    // Strings 0 to 15 of one language block.
    std::map<int, std::wstring> FirstStringBlock(WORD language)
    {
        return StringTableBlock(Bytes(RT_STRING, MAKEINTRESOURCEW(1), language), 1);
    }

    common::UniqueLibrary m_module;
};

struct LanguageBlock {
    const char* name;
    WORD language;
    const wchar_t* caption;   // message 5
    const wchar_t* button;    // message 6
};

const LanguageBlock kLanguages[] = {
    {"Neutral", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), L"Error!", L"OK"},
    {"Czech", MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), L"Chyba!", L"OK"},
    {"German", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Fehler!", L"OK"},
    {"Greek", MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), L"Σφάλμα!", L"OK"},
    {"English", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"Error!", L"OK"},
    {"Spanish", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"¡Error!", L"Aceptar"},
    {"Finnish", MAKELANGID(LANG_FINNISH, SUBLANG_DEFAULT), L"Virhe!", L"OK"},
    {"French", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"Erreur !", L"OK"},
    {"Hungarian", MAKELANGID(LANG_HUNGARIAN, SUBLANG_DEFAULT), L"Hiba!", L"OK"},
    {"Italian", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), L"Errore!", L"OK"},
    {"Polish", MAKELANGID(LANG_POLISH, SUBLANG_DEFAULT), L"Błąd!", L"OK"},
    {"Russian", MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), L"Ошибка!", L"ОК"},
    {"Turkish", MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), L"Hata!", L"Tamam"},
    {"ChineseTaiwan", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), L"錯誤！", L"確定"},
    {"Japanese", MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), L"エラー!", L"OK"},
    {"Korean", MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT), L"오류!", L"확인"},
    {"PortugueseBrazil", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), L"Erro!", L"OK"},
    {"ChinesePrc", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"错误！", L"确定"},
    {"PortuguesePortugal", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE), L"Erro!", L"OK"},
};

void PrintTo(const LanguageBlock& block, std::ostream* out)
{
    *out << block.name;
}

class LanguageBlockTest : public LauncherResourcesTest, public ::testing::WithParamInterface<LanguageBlock> {};

TEST_P(LanguageBlockTest, CarriesEveryMessage)
{
    const auto strings = FirstStringBlock(GetParam().language);
    ASSERT_EQ(strings.size(), 5u) << "ids 1, 2, 4, 5 and 6";
    const std::wstring& javaError = strings.at(IDS_JAVA_ERROR);
    const size_t lineBreak = javaError.find(L'\n');
    ASSERT_NE(lineBreak, std::wstring::npos);
    EXPECT_EQ(javaError.find(L'\n', lineBreak + 1), std::wstring::npos) << "two lines";
    EXPECT_EQ(javaError.find(L'\r'), std::wstring::npos);
    EXPECT_NE(javaError.find(L"Java Runtime Environment"), std::wstring::npos);
    EXPECT_NE(javaError.find(L"https://", lineBreak), std::wstring::npos) << "the address is on the second line";
    const std::wstring& missing = strings.at(IDS_FILE_MISSING);
    EXPECT_NE(missing.find(L"\"%1\""), std::wstring::npos);
    EXPECT_EQ(missing.find(L"%", missing.find(L"%1") + 1), std::wstring::npos) << "one placeholder";
    EXPECT_EQ(strings.at(IDS_PRODUCT_ID), L"" WENDREL_PRODUCT_ID);
    EXPECT_EQ(strings.at(IDS_JAVA_ERROR_CAPTION), GetParam().caption);
    EXPECT_EQ(strings.at(IDS_JAVA_ERROR_OK), GetParam().button);
}

INSTANTIATE_TEST_SUITE_P(AllNineteen, LanguageBlockTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<LanguageBlock>& info) { return info.param.name; });

TEST_F(LauncherResourcesTest, EnglishAndNeutralAreTheSameAndTheTextsAreExact)
{
    const auto neutral = FirstStringBlock(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    EXPECT_EQ(neutral, FirstStringBlock(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    ASSERT_EQ(neutral.size(), 5u);
    EXPECT_TRUE(std::regex_match(
        neutral.at(IDS_JAVA_ERROR),
        std::wregex(L"Java Runtime Environment in your system does not match the requirements of the installer or it "
                    L"is not installed properly\\.\nhttps://[^ ]+ for more information\\.")));
    EXPECT_EQ(neutral.at(IDS_FILE_MISSING), L"\"%1\" file is missing.");
}

TEST_F(LauncherResourcesTest, ProductIdentifierIs32HexDigitsAndR1)
{
    EXPECT_TRUE(std::regex_match(std::string(WENDREL_PRODUCT_ID), std::regex("[0-9A-F]{32}-R1")));
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context)
{
    reinterpret_cast<std::vector<WORD>*>(context)->push_back(language);
    return TRUE;
}

TEST_F(LauncherResourcesTest, EveryLanguageBlockIsOneOfTheNineteen)
{
    std::vector<WORD> found;
    ::EnumResourceLanguagesW(m_module.get(), RT_STRING, MAKEINTRESOURCEW(1), &CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&found));
    EXPECT_EQ(found.size(), std::size(kLanguages));
}

TEST_F(LauncherResourcesTest, WarningBitmapIs31By28With8BitsPerPixel)
{
    const std::string bitmap = Bytes(RT_BITMAP, MAKEINTRESOURCEW(IDB_JAVA_WARNING), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    memcpy(&header, bitmap.data(), sizeof(header));
    EXPECT_EQ(header.biWidth, 31);
    EXPECT_EQ(header.biHeight, 28);
    EXPECT_EQ(header.biBitCount, 8);
}

TEST_F(LauncherResourcesTest, DialogTemplatesAndIcon)
{
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    EXPECT_FALSE(Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME), neutral).empty());
    const std::string main = Bytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_LAUNCHER), neutral);
    const std::string error = Bytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_JAVA_ERROR), neutral);
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, then help id, styles, count, x, y, cx, cy.
    struct Header {
        WORD version, signature;
        DWORD helpId, exStyle, style;
        WORD items;
        short x, y, cx, cy;
    } __attribute__((packed));
    for (const auto& [bytes, items, cx, cy] :
         {std::tuple<std::string, int, int, int>{main, 0, 5, 5}, {error, 4, 305, 71}}) {
        ASSERT_GE(bytes.size(), sizeof(Header));
        Header header;
        memcpy(&header, bytes.data(), sizeof(header));
        EXPECT_EQ(header.signature, 0xFFFF);
        EXPECT_EQ(header.items, items);
        EXPECT_EQ(header.cx, cx);
        EXPECT_EQ(header.cy, cy);
        EXPECT_TRUE(header.style & WS_POPUP);
    }
}

TEST_F(LauncherResourcesTest, ShipsWithoutEmbeddedArchiveOrRuntimeInstaller)
{
    for (WORD id : {IDR_EMBEDDED_ARCHIVE, IDR_RUNTIME_INSTALLER}) {
        EXPECT_EQ(::FindResourceW(m_module.get(), MAKEINTRESOURCEW(id), RT_RCDATA), nullptr) << id;
    }
}

TEST_F(LauncherResourcesTest, PrivateRuntimeIsAnArchiveWhoseJavawIsTheRecordingStandIn)
{
    // The build's default runtime archive; a release build names its own.
    const std::string archiveBytes =
        Bytes(RT_RCDATA, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(archiveBytes.empty());
    std::unique_ptr<zip::ZipArchive> archive;
    ASSERT_EQ(zip::ZipArchive::Open(std::make_unique<zip::MemorySource>(archiveBytes.data(), archiveBytes.size()),
                                    &archive),
              zip::ZipOk);
    bool found = false;
    for (int index = 0; index < archive->entryCount(); ++index) {
        zip::ZipEntryRecord entry;
        ASSERT_EQ(archive->GetEntry(index, &entry), zip::ZipOk);
        if (entry.name == "bin/javaw.exe") {
            zip::MemorySink javaw;
            EXPECT_EQ(archive->WriteEntry(index, javaw), zip::ZipOk);
            EXPECT_TRUE(javaw.bytes() == ReadBytes(StandinPath(L"recorder.exe")));
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
