// The camera source's own logic, without GStreamer: the size probe, the
// control interface, the picture hand-off and the driver's events.
#include "camera_source_filter.h"
#include "camera_test_support.h"
#include "jpeg_header.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <future>
#include <set>

using camsrc::CameraSourceFilter;
using camsrc::CameraSourcePin;
using camsrc_test::Bytes;
using camsrc_test::EventRecorder;
using camsrc_test::PlugCamera;

namespace {

class CameraSourceTest : public testing::Test {
protected:
    void SetUp() override { sim::UsbBus().Reset(false); }
    void TearDown() override { sim::UsbBus().Reset(false); }

    // Fills a sample of the element's size.
    CameraSourcePin::FillResult Fill(CameraSourcePin& pin, Bytes* picture) {
        Bytes sample(kCameraSourceMaxPictureSize);
        size_t length = 0;
        const auto result = pin.FillBuffer(sample.data(), sample.size(), &length);
        sample.resize(length);
        *picture = std::move(sample);
        return result;
    }

    EventRecorder events_;
};

// The same filter for a test with a camera, its events recorded.
std::unique_ptr<CameraSourceFilter> MakeFilter(EventRecorder& events) {
    auto filter = std::make_unique<CameraSourceFilter>();
    filter->SetCallback(&EventRecorder::Callback, events.User());
    return filter;
}

TEST_F(CameraSourceTest, WithoutCameraTheProbeGivesUpAndNothingIsMeasured) {
    std::unique_ptr<CameraSourceFilter> filter;
    {
        platform::FakeClock clock; // the probe's 10 seconds pass at once
        filter = MakeFilter(events_);
        EXPECT_GE(clock.Slept(), 10000u);
    }
    ASSERT_NE(filter->Pin(), nullptr);
    int32_t width = -1;
    int32_t height = -1;
    EXPECT_EQ(E_FAIL, filter->GetFrameSize(&width, &height));
    EXPECT_EQ(-1, width) << "outputs stay untouched";
    EXPECT_EQ(E_FAIL, filter->GetFrameSize(nullptr, &height));
    EXPECT_EQ(E_FAIL, filter->GetFrameSize(&width, nullptr));

    // Start while detached does nothing; commands fail.
    EXPECT_EQ(S_OK, filter->Control(1));
    EXPECT_EQ(camsrc::kDetached, filter->Pin()->Camera().State());
    EXPECT_EQ(S_FALSE, filter->SendCommand(0xB1));
    EXPECT_EQ(S_OK, filter->Control(7)) << "unknown codes do nothing";

    // Announced size: default, then whatever was set, within JPEG limits.
    int32_t announced_width = 0;
    int32_t announced_height = 0;
    filter->Pin()->AnnouncedSize(&announced_width, &announced_height);
    EXPECT_EQ(1024, announced_width);
    EXPECT_EQ(768, announced_height);
    EXPECT_EQ(S_OK, filter->SetFrameSize(1920, 1080));
    EXPECT_EQ(E_INVALIDARG, filter->SetFrameSize(0, 1080));
    EXPECT_EQ(E_INVALIDARG, filter->SetFrameSize(1920, 70000));
    filter->Pin()->AnnouncedSize(&announced_width, &announced_height);
    EXPECT_EQ(1920, announced_width);
    EXPECT_EQ(1080, announced_height);
}

TEST_F(CameraSourceTest, StoppedFillBufferReturnsAnEmptySampleAtOnce) {
    platform::FakeClock clock;
    auto filter = MakeFilter(events_);
    filter->Control(0);
    Bytes picture{1, 2, 3};
    EXPECT_EQ(CameraSourcePin::FillResult::kEmpty, Fill(*filter->Pin(), &picture));
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(0u, events_.Count(CAMERA_SOURCE_PICTURE));
}

TEST_F(CameraSourceTest, OnlyOneFilterDrivesTheCamera) {
    platform::FakeClock clock;
    auto first = std::make_unique<CameraSourceFilter>();
    {
        CameraSourceFilter second;
        EXPECT_EQ(nullptr, second.Pin());
        EXPECT_EQ(S_FALSE, second.Control(1));
        EXPECT_EQ(S_FALSE, second.SendCommand(0xB1));
        int32_t width = 0;
        int32_t height = 0;
        EXPECT_EQ(E_FAIL, second.GetFrameSize(&width, &height));
        EXPECT_EQ(E_UNEXPECTED, second.SetFrameSize(640, 480));
        EXPECT_EQ(S_OK, second.SetCallback(nullptr, 0));
    }
    first.reset();
    CameraSourceFilter third;
    EXPECT_NE(nullptr, third.Pin()) << "the driver is free again";
}

TEST_F(CameraSourceTest, ProbeMeasuresTheCameraAndLeavesItAttachedAndIdle) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_EQ(S_OK, filter->GetFrameSize(&width, &height));
    EXPECT_EQ(640, width);
    EXPECT_EQ(480, height);
    EXPECT_EQ(camsrc::kAttached, filter->Pin()->Camera().State());
    // Idle: no picture is waiting and none comes without a start.
    const uint64_t requests = camera->Counters().frame_requests;
    filter->Control(0);
    Bytes picture;
    EXPECT_EQ(CameraSourcePin::FillResult::kEmpty, Fill(*filter->Pin(), &picture));
    EXPECT_EQ(requests, camera->Counters().frame_requests);
}

