#include "test_util.h"

#include "platform/system.h"

#include <gtest/gtest.h>

using namespace trace;
using namespace trace_test;

TEST(TraceFormat, LineIsStampColonMessageCrlfInBothVariants) {
    std::tm t{};
    FixedTime(&t);
    char stamp[kStampChars];
    FormatTimeStamp(t, stamp, sizeof stamp);
    EXPECT_STREQ("[03/05(2010),08:07:06]", stamp);

    MemoryAppender<char> a; // outlives the sink, which closes it
    TTrace<char> narrow;
    narrow.SetTimeSource(FixedTime);
    narrow.AddAppender(&a);
    Log(narrow, Formats<char>::kEntry, "DriverInit", "..\\src\\q5_usb.cpp", 42);
    EXPECT_EQ("[03/05(2010),08:07:06]: DriverInit(), file:..\\src\\q5_usb.cpp line:42\r\n",
              a.lines.at(0));

    MemoryAppender<wchar_t> w;
    TTrace<wchar_t> wide;
    wide.SetTimeSource(FixedTime);
    wide.AddAppender(&w);
    Log(wide, L"%ls and %s %d", L"\u00e4 wide", "narrow", 7);
    EXPECT_EQ(L"[03/05(2010),08:07:06]: \u00e4 wide and narrow 7\r\n", w.lines.at(0));
}

TEST(TraceFormat, OverlongMessageIsCutAndLineStillEndsCrlf) {
    // The longest message that fits whole: line = stamp (22) + ": " + message + "\r\n".
    const size_t fits = kLineChars - 1 - 26;
    MemoryAppender<char> a;
    TTrace<char> narrow;
    narrow.AddAppender(&a);
    for (size_t len : {fits, fits + 1, size_t(5000)}) {
        Log(narrow, "%s", std::string(len, 'x').c_str());
        EXPECT_EQ(std::min(len, fits) + 26, a.lines.back().size()) << len;
        EXPECT_TRUE(a.lines.back().ends_with("x\r\n")) << len;
    }
    // A cut never leaves half a UTF-8 character (an a-umlaut is two bytes).
    std::string umlauts;
    for (int i = 0; i < 1500; ++i) {
        umlauts += "\xC3\xA4";
    }
    for (const char* shift : {"", "y"}) {
        Log(narrow, "%s%s", shift, umlauts.c_str());
        EXPECT_TRUE(a.lines.back().ends_with("\xC3\xA4\r\n"));
        EXPECT_EQ(std::u16string::npos, platform::Utf8ToUtf16(a.lines.back()).find(u'\uFFFD'));
    }

    MemoryAppender<wchar_t> w;
    TTrace<wchar_t> wide;
    wide.AddAppender(&w);
    Log(wide, L"%ls", std::wstring(5000, L'y').c_str());
    EXPECT_EQ(kLineChars - 1, w.lines.back().size());
    EXPECT_TRUE(w.lines.back().ends_with(L"y\r\n"));
}

TEST(TraceFormat, RemoveTakesTheFirstMatchAndTheSinkClosesWhatItLists) {
    MemoryAppender<char> a, b, unlisted;
    {
        TTrace<char> sink;
        Log(sink, "nobody listens");
        sink.AddAppender(&a);
        sink.AddAppender(&b);
        sink.AddAppender(&a);
        sink.RemoveAppender(&unlisted);
        sink.RemoveAppender(&a);
        Log(sink, "one");
        EXPECT_EQ(1u, a.lines.size());
        EXPECT_EQ(1u, b.lines.size());
    }
    EXPECT_EQ(1, a.closes);
    EXPECT_EQ(1, b.closes);
    EXPECT_EQ(0, unlisted.closes);
}

TEST(TraceFormat, Utf16DetectionNeedsMarkOrLowUnitsWithoutNul) {
    auto check = [](const std::string& bytes) {
        return IsTextUtf16Le(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    EXPECT_TRUE(check("\xFF\xFE"));
    EXPECT_TRUE(check(Utf16Le(u"plain text \U0001F4F7\r\n")));
    EXPECT_FALSE(check("plain text\r\n")); // UTF-8 never holds a zero byte
    EXPECT_FALSE(check(Utf16Le(u"odd") + "!"));
    EXPECT_FALSE(check(std::string("a\0b\0\0\0", 6))); // a NUL unit
    EXPECT_FALSE(check(Utf16Le(u"ab\xD800"
                               u"c"))); // lone surrogate
}
