#include "device_finder.h"
#include "platform/thread_annotations.h"

#include "platform/system.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <strings.h>

namespace corvane {
namespace {

constexpr uint32_t kSettleMs = 5000;
constexpr uint32_t kSettlePollMs = 50;
constexpr size_t kMaxInstanceIdLength = 520;
constexpr size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);

struct IdentityState {
    platform::Mutex mutex;
    std::string device_id TOVEK_GUARDED_BY(mutex);
    std::string prefix TOVEK_GUARDED_BY(mutex);
};

// Stepped by each cancel: a wait ends once it has moved since the wait
// began, so a cancel never reaches a later wait (a flag would have to be
// cleared, and could be cleared before an earlier wait saw it).
std::atomic<uint64_t> g_settle_cancels{0};

IdentityState& Identity() {
    static IdentityState* state = new IdentityState; // used until the process ends
    return *state;
}

bool StartsWithNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && strncasecmp(text.data(), start.data(), start.size()) == 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

// The interface name of a device-interface broadcast as UTF-8, read only
// within the record's declared size; empty when there is none.
std::string InterfaceName(const DEV_BROADCAST_HDR* header) {
    if (header->dbch_size <= kNameOffset) {
        return {};
    }
    const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    const size_t capacity = (header->dbch_size - kNameOffset) / sizeof(char16_t);
    const char16_t* name = record->dbcc_name;
    const size_t length = std::find(name, name + capacity, u'\0') - name;
    return platform::Utf16ToUtf8(std::u16string_view(name, length));
}

} // namespace

std::string MonikerPrefix(std::string_view device_id) {
    return "@device:pnp:\\\\?\\" + std::string(device_id);
}

void SetDeviceId(std::string_view device_id) {
    IdentityState& state = Identity();
    platform::MutexLock lock(state.mutex);
    state.device_id = std::string(device_id);
    state.prefix = MonikerPrefix(device_id);
}

std::string DeviceId() {
    IdentityState& state = Identity();
    platform::MutexLock lock(state.mutex);
    return state.device_id;
}

std::string CurrentMonikerPrefix() {
    IdentityState& state = Identity();
    platform::MutexLock lock(state.mutex);
    return state.prefix;
}

int FindCameraPosition(const std::vector<platform::VideoInputDevice>& devices,
                       std::string_view prefix) {
    for (size_t i = 0; i < devices.size(); ++i) {
        const platform::VideoInputDevice& device = devices[i];
        if (device.friendly_name.empty()) {
            continue;
        }
        if (device.display_name.size() > prefix.size() &&
            StartsWithNoCase(device.display_name, prefix)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

platform::DeviceProvider& Provider() {
    return platform::Devices();
}

bool FindCamera(platform::DeviceProvider& provider, std::string_view prefix,
                platform::VideoInputDevice* camera) {
    const auto devices = provider.EnumerateVideoInputs();
    const int position = FindCameraPosition(devices, prefix);
    if (position < 0) {
        return false;
    }
    *camera = devices[static_cast<size_t>(position)];
    return true;
}

int JudgeDeviceChange(platform::DeviceProvider& provider, std::string_view device_id,
                      uint32_t event, const DEV_BROADCAST_HDR* header) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return -1;
    }
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return -1;
    }
    // "\\?\USB#VID_0AC8&PID_3610#serial#{class}" -> "USB\VID_0AC8&PID_3610\serial"
    std::string name = InterfaceName(header);
    if (name.size() <= 4) {
        return -1;
    }
    name.erase(0, 4);
    const size_t last_hash = name.rfind('#');
    if (last_hash == std::string::npos) {
        return -1;
    }
    std::string instance_id = name.substr(0, last_hash);
    std::replace(instance_id.begin(), instance_id.end(), '#', '\\');
    const std::string enumerator = instance_id.substr(0, instance_id.find('\\'));
    if (EqualNoCase(enumerator, "ROOT")) {
        return -1;
    }

    const bool arrival = event == DBT_DEVICEARRIVAL;
    std::vector<std::string> ids;
    const DWORD flags =
        arrival ? platform::DIGCF_PRESENT | platform::DIGCF_ALLCLASSES : platform::DIGCF_ALLCLASSES;
    if (!provider.GetClassDevs(enumerator, flags, &ids)) {
        return -1;
    }
    const bool listed = std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
        return id.size() <= kMaxInstanceIdLength && EqualNoCase(id, instance_id);
    });
    if (!listed) {
        return -1;
    }

    std::string start = instance_id.substr(0, device_id.size());
    std::replace(start.begin(), start.end(), '\\', '#');
    if (!EqualNoCase(start, device_id)) {
        return -1; // another USB device
    }
    if (!arrival) {
        return 0;
    }
    platform::DevNodeStatus status;
    if (!provider.GetDevNodeStatus(instance_id, &status) ||
        (status.status & platform::DN_HAS_PROBLEM) != 0 ||
        status.problem == platform::CM_PROB_DISABLED) {
        return -1;
    }
    // The camera's video node and driver settle a while after the USB device:
    // waited for until the node is listed and opens, at most kSettleMs. One
    // that does not open by then is judged all the same; its open says why.
    const std::string prefix = MonikerPrefix(device_id);
    const uint32_t since = platform::GetTickCount();
    const uint64_t cancels = g_settle_cancels.load();
    for (;;) {
        if (g_settle_cancels.load() != cancels) {
            return -1;
        }
        platform::VideoInputDevice camera;
        if (FindCamera(provider, prefix, &camera) && provider.CheckOpen(camera) == 0) {
            return 0;
        }
        const uint32_t waited = platform::GetTickCount() - since;
        if (waited >= kSettleMs) {
            return 0;
        }
        platform::Sleep(std::min(kSettlePollMs, kSettleMs - waited));
    }
}

void CancelSettleWaits() {
    g_settle_cancels.fetch_add(1);
}

} // namespace corvane
