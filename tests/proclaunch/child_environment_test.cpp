// The launcher's child environment as text: which variables are replaced,
// the prepared texts and their limit, and a block sized from what is written.

#include "proclaunch/child_environment.h"

#include "proclaunch/launch_heap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using proclaunch::PreparedVariables;

PreparedVariables Prepared(const std::wstring& tempFolder)
{
    PreparedVariables prepared;
    EXPECT_TRUE(proclaunch::PrepareVariables(tempFolder, &prepared));
    return prepared;
}

TEST(ChildEnvironmentTest, PreparedTextsNameTheGivenFolder)
{
    const PreparedVariables prepared = Prepared(L"C:\\windows\\Temp\\wendrel-1\\Temp");
    EXPECT_EQ(prepared.temp, L"TEMP=C:\\windows\\Temp\\wendrel-1\\Temp");
    EXPECT_EQ(prepared.tmp, L"TMP=C:\\windows\\Temp\\wendrel-1\\Temp");
}

TEST(ChildEnvironmentTest, PreparedTextOverOneHundredUnitsIsRefused)
{
    // "TEMP=" + folder and its terminator: 94 units of folder fill 100.
    PreparedVariables prepared;
    const std::wstring fits = L"C:\\" + std::wstring(91, L'r');
    ASSERT_EQ(fits.size(), 94u);
    EXPECT_TRUE(proclaunch::PrepareVariables(fits, &prepared));
    EXPECT_EQ(prepared.temp.size() + 1, proclaunch::kPreparedVariableUnits);

    PreparedVariables untouched;
    untouched.temp = L"before";
    EXPECT_FALSE(proclaunch::PrepareVariables(fits + L"r", &untouched));
    EXPECT_EQ(untouched.temp, L"before");
}

struct ReplacementCase {
    const wchar_t* variable;
    const wchar_t* replacement;  // null: the variable stays
};

TEST(ChildEnvironmentTest, PrefixesMatchInAnyLetterCaseAndOnlyUpToTheEqualsSign)
{
    const PreparedVariables prepared = Prepared(L"C:\\windows\\Temp");
    const ReplacementCase cases[] = {
        {L"TEMP=C:\\x", L"TEMP=C:\\windows\\Temp"},
        {L"Temp=C:\\x", L"TEMP=C:\\windows\\Temp"},
        {L"tEmP=", L"TEMP=C:\\windows\\Temp"},
        {L"TMP=C:\\y", L"TMP=C:\\windows\\Temp"},
        {L"tmp=C:\\y", L"TMP=C:\\windows\\Temp"},
        {L"JAVA_TOOL_OPTIONS=-Xmx1g", L"JAVA_TOOL_OPTIONS="},
        {L"java_tool_options=", L"JAVA_TOOL_OPTIONS="},
        {L"TEMPDIR=C:\\z", nullptr},
        {L"TEMPERATURE=hot", nullptr},
        {L"TMPX=1", nullptr},
        {L"XTEMP=1", nullptr},
        {L"TEMP", nullptr},
        {L"JAVA_TOOL_OPTIONS_X=1", nullptr},
        {L"_JAVA_OPTIONS=-javaagent:x.jar", L"_JAVA_OPTIONS="},
        {L"JDK_JAVA_OPTIONS=--add-opens=x", L"JDK_JAVA_OPTIONS="},
        {L"classpath=C:\\x.jar", L"CLASSPATH="},
        {L"CLASSPATHS=1", nullptr},
        {L"JAVA_OPTIONS=1", nullptr},
        {L"=C:=C:\\work", nullptr},
        {L"T\u0415MP=1", nullptr},  // a Cyrillic E
    };
    for (const auto& c : cases) {
        const std::wstring* replacement = proclaunch::ReplacementFor(c.variable, prepared);
        if (c.replacement == nullptr) {
            EXPECT_EQ(replacement, nullptr) << testing::PrintToString(std::wstring(c.variable));
        } else {
            ASSERT_NE(replacement, nullptr) << testing::PrintToString(std::wstring(c.variable));
            EXPECT_EQ(*replacement, c.replacement);
        }
    }
}

