// Status texts, the portable helpers, match tables and the WDU_DEVICE layout.
#include "platform/usb.h"

#include "description.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

namespace {

TEST(UsbStatus, EveryStatusHasItsOwnTextAndDriverNamesAreTaken) {
    const WD_STATUS known[] = {
        WD_STATUS_SUCCESS,        WD_INVALID_HANDLE,         WD_INSUFFICIENT_RESOURCES,
        WD_INVALID_PARAMETER,     WD_DEVICE_NOT_FOUND,       WD_OPERATION_FAILED,
        WD_TIME_OUT_EXPIRED,      WD_OPERATION_ALREADY_DONE, WD_WINDRIVER_STATUS_ERROR,
        WD_USBD_STATUS_STALL_PID, WD_USBD_STATUS_BABBLE};
    std::set<std::string> texts;
    for (WD_STATUS status : known) {
        ASSERT_NE(Stat2Str(status), nullptr);
        texts.insert(Stat2Str(status));
    }
    EXPECT_EQ(texts.size(), std::size(known));
    EXPECT_STREQ(Stat2Str(0x12345678), "Unrecognized error code");
    EXPECT_EQ(texts.count("Unrecognized error code"), 0u);

    const char* name = "windrvr6";
    EXPECT_EQ(WD_DriverName(name), name);
    EXPECT_EQ(WD_DriverName(""), nullptr);
    EXPECT_EQ(WD_DriverName(nullptr), nullptr);
}

TEST(UsbHelpers, EventIsManualResetAndWakesAWaiter) {
    OS_HANDLE event = nullptr;
    ASSERT_EQ(OsEventCreate(&event), WD_STATUS_SUCCESS);
    EXPECT_EQ(OsEventWait(event, 0), WD_TIME_OUT_EXPIRED) << "starts not signalled";
    std::thread signaller([event] { OsEventSignal(event); });
    EXPECT_EQ(OsEventWait(event, WD_INFINITE), WD_STATUS_SUCCESS);
    signaller.join();
    EXPECT_EQ(OsEventWait(event, 0), WD_STATUS_SUCCESS) << "stays signalled until reset";
    EXPECT_EQ(OsEventReset(event), WD_STATUS_SUCCESS);
    EXPECT_EQ(OsEventWait(event, 10), WD_TIME_OUT_EXPIRED);
    OsEventClose(event);

    EXPECT_EQ(OsEventCreate(nullptr), WD_INVALID_PARAMETER);
    EXPECT_EQ(OsEventSignal(nullptr), WD_INVALID_HANDLE);
    EXPECT_EQ(OsEventWait(nullptr, 0), WD_INVALID_HANDLE);
}

TEST(UsbHelpers, MutexLockTimeoutFailsWhileAnotherThreadHoldsIt) {
    OS_HANDLE mutex = nullptr;
    ASSERT_EQ(OsMutexCreate(&mutex), WD_STATUS_SUCCESS);
    OsMutexLock(mutex);
    std::thread other([mutex] { EXPECT_EQ(OsMutexLockTimeout(mutex, 10), WD_TIME_OUT_EXPIRED); });
    other.join();
    OsMutexUnlock(mutex);
    EXPECT_EQ(OsMutexLockTimeout(mutex, 0), WD_STATUS_SUCCESS);
    OsMutexUnlock(mutex);
    OsMutexClose(mutex);

    EXPECT_EQ(OsMutexCreate(nullptr), WD_INVALID_PARAMETER);
    EXPECT_EQ(OsMutexLockTimeout(nullptr, 0), WD_INVALID_HANDLE);
}

TEST(UsbHelpers, ThreadRunsAndIsWaitedFor) {
    std::atomic<int> runs{0};
    OS_HANDLE thread = nullptr;
    ASSERT_EQ(ThreadStart(
                  &thread, [](void* c) { ++*static_cast<std::atomic<int>*>(c); }, &runs),
              WD_STATUS_SUCCESS);
    ThreadWait(thread);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(ThreadStart(&thread, nullptr, nullptr), WD_INVALID_PARAMETER);
    EXPECT_EQ(ThreadStart(
                  nullptr, [](void*) {}, nullptr),
              WD_INVALID_PARAMETER);
    ThreadWait(nullptr);
}

platform::UsbDeviceDescription TwoInterfaceDevice() {
    platform::UsbDeviceDescription d;
    d.descriptor.idVendor = 0x0525;
    d.descriptor.idProduct = 0xA4A5;
    d.descriptor.bDeviceClass = 0xEF;
    for (uint8_t number : {0, 1}) {
        platform::UsbInterfaceDescription iface;
        for (uint8_t alt : {0, 1}) {
            platform::UsbAlternateSetting s;
            s.descriptor.bInterfaceNumber = number;
            s.descriptor.bAlternateSetting = alt;
            s.descriptor.bInterfaceClass = number == 0 ? 0x0E : 0xFF;
            s.descriptor.bInterfaceSubClass = alt == 0 ? 1 : 2;
            s.descriptor.bNumEndpoints = 9; // wrong on purpose: the pipes count
            for (uint32_t p = 0; p < alt + 1u; ++p) {
                s.pipes.push_back({0x81u + p + number * 4, 512, PIPE_TYPE_BULK, WDU_DIR_IN, 0});
            }
            iface.alternate_settings.push_back(s);
        }
        iface.active = number; // interface 1 runs its second setting
        d.interfaces.push_back(iface);
    }
    return d;
}

TEST(UsbDescription, DeviceInfoPointsAtActiveSettingsAndTheirPipes) {
    platform::usb::DeviceInfoBlock block(TwoInterfaceDevice());
    const WDU_DEVICE* device = block.Device();
    EXPECT_EQ(device->Descriptor.idProduct, 0xA4A5);
    ASSERT_EQ(device->dwNumInterfaces, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const WDU_INTERFACE* iface = device->pActiveInterface[i];
        ASSERT_EQ(iface->dwNumAltSettings, 2u);
        EXPECT_EQ(iface->pActiveAltSetting, &iface->pAlternateSettings[i]);
        for (uint32_t a = 0; a < 2; ++a) {
            const WDU_ALTERNATE_SETTING& s = iface->pAlternateSettings[a];
            EXPECT_EQ(s.Descriptor.bAlternateSetting, a);
            ASSERT_EQ(s.Descriptor.bNumEndpoints, a + 1);
            EXPECT_EQ(s.pPipes[a].dwNumber, 0x81u + a + i * 4);
        }
    }
    WDU_DEVICE* lent = platform::usb::LendDeviceInfo(TwoInterfaceDevice());
    EXPECT_EQ(lent->pActiveInterface[1]->pActiveAltSetting->pPipes[1].dwNumber, 0x86u);
    WDU_PutDeviceInfo(lent);
    WDU_PutDeviceInfo(lent); // twice: ignored
}

} // namespace
