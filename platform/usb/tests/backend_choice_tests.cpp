// The back end a registration gets: libusb, an installed emulated one, or the
// null one when emulation is asked for and nothing was installed.
#include "platform/system.h"
#include "platform/usb.h"
#include "platform/usb_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform::usb;

constexpr uint16_t kFakeVendor = 0x1D6B;

// One device that answers every control read with its request byte.
class FakeDevice final : public OpenDevice {
public:
    WD_STATUS Control(const uint8_t* setup, uint8_t* data, uint32_t* transferred,
                      uint32_t /*timeout_ms*/) override {
        const uint32_t length = setup[6] | (setup[7] << 8);
        for (uint32_t i = 0; i < length; ++i) {
            data[i] = setup[1];
        }
        *transferred = length;
        return WD_STATUS_SUCCESS;
    }
    WD_STATUS Pipe(const WDU_PIPE_INFO&, bool, uint32_t, uint8_t*, uint32_t, uint32_t* transferred,
                   uint32_t) override {
        *transferred = 0;
        return WD_OPERATION_FAILED;
    }
};

class FakeCandidate final : public Candidate {
public:
    bool Describe(platform::UsbDeviceDescription* description) override {
        description->descriptor.idVendor = kFakeVendor;
        description->descriptor.idProduct = 0x0104;
        return true;
    }
    std::shared_ptr<OpenDevice> Open(platform::UsbDeviceDescription*,
                                     platform::usb::OpenFailure*) override {
        return std::make_shared<FakeDevice>();
    }
};

std::atomic<int> g_fake_backends{0};

class FakeBackend final : public Backend {
public:
    WD_STATUS Start(EventSink* sink) override {
        sink->Arrived(1, std::make_shared<FakeCandidate>());
        return WD_STATUS_SUCCESS;
    }
    void Stop() override {}
};

std::unique_ptr<Backend> MakeFakeBackend() {
    ++g_fake_backends;
    return std::make_unique<FakeBackend>();
}

std::unique_ptr<Backend> MakeNoBackend() {
    return nullptr;
}

struct Attaches {
    std::mutex mutex; // guards vendors and handle
    std::condition_variable cv;
    std::vector<uint16_t> vendors;
    WDU_DEVICE_HANDLE handle = nullptr;

    static bool OnAttach(WDU_DEVICE_HANDLE device, WDU_DEVICE* info, void* user) {
        auto* self = static_cast<Attaches*>(user);
        {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->vendors.push_back(info->Descriptor.idVendor);
            self->handle = device;
        }
        self->cv.notify_all();
        return true;
    }
    bool WaitForOne() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return !vendors.empty(); });
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return vendors.size();
    }
};

class BackendChoice : public ::testing::Test {
protected:
    void TearDown() override {
        if (driver_ != nullptr) {
            WDU_Uninit(driver_);
        }
        InstallEmulatedBackend(nullptr);
        platform::SetEmulatedDevicesRequested(false);
    }
    WD_STATUS Register() {
        WDU_MATCH_TABLE any{};
        WDU_EVENT_TABLE events{&Attaches::OnAttach, nullptr, nullptr, &attaches_};
        return WDU_Init(&driver_, &any, 1, &events, "", 0);
    }

    Attaches attaches_;
    WDU_DRIVER_HANDLE driver_ = nullptr;
};

TEST_F(BackendChoice, EmulationWithNothingInstalledRegistersWithoutDevicesAndSaysWhy) {
    platform::SetEmulatedDevicesRequested(true);
    ASSERT_FALSE(EmulatedBackendInstalled());
    testing::internal::CaptureStderr();
    ASSERT_EQ(Register(), WD_STATUS_SUCCESS);
    ASSERT_NE(driver_, nullptr);
    WDU_Uninit(driver_);
    ASSERT_EQ(Register(), WD_STATUS_SUCCESS);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("installed no emulated USB back end"), std::string::npos) << said;
    EXPECT_EQ(said.find("tovek_usb:"), said.rfind("tovek_usb:")) << "said once: " << said;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(attaches_.Count(), 0u);
}

TEST_F(BackendChoice, TheInstalledBackendServesEmulationOnly) {
    InstallEmulatedBackend(MakeFakeBackend);
    EXPECT_TRUE(EmulatedBackendInstalled());

    platform::SetEmulatedDevicesRequested(true);
    ASSERT_EQ(Register(), WD_STATUS_SUCCESS);
    ASSERT_TRUE(attaches_.WaitForOne());
    EXPECT_EQ(g_fake_backends.load(), 1);
    WDU_DEVICE_HANDLE device = nullptr;
    {
        std::lock_guard<std::mutex> lock(attaches_.mutex);
        EXPECT_EQ(attaches_.vendors.front(), kFakeVendor);
        device = attaches_.handle;
    }
    const uint8_t setup[8] = {0xC0, 0x5A, 0, 0, 0, 0, 2, 0};
    uint8_t reply[2] = {};
    uint32_t got = 0;
    ASSERT_EQ(WDU_TransferDefaultPipe(device, 1, 0, reply, 2, &got, setup, 100), WD_STATUS_SUCCESS);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(reply[1], 0x5A) << "the transfer reached the installed back end";
    WDU_Uninit(driver_);
    driver_ = nullptr;

    // Not asked for: the real back end, installed or not.
    platform::SetEmulatedDevicesRequested(false);
    ASSERT_EQ(Register(), WD_STATUS_SUCCESS);
    EXPECT_EQ(g_fake_backends.load(), 1);
}

TEST_F(BackendChoice, AFactoryWithoutABackendFailsTheRegistration) {
    InstallEmulatedBackend(MakeNoBackend);
    platform::SetEmulatedDevicesRequested(true);
    EXPECT_EQ(Register(), WD_OPERATION_FAILED);
    EXPECT_EQ(driver_, nullptr);
    InstallEmulatedBackend(nullptr);
    EXPECT_FALSE(EmulatedBackendInstalled());
}

TEST(NullBackend, StartsStopsTwiceAndNeverReports) {
    class NoEvents final : public EventSink {
    public:
        void Arrived(uint64_t, std::shared_ptr<Candidate>) override { ADD_FAILURE(); }
        void Left(uint64_t) override { ADD_FAILURE(); }
    } sink;
    std::unique_ptr<Backend> backend = MakeNullBackend();
    backend->Stop(); // before Start: nothing to do
    EXPECT_EQ(backend->Start(&sink), WD_STATUS_SUCCESS);
    backend->Stop();
    backend->Stop();
}

} // namespace
