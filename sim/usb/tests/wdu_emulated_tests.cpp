// The WDU_* calls over the emulated bus: registration, attach and detach
// callbacks, match tables, transfers and their failures once a device goes.
#include "platform/system.h"
#include "platform/usb.h"
#include "sim/usb_backend.h"
#include "test_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <set>
#include <thread>

using sim::testing::TestDevice;

namespace {

constexpr auto kEventWait = std::chrono::seconds(10);

// Records callbacks; shared by the driver thread and the test.
struct Recorder {
    std::mutex mutex; // guards every field below but accept and uninit_from_attach
    std::condition_variable cv;
    std::vector<std::string> events;
    std::map<WDU_DEVICE_HANDLE, uint16_t> vendors;
    std::set<std::thread::id> threads;
    int inside = 0;
    bool overlapped = false;
    std::atomic<bool> accept{true};
    WDU_DRIVER_HANDLE* uninit_from_attach = nullptr; // set before registering

    bool WaitForEvents(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, kEventWait, [&] { return events.size() >= count; });
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    WDU_DEVICE_HANDLE HandleOf(uint16_t vendor) {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& [handle, v] : vendors) {
            if (v == vendor) {
                return handle;
            }
        }
        return nullptr;
    }
    // Around each callback: notes overlaps and threads, then the event.
    uint16_t Enter(WDU_DEVICE_HANDLE device, const WDU_DEVICE* info) {
        std::lock_guard<std::mutex> lock(mutex);
        overlapped = overlapped || inside++ != 0;
        threads.insert(std::this_thread::get_id());
        if (info != nullptr) {
            vendors[device] = info->Descriptor.idVendor;
        }
        return vendors[device];
    }
    void Leave(std::string event) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // widen any overlap
        {
            std::lock_guard<std::mutex> lock(mutex);
            --inside;
            events.push_back(std::move(event));
        }
        cv.notify_all();
    }
};

bool OnAttach(WDU_DEVICE_HANDLE device, WDU_DEVICE* info, void* user) {
    auto* r = static_cast<Recorder*>(user);
    uint16_t vendor = r->Enter(device, info);
    WDU_DEVICE* copy = nullptr; // a callback may use the device at once
    EXPECT_EQ(WDU_GetDeviceInfo(device, &copy), WD_STATUS_SUCCESS);
    WDU_PutDeviceInfo(copy);
    if (r->uninit_from_attach != nullptr) {
        WDU_Uninit(*r->uninit_from_attach);
    }
    r->Leave("attach " + std::to_string(vendor));
    return r->accept;
}

void OnDetach(WDU_DEVICE_HANDLE device, void* user) {
    auto* r = static_cast<Recorder*>(user);
    uint16_t vendor = r->Enter(device, nullptr);
    uint8_t data[4];
    uint32_t got = 99;
    EXPECT_EQ(WDU_Transfer(device, 0x81, 1, 0, data, 4, &got, nullptr, 100), WD_DEVICE_NOT_FOUND)
        << "transfers fail from the detach on";
    EXPECT_EQ(got, 0u);
    r->Leave("detach " + std::to_string(vendor));
}

class WduEmulated : public ::testing::Test {
protected:
    void SetUp() override {
        // WDU_Init takes the emulated bus.
        platform::usb::InstallEmulatedBackend(sim::MakeEmulatedUsbBackend);
        platform::SetEmulatedDevicesRequested(true);
        sim::UsbBus().Reset(false);
    }
    void TearDown() override {
        if (driver_ != nullptr) {
            WDU_Uninit(driver_);
        }
        sim::UsbBus().Reset(false);
    }

    WD_STATUS Init(std::vector<WDU_MATCH_TABLE> table) {
        WDU_EVENT_TABLE events{OnAttach, OnDetach, nullptr, &recorder_};
        return WDU_Init(&driver_, table.data(), static_cast<uint32_t>(table.size()), &events, "",
                        0);
    }
    static WDU_MATCH_TABLE Vendor(uint16_t vendor, uint16_t product = 0) {
        WDU_MATCH_TABLE entry{};
        entry.wVendorId = vendor;
        entry.wProductId = product;
        return entry;
    }

    Recorder recorder_;
    WDU_DRIVER_HANDLE driver_ = nullptr;
};

