// Failures of the running picture on the emulated Q5 camera: event 5 and
// the stop that follows, the kept texts, a new start, and Close at any point.
#include "q5_test_support.h"

#include "picture_refusals.h"
#include "platform/capture_error.h"

#include <algorithm>
#include <string>

namespace {

using namespace std::chrono_literals;
using q5cap_test::Client;
using q5cap_test::Q5CaptureTest;

struct Texts {
    int result = -2;
    std::string user;
    std::string debug;
};

Texts LastError(TovekQ5UsbDevice* device) {
    char user[256] = "unset";
    char debug[2048] = "unset";
    Texts texts;
    texts.result = Tovek_Q5Usb_GetLastError(device, user, sizeof user, debug, sizeof debug);
    texts.user = user;
    texts.debug = debug;
    return texts;
}

// The events after the first event 5; empty without one.
std::vector<int> EventsAfterError(Client& client) {
    const std::vector<int> events = client.Events();
    const auto error = std::find(events.begin(), events.end(), Q5_STREAM_ERROR);
    return error == events.end() ? std::vector<int>{} : std::vector<int>(error + 1, events.end());
}

using Q5ErrorTest = Q5CaptureTest;

TEST_F(Q5ErrorTest, EachFaultStopsThePictureWithEventFiveThenThreeAndRunStartsAgain) {
    enum class Fault { kFailedRead, kUndecodablePictures };
    struct Case {
        const char* name;
        Fault fault;
        const char* user_text;
        const char* debug_parts[2];
    };
    const Case cases[] = {
        {"failed read",
         Fault::kFailedRead,
         platform::kCameraStoppedText,
         {"Tovek Camera Source", "stayed attached"}},
        {"undecodable pictures",
         Fault::kUndecodablePictures,
         platform::kFormatNotSupportedText,
         {"MJPEG Decompressor", "could not be decoded"}},
    };
    auto camera = Plug();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    EXPECT_EQ(1, LastError(device_).result) << "nothing kept before a failure";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(client_.mutex);
            client_.events.clear();
        }
        if (c.fault == Fault::kUndecodablePictures) {
            // A frame header of width 0: the decoder refuses every picture.
            camera->SetPictureFault(sim::Q5PictureFault::kCorrupt, sim::JpegDamage::kBreakHeader);
        }
        auto faulted = std::chrono::steady_clock::now();
        ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
        if (c.fault == Fault::kFailedRead) {
            const int pictures = client_.Pictures();
            ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Pictures() >= pictures + 3; }));
            faulted = std::chrono::steady_clock::now();
            camera->FailReads(sim::Q5ReadFault::kStall, 1);
        }
        ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_ERROR) >= 1; }));
        RecordProperty(std::string(c.name) + " event 5 after the fault (ms)",
                       static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - faulted)
                                            .count()));
        std::this_thread::sleep_for(300ms);
        const std::vector<int> after = EventsAfterError(client_);
        EXPECT_EQ(std::vector<int>{Q5_STREAM_STOPPED}, after) << "one stop, and nothing flows";
        EXPECT_EQ(1u, client_.Count(Q5_STREAM_ERROR));

        const Texts kept = LastError(device_);
        EXPECT_EQ(0, kept.result);
        EXPECT_EQ(c.user_text, kept.user);
        for (const char* part : c.debug_parts) {
            EXPECT_NE(std::string::npos, kept.debug.find(part)) << kept.debug;
        }

        // A new start forgets the failure and the picture comes back.
        camera->SetPictureFault(sim::Q5PictureFault::kNone);
        const int samples = client_.Samples();
        ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
        EXPECT_EQ(1, LastError(device_).result);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return client_.Samples() >= samples + 3; }));
        ASSERT_EQ(0, Tovek_Q5Usb_Stop(device_));
    }
}

TEST_F(Q5ErrorTest, LastErrorNeedsADeviceAndCutsItsTexts) {
    EXPECT_EQ(-1, Tovek_Q5Usb_GetLastError(nullptr, nullptr, 0, nullptr, 0));
    auto camera = Plug();
    ASSERT_NO_FATAL_FAILURE(Prepare());
    camera->FailReads(sim::Q5ReadFault::kStall, 1); // the very first read
    ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_ERROR) == 1; }));
    char user[11];
    char debug[4];
    EXPECT_EQ(0, Tovek_Q5Usb_GetLastError(device_, user, sizeof user, debug, sizeof debug));
    EXPECT_STREQ("The camera", user);
    EXPECT_STREQ("Tov", debug);
    EXPECT_EQ(0, Tovek_Q5Usb_Stop(device_));
    EXPECT_EQ(0, LastError(device_).result) << "Stop keeps it; only Run forgets it";
}

TEST_F(Q5ErrorTest, CloseAtAnyPointOfTheFailureIsClean) {
    auto camera = Plug();
    for (int round = 0; round < 4; ++round) {
        camera->FailReads(sim::Q5ReadFault::kNone); // a fault a closed run never met
        ASSERT_NO_FATAL_FAILURE(Prepare());
        camera->FailReads(sim::Q5ReadFault::kStall, 1);
        ASSERT_EQ(0, Tovek_Q5Usb_Run(device_));
        if (round % 2 == 1) {
            testsupport::WaitUntil([&] { return client_.Count(Q5_STREAM_ERROR) >= 1; });
        }
        ASSERT_EQ(0, Tovek_Q5Usb_Close(device_));
        device_ = nullptr;
        const size_t events = client_.Events().size();
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(events, client_.Events().size()) << "nothing after Close";
    }
}

TEST(PictureRefusals, FailWhenTheLimitIsReachedInARowOnly) {
    q5cap::PictureRefusals refusals;
    for (uint32_t i = 1; i < q5cap::PictureRefusals::kLimit; ++i) {
        EXPECT_FALSE(refusals.OnRefused()) << i;
    }
    refusals.Reset(); // a decoded picture
    for (uint32_t i = 1; i < q5cap::PictureRefusals::kLimit; ++i) {
        EXPECT_FALSE(refusals.OnRefused()) << i;
    }
    EXPECT_TRUE(refusals.OnRefused());
    EXPECT_FALSE(refusals.OnRefused()) << "once per series";
}

} // namespace
