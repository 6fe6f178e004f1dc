#include "lng_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using lang::LngFile;

TEST(LngFile, ReadsEverySectionKind) {
    LngFile f;
    ASSERT_TRUE(lang::ParseLng("\xEF\xBB\xBF; comment\r\n"
                               "[Language]\r\nName = Deutsch \r\n"
                               "[Strings]\r\n117=LUMIVUE DEMO\r\n"
                               "[Keys]\r\n2=Bild\r\n"
                               "[Menu128]\r\nP0=&Datei\r\nP1.1=Zoom\r\n32774=&Play\\tCtrl+P\r\n"
                               "[dialog132]\r\n0=Titel\r\n1001=Pfad:\r\n",
                               &f));
    EXPECT_EQ(f.name, u"Deutsch");
    EXPECT_EQ(f.strings.at(117), u"LUMIVUE DEMO");
    EXPECT_EQ(f.keys.at("2"), u"Bild");
    EXPECT_EQ(f.menus.at(128).at("P0"), u"&Datei");
    EXPECT_EQ(f.menus.at(128).at("P1.1"), u"Zoom");
    EXPECT_EQ(f.menus.at(128).at("32774"), u"&Play\tCtrl+P");
    EXPECT_EQ(f.dialogs.at(132).at(0), u"Titel");
    EXPECT_EQ(f.dialogs.at(132).at(1001), u"Pfad:");
}

TEST(LngFile, EscapesAndUnicode) {
    LngFile f;
    ASSERT_TRUE(lang::ParseLng("[Language]\nName=x\n[Strings]\n"
                               "1=a\\nb\n2=c\\\\d\n3=e\\qf\n4=\xC3\x9C"
                               "ber \xF0\x9F\x98\x80\n5=trailing\\\n",
                               &f));
    EXPECT_EQ(f.strings.at(1), u"a\nb");
    EXPECT_EQ(f.strings.at(2), u"c\\d");
    EXPECT_EQ(f.strings.at(3), u"e\\qf");
    EXPECT_EQ(f.strings.at(4), u"\u00DCber \U0001F600");
    EXPECT_EQ(f.strings.at(5), u"trailing\\");
}

TEST(LngFile, SkipsMalformedLinesAndKeepsTheRest) {
    LngFile f;
    ASSERT_TRUE(lang::ParseLng("[Language]\nName=x\n"
                               "[Strings]\n"
                               "no equals sign\n"
                               "=empty key\n"
                               "abc=not a number\n"
                               "99999999999=too big\n"
                               "-1=negative\n"
                               "7=bad \xC3\x28 utf8\n"
                               "8=overlong \xC0\xAF\n"
                               "9=surrogate \xED\xA0\x80\n"
                               "10=cut \xE2\x82\n"
                               "[Strings\n"
                               "11=after a broken header\n"
                               "[Unknown]\n"
                               "12=unknown section\n"
                               "[Menu]\n13=menu without id\n"
                               "[Menu128]\nQ1=bad path\nP=bad path\nP1..2=bad path\nP1.=bad\n"
                               "[Strings]\n"
                               "117=kept\n",
                               &f));
    EXPECT_EQ(f.strings.size(), 1u);
    EXPECT_EQ(f.strings.at(117), u"kept");
    EXPECT_TRUE(f.keys.empty());
    EXPECT_TRUE(f.menus.empty() || f.menus.at(128).empty());
}

TEST(LngFile, IsNoLanguageFileWithoutAName) {
    LngFile f;
    EXPECT_FALSE(lang::ParseLng("", &f));
    EXPECT_FALSE(lang::ParseLng("\x00\x01\x02garbage\xFF\xFE", &f));
    EXPECT_FALSE(lang::ParseLng("[Strings]\n117=x\n", &f));
    EXPECT_FALSE(lang::ParseLng("[Language]\nName=\n", &f));
    EXPECT_FALSE(lang::ParseLng("Name=x\n[Language]\n", &f));
    EXPECT_FALSE(lang::ParseLng(std::string(lang::kMaxLngFileBytes + 1, ' '), &f));
}

TEST(LngFile, LoadRefusesMissingFilesAndFolders) {
    LngFile f;
    EXPECT_FALSE(lang::LoadLng("/nonexistent/German.lng", &f));
    EXPECT_FALSE(lang::LoadLng("/tmp", &f));
}

TEST(LngFile, ParseIdAcceptsOnlyPlainDecimals) {
    uint32_t id = 0;
    EXPECT_TRUE(lang::ParseId("4294967295", &id));
    EXPECT_EQ(id, 4294967295u);
    EXPECT_FALSE(lang::ParseId("4294967296", &id));
    EXPECT_FALSE(lang::ParseId("", &id));
    EXPECT_FALSE(lang::ParseId("+1", &id));
    EXPECT_FALSE(lang::ParseId("1 2", &id));
}

// Every text of the English file must have its German counterpart, so the
// second language is complete.
TEST(LngFile, ShippedLanguagesAreComplete) {
    LngFile english, german;
    ASSERT_TRUE(lang::LoadLng(TOVEK_LNG_SOURCE_DIR "/English.lng", &english));
    ASSERT_TRUE(lang::LoadLng(TOVEK_LNG_SOURCE_DIR "/German.lng", &german));
    EXPECT_EQ(english.name, u"English");
    EXPECT_EQ(german.name, u"Deutsch");
    for (const auto& [id, text] : english.strings)
        EXPECT_TRUE(german.strings.count(id)) << "string " << id;
    for (const auto& [key, text] : english.keys)
        EXPECT_TRUE(german.keys.count(key)) << "key " << key;
    for (const auto& [menu, items] : english.menus)
        for (const auto& [key, text] : items)
            EXPECT_TRUE(german.menus[menu].count(key)) << "menu " << menu << " item " << key;
    EXPECT_EQ(english.menus.at(128).size(), german.menus.at(128).size());
    EXPECT_EQ(english.strings.at(117), u"LUMIVUE DEMO");
}

} // namespace
