#include "platform/devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {
namespace {

using namespace std::chrono_literals;

struct Event {
    uint32_t code;
    std::u16string name;
};

class RecordingReceiver final : public DeviceChangeReceiver {
public:
    void OnDeviceChange(uint32_t event, DeviceBroadcast broadcast) override {
        const auto* record =
            reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(broadcast.Header());
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({event, record->dbcc_name});
        changed_.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return events_.size() >= count; });
    }
    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_; // guards events_
    std::condition_variable changed_;
    std::vector<Event> events_;
};

EmulatedUsbDevice Camera(const std::string& serial) {
    EmulatedUsbDevice device;
    device.vendor_id = 0x0AC8;
    device.product_id = 0x3610;
    device.serial = serial;
    device.video_input = true;
    device.friendly_name = "Test Camera";
    device.node = "test:" + serial;
    device.descriptors = {0x12, 0x01};
    return device;
}

TEST(EmulatedDevices, PlugAndPullPostArrivalAndRemovalWithInterfaceNames) {
    RecordingReceiver receiver;
    auto registration = Emulated().Provider().RegisterDeviceNotification(&receiver);
    ASSERT_NE(nullptr, registration);

    const int id = Emulated().Plug(Camera("PP1"));
    ASSERT_GT(id, 0);
    EXPECT_EQ(0, Emulated().Plug(Camera("PP1"))) << "same instance id twice";
    ASSERT_TRUE(Emulated().Pull(id));
    EXPECT_FALSE(Emulated().Pull(id));
    ASSERT_TRUE(receiver.WaitFor(2));
    const auto events = receiver.Events();
    const std::u16string name = u"\\\\?\\USB#VID_0AC8&PID_3610#PP1#"
                                u"{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
    EXPECT_EQ(DBT_DEVICEARRIVAL, events[0].code);
    EXPECT_EQ(name, events[0].name);
    EXPECT_EQ(DBT_DEVICEREMOVECOMPLETE, events[1].code);
    EXPECT_EQ(name, events[1].name);
}

TEST(EmulatedDevices, VideoInputsInPlugOrderWithoutDisabledOnes) {
    DeviceProvider& provider = Emulated().Provider();
    const int first = Emulated().Plug(Camera("VI1"));
    EmulatedUsbDevice mouse;
    mouse.vendor_id = 0x046D;
    mouse.product_id = 0xC077;
    const int other = Emulated().Plug(mouse);
    const int second = Emulated().Plug(Camera("VI2"));

    auto devices = provider.EnumerateVideoInputs();
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ("test:VI1", devices[0].path);
    EXPECT_EQ("test:VI2", devices[1].path);
    EXPECT_EQ("Test Camera", devices[0].friendly_name);
    EXPECT_TRUE(devices[0].emulated);
    EXPECT_EQ("USB\\VID_0AC8&PID_3610\\VI1", devices[0].instance_id);
    EXPECT_EQ(UsbVideoDisplayName(0x0AC8, 0x3610, 0, "VI1"), devices[0].display_name);
    std::vector<uint8_t> descriptors;
    EXPECT_TRUE(provider.ReadUsbDescriptors(devices[0], &descriptors));
    EXPECT_EQ(2u, descriptors.size());

    DevNodeStatus status;
    ASSERT_TRUE(provider.GetDevNodeStatus("usb\\vid_0ac8&pid_3610\\vi1", &status));
    EXPECT_EQ(0u, status.status & DN_HAS_PROBLEM);
    ASSERT_TRUE(Emulated().SetDisabled(first, true));
    ASSERT_TRUE(provider.GetDevNodeStatus(devices[0].instance_id, &status));
    EXPECT_EQ(DN_HAS_PROBLEM, status.status & DN_HAS_PROBLEM);
    EXPECT_EQ(CM_PROB_DISABLED, status.problem);
    devices = provider.EnumerateVideoInputs();
    ASSERT_EQ(1u, devices.size());
    EXPECT_EQ("test:VI2", devices[0].path);

    for (int id : {first, other, second}) {
        EXPECT_TRUE(Emulated().Pull(id));
    }
    EXPECT_FALSE(provider.GetDevNodeStatus("USB\\VID_0AC8&PID_3610\\VI1", &status));
    EXPECT_FALSE(Emulated().SetDisabled(first, false));
}

// Answers every query with its request byte, or fails once gone.
class EchoUnit final : public ExtensionUnitTransport {
public:
    int Query(uint8_t unit, uint8_t, uint8_t query, std::span<uint8_t> data) override {
        ++queries;
        if (gone.load()) {
            return -ENODEV;
        }
        std::fill(data.begin(), data.end(), static_cast<uint8_t>(unit + query));
        return 0;
    }
    std::atomic<int> queries{0};
    std::atomic<bool> gone{false};
};

