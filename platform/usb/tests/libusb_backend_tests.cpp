// The libusb back end without a device: error mapping, descriptors, and a
// registration that starts and ends whether or not USB is reachable here.
#include "platform/usb.h"

#include "libusb_backend.h"
#include "libusb_calls.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using platform::usb::StatusFromLibusb;
using platform::usb::StatusFromTransfer;

TEST(LibusbBackend, MapsLibusbErrorsToOurStatuses) {
    EXPECT_EQ(StatusFromLibusb(0), WD_STATUS_SUCCESS);
    EXPECT_EQ(StatusFromLibusb(12), WD_STATUS_SUCCESS) << "a byte count";
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_TIMEOUT), WD_TIME_OUT_EXPIRED);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_PIPE), WD_USBD_STATUS_STALL_PID);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_NO_DEVICE), WD_DEVICE_NOT_FOUND);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_OVERFLOW), WD_USBD_STATUS_BABBLE);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_INVALID_PARAM), WD_INVALID_PARAMETER);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_NO_MEM), WD_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_IO), WD_OPERATION_FAILED);
    EXPECT_EQ(StatusFromLibusb(LIBUSB_ERROR_OTHER), WD_WINDRIVER_STATUS_ERROR);

    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_COMPLETED), WD_STATUS_SUCCESS);
    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_TIMED_OUT), WD_TIME_OUT_EXPIRED);
    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_STALL), WD_USBD_STATUS_STALL_PID);
    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_NO_DEVICE), WD_DEVICE_NOT_FOUND);
    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_OVERFLOW), WD_USBD_STATUS_BABBLE);
    EXPECT_EQ(StatusFromTransfer(LIBUSB_TRANSFER_CANCELLED), WD_OPERATION_FAILED);
}

TEST(LibusbBackend, DescribesInterfacesAndEndpointsFromDescriptors) {
    libusb_endpoint_descriptor endpoints[2] = {};
    endpoints[0].bEndpointAddress = 0x81;
    endpoints[0].bmAttributes = LIBUSB_TRANSFER_TYPE_ISOCHRONOUS;
    endpoints[0].wMaxPacketSize = 0x1400; // 1024 bytes, 3 per microframe
    endpoints[0].bInterval = 1;
    endpoints[1].bEndpointAddress = 0x02;
    endpoints[1].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoints[1].wMaxPacketSize = 512;
    libusb_interface_descriptor alt{};
    alt.bInterfaceNumber = 2;
    alt.bInterfaceClass = 0xFF;
    alt.bNumEndpoints = 2;
    alt.endpoint = endpoints;
    libusb_interface iface{};
    iface.altsetting = &alt;
    iface.num_altsetting = 1;
    libusb_config_descriptor config{};
    config.bNumInterfaces = 1;
    config.interface = &iface;
    libusb_device_descriptor device{};
    device.idVendor = 0x0525;
    device.idProduct = 0xA4A5;
    device.bcdUSB = 0x0200;

    platform::UsbDeviceDescription d = platform::usb::DescribeLibusbDevice(device, &config);
    EXPECT_EQ(d.descriptor.idVendor, 0x0525);
    EXPECT_EQ(d.descriptor.bcdUSB, 0x0200);
    ASSERT_EQ(d.interfaces.size(), 1u);
    ASSERT_EQ(d.interfaces[0].alternate_settings.size(), 1u);
    const platform::UsbAlternateSetting& s = d.interfaces[0].alternate_settings[0];
    EXPECT_EQ(s.descriptor.bInterfaceNumber, 2);
    ASSERT_EQ(s.pipes.size(), 2u);
    EXPECT_EQ(s.pipes[0].type, PIPE_TYPE_ISOCHRONOUS);
    EXPECT_EQ(s.pipes[0].direction, WDU_DIR_IN);
    EXPECT_EQ(s.pipes[0].dwMaximumPacketSize, 3072u);
    EXPECT_EQ(s.pipes[0].dwInterval, 1u);
    EXPECT_EQ(s.pipes[1].type, PIPE_TYPE_BULK);
    EXPECT_EQ(s.pipes[1].direction, WDU_DIR_OUT);
    EXPECT_EQ(s.pipes[1].dwMaximumPacketSize, 512u);
    EXPECT_TRUE(platform::usb::DescribeLibusbDevice(device, nullptr).interfaces.empty());
}

std::atomic<int> g_attaches{0};

bool CountAttach(WDU_DEVICE_HANDLE, WDU_DEVICE*, void*) {
    ++g_attaches;
    return false;
}

