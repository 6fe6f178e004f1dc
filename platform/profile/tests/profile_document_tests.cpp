#include "platform/profile.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform;

namespace {

ProfileDocument Doc(std::string_view bytes) {
    return ProfileDocument::Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::optional<std::u16string> Get(const ProfileDocument& doc, std::u16string_view section,
                                  std::u16string_view key) {
    return doc.Get(section, key);
}

std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

} // namespace

TEST(ProfileDocument, ReadsWithWin32Rules) {
    auto doc = Doc("Orphan=before any section\n"
                   "[TovekCamera]\n"
                   "  Smooth  =   1   \n"
                   "smooth=2\n"
                   "; CaptruePath=commented out\n"
                   "CaptruePath = \"/home/u/My Pictures/\" \n"
                   "Single='a b'\n"
                   "Mixed=\"a'\n"
                   "Quote=\"\n"
                   "Inner=  \" x \"  \n"
                   "Eq=a=b ; not a comment\n"
                   "Empty=\n"
                   "NoEquals\n"
                   "[ graphicdefault ]\n"
                   "LineWidth=3\n"
                   "[TOVEKCAMERA]\n"
                   "Smooth=9\n"
                   "Later=only in the second copy\n");
    EXPECT_EQ(Get(doc, u"tovekcamera", u"SMOOTH"), u"1");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"CaptruePath"), u"/home/u/My Pictures/");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Single"), u"a b");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Mixed"), u"\"a'");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Quote"), u"\"");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Inner"), u" x ");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Eq"), u"a=b ; not a comment");
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Empty"), u"");
    EXPECT_EQ(Get(doc, u" GraphicDefault ", u" linewidth "), u"3");
    // Only the first section of a name counts; keys outside sections are never found.
    EXPECT_EQ(Get(doc, u"TovekCamera", u"Later"), std::nullopt);
    EXPECT_EQ(Get(doc, u"", u"Orphan"), std::nullopt);
    EXPECT_EQ(Get(doc, u"TovekCamera", u"NoEquals"), std::nullopt);
    EXPECT_EQ(Get(doc, u"TovekCamera", u"; CaptruePath"), std::nullopt);
    EXPECT_EQ(Get(doc, u"TovekCamera", u""), std::nullopt);
    EXPECT_EQ(Get(doc, u"Missing", u"Smooth"), std::nullopt);

    EXPECT_EQ(doc.SectionNames(), (std::vector<std::u16string>{u"TovekCamera", u"graphicdefault"}));
    auto keys = doc.KeyNames(u"tovekcamera");
    ASSERT_TRUE(keys);
    EXPECT_EQ(*keys, (std::vector<std::u16string>{u"Smooth", u"CaptruePath", u"Single", u"Mixed",
                                                  u"Quote", u"Inner", u"Eq", u"Empty"}));
    EXPECT_FALSE(doc.KeyNames(u"nope"));
}

TEST(ProfileDocument, NamesCompareWithoutCaseBeyondAscii) {
    auto doc = Doc("[Größe]\nÄnderung=ja\n[ΣΥΣΤΗΜΑ]\nКлюч=1\n");
    EXPECT_EQ(Get(doc, u"GRÖßE", u"änderung"), u"ja");
    EXPECT_EQ(Get(doc, u"σύστημα", u"x"), std::nullopt); // accents differ: not the same name
    EXPECT_EQ(Get(doc, u"συστημα", u"ключ"), u"1");
}

TEST(ProfileDocument, ReadsEveryLineEnding) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        std::string text = std::string("[A]") + eol + "x=1" + eol + eol + "y=2" + eol + "[B]" +
                           eol + "z=3"; // no final line ending
        auto doc = Doc(text);
        EXPECT_EQ(Get(doc, u"A", u"x"), u"1");
        EXPECT_EQ(Get(doc, u"A", u"y"), u"2");
        EXPECT_EQ(Get(doc, u"B", u"z"), u"3");
        EXPECT_EQ(doc.Bytes(), text);
    }
}

TEST(ProfileDocument, ReplacesAValueInPlaceAndKeepsEveryOtherByte) {
    const std::string before = "; settings\r\n"
                               "\r\n"
                               "[TovekCamera]\r\n"
                               "  ZoomMode =  \"1\"  \r\n"
                               "\t; a note\r\n"
                               "ShowLogo=0\r\n"
                               "\r\n"
                               "[GraphicDefault]\r\n"
                               "LineWidth=1\r\n";
    auto doc = Doc(before);
    ASSERT_TRUE(doc.Set(u"tovekcamera", u"zoommode", u"3"));
    std::string expected = before;
    expected.replace(expected.find("\"1\""), 3, "3");
    EXPECT_EQ(doc.Bytes(), expected);
    // Writing the value a key already has changes nothing.
    ASSERT_TRUE(doc.Set(u"TovekCamera", u"ShowLogo", u"0"));
    EXPECT_EQ(doc.Bytes(), expected);
}

