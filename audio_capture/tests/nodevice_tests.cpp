// The library on a machine without any sound input and without the emulated
// devices (as in CI).
#include "TovekAudioCapture.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

bool SystemHasSoundSource() {
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Audio/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    const bool any = devices != nullptr;
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return any;
}

class NoSoundDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    void SetUp() override {
        if (SystemHasSoundSource()) {
            GTEST_SKIP() << "this machine has a sound source";
        }
        ASSERT_EQ(0, Tovek_WAC_Open(&context_));
    }
    void TearDown() override { Tovek_WAC_Close(context_); }

    AudioCaptureContext* context_ = nullptr;
};

TEST_F(NoSoundDevice, EnumerationStoresZeroAndFails) {
    int32_t count = 77;
    EXPECT_EQ(-1, Tovek_WAC_EnumSourceDevice(context_, nullptr, &count));
    EXPECT_EQ(0, count);
    AudioDeviceRecord record;
    count = 1;
    EXPECT_EQ(-1, Tovek_WAC_EnumSourceDevice(context_, &record, &count));
    EXPECT_EQ(0, count);
}

TEST_F(NoSoundDevice, NothingToConnectButEncodersStayListed) {
    AudioDeviceRecord source{};
    AudioDeviceRecord encoder{};
    std::strcpy(source.name, "Simulated Microphone");
    std::strcpy(encoder.name, "PCM");
    EXPECT_EQ(-1, Tovek_WAC_ConnectDevice(context_, source, encoder));
    int32_t count = 0;
    EXPECT_EQ(0, Tovek_WAC_EnumEncoderDevice(context_, nullptr, &count));
    EXPECT_GE(count, 1);
}

} // namespace
