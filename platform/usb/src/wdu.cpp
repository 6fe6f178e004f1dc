// The WDU_* entry points: argument and handle checks, then the registration
// (driver.cpp) or the device's back end.
#include "platform/usb.h"

#include "backend_choice.h"
#include "description.h"
#include "driver.h"

#include <new>

namespace platform::usb {
namespace {

HandleTable<Driver>& DriverHandles() {
    static auto* table = new HandleTable<Driver>(0xD1); // never destroyed, as DeviceHandles
    return *table;
}

// The device behind handle, or the status that says why there is none.
std::shared_ptr<DeviceEntry> FindDevice(WDU_DEVICE_HANDLE handle, WD_STATUS* status) {
    HandleState state;
    std::shared_ptr<DeviceEntry> entry = DeviceHandles().Find(handle, &state);
    if (state == HandleState::kInvalid) {
        *status = WD_INVALID_HANDLE;
        return nullptr;
    }
    if (!entry || entry->gone) {
        *status = WD_DEVICE_NOT_FOUND;
        return nullptr;
    }
    *status = WD_STATUS_SUCCESS;
    return entry;
}

WD_STATUS ControlTransfer(DeviceEntry& entry, uint32_t read, uint8_t* buffer, uint32_t size,
                          uint32_t* transferred, const uint8_t* setup, uint32_t timeout_ms) {
    if (setup == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    uint32_t length = setup[6] | (setup[7] << 8);
    bool device_to_host = (setup[0] & 0x80) != 0;
    if (length > size || (length != 0 && (read != 0) != device_to_host) ||
        (length != 0 && buffer == nullptr)) {
        return WD_INVALID_PARAMETER;
    }
    WD_STATUS status = entry.device->Control(setup, buffer, transferred, timeout_ms);
    return entry.gone && status != WD_STATUS_SUCCESS ? WD_DEVICE_NOT_FOUND : status;
}

} // namespace
} // namespace platform::usb

using namespace platform::usb;

extern "C" {

WD_STATUS WDU_Init(WDU_DRIVER_HANDLE* driver, const WDU_MATCH_TABLE* match_tables,
                   uint32_t match_count, const WDU_EVENT_TABLE* events, const char* /*license*/,
                   uint32_t /*options*/) {
    if (driver != nullptr) {
        *driver = nullptr;
    }
    if (driver == nullptr || match_tables == nullptr || match_count == 0 || events == nullptr ||
        events->pfDeviceAttach == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    std::unique_ptr<Backend> backend = MakeBackendForRegistration();
    if (!backend) {
        return WD_OPERATION_FAILED;
    }
    std::shared_ptr<Driver> registration;
    try {
        registration = std::make_shared<Driver>(
            std::vector<WDU_MATCH_TABLE>(match_tables, match_tables + match_count), *events,
            std::move(backend));
    } catch (const std::bad_alloc&) {
        return WD_INSUFFICIENT_RESOURCES;
    }
    void* handle = DriverHandles().Add(registration);
    *driver = handle; // before any callback can look at it
    WD_STATUS status = registration->Start();
    if (status != WD_STATUS_SUCCESS) {
        DriverHandles().Retire(handle);
        *driver = nullptr;
    }
    return status;
}

bool WDU_HasRefusedDevice(WDU_DRIVER_HANDLE driver) {
    HandleState state;
    std::shared_ptr<Driver> registration = DriverHandles().Find(driver, &state);
    return registration && registration->HasRefusedDevice();
}

void WDU_Uninit(WDU_DRIVER_HANDLE driver) {
    if (std::shared_ptr<Driver> registration = DriverHandles().Retire(driver)) {
        registration->Stop();
    }
}

WD_STATUS WDU_GetDeviceInfo(WDU_DEVICE_HANDLE device, WDU_DEVICE** info) {
    if (info == nullptr) {
        return WD_INVALID_PARAMETER;
    }
    *info = nullptr;
    WD_STATUS status;
    std::shared_ptr<DeviceEntry> entry = FindDevice(device, &status);
    if (!entry) {
        return status;
    }
    try {
        *info = LendDeviceInfo(entry->description);
    } catch (const std::bad_alloc&) {
        return WD_INSUFFICIENT_RESOURCES;
    }
    return WD_STATUS_SUCCESS;
}

void WDU_PutDeviceInfo(WDU_DEVICE* info) {
    ReturnDeviceInfo(info);
}

WD_STATUS WDU_Transfer(WDU_DEVICE_HANDLE device, uint32_t pipe, uint32_t read, uint32_t options,
                       void* buffer, uint32_t size, uint32_t* transferred, const uint8_t* setup,
                       uint32_t timeout_ms) {
    uint32_t ignored = 0;
    if (transferred == nullptr) {
        transferred = &ignored;
    }
    *transferred = 0;
    WD_STATUS status;
    std::shared_ptr<DeviceEntry> entry = FindDevice(device, &status);
    if (!entry) {
        return status;
    }
    auto* data = static_cast<uint8_t*>(buffer);
    if (pipe == 0) {
        return ControlTransfer(*entry, read, data, size, transferred, setup, timeout_ms);
    }
    const WDU_PIPE_INFO* info = platform::FindActivePipe(entry->description, pipe);
    if (info == nullptr || !platform::PipeAllows(*info, read != 0) ||
        (data == nullptr && size != 0)) {
        return WD_INVALID_PARAMETER;
    }
    status = entry->device->Pipe(*info, read != 0, options, data, size, transferred, timeout_ms);
    return entry->gone && status != WD_STATUS_SUCCESS ? WD_DEVICE_NOT_FOUND : status;
}

WD_STATUS WDU_TransferDefaultPipe(WDU_DEVICE_HANDLE device, uint32_t read, uint32_t options,
                                  void* buffer, uint32_t size, uint32_t* transferred,
                                  const uint8_t* setup, uint32_t timeout_ms) {
    return WDU_Transfer(device, 0, read, options, buffer, size, transferred, setup, timeout_ms);
}

} // extern "C"