TEST_F(WduEmulated, AttachesDevicesPresentAndPluggedLaterOnADriverThread) {
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));
    ASSERT_EQ(Init({Vendor(0x1111), Vendor(0x2222)}), WD_STATUS_SUCCESS);
    ASSERT_NE(driver_, nullptr);
    ASSERT_TRUE(recorder_.WaitForEvents(1));
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x2222));
    ASSERT_TRUE(recorder_.WaitForEvents(2));
    EXPECT_EQ(recorder_.Events(), (std::vector<std::string>{"attach 4369", "attach 8738"}));
    {
        std::lock_guard<std::mutex> lock(recorder_.mutex);
        EXPECT_EQ(recorder_.threads.count(std::this_thread::get_id()), 0u);
    }

    WDU_DEVICE* info = nullptr;
    ASSERT_EQ(WDU_GetDeviceInfo(recorder_.HandleOf(0x2222), &info), WD_STATUS_SUCCESS);
    ASSERT_EQ(info->dwNumInterfaces, 1u);
    const WDU_ALTERNATE_SETTING* active = info->pActiveInterface[0]->pActiveAltSetting;
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->Descriptor.bInterfaceNumber, 3);
    ASSERT_EQ(active->Descriptor.bNumEndpoints, 2);
    EXPECT_EQ(active->pPipes[0].dwNumber, 0x81u);
    EXPECT_EQ(active->pPipes[0].type, PIPE_TYPE_BULK);
    EXPECT_EQ(active->pPipes[0].direction, WDU_DIR_IN);
    EXPECT_EQ(active->pPipes[1].direction, WDU_DIR_OUT);
    sim::UsbBus().PullOutAll();
    EXPECT_EQ(info->Descriptor.idVendor, 0x2222) << "a description outlives its device";
    WDU_PutDeviceInfo(info);
}

TEST_F(WduEmulated, MatchTableFiltersAndZeroMatchesAny) {
    WDU_MATCH_TABLE vendor_class{};
    vendor_class.bInterfaceClass = 0x0E; // any device whose interface has class 0x0E
    ASSERT_EQ(Init({Vendor(0x1111, 0x0002), vendor_class}), WD_STATUS_SUCCESS);
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111, 0x0001));  // wrong product
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x3333));          // other vendor
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x4444, 1, 0x0E)); // by class
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111, 0x0002));  // exact
    ASSERT_TRUE(recorder_.WaitForEvents(2));
    EXPECT_EQ(recorder_.Events(), (std::vector<std::string>{"attach 17476", "attach 4369"}));

    WDU_Uninit(driver_);
    driver_ = nullptr;
    Recorder any;
    WDU_MATCH_TABLE zero{};
    WDU_EVENT_TABLE events{OnAttach, OnDetach, nullptr, &any};
    WDU_DRIVER_HANDLE driver = nullptr;
    ASSERT_EQ(WDU_Init(&driver, &zero, 1, &events, nullptr, 0), WD_STATUS_SUCCESS);
    EXPECT_TRUE(any.WaitForEvents(4)) << "a zero entry takes every device";
    WDU_Uninit(driver);
}

TEST_F(WduEmulated, RefusedDeviceIsReleasedAndGetsNoDetach) {
    recorder_.accept = false;
    ASSERT_EQ(Init({Vendor(0x1111)}), WD_STATUS_SUCCESS);
    sim::EmulatedDeviceId id = sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));
    ASSERT_TRUE(recorder_.WaitForEvents(1));
    WDU_DEVICE_HANDLE handle = recorder_.HandleOf(0x1111);
    uint8_t data[4];
    uint32_t got = 0;
    EXPECT_EQ(WDU_Transfer(handle, 0x81, 1, 0, data, 4, &got, nullptr, 10), WD_DEVICE_NOT_FOUND);
    WDU_DEVICE* info = nullptr;
    EXPECT_EQ(WDU_GetDeviceInfo(handle, &info), WD_DEVICE_NOT_FOUND);
    EXPECT_EQ(info, nullptr);

    // The pull-out is not reported; a device plugged after it is, so the
    // driver thread has seen the pull-out by then.
    sim::UsbBus().PullOut(id);
    recorder_.accept = true;
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));
    ASSERT_TRUE(recorder_.WaitForEvents(2));
    EXPECT_EQ(recorder_.Events(), (std::vector<std::string>{"attach 4369", "attach 4369"}));
}

TEST_F(WduEmulated, CallbacksAreSerialisedAndInOrder) {
    ASSERT_EQ(Init({Vendor(0)}), WD_STATUS_SUCCESS);
    std::vector<std::string> expected;
    for (uint16_t round = 1; round <= 10; ++round) {
        std::vector<sim::EmulatedDeviceId> ids;
        for (uint16_t vendor : {round, uint16_t(1000 + round), uint16_t(2000 + round)}) {
            ids.push_back(sim::UsbBus().PlugIn(std::make_shared<TestDevice>(vendor)));
            expected.push_back("attach " + std::to_string(vendor));
        }
        ASSERT_TRUE(recorder_.WaitForEvents(expected.size()));
        for (size_t i = 0; i < ids.size(); ++i) {
            sim::UsbBus().PullOut(ids[i]);
            expected.push_back("detach " + std::to_string(round + 1000 * i));
        }
    }
    ASSERT_TRUE(recorder_.WaitForEvents(expected.size()));
    EXPECT_EQ(recorder_.Events(), expected);
    std::lock_guard<std::mutex> lock(recorder_.mutex);
    EXPECT_FALSE(recorder_.overlapped);
    EXPECT_EQ(recorder_.threads.size(), 1u);
}

