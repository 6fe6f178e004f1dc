#include "platform/profile.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

class ProfileFile : public testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "TovekCamera.INI";
        wpath_ = path_.u16string();
    }

    void Put(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Contents() const { return Slurp(path_); }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::u16string Read(const char16_t* section, const char16_t* key,
                        const char16_t* fallback = u"dflt", uint32_t size = 256) {
        std::u16string out(size, u'#');
        uint32_t n =
            GetPrivateProfileStringW(section, key, fallback, out.data(), size, wpath_.c_str());
        EXPECT_EQ(out[n], u'\0');
        out.resize(n);
        return out;
    }
    bool Write(const char16_t* section, const char16_t* key, const char16_t* value) {
        return WritePrivateProfileStringW(section, key, value, wpath_.c_str());
    }
    // Files in the folder other than the settings file (left-over temporaries).
    size_t Strays() const {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            n += entry.path() != path_;
        }
        return n;
    }

    const testsupport::TempFolder folder_{"tovek_profile"};
    const fs::path dir_ = folder_.Path();
    fs::path path_;
    std::u16string wpath_;
};

} // namespace

TEST_F(ProfileFile, MissingFileKeyOrSectionGivesTheDefault) {
    EXPECT_EQ(Read(u"TovekCamera", u"Smooth", u"/opt/tovek/  "), u"/opt/tovek/");
    EXPECT_EQ(Read(u"TovekCamera", u"Smooth", nullptr), u"");
    Put("[TovekCamera]\nSmooth=1\n");
    EXPECT_EQ(Read(u"TovekCamera", u"Other"), u"dflt");
    EXPECT_EQ(Read(u"Other", u"Smooth"), u"dflt");
    EXPECT_EQ(Read(u"tovekcamera", u"smooth"), u"1");
    EXPECT_EQ(
        GetPrivateProfileStringW(u"TovekCamera", u"Smooth", u"d", nullptr, 10, wpath_.c_str()), 0u);
    char16_t one = u'#';
    EXPECT_EQ(GetPrivateProfileStringW(u"TovekCamera", u"Smooth", u"d", &one, 0, wpath_.c_str()),
              0u);
    EXPECT_EQ(one, u'#');
    EXPECT_EQ(GetPrivateProfileStringW(u"TovekCamera", u"Smooth", u"d", &one, 1, nullptr), 0u);
    EXPECT_EQ(one, u'\0');
}

TEST_F(ProfileFile, TruncatesToTheBufferLikeWin32) {
    Put("[S]\nk=abcdefgh\n[T]\nk1=1\nk2=2\n");
    EXPECT_EQ(Read(u"S", u"k", u"", 4), u"abc");
    EXPECT_EQ(Read(u"S", u"missing", u"0123456789", 5), u"0123");

    // Key and section lists: names each ended by NUL, then one more NUL.
    char16_t list[16];
    EXPECT_EQ(GetPrivateProfileStringW(u"T", nullptr, u"", list, 16, wpath_.c_str()), 6u);
    EXPECT_EQ(std::u16string_view(list, 7), std::u16string_view(u"k1\0k2\0", 7));
    EXPECT_EQ(GetPrivateProfileStringW(u"T", nullptr, u"", list, 6, wpath_.c_str()), 4u);
    EXPECT_EQ(std::u16string_view(list, 6), std::u16string_view(u"k1\0k\0\0", 6));
    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, u"", list, 16, wpath_.c_str()), 4u);
    EXPECT_EQ(std::u16string_view(list, 5), std::u16string_view(u"S\0T\0", 5));
    EXPECT_EQ(GetPrivateProfileStringW(u"none", nullptr, u"dd", list, 16, wpath_.c_str()), 2u);
    EXPECT_EQ(std::u16string_view(list), u"dd");
}

TEST_F(ProfileFile, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(Write(u"TovekCamera", u"MessageBoxString", u"Lumivue"));
    EXPECT_EQ(Contents(), "[TovekCamera]\nMessageBoxString=Lumivue\n");
    ASSERT_TRUE(Write(u"GraphicDefault", u"LineColor", u"255"));
    ASSERT_TRUE(Write(u"TovekCamera", u"ShowLogo", u"1"));
    EXPECT_EQ(Contents(), "[TovekCamera]\nMessageBoxString=Lumivue\nShowLogo=1\n"
                          "[GraphicDefault]\nLineColor=255\n");
    EXPECT_EQ(Read(u"graphicdefault", u"linecolor"), u"255");
    EXPECT_FALSE(Write(nullptr, u"k", u"v"));
    EXPECT_FALSE(Write(u"S", u"k", u"two\nlines"));
    EXPECT_EQ(Strays(), 0u);
}

