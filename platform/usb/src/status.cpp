// Status texts and the driver name.
#include "platform/usb.h"

extern "C" {

const char* Stat2Str(WD_STATUS status) {
    switch (status) {
    case WD_STATUS_SUCCESS:
        return "Success";
    case WD_WINDRIVER_STATUS_ERROR:
        return "USB driver error";
    case WD_INVALID_HANDLE:
        return "Invalid handle";
    case WD_INSUFFICIENT_RESOURCES:
        return "Insufficient resources";
    case WD_INVALID_PARAMETER:
        return "Invalid parameter";
    case WD_DEVICE_NOT_FOUND:
        return "Device not found";
    case WD_OPERATION_FAILED:
        return "Operation failed";
    case WD_TIME_OUT_EXPIRED:
        return "Time-out expired";
    case WD_OPERATION_ALREADY_DONE:
        return "Operation already done";
    case WD_USBD_STATUS_STALL_PID:
        return "Stall PID (the device stalled the pipe)";
    case WD_USBD_STATUS_BABBLE:
        return "Babble (the device sent more data than was asked for)";
    default:
        return "Unrecognized error code";
    }
}

const char* WD_DriverName(const char* name) {
    // Any non-empty name is accepted: there is no kernel driver to select here.
    return name != nullptr && name[0] != '\0' ? name : nullptr;
}

} // extern "C"
