// The emulated Q5 camera: its protocol, its variants and every fault it can
// inject.
#include "sim/q5_camera.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <future>
#include <thread>

namespace sim {
namespace {

constexpr auto kBound = std::chrono::seconds(30); // only guards against a hang

// True when the bytes decode as a whole JPEG picture; its size goes to the
// out-parameters.
bool Decodes(const std::vector<uint8_t>& jpeg, int* width = nullptr, int* height = nullptr) {
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    bool ok =
        tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &subsampling, &colourspace) == 0;
    if (ok) {
        std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 3);
        ok = tjDecompress2(tj, jpeg.data(), jpeg.size(), pixels.data(), w, 0, h, TJPF_RGB, 0) == 0;
    }
    tjDestroy(tj);
    if (width != nullptr) {
        *width = w;
        *height = h;
    }
    return ok;
}

class Q5Camera : public ::testing::Test {
protected:
    void SetUp() override { Plug({}); }

    void Plug(const Q5CameraOptions& options) {
        bus_.PullOutAll();
        camera_ = std::make_shared<EmulatedQ5Camera>(options);
        id_ = bus_.PlugIn(camera_);
        ASSERT_NE(id_, 0u);
    }

    EmulatedTransferResult Request(uint8_t code, uint8_t* reply = nullptr,
                                   uint32_t timeout_ms = 1000) {
        uint8_t ignored[kQ5ReplySize];
        auto setup = MakeSetup({kQ5RequestType, code, 0, 0, kQ5ReplySize});
        return bus_.ControlTransfer(id_, setup.data(),
                                    std::span<uint8_t>(reply ? reply : ignored, kQ5ReplySize),
                                    timeout_ms);
    }

    // One read on 0x81 of size bytes; the bytes read go to picture.
    EmulatedTransferResult Read(std::vector<uint8_t>* picture, size_t size = kQ5MaxPictureSize,
                                uint32_t timeout_ms = 1000) {
        std::vector<uint8_t> buffer(size);
        EmulatedTransferResult result =
            bus_.PipeTransfer(id_, kQ5PicturePipe, true, 0, buffer, timeout_ms);
        buffer.resize(result.transferred);
        if (picture != nullptr) {
            *picture = std::move(buffer);
        }
        return result;
    }

    std::vector<uint8_t> RequestAndRead(size_t size = kQ5MaxPictureSize) {
        EXPECT_EQ(Request(kQ5FrameRequest).status, WD_STATUS_SUCCESS);
        std::vector<uint8_t> picture;
        EXPECT_EQ(Read(&picture, size).status, WD_STATUS_SUCCESS);
        return picture;
    }

    EmulatedUsbBus bus_;
    std::shared_ptr<EmulatedQ5Camera> camera_;
    EmulatedDeviceId id_ = 0;
};

TEST_F(Q5Camera, DescribesItsVariants) {
    auto pipe_of = [](Q5PipeKind kind) {
        Q5CameraOptions options;
        options.pipe = kind;
        platform::UsbDeviceDescription d = EmulatedQ5Camera(options).Description();
        EXPECT_EQ(d.descriptor.idVendor, kQ5VendorId);
        EXPECT_EQ(d.descriptor.idProduct, kQ5ProductId);
        EXPECT_EQ(d.interfaces.size(), 1u);
        return d.interfaces.at(0).alternate_settings.at(0).pipes.at(0);
    };
    WDU_PIPE_INFO bulk = pipe_of(Q5PipeKind::kBulk);
    EXPECT_EQ(bulk.dwNumber, 0x81u);
    EXPECT_EQ(bulk.type, PIPE_TYPE_BULK);
    EXPECT_EQ(bulk.dwMaximumPacketSize, 512u);
    EXPECT_EQ(bulk.direction, WDU_DIR_IN);
    WDU_PIPE_INFO iso = pipe_of(Q5PipeKind::kIsochronous);
    EXPECT_EQ(iso.dwNumber, 0x81u);
    EXPECT_EQ(iso.type, PIPE_TYPE_ISOCHRONOUS);
    EXPECT_EQ(iso.dwMaximumPacketSize, 512u);
    EXPECT_NE(pipe_of(Q5PipeKind::kNoPicturePipe).dwNumber, 0x81u);
}

