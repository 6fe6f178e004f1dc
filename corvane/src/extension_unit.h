// The camera's extension unit: finding it in the USB descriptors, reaching
// its controls through the device back end (UVCIOC_CTRL_QUERY on a real
// camera, the unit an emulated camera was plugged with) and the command
// register's write sequences.
#pragma once

#include "platform/devices.h"

#include <cstdint>
#include <memory>
#include <span>

namespace corvane {

// UVC request codes.
inline constexpr uint8_t kUvcSetCur = 0x01;
inline constexpr uint8_t kUvcGetCur = 0x81;
inline constexpr uint8_t kUvcGetLen = 0x85;
inline constexpr uint8_t kUvcGetInfo = 0x86;

// The GStreamer debug category of the failed-query trace lines
// (GST_DEBUG=corvane-xu:2 shows them).
inline constexpr char kExtensionUnitDebugCategory[] = "corvane-xu";

// The command register and the spare exchange control.
inline constexpr uint8_t kCommandControl = 4;
inline constexpr uint8_t kExchangeControl = 5;

// The bUnitID of the first extension unit of a video control interface in
// descriptors (device and configuration descriptors as the device sent
// them); -1 when there is none. Malformed descriptors end the search.
int FindFirstExtensionUnit(std::span<const uint8_t> descriptors);

// One way to reach a unit's controls, like UVCIOC_CTRL_QUERY: 0 or a
// negative errno. data is written for SET_CUR and filled for the GET requests.
using platform::ExtensionUnitTransport;

// The transport for camera from the device back end (Provider()); null when
// it cannot be opened.
std::unique_ptr<ExtensionUnitTransport>
OpenExtensionUnitTransport(const platform::VideoInputDevice& camera);

// Controls of one extension unit. Not thread-safe: its owner serialises
// whole sequences (the register must see one sequence at a time). Every
// failed query (a control the camera does not list, a stall, a camera gone)
// gives -1 and one warning line in kExtensionUnitDebugCategory.
class ExtensionUnitControl {
public:
    ExtensionUnitControl(std::unique_ptr<ExtensionUnitTransport> transport, uint8_t unit_id)
        : transport_(std::move(transport)), unit_id_(unit_id) {}

    uint8_t UnitId() const { return unit_id_; }
    // The length of control in bytes.
    int QueryLength(uint8_t control, uint16_t* length);
    // Reads exactly data.size() bytes, which must be the control's length.
    int Read(uint8_t control, std::span<uint8_t> data);
    int Write(uint8_t control, std::span<const uint8_t> data);
    // The control's information bitmap (GET and SET support).
    int ReadInfo(uint8_t control, uint8_t* info);

private:
    int Query(uint8_t control, uint8_t request, std::span<uint8_t> data);

    std::unique_ptr<ExtensionUnitTransport> transport_;
    uint8_t unit_id_;
};

// The five writes of a command; stops at the first failure. 0 or -1.
int SendCommandSequence(ExtensionUnitControl& unit, uint8_t command);
// The six writes of a status read, then the 4-byte read; byte 3 into state.
int ReadStateSequence(ExtensionUnitControl& unit, int* state);
// Writes 0x0A, value, 0x00, 0x77 to the exchange control and reads its reply.
int ExchangeControl(ExtensionUnitControl& unit, uint8_t value, uint8_t reply[4]);

} // namespace corvane
