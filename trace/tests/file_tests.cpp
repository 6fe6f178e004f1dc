#include "test_util.h"

#include "platform/system.h"

#include <gtest/gtest.h>

using namespace trace;
using namespace trace_test;

TEST(TraceFile, NarrowRewritesUtf16FileAsUtf8WithoutMarkThenAppends) {
    testsupport::TempFolder dir("trace_test");
    const std::string path = dir.File("q5.log");
    std::ofstream(path, std::ios::binary) << "\xFF\xFE" + Utf16Le(u"old \u00e4 \u20ac\r\n");
    CAppenderFile<char> file;
    ASSERT_TRUE(file.SetPath(path.c_str()));
    for (const char* line : {"new\r\n", "more\r\n"}) { // the second Open keeps UTF-8 as it is
        EXPECT_TRUE(file.Open());
        EXPECT_TRUE(file.Write(line));
        file.Close();
    }
    EXPECT_EQ("old \xC3\xA4 \xE2\x82\xAC\r\nnew\r\nmore\r\n", ReadBytes(path));
}

TEST(TraceFile, WideRewritesNarrowFileAsUtf16WithMarkAndMarksEmptyFiles) {
    testsupport::TempFolder dir("trace_test");
    const std::string path = dir.File("app.log");
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBFold \xC3\xA4\r\n"; // UTF-8 mark dropped
    CAppenderFile<wchar_t> file;
    ASSERT_TRUE(file.SetPath(platform::Utf8ToWide(path).c_str()));
    for (const wchar_t* line : {L"new \u20ac\r\n", L"\U0001F4F7\r\n"}) { // UTF-16 stays
        EXPECT_TRUE(file.Open());
        EXPECT_TRUE(file.Write(line));
        file.Close();
    }
    EXPECT_EQ("\xFF\xFE" + Utf16Le(u"old \u00e4\r\nnew \u20ac\r\n\U0001F4F7\r\n"), ReadBytes(path));

    std::ofstream(dir.File("empty.log"));
    for (const char* name : {"empty.log", "new \xE2\x82\xAC.log"}) {
        CAppenderFile<wchar_t> other;
        other.SetPath(platform::Utf8ToWide(dir.File(name)).c_str());
        EXPECT_TRUE(other.Open());
        other.Close();
        EXPECT_EQ("\xFF\xFE", ReadBytes(dir.File(name))) << name;
    }
}

TEST(TraceFile, MissingFolderOrOverlongPathWritesNothingAndBreaksNothing) {
    testsupport::TempFolder dir("trace_test");
    CAppenderFile<char> file;
    ASSERT_TRUE(file.SetPath(dir.File("missing/q5.log").c_str()));
    EXPECT_TRUE(file.Open());
    EXPECT_FALSE(file.Write("line\r\n"));
    EXPECT_EQ("", ReadBytes(dir.File("missing/q5.log")));

    const std::string longest = dir.File(std::string(kPathChars - 1 - dir.File("").size(), 'p'));
    EXPECT_FALSE(file.SetPath((longest + "p").c_str()));
    EXPECT_STREQ("", file.Path());
    EXPECT_FALSE(file.Open());
    EXPECT_TRUE(file.SetPath(longest.c_str())); // fits; the file system then refuses the name
    EXPECT_TRUE(file.Open());

    CAppenderFile<wchar_t> wide;
    EXPECT_FALSE(wide.SetPath(std::wstring(kPathChars, L'\u20ac').c_str()));
    EXPECT_TRUE(wide.SetPath(std::wstring(kPathChars - 1, L'\u20ac').c_str()));
    EXPECT_TRUE(wide.Open());
    EXPECT_FALSE(wide.Write(L"x\r\n"));
}
