#include "description.h"
#include "platform/thread_annotations.h"

#include <unordered_map>

namespace platform::usb {

DeviceInfoBlock::DeviceInfoBlock(const UsbDeviceDescription& description) {
    device_.Descriptor = description.descriptor;
    size_t setting_count = 0;
    size_t pipe_count = 0;
    for (const UsbInterfaceDescription& iface : description.interfaces) {
        setting_count += iface.alternate_settings.size();
        for (const UsbAlternateSetting& setting : iface.alternate_settings) {
            pipe_count += setting.pipes.size();
        }
    }
    // Sized once, so the pointers taken below stay valid.
    interfaces_.resize(description.interfaces.size());
    interface_pointers_.resize(description.interfaces.size());
    settings_.resize(setting_count);
    pipes_.resize(pipe_count);

    size_t next_setting = 0;
    size_t next_pipe = 0;
    for (size_t i = 0; i < description.interfaces.size(); ++i) {
        const UsbInterfaceDescription& iface = description.interfaces[i];
        WDU_INTERFACE& out = interfaces_[i];
        out.dwNumAltSettings = static_cast<uint32_t>(iface.alternate_settings.size());
        out.pAlternateSettings =
            iface.alternate_settings.empty() ? nullptr : &settings_[next_setting];
        out.pActiveAltSetting = nullptr;
        for (size_t a = 0; a < iface.alternate_settings.size(); ++a) {
            const UsbAlternateSetting& setting = iface.alternate_settings[a];
            WDU_ALTERNATE_SETTING& s = settings_[next_setting++];
            s.Descriptor = setting.descriptor;
            s.Descriptor.bNumEndpoints = static_cast<uint8_t>(setting.pipes.size());
            s.pPipes = setting.pipes.empty() ? nullptr : &pipes_[next_pipe];
            for (const WDU_PIPE_INFO& pipe : setting.pipes) {
                pipes_[next_pipe++] = pipe;
            }
            if (a == iface.active) {
                out.pActiveAltSetting = &s;
            }
        }
        interface_pointers_[i] = &out;
    }
    device_.dwNumInterfaces = static_cast<uint32_t>(interfaces_.size());
    device_.pActiveInterface = interface_pointers_.empty() ? nullptr : interface_pointers_.data();
}

bool Matches(const WDU_MATCH_TABLE& entry, const UsbDeviceDescription& device) {
    const WDU_DEVICE_DESCRIPTOR& d = device.descriptor;
    auto same = [](auto wanted, auto actual) { return wanted == 0 || wanted == actual; };
    if (!same(entry.wVendorId, d.idVendor) || !same(entry.wProductId, d.idProduct) ||
        !same(entry.bDeviceClass, d.bDeviceClass) ||
        !same(entry.bDeviceSubClass, d.bDeviceSubClass)) {
        return false;
    }
    if (entry.bInterfaceClass == 0 && entry.bInterfaceSubClass == 0 &&
        entry.bInterfaceProtocol == 0) {
        return true;
    }
    for (const UsbInterfaceDescription& iface : device.interfaces) {
        if (iface.active >= iface.alternate_settings.size()) {
            continue;
        }
        const WDU_INTERFACE_DESCRIPTOR& i = iface.alternate_settings[iface.active].descriptor;
        if (same(entry.bInterfaceClass, i.bInterfaceClass) &&
            same(entry.bInterfaceSubClass, i.bInterfaceSubClass) &&
            same(entry.bInterfaceProtocol, i.bInterfaceProtocol)) {
            return true;
        }
    }
    return false;
}

bool MatchesAny(const std::vector<WDU_MATCH_TABLE>& table, const UsbDeviceDescription& device) {
    for (const WDU_MATCH_TABLE& entry : table) {
        if (Matches(entry, device)) {
            return true;
        }
    }
    return false;
}

namespace {

struct LentInfos {
    platform::Mutex mutex;
    std::unordered_map<WDU_DEVICE*, std::unique_ptr<DeviceInfoBlock>>
        blocks TOVEK_GUARDED_BY(mutex);
};

// Never destroyed: a driver may return its description during exit.
LentInfos& Lent() {
    static auto* lent = new LentInfos;
    return *lent;
}

} // namespace

WDU_DEVICE* LendDeviceInfo(const UsbDeviceDescription& description) {
    auto block = std::make_unique<DeviceInfoBlock>(description);
    WDU_DEVICE* device = block->Device();
    platform::MutexLock lock(Lent().mutex);
    Lent().blocks.emplace(device, std::move(block));
    return device;
}

void ReturnDeviceInfo(WDU_DEVICE* info) {
    std::unique_ptr<DeviceInfoBlock> block;
    {
        platform::MutexLock lock(Lent().mutex);
        auto it = Lent().blocks.find(info);
        if (it == Lent().blocks.end()) {
            return;
        }
        block = std::move(it->second);
        Lent().blocks.erase(it);
    }
}

} // namespace platform::usb
