// Failures of the running graph on the emulated RVX camera: the error notice
// through the stream callback, the kept texts, the stop, and a new start.
#include "TovekCorvane.h"

#include "platform/capture_error.h"
#include "sim/rvx_camera.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the stream callback saw. The callback runs on library threads.
struct Stream {
    std::atomic<int> pictures{0};
    std::atomic<int> notices{0};
    std::atomic<bool> odd_notice{false}; // a null picture that is not (null, -1, 0)
    std::atomic<int> pictures_at_notice{-1};
    std::atomic<bool> texts_at_notice{false}; // GetLastError had them when the notice came
    std::atomic<Clock::rep> last_picture{0};
    std::atomic<Clock::rep> notice_time{0};
    CorvaneCaptureDevice* device = nullptr;
};

int TOVEK_STDCALL OnStream(BYTE* data, LONG length, double time, void* user) {
    auto* stream = static_cast<Stream*>(user);
    const Clock::rep now = Clock::now().time_since_epoch().count();
    if (data != nullptr) {
        stream->pictures.fetch_add(1);
        stream->last_picture.store(now);
        return 0;
    }
    stream->odd_notice = stream->odd_notice || length != -1 || time != 0.0;
    stream->pictures_at_notice.store(stream->pictures.load());
    char text[128];
    stream->texts_at_notice.store(
        Corvane_GetLastError(stream->device, text, sizeof text, nullptr, 0) == 0);
    stream->notice_time.store(now);
    stream->notices.fetch_add(1);
    return 0;
}

// The bound of a wait on the graph: a hang detector, not a speed limit.
constexpr std::chrono::milliseconds kBound = 20s;

struct Texts {
    int result = -2;
    std::string user;
    std::string debug;
};

Texts LastError(CorvaneCaptureDevice* device) {
    char user[256] = "unset";
    char debug[2048] = "unset";
    Texts texts;
    texts.result = Corvane_GetLastError(device, user, sizeof user, debug, sizeof debug);
    texts.user = user;
    texts.debug = debug;
    return texts;
}

class CorvaneErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        camera_ = sim::DefaultRvxCamera();
        camera_->SetStreamFault(sim::RvxStreamFault::kNone);
        camera_->Plug();
        Corvane_Intialize();
        ASSERT_EQ(0, Corvane_Open(0, &device_));
        stream_.device = device_;
        ASSERT_EQ(0, Corvane_SetStreamCallback(device_, OnStream, &stream_));
    }
    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(0, Corvane_Close(device_));
        }
        camera_->SetStreamFault(sim::RvxStreamFault::kNone);
        camera_->Plug();
    }

    // Waits for the notice, then checks that it came once and the graph
    // delivers nothing more.
    void ExpectNoticeAndStoppedGraph() {
        ASSERT_TRUE(testsupport::WaitUntil([&] { return stream_.notices >= 1; }, kBound));
        EXPECT_FALSE(stream_.odd_notice);
        EXPECT_TRUE(stream_.texts_at_notice) << "the texts are kept before the notice";
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(1, stream_.notices.load()) << "one notice per failure";
        EXPECT_EQ(stream_.pictures_at_notice.load(), stream_.pictures.load())
            << "stopped when the notice came";
    }

    std::shared_ptr<sim::EmulatedRvxCamera> camera_;
    CorvaneCaptureDevice* device_ = nullptr;
    Stream stream_;
};

