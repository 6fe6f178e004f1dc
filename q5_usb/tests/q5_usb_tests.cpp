#include "q5_fixture.h"

#include "platform/system.h"
#include "testsupport/scoped_env.h"
#include "testsupport/temp_folder.h"

#include <cstdio>
#include <fstream>
#include <iterator>

using sim::EmulatedQ5Camera;

namespace {
bool IsJpeg(const std::vector<uint8_t>& data, uint32_t size) {
    return size > 4 && data[0] == 0xFF && data[1] == 0xD8 && data[size - 2] == 0xFF &&
           data[size - 1] == 0xD9;
}
} // namespace

TEST_F(Q5DriverTest, CameraPluggedBeforeInitIsAttachedAndStreams) {
    auto camera = Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));

    std::vector<uint8_t> frame(TovekCameraGetMaxFrameSize());
    uint32_t size = static_cast<uint32_t>(frame.size());
    // Not streaming yet: nothing to fetch.
    EXPECT_FALSE(TovekCameraGetFrameData(frame.data(), &size));
    EXPECT_EQ(0u, size);

    ASSERT_TRUE(TovekCameraPlay());
    uint32_t per_frame = 0;
    EXPECT_EQ(60u, TovekCameraGetPerFrameTime(&per_frame));
    EXPECT_EQ(60u, per_frame);
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STARTED));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        size = static_cast<uint32_t>(frame.size());
        return TovekCameraGetFrameData(frame.data(), &size) && size > 0;
    }));
    EXPECT_TRUE(IsJpeg(frame, size));

    TovekCameraStop();
    EXPECT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STOPPED));
    EXPECT_EQ(1u, camera->Counters().stop_requests);
    size = static_cast<uint32_t>(frame.size());
    EXPECT_FALSE(TovekCameraGetFrameData(frame.data(), &size));
    EXPECT_EQ(0u, size);
}

TEST_F(Q5DriverTest, FetchBeforeTheFirstPictureGivesAnEmptyPicture) {
    auto camera = Plug();
    camera->SetDeliveryDelay(60000); // the first picture never arrives during the test
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    uint8_t byte = 0;
    uint32_t size = 1;
    EXPECT_TRUE(TovekCameraGetFrameData(&byte, &size));
    EXPECT_EQ(0u, size);
}

TEST_F(Q5DriverTest, NumberedFetchCopiesEachPictureOnce) {
    auto camera = Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    std::vector<uint8_t> frame(Q5_MAX_FRAME_SIZE);
    uint32_t size = Q5_MAX_FRAME_SIZE;
    uint32_t number = 7;
    EXPECT_FALSE(TovekCameraGetNewFrameData(frame.data(), &size, &number, nullptr))
        << "not streaming";
    EXPECT_EQ(0u, size);
    EXPECT_EQ(7u, number) << "untouched when nothing was copied";
    EXPECT_FALSE(TovekCameraGetNewFrameData(frame.data(), &size, nullptr, nullptr));
    EXPECT_FALSE(TovekCameraGetNewFrameData(frame.data(), nullptr, &number, nullptr));

    camera->SetDeliveryDelay(300); // time for several fetches of one picture
    const uint32_t started = platform::GetTickCount();
    ASSERT_TRUE(TovekCameraPlay());
    number = 0;
    uint32_t arrival = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        size = Q5_MAX_FRAME_SIZE;
        return TovekCameraGetNewFrameData(frame.data(), &size, &number, &arrival);
    }));
    const uint32_t first = number;
    EXPECT_NE(0u, first);
    EXPECT_TRUE(IsJpeg(frame, size));
    EXPECT_LE(arrival - started, platform::GetTickCount() - started) << "handed off meanwhile";
    EXPECT_GE(arrival - started, 300u) << "not before the camera delivered it";

    // The same picture again: reported, not copied, number kept.
    struct Case {
        uint32_t capacity;
        uint32_t known;
        bool copied;
    };
    const uint32_t length = size;
    for (const Case& c : {Case{Q5_MAX_FRAME_SIZE, first, false}, Case{length - 1, 0, false},
                          Case{length, 0, true}}) {
        std::fill(frame.begin(), frame.end(), 0);
        size = c.capacity;
        number = c.known;
        const uint64_t pictures = camera->Counters().pictures;
        const bool copied = TovekCameraGetNewFrameData(frame.data(), &size, &number, nullptr);
        if (camera->Counters().pictures != pictures) {
            continue; // a new picture came meanwhile; the case proves nothing
        }
        EXPECT_EQ(c.copied, copied) << c.capacity << " " << c.known;
        EXPECT_EQ(length, size);
        EXPECT_EQ(c.copied ? first : c.known, number);
        EXPECT_EQ(c.copied, IsJpeg(frame, length));
    }

    // The next picture has another number; an old fetch still sees it.
    number = first;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        size = Q5_MAX_FRAME_SIZE;
        return TovekCameraGetNewFrameData(frame.data(), &size, &number, nullptr);
    }));
    EXPECT_NE(first, number);
    EXPECT_NE(0u, number);
    size = Q5_MAX_FRAME_SIZE;
    EXPECT_TRUE(TovekCameraGetFrameData(frame.data(), &size));
    EXPECT_TRUE(IsJpeg(frame, size));
}

