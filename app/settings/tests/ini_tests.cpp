#include "settings/IniStore.h"

#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class IniTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.Path() / "TovekCamera.INI";
        // The store keeps its own copy: the caller's buffer may go away.
        std::u16string temporary = path_.u16string();
        ini_ = std::make_unique<IniStore>(temporary.c_str());
        temporary.assign(temporary.size(), u'x');
    }
    void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::u16string Raw(const char16_t* key) {
        char16_t buffer[128];
        uint32_t n = ini_->GetString(u"S", key, buffer, 128, u"<none>");
        return std::u16string(buffer, n);
    }

    const testsupport::TempFolder dir_{"tovek_ini"};
    fs::path path_;
    std::unique_ptr<IniStore> ini_;
};

} // namespace

TEST_F(IniTest, GetStringGrowsPastEveryBufferStep) {
    // The last length is a damaged file's, far past any buffer step: read
    // whole (each try reads the file again, so a buffer grown by a fixed step
    // takes minutes on such a value).
    for (size_t length : {511u, 512u, 513u, 700u, 1023u, 1024u, 1100u, 5000u, 1u << 20}) {
        std::string value(length, 'a');
        value.back() = 'z';
        Put("[S]\nk=" + value + "\n");
        std::vector<char16_t> out(length + 8, u'#');
        uint32_t n =
            ini_->GetString(u"S", u"k", out.data(), static_cast<uint32_t>(out.size()), u"");
        ASSERT_EQ(n, length);
        EXPECT_EQ(out[length - 1], u'z');
        EXPECT_EQ(out[length], u'\0');
        EXPECT_EQ(ini_->GetString(u"S", u"k", nullptr, 0, u""), length);
    }
}

TEST_F(IniTest, GetStringCutsToASmallBufferAndTerminates) {
    Put("[S]\nk=0123456789ABCDEF\n");
    char16_t out[8];
    EXPECT_EQ(ini_->GetString(u"S", u"k", out, 8, u""), 7u);
    EXPECT_EQ(std::u16string(out), u"0123456");
    EXPECT_EQ(ini_->GetString(u"S", u"k", out, 0, u""), 0u);

    char16_t big[64];
    EXPECT_EQ(ini_->GetString(u"S", u"missing", big, 64, u"/opt/tovek/"), 11u);
    EXPECT_EQ(std::u16string(big), u"/opt/tovek/");
    EXPECT_EQ(ini_->GetString(u"S", u"missing", big, 64, nullptr), 0u);
    EXPECT_EQ(ini_->GetString(nullptr, u"k", big, 64, u"d"), 1u);
    EXPECT_EQ(std::u16string(big), u"d");
    EXPECT_EQ(ini_->GetString(u"S", nullptr, big, 64, nullptr), 0u);
    EXPECT_EQ(big[0], u'\0');

    std::u16string long_default(1500, u'd');
    std::vector<char16_t> out2(2000);
    EXPECT_EQ(ini_->GetString(u"S", u"missing", out2.data(), 2000, long_default.c_str()), 1500u);
}

TEST_F(IniTest, GetUIntFollowsWcstoul) {
    Put("[S]\n"
        "bin=1012\noct=0178\nhex=0x1fG\nhexbare=Ff\nhexonly=0x\ndec=  42abc\nplus=+7\n"
        "minus=-1\nminushex=-0x10\nmax=4294967295\nover=4294967296\nhuge=99999999999999999999\n"
        "text=abc\nempty=\nlong=" +
        std::string(64, '0') + "5\n");
    EXPECT_EQ(ini_->GetUInt(u"S", u"bin", 9, 2), 5u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"oct", 9, 8), 15u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"hex", 9, 16), 31u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"hexbare", 9, 16), 255u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"hexonly", 9, 16), 0u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"hex", 9, 10), 0u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"dec", 9, 10), 42u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"dec", 9, 7), 42u); // any other base means 10
    EXPECT_EQ(ini_->GetUInt(u"S", u"plus", 9, 10), 7u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"minus", 9, 10), 0xFFFFFFFFu);
    EXPECT_EQ(ini_->GetUInt(u"S", u"minushex", 9, 16), 0xFFFFFFF0u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"max", 9, 10), 0xFFFFFFFFu);
    EXPECT_EQ(ini_->GetUInt(u"S", u"over", 9, 10), 0xFFFFFFFFu);
    EXPECT_EQ(ini_->GetUInt(u"S", u"huge", 9, 10), 0xFFFFFFFFu);
    EXPECT_EQ(ini_->GetUInt(u"S", u"text", 9, 10), 0u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"empty", 9, 10), 9u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"missing", 9, 10), 9u);
    EXPECT_EQ(ini_->GetUInt(nullptr, u"dec", 9, 10), 9u);
    EXPECT_EQ(ini_->GetUInt(u"S", u"long", 9, 10), 0u); // only 64 characters are read
}

