// The list of media files a signed program carries: what parses, and how a
// found file is compared with its entry.

#include "common/media_list.h"

#include <gtest/gtest.h>

namespace {

using common::MediaList;

const std::string kDigest = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

struct ParseRow {
    const char* what;
    std::string text;
    size_t entries;  // SIZE_MAX: refused
};

TEST(MediaList, ParsesWellFormedListsAndRefusesAnythingElse)
{
    const ParseRow rows[] = {
        {"empty list", "", 0},
        {"two files", kDigest + " 12 Setup.config\n" + kDigest + " 0 Windows64\\Setup.exe\n", 2},
        {"a blank in the path", kDigest + " 5 JVM\\jre 8 setup.exe\n", 1},
        {"no final line end", kDigest + " 12 Setup.config", SIZE_MAX},
        {"upper-case digest", "00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff 1 a\n", SIZE_MAX},
        {"short digest", kDigest.substr(2) + " 1 a\n", SIZE_MAX},
        {"size with a leading zero", kDigest + " 012 a\n", SIZE_MAX},
        {"size not a number", kDigest + " 1k a\n", SIZE_MAX},
        {"no path", kDigest + " 12\n", SIZE_MAX},
        {"empty path", kDigest + " 12 \n", SIZE_MAX},
        {"climbing path", kDigest + " 1 Windows64\\..\\Evil.exe\n", SIZE_MAX},
        {"absolute path", kDigest + " 1 \\Windows\\Evil.exe\n", SIZE_MAX},
        {"drive", kDigest + " 1 C:Evil.exe\n", SIZE_MAX},
        {"forward slash", kDigest + " 1 Windows64/Setup.exe\n", SIZE_MAX},
        {"carriage return", kDigest + " 1 Setup.config\r\n", SIZE_MAX},
        {"a path twice, in other letter case", kDigest + " 1 archive.jar\n" + kDigest + " 1 ARCHIVE.JAR\n", SIZE_MAX},
    };
    for (const ParseRow& row : rows) {
        const auto list = common::ParseMediaList(row.text);
        EXPECT_EQ(list ? list->size() : SIZE_MAX, row.entries) << row.what;
    }
    const auto list = common::ParseMediaList(kDigest + " 4294967296 JVM\\jre 8 setup.exe\n");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at(0).path, L"JVM\\jre 8 setup.exe");
    EXPECT_EQ(list->at(0).size, 4294967296ull);
    EXPECT_EQ(common::HexDigest(list->at(0).digest), std::wstring(kDigest.begin(), kDigest.end()));
}

TEST(MediaList, FindsEntriesIgnoringLetterCaseAndNamesWhatDiffers)
{
    const auto list = common::ParseMediaList(kDigest + " 3 Setup.config\n" + kDigest + " 7 JVM\\jre-setup.exe\n" +
                                             kDigest + " 9 Windows64\\Setup.exe\n");
    ASSERT_TRUE(list);
    EXPECT_EQ(common::FindMediaFile(*list, L"windows64\\SETUP.EXE"), &list->at(2));
    EXPECT_EQ(common::FindMediaFile(*list, L"Windows64\\Setup.ex"), nullptr);
    EXPECT_EQ(common::FindMediaFile(*list, L"JVM"), nullptr);
    EXPECT_EQ(common::FirstMediaFileIn(*list, L"jvm"), &list->at(1));
    EXPECT_EQ(common::FirstMediaFileIn(*list, L"Windows"), nullptr);

    const common::MediaFile& listed = list->at(0);
    common::Sha256Digest other = listed.digest;
    other[31] ^= 1;
    EXPECT_EQ(common::DescribeDifference(listed, 3, listed.digest), L"");
    EXPECT_EQ(common::DescribeDifference(listed, 4, listed.digest), L"size 4 bytes instead of 3");
    EXPECT_EQ(common::DescribeDifference(listed, 3, other),
              L"SHA-256 00112233445566778899aabbccddeeff00112233445566778899aabbccddeefe instead of "
              L"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
}

}  // namespace