TEST_F(Q5DriverTest, PipeKindDecidesTransferSizeAndOptions) {
    struct Case {
        sim::Q5PipeKind kind;
        bool accepted;
        uint32_t size;
        uint32_t options;
    };
    for (Case c : {Case{sim::Q5PipeKind::kBulk, true, 655360, 0},
                   Case{sim::Q5PipeKind::kIsochronous, true, 4096, 0x20},
                   Case{sim::Q5PipeKind::kNoPicturePipe, false, 0, 0}}) {
        sim::UsbBus().Reset(false);
        events_.Clear();
        Plug({.pipe = c.kind});
        ASSERT_TRUE(Init());
        if (c.accepted) {
            ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
            platform::MutexLock lock(q5::State().control_lock);
            ASSERT_TRUE(q5::State().listen_pipe);
            EXPECT_EQ(c.size, q5::State().listen_pipe->transfer_size);
            EXPECT_EQ(c.options, q5::State().listen_pipe->transfer_options);
        } else {
            // Refused silently: no event, and play has no device to stream from.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            EXPECT_TRUE(events_.Events().empty());
            EXPECT_FALSE(TovekCameraPlay());
        }
        TovekCameraUninit();
    }
}

TEST_F(Q5DriverTest, RefusedDeviceDoesNotBlockTheNextCamera) {
    Plug({.pipe = sim::Q5PipeKind::kNoPicturePipe});
    ASSERT_TRUE(Init());
    auto camera = Plug();
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    EXPECT_TRUE(testsupport::WaitUntil([&] { return camera->Counters().pictures > 0; }));
}

TEST_F(Q5DriverTest, PullOutWhileStreamingStopsBeforeDetach) {
    Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STARTED));
    sim::UsbBus().PullOut(ids_.back());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_DETACHED));
    EXPECT_EQ((std::vector<uint32_t>{Q5_EVENT_ATTACHED, Q5_EVENT_STREAM_STARTED,
                                     Q5_EVENT_STREAM_STOPPED, Q5_EVENT_DETACHED}),
              events_.Events());
    // The camera comes back: attached again and streaming can start again.
    Plug();
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED, 2));
    EXPECT_TRUE(TovekCameraPlay());
    EXPECT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STARTED, 2));
}

TEST_F(Q5DriverTest, FirstOfTwoCamerasStaysActiveUntilPulledOut) {
    auto first = Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    auto second = Plug();
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED, 2));
    ASSERT_TRUE(TovekCameraPlay());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return first->Counters().pictures >= 2; }));
    EXPECT_EQ(0u, second->Counters().frame_requests);

    // Pulling the second, idle camera leaves the stream of the first alone.
    sim::UsbBus().PullOut(ids_[1]);
    uint64_t before = first->Counters().pictures;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return first->Counters().pictures > before + 1; }));
    q5::DriverContext& context = *q5::State().context;
    context.list_lock.Lock();
    const uint32_t listed = context.device_count;
    context.list_lock.Unlock();
    EXPECT_EQ(1u, listed);

    sim::UsbBus().PullOut(ids_[0]);
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_DETACHED));
    EXPECT_FALSE(TovekCameraPlay());
}

TEST_F(Q5DriverTest, CameraThatNeverDeliversIsGivenUpAfter1002Reads) {
    auto camera = Plug();
    camera->SetTimeoutCap(1);
    camera->FailReads(sim::Q5ReadFault::kTimeOut);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STOPPED));
    EXPECT_EQ(1002u, camera->Counters().reads);
}

TEST_F(Q5DriverTest, CameraThatDeliveredOnceIsRetriedForEver) {
    platform::FakeClock clock; // the driver's retry sleeps pass at once
    auto camera = Plug();
    camera->FailReads(sim::Q5ReadFault::kNone);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return camera->Counters().pictures >= 1; }));
    camera->FailReads(sim::Q5ReadFault::kEmpty);
    uint64_t reads = camera->Counters().reads;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return camera->Counters().reads > reads + 1500; }));
    EXPECT_EQ((std::vector<uint32_t>{Q5_EVENT_ATTACHED, Q5_EVENT_STREAM_STARTED}),
              events_.Events());
    camera->FailReads(sim::Q5ReadFault::kNone);
    uint64_t pictures = camera->Counters().pictures;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return camera->Counters().pictures > pictures; }));
}

TEST_F(Q5DriverTest, PictureOfTheMaximumSizeIsDeliveredWhole) {
    platform::FakeClock clock;
    auto camera = Plug();
    camera->SetPictureFault(sim::Q5PictureFault::kExactMaximumSize);
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    std::vector<uint8_t> frame(Q5_MAX_FRAME_SIZE);
    uint32_t size = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        size = Q5_MAX_FRAME_SIZE;
        return TovekCameraGetFrameData(frame.data(), &size) && size > 0;
    }));
    EXPECT_EQ(Q5_MAX_FRAME_SIZE, size);
    EXPECT_TRUE(IsJpeg(frame, size));

    size = Q5_MAX_FRAME_SIZE - 1;
    EXPECT_FALSE(TovekCameraGetFrameData(frame.data(), &size));
    EXPECT_EQ(Q5_MAX_FRAME_SIZE, size);
}

