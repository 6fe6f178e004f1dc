// CheckProfileFile: which lines readers pass over, and files too large.
#include "platform/profile.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class ProfileCheckTest : public ::testing::Test {
protected:
    platform::ProfileCheck Check(const std::string& bytes,
                                 size_t max = platform::kMaxProfileBytes) {
        std::ofstream(path_, std::ios::binary) << bytes;
        return platform::CheckProfileFile(path_, max);
    }
    const testsupport::TempFolder folder_{"tovek_check"};
    const std::string path_ = folder_.File("check.ini");
};

TEST_F(ProfileCheckTest, CountsTheLinesReadersPassOver) {
    const struct {
        const char* name;
        std::string bytes;
        size_t ignored;
    } cases[] = {
        {"a settings file", "; note\r\n[A]\r\nk = v\r\n\r\n# note\n[B]\nx=\xC3\xA9", 0},
        {"byte-order mark", "\xEF\xBB\xBF[A]\nk=v\n", 0},
        {"keys before any section", "k=v\nj=w\n[A]\nk=v\n", 2},
        {"no '=' and an unclosed header", "[A]\njust words\n[B\nk=v\n", 2},
        {"invalid UTF-8", "[A]\nk=\xC0\xAF\nk=\xED\xA0\x80\nk=\xF4\x90\x80\x80\nk=\xE2\x82\n", 4},
        {"a NUL byte", std::string("[A]\nk=v\0w\n", 10), 1},
        {"UTF-16 is not checked", "\xFF\xFE[\0A\0]\0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::ProfileCheck check = Check(c.bytes);
        EXPECT_TRUE(check.found);
        EXPECT_FALSE(check.too_large);
        EXPECT_EQ(check.lines_ignored, c.ignored);
    }
}

TEST_F(ProfileCheckTest, LargeAndMissingFiles) {
    EXPECT_TRUE(Check(std::string(101, 'x'), 100).too_large);
    EXPECT_FALSE(Check(std::string(100, 'x'), 100).too_large);
    EXPECT_FALSE(platform::CheckProfileFile(path_ + ".missing").found);
    EXPECT_FALSE(platform::CheckProfileFile(folder_.Path().string()).found);
}

} // namespace
