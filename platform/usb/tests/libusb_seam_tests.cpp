// The libusb back end against a fake at the libusb call boundary: opening and
// claiming (refused, busy, the device pulled out meanwhile), and control,
// bulk and isochronous transfers with the statuses they end in.
#include "libusb_fake.h"
#include "platform/device_access.h"
#include "platform/usb.h"
#include "testsupport/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<WDU_DEVICE_HANDLE> g_device{nullptr};
std::atomic<int> g_attached{0};

bool TakeDevice(WDU_DEVICE_HANDLE device, WDU_DEVICE*, void*) {
    g_device = device;
    ++g_attached;
    return true;
}

// The bound of a wait on the fake: a hang detector, not a speed limit.
constexpr std::chrono::seconds kBound{5};

// One registration for the Q5 camera on the fake.
class FakeLibusb : public ::testing::Test {
protected:
    void TearDown() override {
        if (driver_ != nullptr) {
            WDU_Uninit(driver_);
        }
        fake_usb::Uninstall();
        platform::ClearDeviceAccessError(platform::kQ5VendorId, platform::kQ5ProductId);
    }

    void Register(const fake_usb::Config& config) {
        g_device = nullptr;
        g_attached = 0;
        platform::ClearDeviceAccessError(platform::kQ5VendorId, platform::kQ5ProductId);
        fake_usb::Install(config);
        WDU_MATCH_TABLE q5{};
        q5.wVendorId = platform::kQ5VendorId;
        q5.wProductId = platform::kQ5ProductId;
        WDU_EVENT_TABLE events{TakeDevice, nullptr, nullptr, nullptr};
        ASSERT_EQ(WDU_Init(&driver_, &q5, 1, &events, "", 0), WD_STATUS_SUCCESS);
    }

    WDU_DEVICE_HANDLE Attached() {
        EXPECT_TRUE(testsupport::WaitUntil([] { return g_device.load() != nullptr; }, kBound));
        return g_device.load();
    }

    WDU_DRIVER_HANDLE driver_ = nullptr;
};

struct OpenCase {
    const char* name;
    int open_result;
    int claim_result;
    platform::AccessFault fault; // kNone: no record
    const char* debug_call;
};

TEST_F(FakeLibusb, ACameraThatCannotBeOpenedIsRecordedWithItsCauseAndNeverAttached) {
    const OpenCase cases[] = {
        {"no permission", LIBUSB_ERROR_ACCESS, 0, platform::AccessFault::kNoPermission,
         "libusb_open: LIBUSB_ERROR_ACCESS on /dev/bus/usb/001/004"},
        {"held by another program", LIBUSB_ERROR_BUSY, 0, platform::AccessFault::kBusy,
         "libusb_open: LIBUSB_ERROR_BUSY"},
        {"claimed by another program", 0, LIBUSB_ERROR_BUSY, platform::AccessFault::kBusy,
         "libusb_claim_interface: LIBUSB_ERROR_BUSY"},
        {"pulled out during open", LIBUSB_ERROR_NO_DEVICE, 0, platform::AccessFault::kNone, ""},
        {"pulled out during claim", 0, LIBUSB_ERROR_NO_DEVICE, platform::AccessFault::kNone, ""},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake_usb::Config config;
        config.open_result = c.open_result;
        config.claim_result = c.claim_result;
        Register(config);
        platform::DeviceAccessError error;
        if (c.fault != platform::AccessFault::kNone) {
            ASSERT_TRUE(testsupport::WaitUntil(
                [&] {
                    return platform::GetDeviceAccessError(platform::kQ5VendorId,
                                                          platform::kQ5ProductId, &error);
                },
                kBound));
            EXPECT_EQ(error.fault, c.fault);
            EXPECT_NE(error.user_text.find("Q5 camera (USB 0525:A4A5)"), std::string::npos)
                << error.user_text;
            EXPECT_NE(error.debug_text.find(c.debug_call), std::string::npos) << error.debug_text;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_FALSE(platform::GetDeviceAccessError(platform::kQ5VendorId,
                                                        platform::kQ5ProductId, nullptr));
        }
        WDU_Uninit(driver_);
        driver_ = nullptr;
        EXPECT_EQ(g_attached.load(), 0);
        const fake_usb::Counts counts = fake_usb::Snapshot();
        EXPECT_EQ(counts.closes, counts.opens) << "a half-opened device is closed again";
    }
}