TEST_F(Q5Camera, FrameRequestThenReadGivesOneWholeJpeg) {
    uint8_t reply[4] = {};
    EmulatedTransferResult answered = Request(kQ5FrameRequest, reply);
    EXPECT_EQ(answered.status, WD_STATUS_SUCCESS);
    EXPECT_EQ(answered.transferred, 4u);
    EXPECT_EQ(reply[1], kQ5FrameRequest);
    std::vector<uint8_t> picture;
    ASSERT_EQ(Read(&picture).status, WD_STATUS_SUCCESS);
    int width = 0, height = 0;
    EXPECT_TRUE(Decodes(picture, &width, &height));
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(picture, *camera_->CurrentPicture());

    camera_->SetPictureSize(640, 480);
    EXPECT_TRUE(Decodes(RequestAndRead(), &width, &height));
    EXPECT_EQ(width, 640);
    Q5Counters counters = camera_->Counters();
    EXPECT_EQ(counters.frame_requests, 2u);
    EXPECT_EQ(counters.reads, 2u);
    EXPECT_EQ(counters.pictures, 2u);
}

TEST_F(Q5Camera, ReadWithoutARequestTimesOutAndStopDropsTheRequest) {
    EXPECT_EQ(Read(nullptr, kQ5MaxPictureSize, 30).status, WD_TIME_OUT_EXPIRED);
    Request(kQ5FrameRequest);
    Request(kQ5StopRequest);
    camera_->SetTimeoutCap(20);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED) << "capped, still the time-out status";
    Q5Counters counters = camera_->Counters();
    EXPECT_EQ(counters.read_timeouts, 2u);
    EXPECT_EQ(counters.stop_requests, 1u);
    EXPECT_EQ(counters.pictures, 0u);
}

TEST_F(Q5Camera, CommandBytesChangeThePicture) {
    std::vector<uint8_t> before = RequestAndRead();
    for (uint8_t command : {0xB1, 0xBA, 0xBB, 0xB6, 0x01}) {
        uint8_t reply[4] = {};
        EXPECT_EQ(Request(command, reply).transferred, 4u) << "unknown bytes are answered too";
        EXPECT_EQ(reply[1], command);
    }
    CameraState state = camera_->State();
    EXPECT_EQ(state.zoom, 1);
    EXPECT_TRUE(state.negative);
    EXPECT_EQ(camera_->Commands(), (std::vector<uint8_t>{0xB1, 0xBA, 0xBB, 0xB6, 0x01}));
    EXPECT_EQ(camera_->Counters().commands, 5u);
    std::vector<uint8_t> after = RequestAndRead();
    EXPECT_TRUE(Decodes(after));
    EXPECT_NE(after, before);
}

TEST_F(Q5Camera, ReadFaultsFailTheReadsAskedFor) {
    camera_->SetTimeoutCap(10);
    camera_->FailReads(Q5ReadFault::kTimeOut);
    for (int i = 0; i < 3; ++i) {
        Request(kQ5FrameRequest);
        EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED);
    }
    camera_->FailReads(Q5ReadFault::kTimeOut, 2);
    Request(kQ5FrameRequest);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED);
    std::vector<uint8_t> picture;
    EXPECT_EQ(Read(&picture).status, WD_STATUS_SUCCESS) << "the request outlived the time-outs";
    EXPECT_TRUE(Decodes(picture));

    camera_->FailReads(Q5ReadFault::kEmpty);
    Request(kQ5FrameRequest);
    EmulatedTransferResult empty = Read(nullptr);
    EXPECT_EQ(empty.status, WD_STATUS_SUCCESS);
    EXPECT_EQ(empty.transferred, 0u);
    camera_->FailReads(Q5ReadFault::kStall, 1);
    Request(kQ5FrameRequest);
    EXPECT_EQ(Read(nullptr).status, WD_USBD_STATUS_STALL_PID);
    camera_->FailReads(Q5ReadFault::kNone);
    EXPECT_TRUE(Decodes(RequestAndRead()));
    EXPECT_EQ(camera_->Counters().read_timeouts, 5u);
}

