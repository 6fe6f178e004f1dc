// A USB device's description (platform/usb) from any descriptors. The input
// is what a host reads from a device: the device descriptor, then the active
// configuration descriptor and everything in it. libusb parses such bytes into
// its structures; here they are laid out the way libusb guarantees them
// (arrays as long as their counts), then described, lent as the WDU_DEVICE a
// driver sees, matched and returned.
//
// Invariants: the WDU_DEVICE mirrors the descriptors (counts, active
// settings, pipes), every pointer in it can be followed, and matching by
// vendor, product and interface class agrees with the descriptors.
#include "description.h"
#include "fuzz_support.h"
#include "libusb_backend.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace {

// libusb's structures of one configuration, owning every array they point to.
struct Configuration {
    libusb_device_descriptor device{};
    bool has_config = false;
    libusb_config_descriptor config{};
    std::deque<std::vector<libusb_endpoint_descriptor>> endpoints;
    std::deque<std::vector<libusb_interface_descriptor>> settings;
    std::vector<libusb_interface> interfaces;
};

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void ReadDevice(const uint8_t* d, libusb_device_descriptor* out) {
    out->bLength = d[0];
    out->bDescriptorType = d[1];
    out->bcdUSB = Le16(d + 2);
    out->bDeviceClass = d[4];
    out->bDeviceSubClass = d[5];
    out->bDeviceProtocol = d[6];
    out->bMaxPacketSize0 = d[7];
    out->idVendor = Le16(d + 8);
    out->idProduct = Le16(d + 10);
    out->bcdDevice = Le16(d + 12);
    out->iManufacturer = d[14];
    out->iProduct = d[15];
    out->iSerialNumber = d[16];
    out->bNumConfigurations = d[17];
}

libusb_interface_descriptor ReadInterface(const uint8_t* d) {
    libusb_interface_descriptor out{};
    out.bLength = d[0];
    out.bDescriptorType = d[1];
    out.bInterfaceNumber = d[2];
    out.bAlternateSetting = d[3];
    out.bNumEndpoints = d[4];
    out.bInterfaceClass = d[5];
    out.bInterfaceSubClass = d[6];
    out.bInterfaceProtocol = d[7];
    out.iInterface = d[8];
    return out;
}

libusb_endpoint_descriptor ReadEndpoint(const uint8_t* d) {
    libusb_endpoint_descriptor out{};
    out.bLength = d[0];
    out.bDescriptorType = d[1];
    out.bEndpointAddress = d[2];
    out.bmAttributes = d[3];
    out.wMaxPacketSize = Le16(d + 4);
    out.bInterval = d[6];
    return out;
}

// Alternate settings with the same interface number group into one
// interface; endpoints belong to the setting before them, as many as it
// declares. What does not fit is skipped, as libusb skips it.
void ReadConfiguration(const uint8_t* data, size_t size, Configuration* out) {
    if (size < 9 || data[0] < 9 || data[1] != LIBUSB_DT_CONFIG) {
        return;
    }
    out->has_config = true;
    libusb_config_descriptor& c = out->config;
    c.bLength = data[0];
    c.bDescriptorType = data[1];
    c.wTotalLength = Le16(data + 2);
    c.bNumInterfaces = data[4];
    c.bConfigurationValue = data[5];
    c.iConfiguration = data[6];
    c.bmAttributes = data[7];
    c.MaxPower = data[8];
    size = std::min<size_t>(size, std::max<size_t>(c.wTotalLength, 9));
    std::vector<uint8_t> numbers;
    std::vector<uint8_t> declared; // bNumEndpoints of each setting, in order
    for (size_t at = data[0]; at + 2 <= size;) {
        const uint8_t length = data[at];
        if (length < 2 || at + length > size) {
            break;
        }
        const uint8_t type = data[at + 1];
        if (type == LIBUSB_DT_INTERFACE && length >= 9) {
            libusb_interface_descriptor setting = ReadInterface(data + at);
            if (numbers.empty() || numbers.back() != setting.bInterfaceNumber) {
                if (numbers.size() == c.bNumInterfaces) {
                    break;
                }
                numbers.push_back(setting.bInterfaceNumber);
                out->settings.emplace_back();
            }
            setting.bNumEndpoints = 0;
            out->settings.back().push_back(setting);
            out->endpoints.emplace_back();
            declared.push_back(data[at + 4]);
        } else if (type == LIBUSB_DT_ENDPOINT && length >= 7 && !declared.empty() &&
                   out->endpoints.back().size() < declared.back()) {
            out->endpoints.back().push_back(ReadEndpoint(data + at));
        }
        at += length;
    }
    // Pointers last: the containers no longer grow.
    size_t next_endpoints = 0;
    for (std::vector<libusb_interface_descriptor>& settings : out->settings) {
        for (libusb_interface_descriptor& setting : settings) {
            std::vector<libusb_endpoint_descriptor>& endpoints = out->endpoints[next_endpoints++];
            setting.bNumEndpoints = static_cast<uint8_t>(endpoints.size());
            setting.endpoint = endpoints.data();
        }
        libusb_interface iface{};
        iface.altsetting = settings.data();
        iface.num_altsetting = static_cast<int>(settings.size());
        out->interfaces.push_back(iface);
    }
    c.bNumInterfaces = static_cast<uint8_t>(out->interfaces.size());
    c.interface = out->interfaces.data();
}