std::wstring Block(const std::vector<std::wstring>& variables)
{
    std::wstring block;
    for (const auto& variable : variables) {
        block += variable;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

struct BlockCase {
    const char* label;
    std::wstring tempFolder;
    std::vector<std::wstring> parent;
    std::vector<std::wstring> child;
};
void PrintTo(const BlockCase& c, std::ostream* out) { *out << c.label; }

class ChildEnvironmentBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ChildEnvironmentBlockTest, KeepsOrderReplacesAndIsSizedExactly)
{
    const PreparedVariables prepared = Prepared(GetParam().tempFolder);
    const std::wstring parent = Block(GetParam().parent);
    const std::wstring expected = Block(GetParam().child);

    const size_t units = proclaunch::ChildEnvironmentUnits(parent.c_str(), prepared);
    EXPECT_EQ(units, expected.size());
    // A guard after the block shows any unit written past the computed size.
    std::vector<wchar_t> out(units + 8, L'#');
    const long outstanding = proclaunch::OutstandingLaunchBlocks();
    ASSERT_TRUE(proclaunch::WriteChildEnvironment(parent.c_str(), prepared, out.data()));
    EXPECT_EQ(std::wstring(out.data(), units), expected);
    EXPECT_EQ(std::wstring(out.data() + units, 8), std::wstring(8, L'#'));
    EXPECT_EQ(proclaunch::OutstandingLaunchBlocks(), outstanding) << "every staging copy is freed";
}

const std::wstring kLongTemp = L"C:\\" + std::wstring(91, L'r');

INSTANTIATE_TEST_SUITE_P(Blocks, ChildEnvironmentBlockTest, ::testing::Values(
    BlockCase{"AllReplacedInPlace", L"C:\\windows\\Temp",
              {L"=C:=C:\\work", L"Path=C:\\bin", L"TEMP=C:\\t", L"tmp=C:\\t2", L"JAVA_TOOL_OPTIONS=-Xmx1g",
               L"_JAVA_OPTIONS=-javaagent:x.jar", L"TEMPERATURE=hot", L"Z=1"},
              {L"=C:=C:\\work", L"Path=C:\\bin", L"TEMP=C:\\windows\\Temp", L"TMP=C:\\windows\\Temp",
               L"JAVA_TOOL_OPTIONS=", L"_JAVA_OPTIONS=", L"TEMPERATURE=hot", L"Z=1"}},
    BlockCase{"AbsentOnesAreNotAdded", L"C:\\windows\\Temp", {L"A=1", L"B=2"}, {L"A=1", L"B=2"}},
    BlockCase{"OnlyJavaToolOptions", L"C:\\windows\\Temp", {L"java_tool_options=-verbose"}, {L"JAVA_TOOL_OPTIONS="}},
    BlockCase{"ShortValuesLongFolderGrowsTheBlock", kLongTemp, {L"TEMP=a", L"TMP=b", L"X=y"},
              {L"TEMP=" + kLongTemp, L"TMP=" + kLongTemp, L"X=y"}},
    // A parent may hand over a block with the same name in several cases;
    // each copy grows, far past any fixed slack.
    BlockCase{"RepeatedNamesEachGrow", kLongTemp, {L"TEMP=", L"Temp=", L"temp=", L"TMP=", L"Tmp="},
              {L"TEMP=" + kLongTemp, L"TEMP=" + kLongTemp, L"TEMP=" + kLongTemp,
               L"TMP=" + kLongTemp, L"TMP=" + kLongTemp}}),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.label); });

TEST(ChildEnvironmentTest, StagingCopyWithoutMemoryStopsTheBlockAndFreesWhatItTook)
{
    const PreparedVariables prepared = Prepared(L"C:\\windows\\Temp");
    const std::wstring parent = Block({L"A=1", L"TEMP=x", L"B=2"});
    std::vector<wchar_t> out(proclaunch::ChildEnvironmentUnits(parent.c_str(), prepared));
    const long outstanding = proclaunch::OutstandingLaunchBlocks();
    proclaunch::FailLaunchAllocationForTests(2);
    EXPECT_FALSE(proclaunch::WriteChildEnvironment(parent.c_str(), prepared, out.data()));
    proclaunch::FailLaunchAllocationForTests(0);
    EXPECT_EQ(proclaunch::OutstandingLaunchBlocks(), outstanding);
}

}  // namespace