TEST_F(Q5Camera, ControlFaultsStallTimeOutOrRefuse) {
    camera_->SetTimeoutCap(10);
    camera_->FailControlRequests(Q5ControlFault::kStall, 1);
    EXPECT_EQ(Request(0xB1).status, WD_USBD_STATUS_STALL_PID);
    EXPECT_EQ(Request(0xB1).status, WD_STATUS_SUCCESS) << "one request only";

    camera_->FailControlRequests(Q5ControlFault::kTimeOut);
    EXPECT_EQ(Request(kQ5FrameRequest).status, WD_TIME_OUT_EXPIRED);
    EXPECT_EQ(Request(0xB2).status, WD_TIME_OUT_EXPIRED);

    camera_->FailControlRequests(Q5ControlFault::kRefuse, EmulatedQ5Camera::kEvery,
                                 kQ5FrameRequest);
    EmulatedTransferResult refused = Request(kQ5FrameRequest);
    EXPECT_EQ(refused.status, WD_STATUS_SUCCESS);
    EXPECT_EQ(refused.transferred, 0u);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED) << "a refused request asks for nothing";
    EXPECT_EQ(Request(0xB3).transferred, 4u) << "other requests pass";

    camera_->FailControlRequests(Q5ControlFault::kNone);
    EXPECT_TRUE(Decodes(RequestAndRead()));
    EXPECT_EQ(camera_->Counters().control_requests, 7u);
    EXPECT_EQ(camera_->State().zoom, 1) << "only the answered 0xB1 counted";
}

TEST_F(Q5Camera, PicturesOfTheMaximumSizeOrLarger) {
    camera_->SetPictureFault(Q5PictureFault::kExactMaximumSize);
    std::vector<uint8_t> exact = RequestAndRead();
    EXPECT_EQ(exact.size(), kQ5MaxPictureSize);
    EXPECT_TRUE(Decodes(exact));

    // Larger: read in pieces on packet boundaries, else the buffer overruns.
    camera_->SetTimeoutCap(10);
    camera_->SetPictureFault(Q5PictureFault::kOversize);
    std::vector<uint8_t> head = RequestAndRead();
    EXPECT_EQ(head.size(), kQ5MaxPictureSize);
    std::vector<uint8_t> tail;
    ASSERT_EQ(Read(&tail).status, WD_STATUS_SUCCESS) << "the rest needs no request";
    EXPECT_EQ(head.size() + tail.size(), kQ5OversizePictureSize);
    head.insert(head.end(), tail.begin(), tail.end());
    EXPECT_TRUE(Decodes(head));

    RequestAndRead();
    Request(kQ5FrameRequest); // drops the rest of the picture
    EXPECT_EQ(RequestAndRead().size(), kQ5MaxPictureSize);

    Request(kQ5FrameRequest);
    EmulatedTransferResult overrun = Read(nullptr, kQ5MaxPictureSize - 1);
    EXPECT_EQ(overrun.status, WD_USBD_STATUS_BABBLE);
    EXPECT_EQ(overrun.transferred, kQ5MaxPictureSize - 1);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED) << "the rest was dropped";
}

TEST_F(Q5Camera, IsochronousReadDropsWhatDoesNotFit) {
    Q5CameraOptions options;
    options.pipe = Q5PipeKind::kIsochronous;
    Plug(options);
    camera_->SetTimeoutCap(10);
    camera_->SetPictureFault(Q5PictureFault::kOversize);
    EXPECT_EQ(RequestAndRead().size(), kQ5MaxPictureSize);
    EXPECT_EQ(Read(nullptr).status, WD_TIME_OUT_EXPIRED);
}

