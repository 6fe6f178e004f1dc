// Broadcast records and the Windows forms of device names.
#include "platform/devices.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kMaxSerialPart = 126;

bool UsableSerialChar(char c) {
    return c > 0x20 && c < 0x7F && c != '#' && c != '\\' && c != '/' && c != ',';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Hex4(uint16_t value, bool upper) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, upper ? "%04X" : "%04x", value);
    return buffer;
}

} // namespace

DeviceBroadcast DeviceBroadcast::ForInterface(const GUID& class_guid, std::u16string_view name) {
    DeviceBroadcast broadcast;
    const size_t name_offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const size_t size = name_offset + (name.size() + 1) * sizeof(char16_t);
    broadcast.size_ = size;
    broadcast.storage_.assign((size + 3) / 4, 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(broadcast.storage_.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    record->dbcc_reserved = 0;
    record->dbcc_classguid = class_guid;
    // The name runs past the declared one-element array into the storage.
    auto* bytes = reinterpret_cast<uint8_t*>(broadcast.storage_.data());
    std::memcpy(bytes + name_offset, name.data(), name.size() * sizeof(char16_t));
    return broadcast;
}

DeviceBroadcast DeviceBroadcast::OfType(DWORD device_type) {
    DeviceBroadcast broadcast;
    broadcast.size_ = sizeof(DEV_BROADCAST_HDR);
    broadcast.storage_.assign(sizeof(DEV_BROADCAST_HDR) / 4, 0);
    auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(broadcast.storage_.data());
    header->dbch_size = sizeof(DEV_BROADCAST_HDR);
    header->dbch_devicetype = device_type;
    return broadcast;
}

const DEV_BROADCAST_HDR* DeviceBroadcast::Header() const {
    return storage_.empty() ? nullptr : reinterpret_cast<const DEV_BROADCAST_HDR*>(storage_.data());
}

std::string UsbSerialPart(std::string_view serial, std::string_view location) {
    bool usable = !serial.empty() && serial.size() <= kMaxSerialPart;
    for (char c : serial) {
        usable = usable && UsableSerialChar(c);
    }
    if (usable) {
        return std::string(serial);
    }
    std::string part = "LOC_";
    for (char c : location.substr(0, kMaxSerialPart - part.size())) {
        part += UsableSerialChar(c) ? c : '_';
    }
    return part;
}

std::string UsbInstanceId(uint16_t vendor_id, uint16_t product_id, std::string_view serial_part) {
    return "USB\\VID_" + Hex4(vendor_id, true) + "&PID_" + Hex4(product_id, true) + "\\" +
           std::string(serial_part);
}

std::string UsbInterfaceName(uint16_t vendor_id, uint16_t product_id,
                             std::string_view serial_part) {
    return "\\\\?\\USB#VID_" + Hex4(vendor_id, true) + "&PID_" + Hex4(product_id, true) + "#" +
           std::string(serial_part) + "#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
}

std::string UsbVideoDisplayName(uint16_t vendor_id, uint16_t product_id, int interface_number,
                                std::string_view serial_part) {
    char mi[8];
    std::snprintf(mi, sizeof mi, "%02x", interface_number & 0xFF);
    return "@device:pnp:\\\\?\\usb#vid_" + Hex4(vendor_id, false) + "&pid_" +
           Hex4(product_id, false) + "&mi_" + mi + "#" + Lower(serial_part) +
           "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
}

} // namespace platform
