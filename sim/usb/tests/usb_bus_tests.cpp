// The emulated bus on its own: plugging, listeners, transfer checks and
// pull-out during a transfer.
#include "test_device.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using sim::EmulatedUsbBus;
using sim::testing::TestDevice;

namespace {

struct RecordingListener : sim::EmulatedBusListener {
    void DevicePlugged(const sim::EmulatedDeviceInfo& device) override {
        events.push_back("plug " + std::to_string(device.description.descriptor.idVendor));
    }
    void DevicePulled(sim::EmulatedDeviceId id) override {
        events.push_back("pull " + std::to_string(id));
    }
    std::vector<std::string> events; // written under the bus lock
};

TEST(EmulatedUsbBus, PlugsAndPullsWithIdsThatAreNeverReused) {
    EmulatedUsbBus bus;
    auto a = std::make_shared<TestDevice>(1);
    auto b = std::make_shared<TestDevice>(2);
    EXPECT_EQ(bus.PlugIn(nullptr), 0u);
    sim::EmulatedDeviceId id_a = bus.PlugIn(a);
    sim::EmulatedDeviceId id_b = bus.PlugIn(b);
    ASSERT_NE(id_a, 0u);
    ASSERT_NE(id_b, 0u);
    EXPECT_NE(id_a, id_b);
    EXPECT_EQ(bus.PlugIn(a), 0u) << "a device cannot be plugged in twice at once";
    EXPECT_EQ(bus.DeviceCount(), 2u);
    EXPECT_EQ(bus.Device(id_a), a);
    EXPECT_EQ(a->BusId(), id_a);

    EXPECT_TRUE(bus.PullOut(id_a));
    EXPECT_FALSE(bus.PullOut(id_a));
    EXPECT_EQ(a->BusId(), 0u);
    EXPECT_EQ(bus.Device(id_a), nullptr);
    sim::EmulatedDeviceId again = bus.PlugIn(a);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, id_a);
    EXPECT_EQ(bus.PullOutAll(), 2u);
    EXPECT_EQ(bus.DeviceCount(), 0u);
}

TEST(EmulatedUsbBus, ListenerSeesPresentDevicesThenChangesInOrder) {
    EmulatedUsbBus bus;
    auto a = std::make_shared<TestDevice>(1);
    bus.PlugIn(a);
    RecordingListener listener;
    auto subscription = bus.Subscribe(&listener);
    sim::EmulatedDeviceId id_b = bus.PlugIn(std::make_shared<TestDevice>(2));
    bus.PullOut(id_b);
    bus.Unsubscribe(subscription);
    bus.PullOutAll();
    EXPECT_EQ(listener.events,
              (std::vector<std::string>{"plug 1", "plug 2", "pull " + std::to_string(id_b)}));
}

TEST(EmulatedUsbBus, DefaultDeviceComesOnceOrOnReset) {
    EmulatedUsbBus bus;
    int made = 0;
    bus.SetDefaultDeviceFactory([&] {
        ++made;
        return std::make_shared<TestDevice>(7);
    });
    bus.PlugDefaultDeviceOnce();
    bus.PlugDefaultDeviceOnce();
    EXPECT_EQ(bus.DeviceCount(), 1u);
    bus.Reset(false);
    EXPECT_EQ(bus.DeviceCount(), 0u);
    bus.Reset(true);
    EXPECT_EQ(bus.DeviceCount(), 1u);
    EXPECT_EQ(made, 2);

    EmulatedUsbBus empty_from_start;
    empty_from_start.SetDefaultDeviceFactory([] { return std::make_shared<TestDevice>(7); });
    empty_from_start.Reset(false);
    empty_from_start.PlugDefaultDeviceOnce();
    EXPECT_EQ(empty_from_start.DeviceCount(), 0u) << "a reset bus stays as the test left it";
}

TEST(EmulatedUsbBus, PullOutEndsABlockedReadWithDeviceNotFound) {
    EmulatedUsbBus bus;
    auto device = std::make_shared<TestDevice>(1);
    sim::EmulatedDeviceId id = bus.PlugIn(device);
    auto read = std::async(std::launch::async, [&] {
        uint8_t data[4];
        return bus.PipeTransfer(id, 0x81, true, 0, data, 0 /* no time limit */);
    });
    device->AwaitBlockedRead();
    bus.PullOut(id);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    sim::EmulatedTransferResult result = read.get();
    EXPECT_EQ(result.status, WD_DEVICE_NOT_FOUND);
    EXPECT_EQ(result.transferred, 0u);
}

TEST(EmulatedUsbBus, ManyThreadsPlugPullAndTransferAtOnce) {
    EmulatedUsbBus bus;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            uint8_t data[8];
            while (!stop) {
                for (const sim::EmulatedDeviceInfo& d : bus.Devices()) {
                    WD_STATUS s = bus.PipeTransfer(d.id, 0x81, true, 0, data, 1).status;
                    EXPECT_TRUE(s == WD_TIME_OUT_EXPIRED || s == WD_DEVICE_NOT_FOUND) << s;
                }
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        sim::EmulatedDeviceId id = bus.PlugIn(std::make_shared<TestDevice>(1));
        std::this_thread::yield();
        bus.PullOut(id);
    }
    stop = true;
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(bus.DeviceCount(), 0u);
}

} // namespace
