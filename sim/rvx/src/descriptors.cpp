// The emulated RVX camera's USB descriptors, as a UVC 1.0 camera sends them:
// what a host reads to find the camera's extension unit.
#include "descriptors.h"

#include "sim/rvx_camera.h"

namespace sim {
namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

// The extension unit's code, a vendor GUID.
constexpr uint8_t kExtensionGuid[16] = {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
                                        0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};

} // namespace

std::vector<uint8_t> RvxDescriptors() {
    std::vector<uint8_t> out;
    // Device: USB 2.0, miscellaneous class with interface association.
    Append(out, {18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, kRvxVendorId & 0xFF, kRvxVendorId >> 8,
                 kRvxProductId & 0xFF, kRvxProductId >> 8, 0x00, 0x01, 1, 2, 3, 1});
    const size_t configuration = out.size();
    Append(out, {9, 0x02, 0, 0, 2, 1, 0, 0x80, 250});
    // Interface association: video, two interfaces.
    Append(out, {8, 0x0B, 0, 2, 0x0E, 0x03, 0x00, 0});
    // Interface 0: video control.
    Append(out, {9, 0x04, 0, 0, 1, 0x0E, 0x01, 0x00, 0});
    const size_t header = out.size();
    Append(out, {13, 0x24, 0x01, 0x00, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 1, 1});
    // Camera terminal 1.
    Append(out, {18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0A, 0x00, 0x00});
    // Processing unit 2, fed by the camera terminal.
    Append(out, {11, 0x24, 0x05, 2, 1, 0x00, 0x00, 2, 0x7F, 0x15, 0});
    // Extension unit kRvxExtensionUnitId: eight controls, fed by the processing unit.
    Append(out, {26, 0x24, 0x06, kRvxExtensionUnitId});
    out.insert(out.end(), std::begin(kExtensionGuid), std::end(kExtensionGuid));
    Append(out, {8, 1, 2, 1, 0xFF, 0});
    // Output terminal 3 (streaming), fed by the extension unit.
    Append(out, {9, 0x24, 0x03, 3, 0x01, 0x01, 0, kRvxExtensionUnitId, 0});
    Put16(out, header + 5, static_cast<uint16_t>(out.size() - header));
    // Status interrupt endpoint.
    Append(out, {7, 0x05, 0x83, 0x03, 0x10, 0x00, 6});
    Append(out, {5, 0x25, 0x03, 0x10, 0x00});

    // Interface 1: video streaming, one Motion-JPEG format.
    Append(out, {9, 0x04, 1, 0, 0, 0x0E, 0x02, 0x00, 0});
    const auto& formats = RvxFormats();
    const size_t input_header = out.size();
    Append(out, {14, 0x24, 0x01, 1, 0, 0, 0x81, 0x00, 3, 0x00, 0x00, 0x00, 1, 0x00});
    // Format descriptor (subtype 6 in a streaming interface; the same number
    // as an extension unit in a control interface).
    Append(out,
           {11, 0x24, 0x06, 1, static_cast<uint8_t>(formats.size()), 0x01, 1, 0, 0, 0x00, 0x00});
    uint8_t index = 1;
    for (const RvxFormat& format : formats) {
        const size_t at = out.size();
        const auto rates = static_cast<uint8_t>(format.frame_rates.size());
        out.resize(at + 26 + 4 * rates, 0);
        out[at] = static_cast<uint8_t>(26 + 4 * rates);
        out[at + 1] = 0x24;
        out[at + 2] = 0x07; // frame, Motion-JPEG
        out[at + 3] = index++;
        Put16(out, at + 5, static_cast<uint16_t>(format.width));
        Put16(out, at + 7, static_cast<uint16_t>(format.height));
        out[at + 25] = rates;
        for (uint8_t i = 0; i < rates; ++i) {
            const uint32_t interval = 10000000u / static_cast<uint32_t>(format.frame_rates[i]);
            for (int b = 0; b < 4; ++b) {
                out[at + 26 + 4 * i + b] = static_cast<uint8_t>(interval >> (8 * b));
            }
        }
        for (int b = 0; b < 4; ++b) { // default interval: the fastest
            out[at + 21 + b] = out[at + 26 + b];
        }
    }
    Put16(out, input_header + 4, static_cast<uint16_t>(out.size() - input_header));
    // Alternate setting 1 with the isochronous picture endpoint.
    Append(out, {9, 0x04, 1, 1, 1, 0x0E, 0x02, 0x00, 0});
    Append(out, {7, 0x05, 0x81, 0x05, 0x00, 0x14, 1});
    Put16(out, configuration + 2, static_cast<uint16_t>(out.size() - configuration));
    return out;
}

} // namespace sim