TEST_F(CameraSourceTest, EachPictureIsDeliveredOnceWhenPulledFasterThanTheCameraDelivers) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    // A camera several times slower than the 60 ms fetch period: the driver
    // hands out its last picture again and again meanwhile.
    camera->SetDeliveryDelay(200);
    ASSERT_EQ(S_OK, filter->Control(1));
    ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_STREAM_STARTED));

    std::set<Bytes> seen;
    std::vector<Bytes> delivered;
    for (int i = 0; i < 5; ++i) {
        Bytes picture;
        ASSERT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
        ASSERT_GT(picture.size(), 4u);
        EXPECT_EQ(0xFF, picture[0]);
        EXPECT_EQ(0xD8, picture[1]);
        EXPECT_TRUE(seen.insert(picture).second) << "picture " << i << " came twice";
        delivered.push_back(std::move(picture));
    }
    // Event 4 came with every picture, with the sample's bytes and length.
    const auto pictures = events_.Pictures();
    ASSERT_EQ(delivered.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(delivered[i].size(), pictures[i].length);
        EXPECT_EQ(delivered[i], pictures[i].bytes);
    }

    filter->Control(0);
    EXPECT_TRUE(events_.WaitFor(CAMERA_SOURCE_STREAM_STOPPED));
    Bytes picture;
    const auto result = Fill(*filter->Pin(), &picture);
    EXPECT_TRUE(result == CameraSourcePin::FillResult::kEmpty || seen.count(picture) == 0)
        << "a stopped source only gives a picture it never gave before";
}

// Pictures lent to the pipeline (no copy) stay whole while newer ones are
// fetched, published and lent, and may outlive the camera source.
TEST_F(CameraSourceTest, LentPicturesStayWholeWhileNewerOnesComeAndOutliveTheSource) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    ASSERT_EQ(S_OK, filter->Control(1));
    std::vector<std::unique_ptr<camsrc::LentPicture>> held;
    std::vector<Bytes> copies;
    for (int i = 0; i < 6; ++i) {
        std::unique_ptr<camsrc::LentPicture> picture;
        ASSERT_EQ(CameraSourcePin::FillResult::kPicture, filter->Pin()->LendPicture(&picture));
        ASSERT_NE(picture, nullptr);
        copies.emplace_back(picture->Data(), picture->Data() + picture->Length());
        if (i % 2 == 0)
            held.push_back(std::move(picture)); // the others go back at once
    }
    const auto pictures = events_.Pictures();
    ASSERT_EQ(copies.size(), pictures.size());
    for (size_t i = 0; i < copies.size(); ++i)
        EXPECT_EQ(copies[i], pictures[i].bytes) << "event 4 carries the lent bytes";
    for (size_t i = 0; i < held.size(); ++i)
        EXPECT_EQ(copies[2 * i], Bytes(held[i]->Data(), held[i]->Data() + held[i]->Length()));
    filter->Control(0);
    filter.reset();
    held.clear(); // their blocks go back to a store the source no longer has
}