TEST_F(FakeLibusb, APermissionTextNamesTheRulesToInstall) {
    fake_usb::Config config;
    config.open_result = LIBUSB_ERROR_ACCESS;
    Register(config);
    platform::DeviceAccessError error;
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            return platform::GetDeviceAccessError(platform::kQ5VendorId, platform::kQ5ProductId,
                                                  &error);
        },
        kBound));
    EXPECT_EQ(error.user_text, "No permission to use the Q5 camera (USB 0525:A4A5). Install the "
                               "udev rules: sudo scripts/install-udev-rules");
}

TEST_F(FakeLibusb, ACameraThatOpensClearsTheRecordOfAnEarlierRefusal) {
    platform::ReportDeviceAccessError(platform::kQ5VendorId, platform::kQ5ProductId, EACCES, "");
    fake_usb::Config config;
    fake_usb::Install(config);
    WDU_MATCH_TABLE q5{};
    q5.wVendorId = platform::kQ5VendorId;
    q5.wProductId = platform::kQ5ProductId;
    WDU_EVENT_TABLE events{TakeDevice, nullptr, nullptr, nullptr};
    g_device = nullptr;
    ASSERT_EQ(WDU_Init(&driver_, &q5, 1, &events, "", 0), WD_STATUS_SUCCESS);
    ASSERT_NE(Attached(), nullptr);
    EXPECT_FALSE(
        platform::GetDeviceAccessError(platform::kQ5VendorId, platform::kQ5ProductId, nullptr));
}

struct ControlCase {
    int result;
    WD_STATUS status;
    uint32_t transferred;
};

TEST_F(FakeLibusb, ControlTransfersPassTheSetupAndMapTheOutcome) {
    const ControlCase cases[] = {
        {4, WD_STATUS_SUCCESS, 4},
        {LIBUSB_ERROR_PIPE, WD_USBD_STATUS_STALL_PID, 0},
        {LIBUSB_ERROR_TIMEOUT, WD_TIME_OUT_EXPIRED, 0},
        {LIBUSB_ERROR_NO_DEVICE, WD_DEVICE_NOT_FOUND, 0}, // pulled out mid-transfer
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.result);
        fake_usb::Config config;
        config.control_result = c.result;
        Register(config);
        WDU_DEVICE_HANDLE device = Attached();
        ASSERT_NE(device, nullptr);
        const uint8_t setup[8] = {0xC0, 0xA2, 0x34, 0x12, 0x78, 0x56, 4, 0};
        uint8_t reply[4] = {};
        uint32_t got = 99;
        EXPECT_EQ(WDU_TransferDefaultPipe(device, 1, 0, reply, 4, &got, setup, 1000), c.status);
        EXPECT_EQ(got, c.transferred);
        const fake_usb::Counts counts = fake_usb::Snapshot();
        EXPECT_EQ(std::vector<uint8_t>(counts.last_setup, counts.last_setup + 8),
                  std::vector<uint8_t>(setup, setup + 8));
        EXPECT_EQ(counts.last_timeout_ms, 1000u);
        if (c.status == WD_STATUS_SUCCESS) {
            EXPECT_EQ(reply[3], 0xC5);
        }
        WDU_Uninit(driver_);
        driver_ = nullptr;
    }
}

struct BulkCase {
    int result;
    int moved;
    WD_STATUS status;
};

TEST_F(FakeLibusb, BulkReadsCountWhatCameEvenWhenTheyFail) {
    const BulkCase cases[] = {
        {0, 3000, WD_STATUS_SUCCESS},
        {LIBUSB_ERROR_TIMEOUT, 512, WD_TIME_OUT_EXPIRED}, // a partial picture before the time-out
        {LIBUSB_ERROR_NO_DEVICE, 0, WD_DEVICE_NOT_FOUND}, // pulled out mid-transfer
        {LIBUSB_ERROR_OVERFLOW, 0, WD_USBD_STATUS_BABBLE},
    };
    for (const BulkCase& c : cases) {
        SCOPED_TRACE(c.result);
        fake_usb::Config config;
        config.bulk_result = c.result;
        config.bulk_transferred = c.moved;
        Register(config);
        WDU_DEVICE_HANDLE device = Attached();
        ASSERT_NE(device, nullptr);
        std::vector<uint8_t> buffer(4096);
        uint32_t got = 99;
        EXPECT_EQ(WDU_Transfer(device, 0x81, 1, 0, buffer.data(), 4096, &got, nullptr, 700),
                  c.status);
        EXPECT_EQ(got, static_cast<uint32_t>(c.moved));
        if (c.moved > 17) {
            EXPECT_EQ(buffer[17], 0xB1);
        }
        EXPECT_EQ(fake_usb::Snapshot().last_timeout_ms, 700u);
        WDU_Uninit(driver_);
        driver_ = nullptr;
    }
}