TEST_F(CorvaneErrorTest, EachFaultStopsTheGraphWithTheNoticeAndItsTextsAndRunStartsAgain) {
    struct Case {
        const char* name;
        sim::RvxStreamFault fault;
        uint32_t after_pictures;
        const char* user_text;
        const char* debug_part;
    };
    const Case cases[] = {
        {"read error", sim::RvxStreamFault::kReadError, 5, platform::kCameraStoppedText,
         "a read failed"},
        {"raw only", sim::RvxStreamFault::kRawOnly, 0, platform::kFormatNotSupportedText,
         "not-negotiated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stream_.notices = 0;
        const int before = stream_.pictures;
        camera_->SetStreamFault(c.fault, c.after_pictures);
        stream_.last_picture = Clock::now().time_since_epoch().count();
        Corvane_Run(device_); // the raw-only graph may fail while it starts
        ExpectNoticeAndStoppedGraph();
        EXPECT_EQ(before + static_cast<int>(c.after_pictures), stream_.pictures.load());

        const Texts kept = LastError(device_);
        EXPECT_EQ(0, kept.result);
        EXPECT_EQ(c.user_text, kept.user);
        EXPECT_NE(std::string::npos, kept.debug.find("camera")) << kept.debug;
        EXPECT_NE(std::string::npos, kept.debug.find(c.debug_part)) << kept.debug;
        RecordProperty(std::string(c.name) + " notice after the start or last picture (ms)",
                       static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            Clock::duration(stream_.notice_time.load() -
                                                            stream_.last_picture.load()))
                                            .count()));

        // A new start forgets the failure and streams again.
        camera_->SetStreamFault(sim::RvxStreamFault::kNone);
        ASSERT_EQ(0, Corvane_Run(device_));
        EXPECT_EQ(1, LastError(device_).result);
        const int restarted = stream_.pictures;
        EXPECT_TRUE(
            testsupport::WaitUntil([&] { return stream_.pictures >= restarted + 3; }, kBound));
        EXPECT_EQ(0, Corvane_Stop(device_));
    }
}

TEST_F(CorvaneErrorTest, TheFirstFailureStaysUntilRun) {
    EXPECT_EQ(-1, Corvane_GetLastError(nullptr, nullptr, 0, nullptr, 0));
    const Texts none = LastError(device_);
    EXPECT_EQ(1, none.result);
    EXPECT_EQ("", none.user);
    EXPECT_EQ("", none.debug);

    camera_->SetStreamFault(sim::RvxStreamFault::kReadError, 1);
    Corvane_Run(device_); // -1 when the failure comes before the start has settled
    ExpectNoticeAndStoppedGraph();
    // The source also ends its stream after its error: that does not replace it.
    const Texts first = LastError(device_);
    EXPECT_NE(std::string::npos, first.debug.find("a read failed")) << first.debug;
    EXPECT_EQ(std::string::npos, first.debug.find("end of stream")) << first.debug;

    // Stop keeps it: only a new Run forgets it.
    EXPECT_EQ(0, Corvane_Stop(device_));
    EXPECT_EQ(first.debug, LastError(device_).debug);
}

TEST_F(CorvaneErrorTest, ACameraThatCannotStartIsReportedAfterRunFails) {
    camera_->Pull();
    EXPECT_EQ(-1, Corvane_Run(device_));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return stream_.notices >= 1; }, kBound));
    const Texts kept = LastError(device_);
    EXPECT_EQ(platform::kCameraNotOpenedText, kept.user);
    EXPECT_NE(std::string::npos, kept.debug.find("camera")) << kept.debug;
}

TEST_F(CorvaneErrorTest, CloseAtAnyPointOfTheFailureIsClean) {
    // The failure on the first read, then Close at once, while the stop may
    // still be on its way: no notice may come once Close has returned.
    for (int round = 0; round < 5; ++round) {
        camera_->SetStreamFault(sim::RvxStreamFault::kReadError, 0);
        Corvane_Run(device_);
        if (round % 2 == 1) {
            testsupport::WaitUntil([&] { return stream_.notices >= 1; }, kBound);
        }
        ASSERT_EQ(0, Corvane_Close(device_));
        const int notices = stream_.notices;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(notices, stream_.notices.load());
        stream_.notices = 0;
        camera_->SetStreamFault(sim::RvxStreamFault::kNone);
        ASSERT_EQ(0, Corvane_Open(0, &device_));
        stream_.device = device_;
        ASSERT_EQ(0, Corvane_SetStreamCallback(device_, OnStream, &stream_));
    }
    ASSERT_EQ(0, Corvane_Run(device_));
    const int pictures = stream_.pictures;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return stream_.pictures >= pictures + 2; }, kBound));
}

} // namespace