TEST_F(CameraSourceTest, AHeldUpCameraShowsAsHeldUpNotAsItsLastPictureAgain) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    camsrc::CameraFrameSource& source = filter->Pin()->Camera();
    ASSERT_EQ(S_OK, filter->Control(1));
    Bytes picture;
    ASSERT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
    camera->SetDeliveryDelay(2500); // no new picture for the rest of the test
    // A picture already on its way may still come; take it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Bytes sample(kCameraSourceMaxPictureSize);
    source.TakeNewestPicture(sample.data(), sample.size());

    platform::FakeClock clock(platform::GetTickCount());
    clock.Advance(5000); // the pacing thread fetches, late, many times over
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(0u, source.TakeNewestPicture(sample.data(), sample.size()));
    filter->Control(0);
}

TEST_F(CameraSourceTest, CorruptPictureIsDeliveredButDoesNotChangeTheMeasuredSize) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    ASSERT_EQ(S_OK, filter->Control(1));

    camera->SetPictureSize(800, 600);
    camera->SetPictureFault(sim::Q5PictureFault::kCorrupt, sim::JpegDamage::kTruncate);
    // Wait for a picture of the new size: it is cut short, yet delivered.
    bool got_corrupt = false;
    for (int i = 0; i < 50 && !got_corrupt; ++i) {
        Bytes picture;
        ASSERT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
        int width = 0;
        int height = 0;
        got_corrupt = camsrc::ReadJpegFrameSize(picture.data(), picture.size(), &width, &height) &&
                      width == 800 && height == 600;
    }
    ASSERT_TRUE(got_corrupt);
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_EQ(S_OK, filter->GetFrameSize(&width, &height));
    EXPECT_EQ(640, width);
    EXPECT_EQ(480, height);

    // Whole pictures of the new size are measured.
    camera->SetPictureFault(sim::Q5PictureFault::kNone);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        Bytes picture;
        Fill(*filter->Pin(), &picture);
        return filter->GetFrameSize(&width, &height) == S_OK && width == 800;
    }));
    EXPECT_EQ(600, height);
}

TEST_F(CameraSourceTest, DriverEventsReachTheClientAcrossUnplugAndReplug) {
    sim::EmulatedDeviceId id = 0;
    auto first = PlugCamera(640, 480, &id);
    auto filter = MakeFilter(events_);
    ASSERT_EQ(S_OK, filter->Control(1));
    Bytes picture;
    ASSERT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));

    // A streaming thread waiting for the next picture while the camera goes.
    // The camera sends nothing new; pictures already on their way are taken
    // first, so the thread is surely waiting when the camera is pulled out.
    first->SetDeliveryDelay(60000);
    auto waiting = std::async(std::launch::async, [&] {
        Bytes next;
        CameraSourcePin::FillResult result;
        do {
            result = Fill(*filter->Pin(), &next);
        } while (result == CameraSourcePin::FillResult::kPicture);
        return result;
    });
    ASSERT_TRUE(sim::UsbBus().PullOut(id));
    ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_STREAM_STOPPED));
    ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_DETACHED));
    EXPECT_EQ(camsrc::kDetached, filter->Pin()->Camera().State());
    // Nothing more comes; the element's unlock frees the waiting thread.
    filter->Pin()->Interrupt(true);
    EXPECT_EQ(std::future_status::ready, waiting.wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(CameraSourcePin::FillResult::kInterrupted, waiting.get());
    filter->Pin()->Interrupt(false);

    // Start while detached does nothing; after the camera is back it works.
    const size_t started = events_.Count(CAMERA_SOURCE_STREAM_STARTED);
    filter->Control(1);
    auto camera = PlugCamera(640, 480);
    ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_ATTACHED));
    EXPECT_EQ(started, events_.Count(CAMERA_SOURCE_STREAM_STARTED));
    ASSERT_EQ(S_OK, filter->Control(1));
    ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_STREAM_STARTED, started + 1));
    EXPECT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
}

