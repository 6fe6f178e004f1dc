#include "extension_unit.h"

#include "device_finder.h"

#include <gst/gst.h>

#include <array>
#include <cstring>
#include <vector>

namespace corvane {
namespace {

GstDebugCategory* Category() {
    static GstDebugCategory* category = [] {
        GstDebugCategory* made = nullptr;
        GST_DEBUG_CATEGORY_INIT(made, kExtensionUnitDebugCategory, 0, "RVX camera extension unit");
        return made;
    }();
    return category;
}

const char* RequestName(uint8_t request) {
    switch (request) {
    case kUvcSetCur:
        return "SET_CUR";
    case kUvcGetCur:
        return "GET_CUR";
    case kUvcGetLen:
        return "GET_LEN";
    case kUvcGetInfo:
        return "GET_INFO";
    default:
        return "request";
    }
}

// 0, or -1 after one trace line naming the query and the camera's answer:
// -ENOENT a control the camera does not list, -EIO or -EPIPE a stall,
// -ENODEV an unplugged camera. The caller's sequence ends there.
int Checked(int result, uint8_t unit, uint8_t control, uint8_t request) {
    if (result == 0) {
        return 0;
    }
    const int error = -result;
    const char* name = error > 0 ? strerrorname_np(error) : nullptr;
    GST_CAT_WARNING(Category(), "extension unit %u control %u %s failed: %s (%d)", unit, control,
                    RequestName(request), name != nullptr ? name : "unknown", result);
    return -1;
}

using Write4 = std::array<uint8_t, 4>;

constexpr uint8_t kInterfaceDescriptor = 0x04;
constexpr uint8_t kClassSpecificInterface = 0x24;
constexpr uint8_t kVideoClass = 0x0E;
constexpr uint8_t kVideoControlSubclass = 0x01;
constexpr uint8_t kExtensionUnitSubtype = 0x06;

int WriteAll(ExtensionUnitControl& unit, uint8_t control, std::span<const Write4> writes) {
    for (const Write4& bytes : writes) {
        if (unit.Write(control, bytes) != 0) {
            return -1;
        }
    }
    return 0;
}

} // namespace

int FindFirstExtensionUnit(std::span<const uint8_t> descriptors) {
    bool in_video_control = false;
    size_t at = 0;
    while (at + 2 <= descriptors.size()) {
        const uint8_t length = descriptors[at];
        const uint8_t type = descriptors[at + 1];
        if (length < 2 || at + length > descriptors.size()) {
            return -1;
        }
        if (type == kInterfaceDescriptor && length >= 9) {
            in_video_control =
                descriptors[at + 5] == kVideoClass && descriptors[at + 6] == kVideoControlSubclass;
        } else if (in_video_control && type == kClassSpecificInterface && length >= 4 &&
                   descriptors[at + 2] == kExtensionUnitSubtype) {
            return descriptors[at + 3];
        }
        at += length;
    }
    return -1;
}

std::unique_ptr<ExtensionUnitTransport>
OpenExtensionUnitTransport(const platform::VideoInputDevice& camera) {
    return Provider().OpenExtensionUnit(camera);
}

int ExtensionUnitControl::Query(uint8_t control, uint8_t request, std::span<uint8_t> data) {
    return Checked(transport_->Query(unit_id_, control, request, data), unit_id_, control, request);
}

int ExtensionUnitControl::QueryLength(uint8_t control, uint16_t* length) {
    std::array<uint8_t, 2> bytes{};
    if (Query(control, kUvcGetLen, bytes) != 0) {
        return -1;
    }
    *length = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    return 0;
}

int ExtensionUnitControl::Read(uint8_t control, std::span<uint8_t> data) {
    return Query(control, kUvcGetCur, data);
}

int ExtensionUnitControl::Write(uint8_t control, std::span<const uint8_t> data) {
    // The query takes a mutable buffer for every request; a set only reads it.
    std::vector<uint8_t> copy(data.begin(), data.end());
    return Query(control, kUvcSetCur, copy);
}

int ExtensionUnitControl::ReadInfo(uint8_t control, uint8_t* info) {
    std::array<uint8_t, 1> byte{};
    if (Query(control, kUvcGetInfo, byte) != 0) {
        return -1;
    }
    *info = byte[0];
    return 0;
}

int SendCommandSequence(ExtensionUnitControl& unit, uint8_t command) {
    const Write4 writes[] = {{0x20, 0x46, 0xB4, command},
                             {0x20, 0x38, 0xB4, 0x02},
                             {0x20, 0x40, 0xB4, 0x00},
                             {0x20, 0x41, 0xB4, 0x00},
                             {0x20, 0x44, 0xB4, 0x01}};
    return WriteAll(unit, kCommandControl, writes);
}

int ReadStateSequence(ExtensionUnitControl& unit, int* state) {
    const Write4 writes[] = {{0x20, 0x46, 0xB4, 0x00}, {0x20, 0x38, 0xB4, 0x02},
                             {0x20, 0x44, 0xB4, 0x02}, {0x00, 0x4C, 0xB4, 0x00},
                             {0x00, 0x4C, 0xB4, 0xFF}, {0x00, 0x4D, 0xB4, 0xFF}};
    if (WriteAll(unit, kCommandControl, writes) != 0) {
        return -1;
    }
    uint16_t length = 0;
    std::array<uint8_t, 4> reply{};
    // The reply is read into 4 bytes: a control of another length cannot be.
    if (unit.QueryLength(kCommandControl, &length) != 0 || length != reply.size() ||
        unit.Read(kCommandControl, reply) != 0) {
        return -1;
    }
    *state = reply[3];
    return 0;
}

int ExchangeControl(ExtensionUnitControl& unit, uint8_t value, uint8_t reply[4]) {
    const Write4 request[] = {{0x0A, value, 0x00, 0x77}};
    uint16_t length = 0;
    if (WriteAll(unit, kExchangeControl, request) != 0 ||
        unit.QueryLength(kExchangeControl, &length) != 0 || length != 4) {
        return -1;
    }
    return unit.Read(kExchangeControl, std::span<uint8_t>(reply, 4));
}

} // namespace corvane
