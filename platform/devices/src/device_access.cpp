#include "platform/device_access.h"
#include "platform/thread_annotations.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace platform {
namespace {

struct Registry {
    Mutex mutex;
    std::map<uint32_t, DeviceAccessError> records TOVEK_GUARDED_BY(mutex);
};

Registry& Records() {
    static auto* registry = new Registry; // used by library threads until exit
    return *registry;
}

uint32_t Key(uint16_t vendor_id, uint16_t product_id) {
    return static_cast<uint32_t>(vendor_id) << 16 | product_id;
}

const char* CameraModel(uint16_t vendor_id, uint16_t product_id) {
    if (vendor_id == kQ5VendorId && product_id == kQ5ProductId) {
        return "Q5";
    }
    if (vendor_id == kRvxVendorId && product_id == kRvxProductId) {
        return "RVX";
    }
    return "";
}

std::string CameraName(uint16_t vendor_id, uint16_t product_id) {
    const std::string model = CameraModel(vendor_id, product_id);
    char text[64];
    std::snprintf(text, sizeof text, "%s (USB %04X:%04X)",
                  model.empty() ? "USB device" : (model + " camera").c_str(), vendor_id,
                  product_id);
    return text;
}

const char* FaultName(AccessFault fault) {
    switch (fault) {
    case AccessFault::kNoPermission:
        return "EACCES";
    case AccessFault::kBusy:
        return "EBUSY";
    case AccessFault::kNone:
        break;
    }
    return "none";
}

} // namespace

AccessFault AccessFaultFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return AccessFault::kNoPermission;
    case EBUSY:
        return AccessFault::kBusy;
    default:
        return AccessFault::kNone;
    }
}

DeviceAccessError DescribeDeviceAccessError(uint16_t vendor_id, uint16_t product_id,
                                            AccessFault fault, std::string_view detail) {
    DeviceAccessError error;
    error.fault = fault;
    const std::string camera = CameraName(vendor_id, product_id);
    error.camera_model = CameraModel(vendor_id, product_id);
    char id[16];
    std::snprintf(id, sizeof id, "%04X:%04X", vendor_id, product_id);
    error.usb_id = id;
    switch (fault) {
    case AccessFault::kNoPermission:
        error.user_text = "No permission to use the " + camera +
                          ". Install the udev rules: sudo scripts/install-udev-rules";
        break;
    case AccessFault::kBusy:
        error.user_text = "The " + camera +
                          " is in use by another program. Close that program, then choose "
                          "the camera again.";
        break;
    case AccessFault::kNone:
        return error;
    }
    error.debug_text = camera + ": " + FaultName(fault) + ", " + std::string(detail);
    return error;
}

bool ReportDeviceAccessError(uint16_t vendor_id, uint16_t product_id, int error,
                             std::string_view detail) {
    const AccessFault fault = AccessFaultFromErrno(error);
    if (fault == AccessFault::kNone) {
        ClearDeviceAccessError(vendor_id, product_id);
        return false;
    }
    DeviceAccessError record = DescribeDeviceAccessError(vendor_id, product_id, fault, detail);
    {
        Registry& registry = Records();
        MutexLock lock(registry.mutex);
        auto [it, made] = registry.records.try_emplace(Key(vendor_id, product_id), record);
        if (!made) {
            if (it->second.fault == fault) {
                return false; // said already
            }
            it->second = record;
        }
    }
    std::fprintf(stderr, "tovek: %s (%s)\n", record.user_text.c_str(), record.debug_text.c_str());
    return true;
}

void ClearDeviceAccessError(uint16_t vendor_id, uint16_t product_id) {
    Registry& registry = Records();
    MutexLock lock(registry.mutex);
    registry.records.erase(Key(vendor_id, product_id));
}

bool GetDeviceAccessError(uint16_t vendor_id, uint16_t product_id, DeviceAccessError* error) {
    Registry& registry = Records();
    MutexLock lock(registry.mutex);
    auto it = registry.records.find(Key(vendor_id, product_id));
    if (it == registry.records.end()) {
        return false;
    }
    if (error != nullptr) {
        *error = it->second;
    }
    return true;
}

} // namespace platform
