#include "extension_unit.h"

#include "device_finder.h"

#include "sim/rvx_camera.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <string>

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
            return -fail_errno;
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
    int fail_errno = EPIPE;
    uint8_t length = 4;
};

class SequenceTest : public ::testing::Test {
protected:
    ExtensionUnitControl Unit(int fail_at = 0, uint8_t length = 4, int fail_errno = EPIPE) {
        auto transport = std::make_unique<RecordingTransport>();
        transport->queries = &queries_;
        transport->fail_at = fail_at;
        transport->fail_errno = fail_errno;
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

// The trace lines of the extension unit's debug category.
class TraceLines {
public:
    TraceLines() {
        gst_init(nullptr, nullptr);
        gst_debug_set_active(TRUE);
        gst_debug_set_threshold_for_name(kExtensionUnitDebugCategory, GST_LEVEL_WARNING);
        gst_debug_add_log_function(&TraceLines::Log, this, nullptr);
    }
    ~TraceLines() { gst_debug_remove_log_function_by_data(this); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    static void Log(GstDebugCategory* category, GstDebugLevel, const gchar*, const gchar*, gint,
                    GObject*, GstDebugMessage* message, gpointer self) {
        if (std::string(gst_debug_category_get_name(category)) != kExtensionUnitDebugCategory) {
            return;
        }
        auto* lines = static_cast<TraceLines*>(self);
        std::lock_guard<std::mutex> lock(lines->mutex_);
        lines->lines_.emplace_back(gst_debug_message_get(message));
    }
    std::mutex mutex_; // guards lines_
    std::vector<std::string> lines_;
};

struct RefusalCase {
    int error;
    const char* name;
    bool command; // the command sequence, else the state read
    int fail_at;  // the query that fails
    const char* query;
};

// A control the camera does not list in its bitmap (ENOENT) or a stall (EIO,
// EPIPE): the export's failure result, the rest of the sequence unsent, and
// one trace line that says what failed.
TEST_F(SequenceTest, AControlTheCameraRefusesFailsWithOneTraceLine) {
    const RefusalCase cases[] = {
        {ENOENT, "ENOENT", true, 1, "control 4 SET_CUR"},
        {EIO, "EIO", true, 4, "control 4 SET_CUR"},
        {EPIPE, "EPIPE", false, 7, "control 4 GET_LEN"},
        {ENOENT, "ENOENT", false, 8, "control 4 GET_CUR"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        TraceLines trace;
        queries_.clear();
        ExtensionUnitControl unit = Unit(c.fail_at, 4, c.error);
        int state = -5;
        EXPECT_EQ(-1,
                  c.command ? SendCommandSequence(unit, 0x31) : ReadStateSequence(unit, &state));
        EXPECT_EQ(static_cast<size_t>(c.fail_at), queries_.size());
        EXPECT_EQ(-5, state);
        const std::vector<std::string> lines = trace.Lines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_NE(lines[0].find(c.query), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find(c.name), std::string::npos) << lines[0];
    }
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