TEST_F(WduEmulated, TransfersReachTheDeviceAndFailOncePulledOut) {
    auto device = std::make_shared<TestDevice>(0x1111);
    sim::EmulatedDeviceId id = sim::UsbBus().PlugIn(device);
    ASSERT_EQ(Init({Vendor(0x1111)}), WD_STATUS_SUCCESS);
    ASSERT_TRUE(recorder_.WaitForEvents(1));
    WDU_DEVICE_HANDLE handle = recorder_.HandleOf(0x1111);

    const uint8_t setup[8] = {0xC0, 0x5A, 0, 0, 0, 0, 4, 0};
    uint8_t reply[4] = {};
    uint32_t got = 0;
    EXPECT_EQ(WDU_TransferDefaultPipe(handle, 1, 0, reply, 4, &got, setup, 100), WD_STATUS_SUCCESS);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(reply[0], 0x5A);
    EXPECT_EQ(WDU_Transfer(handle, 0, 1, 0, reply, 4, &got, setup, 100), WD_STATUS_SUCCESS)
        << "pipe 0 with a setup packet is the default pipe";
    EXPECT_EQ(WDU_TransferDefaultPipe(handle, 0, 0, reply, 4, &got, setup, 100),
              WD_INVALID_PARAMETER)
        << "direction contradicts the setup packet";
    EXPECT_EQ(WDU_TransferDefaultPipe(handle, 1, 0, reply, 3, &got, setup, 100),
              WD_INVALID_PARAMETER)
        << "buffer smaller than the data stage";

    uint8_t out[10] = {};
    EXPECT_EQ(WDU_Transfer(handle, 0x02, 0, 0, out, 10, &got, nullptr, 100), WD_STATUS_SUCCESS);
    EXPECT_EQ(device->Written(), 10u);
    EXPECT_EQ(WDU_Transfer(handle, 0x02, 1, 0, out, 10, &got, nullptr, 100), WD_INVALID_PARAMETER);
    EXPECT_EQ(WDU_Transfer(handle, 0x81, 1, 0, nullptr, 10, &got, nullptr, 100),
              WD_INVALID_PARAMETER);
    device->Feed({9, 8, 7});
    EXPECT_EQ(WDU_Transfer(handle, 0x81, 1, 0, out, 10, nullptr, nullptr, 100), WD_STATUS_SUCCESS)
        << "the byte count may be left out";

    // A read blocked without time limit ends when the device goes.
    auto read = std::async(std::launch::async, [&] {
        uint32_t n = 77;
        WD_STATUS s = WDU_Transfer(handle, 0x81, 1, 0, out, 10, &n, nullptr, 0);
        return std::make_pair(s, n);
    });
    device->AwaitBlockedRead();
    sim::UsbBus().PullOut(id);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(read.get(), std::make_pair(WD_DEVICE_NOT_FOUND, 0u));
    ASSERT_TRUE(recorder_.WaitForEvents(2));
    EXPECT_EQ(recorder_.Events().back(), "detach 4369");
    EXPECT_EQ(WDU_TransferDefaultPipe(handle, 1, 0, reply, 4, &got, setup, 100),
              WD_DEVICE_NOT_FOUND);
}

TEST_F(WduEmulated, NoCallbackAfterUninitAndItsDevicesAreReleased) {
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));
    ASSERT_EQ(Init({Vendor(0x1111)}), WD_STATUS_SUCCESS);
    ASSERT_TRUE(recorder_.WaitForEvents(1));
    WDU_DEVICE_HANDLE handle = recorder_.HandleOf(0x1111);
    WDU_Uninit(driver_);
    driver_ = nullptr;
    WDU_Uninit(driver_); // null, and twice: ignored

    uint8_t data[4];
    EXPECT_EQ(WDU_Transfer(handle, 0x81, 1, 0, data, 4, nullptr, nullptr, 10), WD_DEVICE_NOT_FOUND);
    sim::UsbBus().PullOutAll();
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));

    // Another registration sees the new device; the ended one never does.
    Recorder other;
    WDU_MATCH_TABLE entry = Vendor(0x1111);
    WDU_EVENT_TABLE events{OnAttach, OnDetach, nullptr, &other};
    WDU_DRIVER_HANDLE second = nullptr;
    ASSERT_EQ(WDU_Init(&second, &entry, 1, &events, "", 0), WD_STATUS_SUCCESS);
    ASSERT_TRUE(other.WaitForEvents(1));
    WDU_Uninit(second);
    EXPECT_EQ(recorder_.Events().size(), 1u);
}

TEST_F(WduEmulated, UninitFromInsideACallbackDoesNotHang) {
    recorder_.uninit_from_attach = &driver_;
    sim::UsbBus().PlugIn(std::make_shared<TestDevice>(0x1111));
    ASSERT_EQ(Init({Vendor(0x1111)}), WD_STATUS_SUCCESS);
    ASSERT_TRUE(recorder_.WaitForEvents(1));
    driver_ = nullptr; // ended by the callback
    WDU_DEVICE_HANDLE handle = recorder_.HandleOf(0x1111);
    uint8_t data[4];
    EXPECT_EQ(WDU_Transfer(handle, 0x81, 1, 0, data, 4, nullptr, nullptr, 10), WD_DEVICE_NOT_FOUND);
}

} // namespace
