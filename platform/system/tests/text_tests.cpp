#include "platform/system.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Text, RoundTripsAcrossAllPlanes) {
    const std::string utf8 = "Lumivue \xC3\xA4\xE2\x82\xAC\xF0\x9F\x93\xB7"; // ä € 📷
    std::u16string utf16 = Utf8ToUtf16(utf8);
    ASSERT_EQ(12u, utf16.size()); // the camera needs a surrogate pair
    EXPECT_EQ(u'\u00E4', utf16[8]);
    EXPECT_EQ(utf8, Utf16ToUtf8(utf16));
    EXPECT_EQ(utf8, WideToUtf8(Utf8ToWide(utf8)));
    EXPECT_EQ(utf16, WideToUtf16(Utf16ToWide(utf16)));
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
    // Lone continuation, overlong slash, encoded surrogate, truncated sequence.
    std::u16string out = Utf8ToUtf16(std::string("a\x80\xC0\xAF\xED\xA0\x80") + "\xE2\x82" + "z");
    EXPECT_EQ(u'a', out.front());
    EXPECT_EQ(u'z', out.back());
    for (size_t i = 1; i + 1 < out.size(); ++i) {
        EXPECT_EQ(u'\uFFFD', out[i]) << i;
    }
    // A lone high surrogate at the end of UTF-16 input.
    EXPECT_EQ("x\xEF\xBF\xBD", Utf16ToUtf8(std::u16string(u"x") + char16_t(0xD800)));
}

TEST(Text, FixedBufferConversionNeverSplitsACharacter) {
    const std::wstring wide = L"ab\U0001F4F7";
    char16_t utf16[3];
    EXPECT_EQ(2u, WideToUtf16(wide.data(), wide.size(), utf16, 3)); // pair does not fit
    char16_t utf16_full[4];
    EXPECT_EQ(4u, WideToUtf16(wide.data(), wide.size(), utf16_full, 4));
    char utf8[5];
    EXPECT_EQ(2u, WideToUtf8(wide.data(), wide.size(), utf8, 5));
    EXPECT_EQ(0u, WideToUtf8(wide.data(), wide.size(), utf8, 0));
}
