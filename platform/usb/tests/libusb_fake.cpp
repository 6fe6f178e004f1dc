#include "libusb_fake.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

namespace fake_usb {
namespace {

struct State {
    std::mutex mutex; // guards every member
    std::condition_variable cv;
    Config config;
    Counts counts;
    libusb_transfer* pending = nullptr;
    int waiters = 0; // threads inside handle_events_completed
    bool interrupted = false;
};

State& S() {
    static auto* state = new State;
    return *state;
}

// Fake objects: only their addresses matter.
int g_context_tag;
int g_device_tag;
int g_handle_tag;
auto* const kContext = reinterpret_cast<libusb_context*>(&g_context_tag);
auto* const kDevice = reinterpret_cast<libusb_device*>(&g_device_tag);
auto* const kHandle = reinterpret_cast<libusb_device_handle*>(&g_handle_tag);

libusb_endpoint_descriptor g_endpoint;
libusb_interface_descriptor g_alt;
libusb_interface g_interface;
libusb_config_descriptor g_config;

int Init(libusb_context** context) {
    *context = kContext;
    return 0;
}
void Exit(libusb_context*) {}
int HasCapability(uint32_t) {
    return 0; // no hot-plug: the back end enumerates once
}
int RegisterHotplug(libusb_context*, int, int, int, int, int, libusb_hotplug_callback_fn, void*,
                    libusb_hotplug_callback_handle*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}
void DeregisterHotplug(libusb_context*, libusb_hotplug_callback_handle) {}

ssize_t GetDeviceList(libusb_context*, libusb_device*** list) {
    *list = new libusb_device* [2] { kDevice, nullptr };
    return 1;
}
void FreeDeviceList(libusb_device** list, int) {
    delete[] list;
}
libusb_device* Ref(libusb_device* device) {
    return device;
}
void Unref(libusb_device*) {}

int GetDeviceDescriptor(libusb_device*, libusb_device_descriptor* d) {
    std::lock_guard<std::mutex> lock(S().mutex);
    *d = {};
    d->bLength = 18;
    d->bDescriptorType = LIBUSB_DT_DEVICE;
    d->idVendor = S().config.vendor_id;
    d->idProduct = S().config.product_id;
    d->bNumConfigurations = 1;
    return 0;
}

int GetConfig(libusb_device*, libusb_config_descriptor** config) {
    std::lock_guard<std::mutex> lock(S().mutex);
    g_endpoint = {};
    g_endpoint.bEndpointAddress = 0x81;
    g_endpoint.bmAttributes = S().config.endpoint_type;
    g_endpoint.wMaxPacketSize = S().config.max_packet;
    g_alt = {};
    g_alt.bInterfaceClass = 0xFF;
    g_alt.bNumEndpoints = 1;
    g_alt.endpoint = &g_endpoint;
    g_interface = {};
    g_interface.altsetting = &g_alt;
    g_interface.num_altsetting = 1;
    g_config = {};
    g_config.bNumInterfaces = 1;
    g_config.interface = &g_interface;
    *config = &g_config;
    return 0;
}
void FreeConfig(libusb_config_descriptor*) {}
uint8_t BusNumber(libusb_device*) {
    return 1;
}
uint8_t Address(libusb_device*) {
    return 4;
}

int Open(libusb_device*, libusb_device_handle** handle) {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (S().config.open_result != 0) {
        return S().config.open_result;
    }
    ++S().counts.opens;
    *handle = kHandle;
    return 0;
}
void Close(libusb_device_handle*) {
    std::lock_guard<std::mutex> lock(S().mutex);
    ++S().counts.closes;
}
int AutoDetach(libusb_device_handle*, int) {
    return 0;
}
int Claim(libusb_device_handle*, int) {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (S().config.claim_result != 0) {
        return S().config.claim_result;
    }
    ++S().counts.claims;
    return 0;
}
int Release(libusb_device_handle*, int) {
    std::lock_guard<std::mutex> lock(S().mutex);
    ++S().counts.releases;
    return 0;
}

int Control(libusb_device_handle*, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
            unsigned char* data, uint16_t length, unsigned int timeout_ms) {
    if (request == LIBUSB_REQUEST_GET_INTERFACE && type == 0x81) {
        data[0] = 0;
        return 1;
    }
    std::lock_guard<std::mutex> lock(S().mutex);
    const uint8_t setup[8] = {type,
                              request,
                              static_cast<uint8_t>(value),
                              static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(index),
                              static_cast<uint8_t>(index >> 8),
                              static_cast<uint8_t>(length),
                              static_cast<uint8_t>(length >> 8)};
    std::memcpy(S().counts.last_setup, setup, 8);
    S().counts.last_timeout_ms = timeout_ms;
    if ((type & LIBUSB_ENDPOINT_IN) != 0 && S().config.control_result > 0) {
        std::memset(data, 0xC5, std::min<int>(length, S().config.control_result));
    }
    return S().config.control_result;
}

int Bulk(libusb_device_handle*, unsigned char, unsigned char* data, int length, int* transferred,
         unsigned int timeout_ms) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().counts.last_timeout_ms = timeout_ms;
    const int moved = std::min(length, S().config.bulk_transferred);
    for (int i = 0; i < moved; ++i) {
        data[i] = static_cast<unsigned char>(0xB0 + i % 16);
    }
    *transferred = moved;
    return S().config.bulk_result;
}

int Submit(libusb_transfer* transfer) {
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        if (S().config.submit_result != 0) {
            return S().config.submit_result;
        }
        S().counts.iso_packets = transfer->num_iso_packets;
        S().counts.iso_length = transfer->length;
        S().counts.last_timeout_ms = transfer->timeout;
        S().pending = transfer;
    }
    S().cv.notify_all();
    return 0;
}
int Cancel(libusb_transfer*) {
    return LIBUSB_ERROR_NOT_FOUND;
}