TEST_F(ProfileFile, WriteKeepsCommentsBlankLinesAndOtherSections) {
    const std::string before = "; TovekCamera settings\r\n\r\n[TovekCamera]\r\nZoomMode=1\r\n"
                               "  ; keep me\r\n\r\n[GraphicDefault]\r\nLineWidth = 2 \r\n";
    Put(before);
    ASSERT_TRUE(Write(u"TovekCamera", u"ZoomMode", u"4"));
    ASSERT_TRUE(Write(u"GraphicDefault", u"LineWidth", u"20"));
    std::string expected = before;
    expected.replace(expected.find("ZoomMode=1") + 9, 1, "4");
    expected.replace(expected.find("= 2 ") + 2, 1, "20");
    EXPECT_EQ(Contents(), expected);
}

TEST_F(ProfileFile, NullValueDeletesKeyAndNullKeyDeletesSection) {
    Put("[A]\nx=1\ny=2\n[B]\nz=3\n");
    ASSERT_TRUE(Write(u"A", u"x", nullptr));
    ASSERT_TRUE(Write(u"B", nullptr, nullptr));
    EXPECT_EQ(Contents(), "[A]\ny=2\n");
    fs::remove(path_);
    ASSERT_TRUE(Write(u"A", u"x", nullptr));
    EXPECT_FALSE(fs::exists(path_)); // nothing to delete creates no file
}

TEST_F(ProfileFile, Utf16FileStaysUtf16) {
    std::u16string text = u"[Device]\r\ncount=1\r\nDev00=q5m4410\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Put(bytes);
    EXPECT_EQ(Read(u"Device", u"Dev00"), u"q5m4410");
    ASSERT_TRUE(Write(u"Device", u"count", u"7"));
    std::string after = Contents();
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Read(u"Device", u"count"), u"7");
}

TEST_F(ProfileFile, KeepsModeAndWritesThroughSymlinks) {
    Put("[S]\nk=1\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(Write(u"S", u"k", u"2"));
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    fs::path link = dir_ / "link.ini";
    fs::create_symlink(path_, link);
    ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"3", link.u16string().c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(), "[S]\nk=3\n");
}

TEST_F(ProfileFile, FailedWriteLeavesTheOldFileIntact) {
    // The folder does not exist.
    fs::path nowhere = dir_ / "missing" / "x.ini";
    EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", nowhere.u16string().c_str()));
    EXPECT_FALSE(fs::exists(nowhere));

    // Something at the path that is not a readable file is never replaced.
    fs::create_directory(path_);
    EXPECT_FALSE(Write(u"S", u"k", u"v"));
    EXPECT_TRUE(fs::is_directory(path_));
    fs::remove(path_);

    // A disk that fills up half-way: the file-size limit makes the write fail.
    const std::string before = "[S]\nk=1\n";
    Put(before);
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::u16string big(200, u'x');
    bool wrote = Write(u"S", u"k", big.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(Strays(), 0u);

    // A read-only folder (root may write anyway, so only checked for others).
    if (geteuid() != 0) {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(Write(u"S", u"k", u"2"));
        fs::permissions(dir_, fs::perms::owner_all);
        EXPECT_EQ(Contents(), before);
    }
}

TEST_F(ProfileFile, ConcurrentWritersKeepEachOthersKeys) {
    auto writer = [this](const char16_t* prefix) {
        for (int i = 0; i < 40; ++i) {
            std::u16string key = prefix + std::u16string(1, static_cast<char16_t>(u'A' + i));
            ASSERT_TRUE(Write(u"S", key.c_str(), u"1"));
        }
    };
    std::thread a(writer, u"a");
    std::thread b(writer, u"b");
    a.join();
    b.join();
    for (int i = 0; i < 40; ++i) {
        std::u16string suffix(1, static_cast<char16_t>(u'A' + i));
        EXPECT_EQ(Read(u"S", (u"a" + suffix).c_str()), u"1");
        EXPECT_EQ(Read(u"S", (u"b" + suffix).c_str()), u"1");
    }
}