TEST(ProfileDocument, PlacesNewKeysAndSections) {
    auto doc = Doc("[A]\n"
                   "a1=1\n"
                   "garbage line\n"
                   "\n"
                   "; about B\n"
                   "[B]\n"
                   "; nothing yet\n"
                   "[C]\n"
                   "c1=1");
    ASSERT_TRUE(doc.Set(u"A", u"a2", u"2"));
    ASSERT_TRUE(doc.Set(u"B", u"b1", u"1"));
    ASSERT_TRUE(doc.Set(u"C", u"c2", u"2"));
    ASSERT_TRUE(doc.Set(u"D", u"d1", u" spaced "));
    EXPECT_EQ(doc.Bytes(), "[A]\n"
                           "a1=1\n"
                           "a2=2\n"
                           "garbage line\n"
                           "\n"
                           "; about B\n"
                           "[B]\n"
                           "b1=1\n"
                           "; nothing yet\n"
                           "[C]\n"
                           "c1=1\n"
                           "c2=2\n"
                           "[D]\n"
                           "d1= spaced \n");
    EXPECT_EQ(Get(doc, u"D", u"d1"), u"spaced");
}

TEST(ProfileDocument, NewLinesUseTheFilesOwnEnding) {
    auto crlf = Doc("[A]\r\nx=1");
    ASSERT_TRUE(crlf.Set(u"B", u"y", u"2"));
    EXPECT_EQ(crlf.Bytes(), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");

    auto cr = Doc("[A]\rx=1\r");
    ASSERT_TRUE(cr.Set(u"A", u"y", u"2"));
    EXPECT_EQ(cr.Bytes(), "[A]\rx=1\ry=2\r");

    ProfileDocument empty;
    ASSERT_TRUE(empty.Set(u"TovekCamera", u"Smooth", u"1"));
    EXPECT_EQ(empty.Bytes(), "[TovekCamera]\nSmooth=1\n");
}

TEST(ProfileDocument, DeletesKeysAndSections) {
    auto doc = Doc("[A]\nx=1\nX=2\n; c\n[B]\ny=1\n[a]\nz=1\n");
    ASSERT_TRUE(doc.DeleteKey(u"a", u"x"));
    EXPECT_EQ(doc.Bytes(), "[A]\nX=2\n; c\n[B]\ny=1\n[a]\nz=1\n");
    ASSERT_TRUE(doc.DeleteKey(u"A", u"missing"));
    ASSERT_TRUE(doc.DeleteKey(u"Missing", u"x"));
    ASSERT_TRUE(doc.DeleteSection(u"a")); // the first of the two
    EXPECT_EQ(doc.Bytes(), "[B]\ny=1\n[a]\nz=1\n");
    ASSERT_TRUE(doc.DeleteSection(u"b"));
    EXPECT_EQ(doc.Bytes(), "[a]\nz=1\n");
}

TEST(ProfileDocument, RefusesTextThatWouldBreakTheFile) {
    const std::string before = "[A]\nx=1\n";
    auto doc = Doc(before);
    EXPECT_FALSE(doc.Set(u"A", u"x", u"1\n[Evil]\nk=v"));
    EXPECT_FALSE(doc.Set(u"A\r", u"x", u"1"));
    EXPECT_FALSE(doc.Set(u"A", u"x=y", u"1"));
    EXPECT_FALSE(doc.Set(u"A", u"[x]", u"1"));
    EXPECT_FALSE(doc.Set(u"A", u";x", u"1"));
    EXPECT_FALSE(doc.Set(u"A", u"  ", u"1"));
    EXPECT_FALSE(doc.Set(u"A", u"x", std::u16string_view(u"a\0b", 3)));
    EXPECT_EQ(doc.Bytes(), before);
    // A section name may hold ']' and still be found again.
    ASSERT_TRUE(doc.Set(u"splt]init125", u"VertSplitPos", u"200"));
    EXPECT_EQ(Get(doc, u"SPLT]INIT125", u"vertsplitpos"), u"200");
}

TEST(ProfileDocument, Utf16FilesAreReadAndWrittenInTheirEncoding) {
    const std::string before = Utf16Le(u"[Device]\r\ncount=1\r\nDev00=Zoom Ü\r\n");
    auto doc = Doc(before);
    EXPECT_EQ(doc.Encoding(), ProfileEncoding::Utf16Le);
    EXPECT_EQ(Get(doc, u"device", u"dev00"), u"Zoom Ü");
    ASSERT_TRUE(doc.Set(u"Device", u"count", u"2"));
    ASSERT_TRUE(doc.Set(u"Device", u"Dev01", u"Ω"));
    EXPECT_EQ(doc.Bytes(), Utf16Le(u"[Device]\r\ncount=2\r\nDev00=Zoom Ü\r\nDev01=Ω\r\n"));

    std::string be = "\xFE\xFF";
    for (char c : std::string("[S]\nk=v\n")) {
        be += '\0';
        be += c;
    }
    auto big = Doc(be);
    EXPECT_EQ(big.Encoding(), ProfileEncoding::Utf16Be);
    EXPECT_EQ(Get(big, u"S", u"k"), u"v");
    EXPECT_EQ(big.Bytes(), be);

    auto bom8 = Doc("\xEF\xBB\xBF[S]\nk=v\n");
    EXPECT_EQ(Get(bom8, u"S", u"k"), u"v");
    ASSERT_TRUE(bom8.Set(u"S", u"k", u"w"));
    EXPECT_EQ(bom8.Bytes(), "\xEF\xBB\xBF[S]\nk=w\n");

    // A stray odd byte at the end of a UTF-16 file is kept, not misread.
    auto odd = Doc(Utf16Le(u"[S]\nk=v\n") + "X");
    EXPECT_EQ(Get(odd, u"S", u"k"), u"v");
    EXPECT_EQ(odd.Bytes(), Utf16Le(u"[S]\nk=v\n") + "X");
}

TEST(ProfileDocument, SurvivesGarbageAndKeepsItByteForByte) {
    const std::string garbage("\xFF\xC3(\x00\x01[\x80]=\xE2\x82\n", 12);
    const std::string nul_value("n=ab\0cd\n", 8);
    const std::string before = "[A]\n" + garbage + "k=\xC3\xA9t\xC3\n" + nul_value;
    auto doc = Doc(before);
    EXPECT_EQ(Get(doc, u"A", u"k"), u"\u00E9t\uFFFD");
    EXPECT_EQ(Get(doc, u"A", u"n"), u"ab"); // a value ends at NUL
    ASSERT_TRUE(doc.Set(u"A", u"new", u"1"));
    EXPECT_EQ(doc.Bytes(), before + "new=1\n");

    std::string long_value(100 * 1024, 'v');
    auto big = Doc("[A]\nlong=" + long_value + "\nafter=1");
    EXPECT_EQ(Get(big, u"A", u"long")->size(), long_value.size());
    EXPECT_EQ(Get(big, u"A", u"after"), u"1");

    EXPECT_EQ(ProfileDocument::Parse(nullptr, 5).Bytes(), "");
}

// A name cut at a NUL is listed without the blanks before the NUL, and a
// query for the listed name finds it.
TEST(ProfileDocument, NamesCutAtNulAreListedAsTheyAreFound) {
    struct Case {
        std::string file;
        std::u16string section;
        std::u16string key;
    };
    const Case cases[] = {
        {std::string("[S]\nkey \t\0tail=v\n", 17), u"S", u"key"},
        {std::string("[Sec \0x]\nk=v\n", 13), u"Sec", u"k"},
        {std::string("[S]\n\xF6\t\0D=v\n", 11), u"S", u"\uFFFD"},
        {Utf16Le(std::u16string(u"[S]\nab \0c=v\n", 12)), u"S", u"ab"},
    };
    for (const Case& c : cases) {
        auto doc = Doc(c.file);
        ASSERT_EQ(doc.SectionNames().front(), c.section) << testing::PrintToString(c.file);
        auto keys = doc.KeyNames(c.section);
        ASSERT_TRUE(keys.has_value());
        ASSERT_EQ(keys->size(), 1u);
        EXPECT_EQ(keys->front(), c.key);
        EXPECT_EQ(Get(doc, c.section, c.key), u"v") << testing::PrintToString(c.file);
    }
}

// Random files built from the characters that matter to the parser: parsing
// never fails, an unedited document gives back its bytes, and a key just set
// reads back.
TEST(ProfileDocument, RandomFilesKeepTheirInvariants) {
    const std::string alphabet("[]=;\"' \t\r\n\0\xFF\xFE\xC3kKsS", 19);
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 64, ' ');
        for (char& c : bytes) {
            c = alphabet[rng() % alphabet.size()];
        }
        auto doc = Doc(bytes);
        ASSERT_EQ(doc.Bytes(), bytes);
        doc.SectionNames();
        doc.KeyNames(u"s");
        ASSERT_TRUE(doc.Set(u"s", u"k", u"v"));
        ASSERT_EQ(Get(doc, u"S", u"K"), u"v") << testing::PrintToString(bytes);
        ASSERT_TRUE(doc.DeleteKey(u"s", u"k"));
        ASSERT_TRUE(doc.DeleteSection(u"s"));
        auto again = Doc(doc.Bytes());
        ASSERT_EQ(again.Bytes(), doc.Bytes());
    }
}