// Completes the pending transfer as libusb's event handling does: fills the
// packets, sets the status, calls the callback (without the lock).
void CompletePending(std::unique_lock<std::mutex>& lock) {
    libusb_transfer* transfer = S().pending;
    S().pending = nullptr;
    const Config& c = S().config;
    int offset = 0;
    for (int i = 0; i < transfer->num_iso_packets; ++i) {
        libusb_iso_packet_descriptor& p = transfer->iso_packet_desc[i];
        const int got = i < static_cast<int>(c.iso_lengths.size())
                            ? std::min<int>(c.iso_lengths[i], static_cast<int>(p.length))
                            : 0;
        std::memset(transfer->buffer + offset, 0x10 + i, got);
        p.actual_length = static_cast<unsigned int>(got);
        p.status = c.iso_status;
        offset += static_cast<int>(p.length);
    }
    transfer->status = c.iso_status;
    lock.unlock();
    transfer->callback(transfer);
    lock.lock();
    S().cv.notify_all();
}

int HandleEventsTimeout(libusb_context*, timeval* tv, int*) {
    std::unique_lock<std::mutex> lock(S().mutex);
    const auto limit = std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec);
    // The completion comes while a reader waits for it: the case where the
    // reader depends on libusb waking it.
    S().cv.wait_for(lock, limit,
                    [] { return (S().pending != nullptr && S().waiters > 0) || S().interrupted; });
    S().interrupted = false;
    if (S().pending != nullptr && S().waiters > 0) {
        CompletePending(lock);
    }
    return 0;
}

int HandleEventsCompleted(libusb_context*, int* completed) {
    std::unique_lock<std::mutex> lock(S().mutex);
    ++S().waiters;
    S().cv.notify_all();
    const bool woken = S().cv.wait_for(lock, std::chrono::milliseconds(kWaitMs), [completed] {
        return completed != nullptr && std::atomic_ref<int>(*completed).load() != 0;
    });
    --S().waiters;
    if (!woken) {
        ++S().counts.missed_wakeups;
    }
    return 0;
}

void Interrupt(libusb_context*) {
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().interrupted = true;
    }
    S().cv.notify_all();
}

const platform::usb::LibusbCalls kFake = {
    Init,
    Exit,
    HasCapability,
    RegisterHotplug,
    DeregisterHotplug,
    GetDeviceList,
    FreeDeviceList,
    Ref,
    Unref,
    GetDeviceDescriptor,
    GetConfig,
    FreeConfig,
    BusNumber,
    Address,
    Open,
    Close,
    AutoDetach,
    Claim,
    Release,
    Control,
    Bulk,
    Bulk,
    libusb_alloc_transfer, // plain memory, no context needed
    libusb_free_transfer,
    Submit,
    Cancel,
    HandleEventsCompleted,
    HandleEventsTimeout,
    Interrupt,
};

} // namespace

void Install(const Config& config) {
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().config = config;
        S().counts = {};
        S().pending = nullptr;
        S().waiters = 0;
        S().interrupted = false;
    }
    platform::usb::SetLibusbCalls(&kFake);
}

void Uninstall() {
    platform::usb::SetLibusbCalls(nullptr);
}

Counts Snapshot() {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().counts;
}

} // namespace fake_usb
