#include "extension_unit.h"

#include "device_finder.h"

#include "sim/rvx_camera.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace corvane {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(FindFirstExtensionUnit, TakesTheUnitOfTheVideoControlInterface) {
    auto camera = sim::EmulatedRvxCamera::Create();
    EXPECT_EQ(sim::kRvxExtensionUnitId, FindFirstExtensionUnit(camera->Descriptors()));

    // A streaming interface's Motion-JPEG format has the extension unit's
    // subtype; it must not be taken for one.
    const Bytes streaming_first = {
        9,  0x04, 1,    0, 0, 0x0E, 0x02, 0, 0,       // streaming interface
        11, 0x24, 0x06, 9, 1, 1,    1,    0, 0, 0, 0, // Motion-JPEG format
        9,  0x04, 0,    0, 1, 0x0E, 0x01, 0, 0,       // control interface
        26, 0x24, 0x06, 7, 0, 0,    0,    0, 0, 0, 0, 0,    0,
        0,  0,    0,    0, 0, 0,    0,    8, 1, 2, 1, 0xFF, 0};
    EXPECT_EQ(7, FindFirstExtensionUnit(streaming_first));

    EXPECT_EQ(-1,
              FindFirstExtensionUnit(Bytes(streaming_first.begin(), streaming_first.begin() + 29)));
    EXPECT_EQ(-1, FindFirstExtensionUnit({}));
    EXPECT_EQ(-1, FindFirstExtensionUnit(Bytes{9, 0x04, 0, 0, 1, 0x0E, 0x01, 0, 0, 0, 0x24}))
        << "a zero length ends the search";
    EXPECT_EQ(-1, FindFirstExtensionUnit(Bytes{9, 0x04, 0, 0, 1, 0x0E, 0x01, 0, 0, 26, 0x24, 6}))
        << "a descriptor running past the end";
}

// Records every query; fails the n-th one when asked.
class RecordingTransport final : public ExtensionUnitTransport {
public:
    struct Call {
        uint8_t unit;
        uint8_t selector;
        uint8_t request;
        Bytes data;
    };
    int Query(uint8_t unit, uint8_t selector, uint8_t request, std::span<uint8_t> data) override {
        queries->push_back({unit, selector, request, Bytes(data.begin(), data.end())});
        if (static_cast<int>(queries->size()) == fail_at) {
            return -EPIPE;
        }
        if (request == kUvcGetLen) {
            data[0] = length;
            data[1] = 0;
        } else if (request == kUvcGetCur) {
            for (size_t i = 0; i < data.size(); ++i) {
                data[i] = static_cast<uint8_t>(0xA0 + i);
            }
        }
        return 0;
    }
    std::vector<Call>* queries;
    int fail_at = 0;
    uint8_t length = 4;
};

class SequenceTest : public ::testing::Test {
protected:
    ExtensionUnitControl Unit(int fail_at = 0, uint8_t length = 4) {
        auto transport = std::make_unique<RecordingTransport>();
        transport->queries = &queries_;
        transport->fail_at = fail_at;
        transport->length = length;
        return ExtensionUnitControl(std::move(transport), 6);
    }
    std::vector<RecordingTransport::Call> queries_;
};

TEST_F(SequenceTest, CommandIsFiveWritesToControlFour) {
    ExtensionUnitControl unit = Unit();
    ASSERT_EQ(0, SendCommandSequence(unit, 0x1F));
    const std::vector<Bytes> expected = {{0x20, 0x46, 0xB4, 0x1F},
                                         {0x20, 0x38, 0xB4, 0x02},
                                         {0x20, 0x40, 0xB4, 0x00},
                                         {0x20, 0x41, 0xB4, 0x00},
                                         {0x20, 0x44, 0xB4, 0x01}};
    ASSERT_EQ(expected.size(), queries_.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(6, queries_[i].unit);
        EXPECT_EQ(kCommandControl, queries_[i].selector);
        EXPECT_EQ(kUvcSetCur, queries_[i].request);
        EXPECT_EQ(expected[i], queries_[i].data) << "write " << i + 1;
    }
}

TEST_F(SequenceTest, AFailedWriteEndsTheSequence) {
    ExtensionUnitControl unit = Unit(2);
    EXPECT_EQ(-1, SendCommandSequence(unit, 0x31));
    EXPECT_EQ(2u, queries_.size());
}

TEST_F(SequenceTest, StateIsSixWritesThenLengthThenByteThreeOfTheRead) {
    ExtensionUnitControl unit = Unit();
    int state = -5;
    ASSERT_EQ(0, ReadStateSequence(unit, &state));
    EXPECT_EQ(0xA3, state);
    ASSERT_EQ(8u, queries_.size());
    EXPECT_EQ((Bytes{0x20, 0x46, 0xB4, 0x00}), queries_[0].data);
    EXPECT_EQ((Bytes{0x00, 0x4D, 0xB4, 0xFF}), queries_[5].data);
    EXPECT_EQ(kUvcGetLen, queries_[6].request);
    EXPECT_EQ(kUvcGetCur, queries_[7].request);
    EXPECT_EQ(4u, queries_[7].data.size());
}

TEST_F(SequenceTest, StateFailsOnAnyFailureOrAControlOfAnotherLength) {
    int state = -5;
    for (int fail_at : {3, 7, 8}) {
        queries_.clear();
        ExtensionUnitControl unit = Unit(fail_at);
        EXPECT_EQ(-1, ReadStateSequence(unit, &state)) << fail_at;
        EXPECT_EQ(static_cast<size_t>(fail_at), queries_.size());
    }
    ExtensionUnitControl wide = Unit(0, 8);
    EXPECT_EQ(-1, ReadStateSequence(wide, &state));
    EXPECT_EQ(-5, state);
}

TEST(ExtensionUnitTransport, ReachesTheEmulatedCameraThroughTheDeviceBackEnd) {
    sim::RvxCameraOptions options;
    options.serial = "XU-TRANSPORT";
    auto camera = sim::EmulatedRvxCamera::Create(options);
    ASSERT_TRUE(camera->Plug());
    platform::VideoInputDevice device;
    for (const auto& found : Provider().EnumerateVideoInputs()) {
        if (found.path == camera->Node()) {
            device = found;
        }
    }
    ASSERT_EQ(camera->Node(), device.path);
    ExtensionUnitControl unit(OpenExtensionUnitTransport(device), sim::kRvxExtensionUnitId);
    ASSERT_EQ(0, SendCommandSequence(unit, 0x31));
    EXPECT_EQ(1, camera->State().zoom);
    int state = 0;
    ASSERT_EQ(0, ReadStateSequence(unit, &state));
    EXPECT_EQ(0x82, state);

    device.path = "rvx-sim:none";
    EXPECT_EQ(nullptr, OpenExtensionUnitTransport(device));
}

} // namespace
} // namespace corvane
