// The emulated-device installer: what a process has before and after it, that
// a second call changes nothing, the commands tovek-sim sends, and how the
// environment asks for it. CTest runs each test in its own process, so
// "before" is a process that never installed.
#include "sim/install.h"

#include "TovekAudioCapture.h"
#include "sim/control.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_bus.h"

#include "platform/devices.h"
#include "platform/sound_sources.h"
#include "platform/system.h"
#include "platform/usb.h"
#include "platform/usb_backend.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace sim {
namespace {

using namespace std::chrono_literals;

// Counts the devices a WDU_* registration is given.
struct Registration {
    std::mutex mutex; // guards vendors
    std::condition_variable cv;
    std::vector<uint16_t> vendors;
    WDU_DRIVER_HANDLE driver = nullptr;

    static bool OnAttach(WDU_DEVICE_HANDLE, WDU_DEVICE* info, void* user) {
        auto* self = static_cast<Registration*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->vendors.push_back(info->Descriptor.idVendor);
        self->cv.notify_all();
        return false; // let it go again: only the count matters
    }
    ~Registration() { WDU_Uninit(driver); }

    WD_STATUS Start() {
        WDU_MATCH_TABLE any{};
        WDU_EVENT_TABLE events{OnAttach, nullptr, nullptr, this};
        return WDU_Init(&driver, &any, 1, &events, "", 0);
    }
    // The vendors attached within wait (a quiet bus ends the wait early
    // only when something came).
    std::vector<uint16_t> Attached(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait_for(lock, wait, [&] { return !vendors.empty(); });
        lock.unlock();
        std::this_thread::sleep_for(50ms); // room for a second one that should not come
        lock.lock();
        return vendors;
    }
};

std::vector<platform::VideoInputDevice> EmulatedVideoInputs() {
    return platform::Emulated().Provider().EnumerateVideoInputs();
}

bool RvxSourceKnown() {
    GstElementFactory* factory = gst_element_factory_find(kRvxSourceFactory);
    if (factory == nullptr) {
        return false;
    }
    gst_object_unref(factory);
    return true;
}

// The names of the sound sources the audio library lists, in its order.
std::vector<std::string> SoundSourceNames() {
    int32_t count = 0;
    if (Tovek_WAC_EnumSourceDevice(reinterpret_cast<AudioCaptureContext*>(1), nullptr, &count) !=
        0) {
        return {};
    }
    std::vector<AudioDeviceRecord> records(static_cast<size_t>(count));
    Tovek_WAC_EnumSourceDevice(reinterpret_cast<AudioCaptureContext*>(1), records.data(), &count);
    std::vector<std::string> names;
    for (const AudioDeviceRecord& record : records) {
        names.emplace_back(record.name);
    }
    return names;
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override { gst_init(nullptr, nullptr); }
};

// Declared first, so that it also holds when the whole program runs in one
// process. TOVEK_SIMULATE is for the code that puts a program together to
// read: no library may take it as an order.
TEST_F(Installer, AProcessThatDidNotInstallHasTheRealBackEndsWhateverItsEnvironment) {
    setenv("TOVEK_SIMULATE", "1", 1);
    EXPECT_FALSE(platform::EmulatedDevicesRequested());
    EXPECT_FALSE(platform::usb::EmulatedBackendInstalled());
    EXPECT_EQ(&platform::Devices(), &platform::UdevDevices());
    EXPECT_TRUE(EmulatedVideoInputs().empty());
    EXPECT_FALSE(RvxSourceKnown());
    EXPECT_TRUE(platform::AddedSoundSources().empty());
    for (const std::string& name : SoundSourceNames()) {
        EXPECT_NE(name, "Simulated Microphone");
    }
    EXPECT_EQ(ExecuteSimCommand("list"), "");
}

TEST_F(Installer, InstallingTwiceGivesOneOfEachDevice) {
    std::thread other([] { InstallEmulatedDevices(); });
    InstallEmulatedDevices();
    other.join();
    InstallEmulatedDevices();

    EXPECT_TRUE(platform::EmulatedDevicesRequested());
    EXPECT_TRUE(platform::usb::EmulatedBackendInstalled());
    const auto on_bus = UsbBus().Devices();
    ASSERT_EQ(on_bus.size(), 1u) << "plugged at once, before any registration";
    EXPECT_EQ(on_bus[0].description.descriptor.idProduct, kQ5ProductId);
    Registration usb;
    ASSERT_EQ(usb.Start(), WD_STATUS_SUCCESS);
    EXPECT_EQ(usb.Attached(10s), std::vector<uint16_t>{kQ5VendorId});

    const auto inputs = EmulatedVideoInputs();
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].friendly_name, kRvxFriendlyName);
    EXPECT_EQ(inputs[0].path, DefaultRvxCamera()->Node());
    EXPECT_EQ(inputs[0].source_factory, kRvxSourceFactory);
    EXPECT_TRUE(RvxSourceKnown());
    EXPECT_NE(nullptr, platform::Emulated().Provider().OpenExtensionUnit(inputs[0]));

    const std::vector<std::string> sounds = SoundSourceNames();
    ASSERT_FALSE(sounds.empty());
    EXPECT_EQ(sounds[0], "Simulated Microphone");
    EXPECT_EQ(std::count(sounds.begin(), sounds.end(), sounds[0]), 1);

    const std::string names = ExecuteSimCommand("list");
    EXPECT_NE(names.find("q5"), std::string::npos) << names;
    EXPECT_NE(names.find("rvx"), std::string::npos) << names;
}

TEST_F(Installer, TovekSimPlugsAndPullsBothCameras) {
    InstallEmulatedDevices();
    ASSERT_FALSE(SimControlSocketPath().empty());
    std::vector<SimCommandReply> replies = SendSimCommand("pull q5", getpid(), 10000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].reply, "ok");
    EXPECT_EQ(UsbBus().DeviceCount(), 0u);
    replies = SendSimCommand("plug q5", getpid(), 10000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].reply, "ok");
    ASSERT_EQ(UsbBus().DeviceCount(), 1u);
    EXPECT_EQ(UsbBus().Devices()[0].description.descriptor.idProduct, kQ5ProductId);

    const auto camera = DefaultRvxCamera();
    EXPECT_EQ(ExecuteSimCommand("pull rvx"), "ok");
    EXPECT_FALSE(camera->Plugged());
    EXPECT_TRUE(EmulatedVideoInputs().empty());
    EXPECT_EQ(ExecuteSimCommand("plug rvx"), "ok");
    EXPECT_TRUE(camera->Plugged());
    EXPECT_EQ(EmulatedVideoInputs().size(), 1u);
    StopSimControl();
}

TEST(EnvironmentAsks, ForAnyValueButEmptyOrZero) {
    for (auto [value, expected] : {std::pair{"", false},
                                   {"0", false},
                                   {"1", true},
                                   {"yes", true},
                                   {"00", true},
                                   {"false", true}}) {
        setenv("TOVEK_SIMULATE", value, 1);
        EXPECT_EQ(expected, EnvironmentAsksForEmulatedDevices()) << "TOVEK_SIMULATE=" << value;
    }
    unsetenv("TOVEK_SIMULATE");
    EXPECT_FALSE(EnvironmentAsksForEmulatedDevices());
}

} // namespace
} // namespace sim