TEST(EmulatedDevices, VideoInputsCarryTheirSourceAndExtensionUnit) {
    DeviceProvider& provider = Emulated().Provider();
    auto unit = std::make_shared<EchoUnit>();
    EmulatedUsbDevice with_unit = Camera("XU1");
    with_unit.source_factory = "testsrc";
    with_unit.extension_unit = unit;
    const int first = Emulated().Plug(with_unit);
    const int second = Emulated().Plug(Camera("XU2"));
    const auto devices = provider.EnumerateVideoInputs();
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ("testsrc", devices[0].source_factory);
    EXPECT_EQ("", devices[1].source_factory);

    auto transport = provider.OpenExtensionUnit(devices[0]);
    ASSERT_NE(nullptr, transport);
    uint8_t data[2] = {};
    ASSERT_EQ(0, transport->Query(4, 4, 0x81, data));
    EXPECT_EQ(0x85, data[1]);
    EXPECT_EQ(nullptr, provider.OpenExtensionUnit(devices[1])) << "plugged without a unit";
    VideoInputDevice other = devices[0];
    other.instance_id = devices[1].instance_id;
    EXPECT_EQ(nullptr, provider.OpenExtensionUnit(other)) << "node and instance must agree";

    // Pulled: no new transport; an open one still reaches the unit, which
    // answers as a pulled device does.
    ASSERT_TRUE(Emulated().Pull(first));
    EXPECT_EQ(nullptr, provider.OpenExtensionUnit(devices[0]));
    unit->gone = true;
    EXPECT_EQ(-ENODEV, transport->Query(4, 4, 0x81, data));
    EXPECT_EQ(2, unit->queries.load());
    Emulated().Pull(second);
}

TEST(EmulatedDevices, ClassDevsKeepRemovedDevicesUnlessPresentOnlyIsAsked) {
    DeviceProvider& provider = Emulated().Provider();
    const int id = Emulated().Plug(Camera("CD1"));
    std::vector<std::string> ids;
    const auto has = [&](const std::string& wanted) {
        return std::find(ids.begin(), ids.end(), wanted) != ids.end();
    };
    ASSERT_TRUE(provider.GetClassDevs("usb", DIGCF_PRESENT | DIGCF_ALLCLASSES, &ids));
    EXPECT_TRUE(has("USB\\VID_0AC8&PID_3610\\CD1"));
    Emulated().Pull(id);
    ASSERT_TRUE(provider.GetClassDevs("USB", DIGCF_PRESENT | DIGCF_ALLCLASSES, &ids));
    EXPECT_FALSE(has("USB\\VID_0AC8&PID_3610\\CD1"));
    ASSERT_TRUE(provider.GetClassDevs("USB", DIGCF_ALLCLASSES, &ids));
    EXPECT_TRUE(has("USB\\VID_0AC8&PID_3610\\CD1"));
    ASSERT_TRUE(provider.GetClassDevs("HID", DIGCF_ALLCLASSES, &ids));
    EXPECT_TRUE(ids.empty());
    EXPECT_FALSE(provider.GetClassDevs("USB", 0, nullptr));
}

// A receiver being called while another thread unregisters it: the
// unregistration waits, so the receiver can be destroyed right after.
class SlowReceiver final : public DeviceChangeReceiver {
public:
    void OnDeviceChange(uint32_t, DeviceBroadcast) override {
        inside.store(true);
        std::this_thread::sleep_for(100ms);
        calls.fetch_add(1);
        inside.store(false);
    }
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
};

TEST(EmulatedDevices, UnregisteringWaitsForARunningCallAndStopsDelivery) {
    auto receiver = std::make_unique<SlowReceiver>();
    auto registration = Emulated().Provider().RegisterDeviceNotification(receiver.get());
    const int id = Emulated().Plug(Camera("UR1"));
    while (!receiver->inside.load()) {
        std::this_thread::yield();
    }
    registration.reset();
    EXPECT_FALSE(receiver->inside.load());
    const int calls = receiver->calls.load();
    Emulated().Pull(id);
    RecordingReceiver witness; // delivered after the pull, so the pull's turn has passed
    auto witness_registration = Emulated().Provider().RegisterDeviceNotification(&witness);
    const int id2 = Emulated().Plug(Camera("UR2"));
    ASSERT_TRUE(witness.WaitFor(1));
    EXPECT_EQ(calls, receiver->calls.load());
    Emulated().Pull(id2);
    EXPECT_EQ(nullptr, Emulated().Provider().RegisterDeviceNotification(nullptr));
}

} // namespace
} // namespace platform