void CheckLent(const platform::UsbDeviceDescription& description, const Configuration& source) {
    WDU_DEVICE* info = platform::usb::LendDeviceInfo(description);
    FUZZ_CHECK(info != nullptr);
    FUZZ_CHECK(info->Descriptor.idVendor == source.device.idVendor);
    FUZZ_CHECK(info->Descriptor.idProduct == source.device.idProduct);
    FUZZ_CHECK(info->dwNumInterfaces == description.interfaces.size());
    for (uint32_t i = 0; i < info->dwNumInterfaces; ++i) {
        const WDU_INTERFACE* iface = info->pActiveInterface[i];
        const platform::UsbInterfaceDescription& wanted = description.interfaces[i];
        FUZZ_CHECK(iface != nullptr);
        FUZZ_CHECK(iface->dwNumAltSettings == wanted.alternate_settings.size());
        const bool has_active = wanted.active < wanted.alternate_settings.size();
        FUZZ_CHECK((iface->pActiveAltSetting == nullptr) == !has_active);
        for (uint32_t a = 0; a < iface->dwNumAltSettings; ++a) {
            const WDU_ALTERNATE_SETTING& setting = iface->pAlternateSettings[a];
            const platform::UsbAlternateSetting& want = wanted.alternate_settings[a];
            FUZZ_CHECK(setting.Descriptor.bNumEndpoints == want.pipes.size());
            FUZZ_CHECK(setting.Descriptor.bInterfaceClass == want.descriptor.bInterfaceClass &&
                       setting.Descriptor.bInterfaceSubClass ==
                           want.descriptor.bInterfaceSubClass &&
                       setting.Descriptor.bInterfaceNumber == want.descriptor.bInterfaceNumber);
            for (uint32_t p = 0; p < setting.Descriptor.bNumEndpoints; ++p) {
                FUZZ_CHECK(std::memcmp(&setting.pPipes[p], &want.pipes[p], sizeof(WDU_PIPE_INFO)) ==
                           0);
            }
        }
        if (has_active) {
            FUZZ_CHECK(iface->pActiveAltSetting == &iface->pAlternateSettings[wanted.active]);
        }
    }
    platform::usb::ReturnDeviceInfo(info);
}

void CheckPipesAndMatches(const platform::UsbDeviceDescription& description,
                          const Configuration& source) {
    bool video_control = false;
    for (const platform::UsbInterfaceDescription& iface : description.interfaces) {
        if (iface.active >= iface.alternate_settings.size()) {
            continue;
        }
        const platform::UsbAlternateSetting& active = iface.alternate_settings[iface.active];
        video_control = video_control || (active.descriptor.bInterfaceClass == 0x0E &&
                                          active.descriptor.bInterfaceSubClass == 0x01);
        for (const WDU_PIPE_INFO& pipe : active.pipes) {
            const WDU_PIPE_INFO* found = platform::FindActivePipe(description, pipe.dwNumber);
            FUZZ_CHECK(found != nullptr && found->dwNumber == pipe.dwNumber);
            // Up to four transactions a microframe (the fourth a reserved value).
            FUZZ_CHECK(found->dwMaximumPacketSize <= 4 * 0x7FF);
            FUZZ_CHECK(found->direction == WDU_DIR_IN || found->direction == WDU_DIR_OUT);
            FUZZ_CHECK(platform::PipeAllows(*found, found->direction == WDU_DIR_IN));
        }
    }
    WDU_MATCH_TABLE q5{};
    q5.wVendorId = 0x0525;
    q5.wProductId = 0xA4A5;
    FUZZ_CHECK(platform::usb::Matches(q5, description) ==
               (source.device.idVendor == 0x0525 && source.device.idProduct == 0xA4A5));
    WDU_MATCH_TABLE uvc{};
    uvc.bInterfaceClass = 0x0E;
    uvc.bInterfaceSubClass = 0x01;
    FUZZ_CHECK(platform::usb::Matches(uvc, description) == video_control);
    FUZZ_CHECK(platform::usb::MatchesAny({q5, uvc}, description) ==
               (platform::usb::Matches(q5, description) || video_control));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Configuration source;
    uint8_t device[LIBUSB_DT_DEVICE_SIZE] = {};
    std::memcpy(device, data, std::min<size_t>(size, sizeof device));
    ReadDevice(device, &source.device);
    if (size > sizeof device) {
        ReadConfiguration(data + sizeof device, size - sizeof device, &source);
    }
    platform::UsbDeviceDescription description = platform::usb::DescribeLibusbDevice(
        source.device, source.has_config ? &source.config : nullptr);
    FUZZ_CHECK(description.interfaces.size() == source.interfaces.size());
    for (const platform::UsbInterfaceDescription& iface : description.interfaces) {
        FUZZ_CHECK(iface.active == 0); // a device just described uses setting 0
    }
    CheckLent(description, source);
    CheckPipesAndMatches(description, source);

    // An emulated device states its active settings itself, in or out of range.
    for (size_t i = 0; i < description.interfaces.size(); ++i) {
        description.interfaces[i].active = data[(size - 1 - i) % size] % 4;
    }
    CheckLent(description, source);
    CheckPipesAndMatches(description, source);
    return 0;
}