TEST_F(CameraSourceTest, OnlyAStreamThatEndsByItselfWhileAttachedCountsAsFailed) {
    enum class End { kFailedRead, kUnplug, kClientStop };
    for (End end : {End::kFailedRead, End::kUnplug, End::kClientStop}) {
        SCOPED_TRACE(static_cast<int>(end));
        sim::UsbBus().Reset(false);
        events_.Clear();
        sim::EmulatedDeviceId id = 0;
        auto camera = PlugCamera(640, 480, &id);
        auto filter = MakeFilter(events_);
        camsrc::CameraFrameSource& source = filter->Pin()->Camera();
        ASSERT_EQ(S_OK, filter->Control(1));
        Bytes picture;
        ASSERT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
        switch (end) {
        case End::kFailedRead:
            camera->FailReads(sim::Q5ReadFault::kStall, 1);
            break;
        case End::kUnplug:
            ASSERT_TRUE(sim::UsbBus().PullOut(id));
            ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_DETACHED));
            break;
        case End::kClientStop:
            filter->Control(0);
            break;
        }
        ASSERT_TRUE(events_.WaitFor(CAMERA_SOURCE_STREAM_STOPPED));
        EXPECT_FALSE(source.StreamEndedByItself()) << "a detach may still follow";
        {
            platform::FakeClock clock(platform::GetTickCount());
            clock.Advance(camsrc::kDetachGraceMs);
            EXPECT_EQ(end == End::kFailedRead, source.StreamEndedByItself());
        }
        if (end == End::kFailedRead) {
            // A picture handed off just before the failed read comes first.
            CameraSourcePin::FillResult result;
            int pictures = 0;
            while ((result = Fill(*filter->Pin(), &picture)) ==
                       CameraSourcePin::FillResult::kPicture &&
                   ++pictures < 3) {
            }
            EXPECT_EQ(CameraSourcePin::FillResult::kStreamEnded, result);
            EXPECT_EQ(0u, events_.Count(CAMERA_SOURCE_DETACHED));
            // A new start clears it and streams again.
            ASSERT_EQ(S_OK, filter->Control(1));
            EXPECT_FALSE(source.StreamEndedByItself());
            EXPECT_EQ(CameraSourcePin::FillResult::kPicture, Fill(*filter->Pin(), &picture));
        }
    }
}

TEST_F(CameraSourceTest, CommandsReachTheCamera) {
    auto camera = PlugCamera(640, 480);
    auto filter = MakeFilter(events_);
    EXPECT_EQ(S_OK, filter->SendCommand(0x1B1)) << "only the low byte is sent";
    const auto commands = camera->Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(0xB1, commands.back());
    camera->FailControlRequests(sim::Q5ControlFault::kStall, 1);
    EXPECT_EQ(S_FALSE, filter->SendCommand(0xB2));
}

TEST(JpegHeaderTest, ReadsTheFrameHeaderAndRefusesBrokenOnes) {
    auto camera = std::make_shared<sim::EmulatedQ5Camera>(sim::Q5CameraOptions{});
    const Bytes jpeg = *camera->CurrentPicture();
    int width = 0;
    int height = 0;
    ASSERT_TRUE(camsrc::ReadJpegFrameSize(jpeg.data(), jpeg.size(), &width, &height));
    EXPECT_EQ(1024, width);
    EXPECT_EQ(768, height);

    // Cut inside the headers, before the frame header is whole.
    for (size_t cut : {size_t{0}, size_t{3}, size_t{20}, size_t{100}}) {
        EXPECT_FALSE(camsrc::ReadJpegFrameSize(jpeg.data(), cut, &width, &height)) << cut;
    }
    for (sim::JpegDamage damage :
         {sim::JpegDamage::kBreakHeader, sim::JpegDamage::kNoStartMarker}) {
        const Bytes broken = sim::DamageJpeg(jpeg, damage);
        EXPECT_FALSE(camsrc::ReadJpegFrameSize(broken.data(), broken.size(), &width, &height));
    }
    const Bytes garbage(64, 0xFF);
    EXPECT_FALSE(camsrc::ReadJpegFrameSize(garbage.data(), garbage.size(), &width, &height));
}

} // namespace