// Runs on whatever this machine has: no USB at all (a container), USB
// without a matching device, or USB refused to us.
TEST(LibusbBackend, RegistersAndEndsWithoutADevice) {
    WDU_MATCH_TABLE nobody{};
    nobody.wVendorId = 0xFFFE; // a vendor id no device has
    nobody.wProductId = 0xFFFE;
    WDU_EVENT_TABLE events{CountAttach, nullptr, nullptr, nullptr};
    for (int round = 0; round < 2; ++round) {
        WDU_DRIVER_HANDLE driver = nullptr;
        ASSERT_EQ(WDU_Init(&driver, &nobody, 1, &events, "", 0), WD_STATUS_SUCCESS);
        ASSERT_NE(driver, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WDU_Uninit(driver);
        WDU_Uninit(driver); // a second time: ignored
    }
    EXPECT_EQ(g_attaches.load(), 0);
}

TEST(LibusbBackend, WithoutUsbAccessTheRegistrationStandsWithNoDevice) {
    static platform::usb::LibusbCalls refused = platform::usb::RealLibusbCalls();
    refused.init = [](libusb_context**) { return int{LIBUSB_ERROR_OTHER}; };
    platform::usb::SetLibusbCalls(&refused);
    WDU_MATCH_TABLE any{};
    WDU_EVENT_TABLE events{CountAttach, nullptr, nullptr, nullptr};
    WDU_DRIVER_HANDLE driver = nullptr;
    EXPECT_EQ(WDU_Init(&driver, &any, 1, &events, "", 0), WD_STATUS_SUCCESS);
    EXPECT_NE(driver, nullptr);
    WDU_Uninit(driver);
    platform::usb::SetLibusbCalls(nullptr);
    EXPECT_EQ(g_attaches.load(), 0);
}

// One back end started, stopped and started again (and started twice in a
// row) keeps an event thread serving libusb each time.
TEST(LibusbBackend, StartsAgainAfterAStop) {
    static std::atomic<int> handled{0};
    static platform::usb::LibusbCalls fake = platform::usb::RealLibusbCalls();
    fake.init = [](libusb_context** ctx) {
        *ctx = reinterpret_cast<libusb_context*>(0x10);
        return 0;
    };
    fake.exit = [](libusb_context*) {};
    fake.has_capability = [](uint32_t) { return 0; };
    fake.get_device_list = [](libusb_context*, libusb_device*** list) {
        *list = nullptr;
        return ssize_t{0};
    };
    fake.free_device_list = [](libusb_device**, int) {};
    fake.handle_events_timeout_completed = [](libusb_context*, timeval*, int*) {
        ++handled;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    };
    fake.interrupt_event_handler = [](libusb_context*) {};
    platform::usb::SetLibusbCalls(&fake);
    class NoEvents final : public platform::usb::EventSink {
    public:
        void Arrived(uint64_t, std::shared_ptr<platform::usb::Candidate>) override {}
        void Left(uint64_t) override {}
    } sink;
    auto backend = platform::usb::MakeLibusbBackend();
    auto serves = [] {
        const int before = handled.load();
        return testsupport::WaitUntil([&] { return handled.load() >= before + 3; },
                                      std::chrono::seconds(2));
    };
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(backend->Start(&sink), WD_STATUS_SUCCESS);
        EXPECT_TRUE(serves()) << "round " << round;
        if (round != 1)
            backend->Stop(); // round 1 is started again without a Stop
    }
    backend.reset();
    platform::usb::SetLibusbCalls(nullptr);
}

TEST(LibusbBackend, RejectsBadRegistrationsAndHandles) {
    WDU_MATCH_TABLE entry{};
    WDU_EVENT_TABLE events{CountAttach, nullptr, nullptr, nullptr};
    WDU_EVENT_TABLE no_attach{nullptr, nullptr, nullptr, nullptr};
    WDU_DRIVER_HANDLE driver = reinterpret_cast<WDU_DRIVER_HANDLE>(0x1);
    EXPECT_EQ(WDU_Init(nullptr, &entry, 1, &events, "", 0), WD_INVALID_PARAMETER);
    EXPECT_EQ(WDU_Init(&driver, nullptr, 1, &events, "", 0), WD_INVALID_PARAMETER);
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(WDU_Init(&driver, &entry, 0, &events, "", 0), WD_INVALID_PARAMETER);
    EXPECT_EQ(WDU_Init(&driver, &entry, 1, nullptr, "", 0), WD_INVALID_PARAMETER);
    EXPECT_EQ(WDU_Init(&driver, &entry, 1, &no_attach, "", 0), WD_INVALID_PARAMETER);

    uint8_t data[8] = {};
    uint32_t got = 7;
    const uint8_t setup[8] = {0xC0, 0xA2, 0, 0, 0, 0, 4, 0};
    EXPECT_EQ(WDU_Transfer(nullptr, 0x81, 1, 0, data, 8, &got, nullptr, 10), WD_INVALID_HANDLE);
    EXPECT_EQ(got, 0u);
    auto never_issued = reinterpret_cast<WDU_DEVICE_HANDLE>(uintptr_t{0x7FFFFF00DE});
    EXPECT_EQ(WDU_TransferDefaultPipe(never_issued, 1, 0, data, 4, &got, setup, 10),
              WD_INVALID_HANDLE);
    WDU_DEVICE* info = reinterpret_cast<WDU_DEVICE*>(data);
    EXPECT_EQ(WDU_GetDeviceInfo(data, &info), WD_INVALID_HANDLE);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(WDU_GetDeviceInfo(never_issued, nullptr), WD_INVALID_PARAMETER);
    WDU_Uninit(data);           // ignored
    WDU_PutDeviceInfo(nullptr); // ignored
}

} // namespace