TEST_F(Q5Camera, CorruptPicturesDoNotDecode) {
    for (JpegDamage damage :
         {JpegDamage::kTruncate, JpegDamage::kBreakHeader, JpegDamage::kNoStartMarker}) {
        camera_->SetPictureFault(Q5PictureFault::kCorrupt, damage);
        std::vector<uint8_t> picture = RequestAndRead();
        EXPECT_FALSE(picture.empty());
        EXPECT_FALSE(Decodes(picture)) << static_cast<int>(damage);
    }
}

TEST_F(Q5Camera, PullOutEndsReadsAndWaitsAtOnce) {
    // In the middle of a read, by fault injection.
    camera_->FailReads(Q5ReadFault::kPullOut);
    Request(kQ5FrameRequest);
    EXPECT_EQ(Read(nullptr).status, WD_DEVICE_NOT_FOUND);
    EXPECT_EQ(bus_.DeviceCount(), 0u);

    // During a read that waits without limit, and during a delivery delay.
    for (bool delayed : {false, true}) {
        Plug({});
        camera_->SetDeliveryDelay(delayed ? 600000 : 0);
        if (delayed) {
            Request(kQ5FrameRequest);
        }
        auto read = std::async(std::launch::async, [this] { return Read(nullptr, 1024, 0); });
        EXPECT_TRUE(testsupport::WaitUntil([&] { return camera_->Counters().reads != 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        bus_.PullOut(id_);
        ASSERT_EQ(read.wait_for(kBound), std::future_status::ready);
        EXPECT_EQ(read.get().status, WD_DEVICE_NOT_FOUND);
    }
}

TEST_F(Q5Camera, FaultsChangeWhileAnotherThreadStreams) {
    camera_->SetTimeoutCap(5);
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) {
            camera_->FailReads(i % 3 == 0 ? Q5ReadFault::kEmpty : Q5ReadFault::kNone, 1);
            camera_->FailControlRequests(
                i % 4 == 0 ? Q5ControlFault::kStall : Q5ControlFault::kNone, 1);
            camera_->SetPictureFault(i % 2 == 0 ? Q5PictureFault::kNone
                                                : Q5PictureFault::kExactMaximumSize);
            Request(static_cast<uint8_t>(0xBC + i % 2));
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 40; ++i) {
        Request(kQ5FrameRequest);
        std::vector<uint8_t> picture;
        WD_STATUS status = Read(&picture).status;
        EXPECT_TRUE(status == WD_STATUS_SUCCESS || status == WD_TIME_OUT_EXPIRED) << status;
        EXPECT_TRUE(picture.empty() || Decodes(picture));
    }
    stop = true;
    changer.join();
}

} // namespace
} // namespace sim

TEST(Q5CameraOptions, TheEnvironmentSetsTheDefaultCamerasSizeAndReplay) {
    struct Case {
        const char* size;
        const char* replay;
        int width;
        int height;
        uint32_t replay_length;
    };
    const Case cases[] = {
        {nullptr, nullptr, 1024, 768, 0}, {"1920x1080", "16", 1920, 1080, 16},
        {"1920x", "16x", 1024, 768, 0}, // malformed: ignored
        {"0x1080", "-", 1024, 768, 0},  // no picture of nothing
        {"640x480 ", "", 1024, 768, 0}, // nothing may follow
    };
    for (const Case& c : cases) {
        const sim::Q5CameraOptions options = sim::DefaultQ5CameraOptions(c.size, c.replay);
        EXPECT_TRUE(options.live_marker);
        EXPECT_EQ(c.width, options.width) << (c.size ? c.size : "unset");
        EXPECT_EQ(c.height, options.height) << (c.size ? c.size : "unset");
        EXPECT_EQ(c.replay_length, options.replay_length) << (c.replay ? c.replay : "unset");
    }
}
