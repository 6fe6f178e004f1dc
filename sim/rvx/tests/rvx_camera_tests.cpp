#include "sim/rvx_camera.h"

#include "platform/devices.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>

namespace sim {
namespace {

using Bytes = std::array<uint8_t, 4>;

int Write(EmulatedRvxCamera& camera, Bytes bytes) {
    return camera.ControlQuery(kRvxExtensionUnitId, kRvxCommandControl, kUvcSetCur, bytes);
}

int SendCommand(EmulatedRvxCamera& camera, uint8_t command) {
    for (const Bytes& bytes : {Bytes{0x20, 0x46, 0xB4, command}, Bytes{0x20, 0x38, 0xB4, 0x02},
                               Bytes{0x20, 0x40, 0xB4, 0x00}, Bytes{0x20, 0x41, 0xB4, 0x00},
                               Bytes{0x20, 0x44, 0xB4, 0x01}}) {
        if (int result = Write(camera, bytes)) {
            return result;
        }
    }
    return 0;
}

int ReadState(EmulatedRvxCamera& camera) {
    for (const Bytes& bytes : {Bytes{0x20, 0x46, 0xB4, 0x00}, Bytes{0x20, 0x38, 0xB4, 0x02},
                               Bytes{0x20, 0x44, 0xB4, 0x02}, Bytes{0x00, 0x4C, 0xB4, 0x00},
                               Bytes{0x00, 0x4C, 0xB4, 0xFF}, Bytes{0x00, 0x4D, 0xB4, 0xFF}}) {
        if (int result = Write(camera, bytes)) {
            return result;
        }
    }
    Bytes reply{};
    const int result =
        camera.ControlQuery(kRvxExtensionUnitId, kRvxCommandControl, kUvcGetCur, reply);
    return result != 0 ? result : reply[3];
}

std::shared_ptr<EmulatedRvxCamera> PluggedCamera(const char* serial) {
    RvxCameraOptions options;
    options.serial = serial;
    options.live_marker = false;
    auto camera = EmulatedRvxCamera::Create(options);
    EXPECT_TRUE(camera->Plug());
    return camera;
}

TEST(EmulatedRvxCamera, IsAVideoInputWhilePluggedAndEnabled) {
    auto camera = PluggedCamera("CAM-A");
    const auto find = [&] {
        for (const auto& device : platform::Emulated().Provider().EnumerateVideoInputs()) {
            if (device.path == camera->Node()) {
                return device;
            }
        }
        return platform::VideoInputDevice{};
    };
    EXPECT_EQ(kRvxFriendlyName, find().friendly_name);
    EXPECT_EQ(0u,
              find().display_name.find("@device:pnp:\\\\?\\usb#vid_0ac8&pid_3610&mi_00#cam-a#"));
    EXPECT_EQ(camera, FindRvxCamera(camera->Node()));

    EXPECT_TRUE(camera->SetNodeDisabled(true));
    EXPECT_TRUE(find().path.empty());
    platform::DevNodeStatus status;
    ASSERT_TRUE(
        platform::Emulated().Provider().GetDevNodeStatus("USB\\VID_0AC8&PID_3610\\CAM-A", &status));
    EXPECT_EQ(platform::CM_PROB_DISABLED, status.problem);
    camera->SetNodeDisabled(false);

    EXPECT_TRUE(camera->Pull());
    EXPECT_FALSE(camera->Pull());
    EXPECT_TRUE(find().path.empty());
    EXPECT_EQ(nullptr, camera->TakePicture(640, 480));
    EXPECT_TRUE(camera->Plug());
    EXPECT_TRUE(camera->Plug()) << "plugging twice is harmless";
    EXPECT_FALSE(find().path.empty());

    const std::string node = camera->Node();
    camera.reset(); // pulls it out
    EXPECT_EQ(nullptr, FindRvxCamera(node));
    for (const auto& device : platform::Emulated().Provider().EnumerateVideoInputs()) {
        EXPECT_NE(node, device.path);
    }
}

TEST(EmulatedRvxCamera, ItsDeviceNamesTheSourceAndReachesTheExtensionUnit) {
    auto camera = PluggedCamera("CAM-XU");
    platform::DeviceProvider& provider = platform::Emulated().Provider();
    platform::VideoInputDevice device;
    for (const auto& found : provider.EnumerateVideoInputs()) {
        if (found.path == camera->Node()) {
            device = found;
        }
    }
    EXPECT_EQ(kRvxSourceFactory, device.source_factory);
    auto unit = provider.OpenExtensionUnit(device);
    ASSERT_NE(nullptr, unit);
    for (Bytes bytes : {Bytes{0x20, 0x46, 0xB4, 0x31}, Bytes{0x20, 0x38, 0xB4, 0x02},
                        Bytes{0x20, 0x40, 0xB4, 0x00}, Bytes{0x20, 0x41, 0xB4, 0x00},
                        Bytes{0x20, 0x44, 0xB4, 0x01}}) {
        ASSERT_EQ(0, unit->Query(kRvxExtensionUnitId, kRvxCommandControl, kUvcSetCur, bytes));
    }
    EXPECT_EQ(1, camera->State().zoom) << "the command reached the camera";

    // A transport outliving its camera answers like a pulled device.
    camera.reset();
    Bytes bytes{};
    EXPECT_EQ(-ENODEV, unit->Query(kRvxExtensionUnitId, kRvxCommandControl, kUvcGetCur, bytes));
    EXPECT_EQ(nullptr, provider.OpenExtensionUnit(device));
}

TEST(EmulatedRvxCamera, CommandsChangeThePictureAndHoldTheirStatus) {
    platform::FakeClock clock;
    auto camera = PluggedCamera("CAM-B");
    const auto before = camera->TakePicture(640, 480);
    ASSERT_NE(nullptr, before);
    EXPECT_EQ(0xD8, (*before)[1]);

    EXPECT_EQ(kRvxStatusNormal, ReadState(*camera));
    ASSERT_EQ(0, SendCommand(*camera, 0x31)); // zoom in
    EXPECT_EQ(1, camera->State().zoom);
    EXPECT_EQ(std::vector<uint8_t>{0x31}, camera->Commands());
    EXPECT_NE(*before, *camera->TakePicture(640, 480));

    EXPECT_EQ(0x82, ReadState(*camera)) << "Tele";
    clock.Advance(kRvxStatusHoldMs - 1);
    EXPECT_EQ(0x82, ReadState(*camera));
    clock.Advance(1);
    EXPECT_EQ(kRvxStatusNormal, ReadState(*camera));

    ASSERT_EQ(0, SendCommand(*camera, 0x38)); // negative
    EXPECT_EQ(0x81, ReadState(*camera));
    EXPECT_TRUE(camera->State().negative);
    EXPECT_EQ(2u, camera->Counters().commands);
}

TEST(EmulatedRvxCamera, QueriesOutsideTheRegisterSequenceFailLikeAUvcControl) {
    auto camera = PluggedCamera("CAM-C");
    std::array<uint8_t, 2> length{};
    ASSERT_EQ(0, camera->ControlQuery(kRvxExtensionUnitId, kRvxCommandControl, kUvcGetLen, length));
    EXPECT_EQ(4, length[0] | length[1] << 8);

    Bytes reply{};
    EXPECT_EQ(-EPIPE,
              camera->ControlQuery(kRvxExtensionUnitId, kRvxCommandControl, kUvcGetCur, reply))
        << "a read needs a state sequence first";
    EXPECT_EQ(-EPIPE, Write(*camera, {0x20, 0x38, 0xB4, 0x02}));
    EXPECT_EQ(-ENOENT,
              camera->ControlQuery(kRvxExtensionUnitId + 1, kRvxCommandControl, kUvcSetCur, reply));
    EXPECT_EQ(-ENOENT, camera->ControlQuery(kRvxExtensionUnitId, 5, kUvcSetCur, reply));
    std::array<uint8_t, 3> short_data{};
    EXPECT_EQ(-EINVAL, camera->ControlQuery(kRvxExtensionUnitId, kRvxCommandControl, kUvcSetCur,
                                            short_data));
    EXPECT_EQ(2u, camera->Counters().refused);

    // Two senders interleaved: a first write where the third belongs is
    // refused, and the sequence cut short leaves no command behind.
    EXPECT_EQ(0, Write(*camera, {0x20, 0x46, 0xB4, 0x4A}));
    EXPECT_EQ(0, Write(*camera, {0x20, 0x38, 0xB4, 0x02}));
    EXPECT_EQ(-EPIPE, Write(*camera, {0x20, 0x46, 0xB4, 0x4B}));
    EXPECT_EQ(-EPIPE, Write(*camera, {0x20, 0x40, 0xB4, 0x00}));
    EXPECT_TRUE(camera->Commands().empty());
    // A state read's third write after a command's first is refused too.
    EXPECT_EQ(0, Write(*camera, {0x20, 0x46, 0xB4, 0x4A}));
    EXPECT_EQ(0, Write(*camera, {0x20, 0x38, 0xB4, 0x02}));
    EXPECT_EQ(-EPIPE, Write(*camera, {0x20, 0x44, 0xB4, 0x02}));

    camera->Pull();
    EXPECT_EQ(-ENODEV, SendCommand(*camera, 0x31));
}

TEST(EmulatedRvxCamera, DescriptorsDeclareTheirLengths) {
    const auto descriptors = PluggedCamera("CAM-D")->Descriptors();
    ASSERT_GT(descriptors.size(), 18u + 9u);
    EXPECT_EQ(18, descriptors[0]);
    EXPECT_EQ(kRvxVendorId, descriptors[8] | descriptors[9] << 8);
    // The configuration's total length covers the rest exactly.
    EXPECT_EQ(descriptors.size() - 18, static_cast<size_t>(descriptors[20] | descriptors[21] << 8));
    size_t at = 0;
    while (at < descriptors.size()) {
        ASSERT_GE(descriptors[at], 2) << "at " << at;
        at += descriptors[at];
    }
    EXPECT_EQ(descriptors.size(), at);
}

TEST(RvxCameraOptions, TheEnvironmentSetsTheDefaultCamerasSizeAndReplay) {
    struct Case {
        const char* size;
        const char* replay;
        int width;
        int height;
        uint32_t replay_length;
    };
    const Case cases[] = {
        {nullptr, nullptr, 1280, 720, 0},
        {"2592x1944", "16", 2592, 1944, 16},
        {"2592x", "16x", 1280, 720, 0}, // malformed: ignored
        {"640x480 ", "", 1280, 720, 0}, // nothing may follow
    };
    for (const Case& c : cases) {
        const RvxCameraOptions options = DefaultRvxCameraOptions(c.size, c.replay);
        EXPECT_EQ(c.width, options.default_width) << (c.size ? c.size : "unset");
        EXPECT_EQ(c.height, options.default_height) << (c.size ? c.size : "unset");
        EXPECT_EQ(c.replay_length, options.replay_length) << (c.replay ? c.replay : "unset");
    }
}

} // namespace
} // namespace sim