TEST_F(Q5DriverTest, StopTwiceOrWithoutStartIsHarmless) {
    TovekCameraStop();
    Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    TovekCameraStop();
    ASSERT_TRUE(TovekCameraPlay());
    EXPECT_TRUE(TovekCameraPlay()); // still one worker
    TovekCameraStop();
    TovekCameraStop();
    EXPECT_TRUE(events_.WaitFor(Q5_EVENT_STREAM_STOPPED));
    std::vector<uint32_t> events = events_.Events();
    EXPECT_EQ(1, std::count(events.begin(), events.end(), uint32_t{Q5_EVENT_STREAM_STARTED}));
}

TEST_F(Q5DriverTest, StopDuringThePauseBetweenReadsDoesNotWaitItOut) {
    auto camera = Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    q5::State().pause_ms.store(1000); // the longest pause the worker takes
    ASSERT_TRUE(TovekCameraPlay());
    std::vector<uint8_t> frame(Q5_MAX_FRAME_SIZE);
    uint32_t number = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        uint32_t size = Q5_MAX_FRAME_SIZE;
        return TovekCameraGetNewFrameData(frame.data(), &size, &number, nullptr);
    }));
    // The worker handed the first picture off and pauses now.
    const auto start = std::chrono::steady_clock::now();
    TovekCameraStop();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(1u, camera->Counters().pictures) << "the stop came during the pause";
    EXPECT_LT(waited, std::chrono::milliseconds(500)) << "the stop waited out the pause";
    EXPECT_EQ(1u, camera->Counters().stop_requests);
}

TEST_F(Q5DriverTest, ControlRetriesTimeOutsButNotStalls) {
    auto camera = Plug();
    ASSERT_TRUE(Init());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
    EXPECT_EQ(0, TovekCameraControl(0x1B1)); // only the low byte counts
    EXPECT_EQ(std::vector<uint8_t>{0xB1}, camera->Commands());

    uint64_t before = camera->Counters().control_requests;
    camera->FailControlRequests(sim::Q5ControlFault::kStall);
    EXPECT_EQ(-1, TovekCameraControl(0xB2));
    EXPECT_EQ(before + 1, camera->Counters().control_requests);

    before = camera->Counters().control_requests;
    camera->FailControlRequests(sim::Q5ControlFault::kTimeOut);
    EXPECT_EQ(-1, TovekCameraControl(0xB2));
    EXPECT_EQ(before + 4, camera->Counters().control_requests);

    camera->FailControlRequests(sim::Q5ControlFault::kNone);
    sim::UsbBus().PullOut(ids_.back());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_DETACHED));
    EXPECT_EQ(-1, TovekCameraControl(0xB1));
}

TEST_F(Q5DriverTest, FixedTextsFitTheCallersBuffer) {
    char name[16];
    uint32_t size = sizeof name;
    TovekCameraGetDeviceName(name, &size);
    EXPECT_STREQ("Q5USB", name);
    EXPECT_EQ(5u, size);
    size = 3;
    TovekCameraGetDeviceName(name, &size);
    EXPECT_STREQ("Q5", name);

    char type[4];
    size = sizeof type;
    EXPECT_EQ(3, TovekCameraGetImagetype(type, &size));
    EXPECT_STREQ("JPG", type);
    EXPECT_EQ(655360u, TovekCameraGetMaxFrameSize()); // also before init
}

TEST_F(Q5DriverTest, Q5LogWritesTheDriversTraceLinesToTheFile) {
    const testsupport::TempFolder folder("q5_usb_trace");
    const std::string path = folder.File("q5_usb_trace.log");
    {
        const testsupport::ScopedEnv log("Q5LOG", "1");
        const testsupport::ScopedEnv file("Q5LOGFILE", path);
        Plug();
        ASSERT_TRUE(Init());
        ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));
        TovekCameraUninit();
    }

    std::ifstream in(path, std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, log.find("]: TovekCameraInit(), file:..\\src\\q5_usb.cpp line:"));
    EXPECT_NE(std::string::npos, log.find("DeviceAttach(): Received and accepted attach for vendor "
                                          "id 0x525, product id 0xa4a5, interface 0"));
    EXPECT_NE(std::string::npos, log.find("\r\n"));
    // Off again after uninit: a new init without Q5LOG writes nothing more.
    size_t length = log.size();
    ASSERT_TRUE(Init());
    TovekCameraUninit();
    in.close();
    std::ifstream again(path, std::ios::binary | std::ios::ate);
    EXPECT_EQ(static_cast<std::streamoff>(length), static_cast<std::streamoff>(again.tellg()));
}
