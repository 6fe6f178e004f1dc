#include "share/FrameMailbox.h"
#include "share/ShareRequest.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";

TEST(ShareRequest, OnlyTheTokenOpensThePageAndTheStream) {
    const std::string wrong = "0123456789abcdef0123456789abcdee";
    struct Case {
        const char* method;
        std::string url;
        int viewers;
        share::Answer answer;
    } cases[] = {
        {"GET", "/" + kToken + "/", 0, share::Answer::kPage},
        {"GET", "/" + kToken, 0, share::Answer::kPage},
        {"HEAD", "/" + kToken + "/", 0, share::Answer::kPage},
        {"GET", "/" + kToken + "/stream.mjpg", 59, share::Answer::kStream},
        {"GET", "/" + kToken + "/stream.mjpg", 60, share::Answer::kFull},
        {"GET", "/" + kToken + "/layer.png", 59, share::Answer::kLayer},
        {"GET", "/" + kToken + "/layer.png", 60, share::Answer::kFull},
        {"GET", "/layer.png", 0, share::Answer::kForbidden},
        {"GET", "/" + wrong + "/layer.png", 0, share::Answer::kForbidden},
        {"GET", "/" + kToken + "/other", 0, share::Answer::kNotFound},
        {"GET", "/" + kToken + "/stream.mjpg/", 0, share::Answer::kNotFound},
        {"POST", "/" + kToken + "/", 0, share::Answer::kMethodNotAllowed},
        {"PUT", "/" + kToken + "/stream.mjpg", 0, share::Answer::kMethodNotAllowed},
        // Without the right token nothing else is told: not even the method.
        {"GET", "/", 0, share::Answer::kForbidden},
        {"GET", "", 0, share::Answer::kForbidden},
        {"GET", "/stream.mjpg", 0, share::Answer::kForbidden},
        {"GET", "/" + wrong + "/stream.mjpg", 0, share::Answer::kForbidden},
        {"GET", "/" + kToken.substr(1) + "/", 0, share::Answer::kForbidden},
        {"GET", "/" + kToken + "0/", 0, share::Answer::kForbidden},
        {"GET", "/" + std::string(kToken).replace(0, 1, "A") + "/", 0, share::Answer::kForbidden},
        {"GET", "//" + kToken + "/", 0, share::Answer::kForbidden},
        {"POST", "/", 0, share::Answer::kForbidden},
        {"GET", "/" + kToken + "/" + std::string(300, 'a'), 0, share::Answer::kUriTooLong},
    };
    for (const Case& c : cases) {
        const share::Answer answer = share::Decide({c.method, c.url, c.viewers, c.viewers}, kToken);
        EXPECT_EQ(answer, c.answer) << c.method << " " << c.url;
    }
    // No token made (sharing off): nothing opens.
    EXPECT_EQ(share::Decide({"GET", "//", 0}, ""), share::Answer::kForbidden);
}

TEST(ShareRequest, TokensAreFreshHexOf128Bits) {
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string token = share::MakeToken();
        ASSERT_EQ(token.size(), 32u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_EQ(share::Decide({"GET", "/" + token + "/", 0}, token), share::Answer::kPage);
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST(FrameMailbox, ASlowReaderGetsTheNewestPictureOnly) {
    share::FrameMailbox box;
    uint64_t seen = 0;
    EXPECT_EQ(box.WaitNewer(&seen, std::chrono::milliseconds(1)), nullptr);
    for (uint8_t i = 1; i <= 5; ++i)
        box.Publish(&i, 1);
    share::FrameMailbox::Frame frame = box.WaitNewer(&seen, std::chrono::milliseconds(1));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->at(0), 5);
    // Read once: the same picture is not given again.
    EXPECT_EQ(box.WaitNewer(&seen, std::chrono::milliseconds(1)), nullptr);
    // Closing wakes and ends the readers; opening empties the box.
    box.Close();
    EXPECT_TRUE(box.Closed());
    const uint8_t six = 6;
    box.Publish(&six, 1);
    EXPECT_EQ(box.WaitNewer(&seen, std::chrono::milliseconds(1)), nullptr);
    box.Open();
    EXPECT_EQ(box.Newest(), nullptr);
}

} // namespace