TEST_F(IniTest, GetBoolReadsWordsAndNumbers) {
    Put("[S]\na=Yes\nb=TRUE\nc=2\nd=-1\ne=no\nf=0\ng=false\nh=abc\ni=\nj= true \n");
    for (const char16_t* key : {u"a", u"b", u"c", u"d", u"j"}) {
        EXPECT_TRUE(ini_->GetBool(u"S", key, false)) << std::string(key, key + 1);
    }
    for (const char16_t* key : {u"e", u"f", u"g", u"h"}) {
        EXPECT_FALSE(ini_->GetBool(u"S", key, true)) << std::string(key, key + 1);
    }
    EXPECT_TRUE(ini_->GetBool(u"S", u"i", true));
    EXPECT_FALSE(ini_->GetBool(u"S", u"i", false));
    EXPECT_TRUE(ini_->GetBool(u"S", u"missing", true));
    EXPECT_TRUE(ini_->GetBool(u"S", nullptr, true));
}

TEST_F(IniTest, GetRectAcceptsExactlySixteenHexBytes) {
    const RECT fallback{0, 0, 600, 450};
    Put("[S]\n"
        "ok=0A000000140000005802000000FFFFFF\n"
        "lower=0a000000140000005802000000ffffff\n"
        "short=0A00000014000000580200000000000\n"
        "long=0A0000001400000058020000000000000\n"
        "nothex=0A00000014000000580200000000000G\n"
        "blank=0A000000140000005802000 00000000\n"
        "empty=\n");
    RECT r = ini_->GetRect(u"S", u"ok", fallback);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 600);
    EXPECT_EQ(r.bottom, -256);
    EXPECT_EQ(ini_->GetRect(u"S", u"lower", fallback).bottom, -256);
    for (const char16_t* key : {u"short", u"long", u"nothex", u"blank", u"empty", u"missing"}) {
        RECT d = ini_->GetRect(u"S", key, fallback);
        EXPECT_EQ(d.right, 600);
        EXPECT_EQ(d.bottom, 450);
    }
}

TEST_F(IniTest, WriteRectRoundTripsAndUsesUpperCaseBytes) {
    ASSERT_TRUE(ini_->WriteRect(u"TovekCamera", u"WindowPos", RECT{0, 0, 600, 450}));
    EXPECT_EQ(Contents(), "[TovekCamera]\nWindowPos=000000000000000058020000C2010000\n");
    const RECT odd{-1, INT32_MIN, INT32_MAX, -1920};
    ASSERT_TRUE(ini_->WriteRect(u"TovekCamera", u"WindowPos", odd));
    RECT back = ini_->GetRect(u"TovekCamera", u"WindowPos", RECT{});
    EXPECT_EQ(back.left, odd.left);
    EXPECT_EQ(back.top, odd.top);
    EXPECT_EQ(back.right, odd.right);
    EXPECT_EQ(back.bottom, odd.bottom);
}

TEST_F(IniTest, WriteIntBoolAndStringFormats) {
    struct Case {
        int32_t value;
        int base;
        const char16_t* text;
    };
    const Case cases[] = {{255, 16, u"FF"},
                          {-1, 16, u"FFFFFFFF"},
                          {8, 8, u"10"},
                          {-1, 8, u"37777777777"},
                          {5, 2, u"101"},
                          {0, 2, u"0"},
                          {-1, 2, u"11111111111111111111111111111111"},
                          {-5, 10, u"-5"},
                          {34790, 3, u"34790"}};
    for (const Case& c : cases) {
        ASSERT_TRUE(ini_->WriteInt(u"S", u"n", c.value, c.base));
        EXPECT_EQ(Raw(u"n"), c.text);
    }
    ASSERT_TRUE(ini_->WriteBool(u"S", u"b", true));
    EXPECT_EQ(Raw(u"b"), u"1");
    ASSERT_TRUE(ini_->WriteBool(u"S", u"b", false));
    EXPECT_EQ(Raw(u"b"), u"0");
    ASSERT_TRUE(ini_->WriteString(u"S", u"s", nullptr));
    EXPECT_EQ(Raw(u"s"), u"");
    EXPECT_EQ(Contents(), "[S]\nn=34790\nb=0\ns=\n");
}

TEST_F(IniTest, NullNamesWriteNothing) {
    EXPECT_FALSE(ini_->WriteString(nullptr, u"k", u"v"));
    EXPECT_FALSE(ini_->WriteString(u"S", nullptr, u"v"));
    EXPECT_FALSE(ini_->WriteInt(nullptr, u"k", 1, 10));
    EXPECT_FALSE(fs::exists(path_));

    IniStore nowhere(nullptr);
    EXPECT_FALSE(nowhere.WriteString(u"S", u"k", u"v"));
    EXPECT_EQ(nowhere.GetUInt(u"S", u"k", 3, 10), 3u);
}