struct IsoCase {
    const char* name;
    uint32_t size;
    uint32_t options;
    int submit_result;
    libusb_transfer_status status;
    std::vector<int> lengths;
    WD_STATUS expected;
    int packets;
    uint32_t transferred;
};

TEST_F(FakeLibusb, IsochronousReadsJoinTheirPacketsAndMapTheOutcome) {
    const IsoCase cases[] = {
        {"short packets close up",
         1024,
         0,
         0,
         LIBUSB_TRANSFER_COMPLETED,
         {256, 100, 0, 256},
         WD_STATUS_SUCCESS,
         4,
         612},
        {"a last partial packet",
         1000,
         0,
         0,
         LIBUSB_TRANSFER_COMPLETED,
         {256, 256, 256, 232},
         WD_STATUS_SUCCESS,
         4,
         1000},
        {"full packets only",
         1000,
         USB_ISOCH_FULL_PACKETS_ONLY,
         0,
         LIBUSB_TRANSFER_COMPLETED,
         {256, 256, 256},
         WD_STATUS_SUCCESS,
         3,
         768},
        {"pulled out during the transfer",
         1024,
         0,
         0,
         LIBUSB_TRANSFER_NO_DEVICE,
         {256},
         WD_DEVICE_NOT_FOUND,
         4,
         256},
        {"pulled out before submitting",
         1024,
         0,
         LIBUSB_ERROR_NO_DEVICE,
         LIBUSB_TRANSFER_COMPLETED,
         {},
         WD_DEVICE_NOT_FOUND,
         0,
         0},
        {"time-out", 1024, 0, 0, LIBUSB_TRANSFER_TIMED_OUT, {}, WD_TIME_OUT_EXPIRED, 4, 0},
    };
    for (const IsoCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake_usb::Config config;
        config.endpoint_type = LIBUSB_TRANSFER_TYPE_ISOCHRONOUS;
        config.max_packet = 256;
        config.submit_result = c.submit_result;
        config.iso_status = c.status;
        config.iso_lengths = c.lengths;
        Register(config);
        WDU_DEVICE_HANDLE device = Attached();
        ASSERT_NE(device, nullptr);
        std::vector<uint8_t> buffer(1024, 0xEE);
        uint32_t got = 99;
        EXPECT_EQ(
            WDU_Transfer(device, 0x81, 1, c.options, buffer.data(), c.size, &got, nullptr, 500),
            c.expected);
        EXPECT_EQ(got, c.transferred);
        if (c.packets != 0) {
            EXPECT_EQ(fake_usb::Snapshot().iso_packets, c.packets);
        }
        if (c.lengths.size() >= 2 && c.lengths[1] != 0) {
            // Packet 1's bytes follow packet 0's without a gap.
            EXPECT_EQ(buffer[static_cast<size_t>(c.lengths[0])], 0x11);
        }
        WDU_Uninit(driver_);
        driver_ = nullptr;
    }
}

// The event thread handles the completion; the reading thread must wake on
// the flag the completion sets, not sit out its own wait.
TEST_F(FakeLibusb, AnIsochronousReadWakesAsSoonAsTheEventThreadCompletesIt) {
    fake_usb::Config config;
    config.endpoint_type = LIBUSB_TRANSFER_TYPE_ISOCHRONOUS;
    config.max_packet = 256;
    config.iso_lengths = {256, 256};
    Register(config);
    WDU_DEVICE_HANDLE device = Attached();
    ASSERT_NE(device, nullptr);
    std::vector<uint8_t> buffer(512);
    for (int i = 0; i < 10; ++i) {
        uint32_t got = 0;
        ASSERT_EQ(WDU_Transfer(device, 0x81, 1, 0, buffer.data(), 512, &got, nullptr, 500),
                  WD_STATUS_SUCCESS);
        EXPECT_EQ(got, 512u);
    }
    EXPECT_EQ(fake_usb::Snapshot().missed_wakeups, 0);
}

} // namespace
