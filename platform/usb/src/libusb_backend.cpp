// Real cameras through libusb-1.0. libusb's hot-plug callback only queues the
// device for the registration's driver thread, which describes, opens and
// claims it; one event-handling thread per registration keeps hot-plug
// notices and asynchronous transfers moving.
#include "libusb_backend.h"

#include "libusb_calls.h"
#include "platform/thread_annotations.h"
#include "platform/usb_backend.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace platform::usb {

WD_STATUS StatusFromLibusb(int error) {
    if (error >= 0) {
        return WD_STATUS_SUCCESS;
    }
    switch (error) {
    case LIBUSB_ERROR_TIMEOUT:
        return WD_TIME_OUT_EXPIRED;
    case LIBUSB_ERROR_PIPE:
        return WD_USBD_STATUS_STALL_PID;
    case LIBUSB_ERROR_NO_DEVICE:
        return WD_DEVICE_NOT_FOUND;
    case LIBUSB_ERROR_OVERFLOW:
        return WD_USBD_STATUS_BABBLE;
    case LIBUSB_ERROR_INVALID_PARAM:
        return WD_INVALID_PARAMETER;
    case LIBUSB_ERROR_NO_MEM:
        return WD_INSUFFICIENT_RESOURCES;
    case LIBUSB_ERROR_IO:
    case LIBUSB_ERROR_ACCESS:
    case LIBUSB_ERROR_NOT_FOUND:
    case LIBUSB_ERROR_BUSY:
    case LIBUSB_ERROR_INTERRUPTED:
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return WD_OPERATION_FAILED;
    default:
        return WD_WINDRIVER_STATUS_ERROR;
    }
}

int ErrnoFromLibusb(int error) {
    switch (error) {
    case LIBUSB_ERROR_ACCESS:
        return EACCES;
    case LIBUSB_ERROR_BUSY:
        return EBUSY;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return ENODEV;
    default:
        return EIO;
    }
}

WD_STATUS StatusFromTransfer(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return WD_STATUS_SUCCESS;
    case LIBUSB_TRANSFER_TIMED_OUT:
        return WD_TIME_OUT_EXPIRED;
    case LIBUSB_TRANSFER_STALL:
        return WD_USBD_STATUS_STALL_PID;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return WD_DEVICE_NOT_FOUND;
    case LIBUSB_TRANSFER_OVERFLOW:
        return WD_USBD_STATUS_BABBLE;
    case LIBUSB_TRANSFER_ERROR:
    case LIBUSB_TRANSFER_CANCELLED:
    default:
        return WD_OPERATION_FAILED;
    }
}

namespace {

WDU_PIPE_INFO PipeFromEndpoint(const libusb_endpoint_descriptor& ep) {
    WDU_PIPE_INFO pipe{};
    pipe.dwNumber = ep.bEndpointAddress;
    // Bits 11-12 of a high-speed periodic endpoint count extra packets per microframe.
    uint32_t size = ep.wMaxPacketSize & 0x7FF;
    uint32_t per_interval = ((ep.wMaxPacketSize >> 11) & 0x3) + 1;
    pipe.dwMaximumPacketSize = size * per_interval;
    pipe.type = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK; // same numbering as USB_PIPE_TYPE
    pipe.direction = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0 ? WDU_DIR_IN : WDU_DIR_OUT;
    pipe.dwInterval = ep.bInterval;
    return pipe;
}

} // namespace

UsbDeviceDescription DescribeLibusbDevice(const libusb_device_descriptor& d,
                                          const libusb_config_descriptor* config) {
    UsbDeviceDescription out;
    WDU_DEVICE_DESCRIPTOR& o = out.descriptor;
    o.bLength = d.bLength;
    o.bDescriptorType = d.bDescriptorType;
    o.bcdUSB = d.bcdUSB;
    o.bDeviceClass = d.bDeviceClass;
    o.bDeviceSubClass = d.bDeviceSubClass;
    o.bDeviceProtocol = d.bDeviceProtocol;
    o.bMaxPacketSize0 = d.bMaxPacketSize0;
    o.idVendor = d.idVendor;
    o.idProduct = d.idProduct;
    o.bcdDevice = d.bcdDevice;
    o.iManufacturer = d.iManufacturer;
    o.iProduct = d.iProduct;
    o.iSerialNumber = d.iSerialNumber;
    o.bNumConfigurations = d.bNumConfigurations;
    if (config == nullptr) {
        return out;
    }
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& iface = config->interface[i];
        UsbInterfaceDescription desc;
        for (int a = 0; a < iface.num_altsetting; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            UsbAlternateSetting setting;
            setting.descriptor.bLength = alt.bLength;
            setting.descriptor.bDescriptorType = alt.bDescriptorType;
            setting.descriptor.bInterfaceNumber = alt.bInterfaceNumber;
            setting.descriptor.bAlternateSetting = alt.bAlternateSetting;
            setting.descriptor.bNumEndpoints = alt.bNumEndpoints;
            setting.descriptor.bInterfaceClass = alt.bInterfaceClass;
            setting.descriptor.bInterfaceSubClass = alt.bInterfaceSubClass;
            setting.descriptor.bInterfaceProtocol = alt.bInterfaceProtocol;
            setting.descriptor.iInterface = alt.iInterface;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                setting.pipes.push_back(PipeFromEndpoint(alt.endpoint[e]));
            }
            desc.alternate_settings.push_back(std::move(setting));
        }
        out.interfaces.push_back(std::move(desc));
    }
    return out;
}

namespace {

// One libusb context and the calls that reach it; shared by the back end,
// its candidates and open devices, so libusb_exit comes after the last.
struct Context {
    Context(const LibusbCalls& c, libusb_context* context) : calls(c), ctx(context) {}
    ~Context() { calls.exit(ctx); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    const LibusbCalls& calls;
    libusb_context* const ctx;
};

// Runs inside libusb's event handling, on whichever thread handles events.
// The flag is the one the waiting thread passes to
// libusb_handle_events_completed, so libusb wakes that thread as soon as it
// is set instead of at the event thread's next time-out.
void LIBUSB_CALL OnIsoDone(libusb_transfer* transfer) {
    std::atomic_ref<int>(*static_cast<int*>(transfer->user_data)).store(1);
}

class LibusbOpenDevice final : public OpenDevice {
public:
    LibusbOpenDevice(std::shared_ptr<Context> context, libusb_device_handle* handle,
                     std::vector<int> claimed)
        : context_(std::move(context)), handle_(handle), claimed_(std::move(claimed)) {}

    ~LibusbOpenDevice() override {
        for (int iface : claimed_) {
            calls().release_interface(handle_, iface); // gives a detached kernel driver back
        }
        calls().close(handle_);
    }

    WD_STATUS Control(const uint8_t* setup, uint8_t* data, uint32_t* transferred,
                      uint32_t timeout_ms) override {
        auto word = [setup](int at) {
            return static_cast<uint16_t>(setup[at] | (setup[at + 1] << 8));
        };
        int rc = calls().control_transfer(handle_, setup[0], setup[1], word(2), word(4), data,
                                          word(6), timeout_ms);
        *transferred = rc > 0 ? static_cast<uint32_t>(rc) : 0;
        return StatusFromLibusb(rc);
    }

    WD_STATUS Pipe(const WDU_PIPE_INFO& pipe, bool /*read*/, uint32_t options, uint8_t* data,
                   uint32_t size, uint32_t* transferred, uint32_t timeout_ms) override {
        if (size > INT_MAX) {
            return WD_INVALID_PARAMETER;
        }
        auto endpoint = static_cast<unsigned char>(pipe.dwNumber);
        int actual = 0;
        int rc;
        switch (pipe.type) {
        case PIPE_TYPE_BULK:
            rc = calls().bulk_transfer(handle_, endpoint, data, static_cast<int>(size), &actual,
                                       timeout_ms);
            break;
        case PIPE_TYPE_INTERRUPT:
            rc = calls().interrupt_transfer(handle_, endpoint, data, static_cast<int>(size),
                                            &actual, timeout_ms);
            break;
        case PIPE_TYPE_ISOCHRONOUS:
            return Isochronous(pipe, options, data, size, transferred, timeout_ms);
        default:
            return WD_INVALID_PARAMETER;
        }
        *transferred = actual > 0 ? static_cast<uint32_t>(actual) : 0;
        return StatusFromLibusb(rc);
    }

private:
    // libusb has no synchronous isochronous call: submit one transfer of as
    // many packets as fit and handle events until it completes, then close
    // the gaps between short packets.
    WD_STATUS Isochronous(const WDU_PIPE_INFO& pipe, uint32_t options, uint8_t* data, uint32_t size,
                          uint32_t* transferred, uint32_t timeout_ms) {
        const uint32_t packet = pipe.dwMaximumPacketSize;
        if (packet == 0) {
            return WD_INVALID_PARAMETER;
        }
        uint32_t packets = size / packet;
        uint32_t last = size % packet;
        if ((options & USB_ISOCH_FULL_PACKETS_ONLY) != 0) {
            last = 0;
        } else if (last != 0) {
            ++packets;
        }
        if (packets == 0) {
            return size == 0 ? WD_STATUS_SUCCESS : WD_INVALID_PARAMETER;
        }
        libusb_transfer* transfer = calls().alloc_transfer(static_cast<int>(packets));
        if (transfer == nullptr) {
            return WD_INSUFFICIENT_RESOURCES;
        }
        int completed = 0; // set by OnIsoDone; read through atomic_ref here
        uint32_t length = last != 0 ? (packets - 1) * packet + last : packets * packet;
        libusb_fill_iso_transfer(transfer, handle_, static_cast<unsigned char>(pipe.dwNumber), data,
                                 static_cast<int>(length), static_cast<int>(packets), OnIsoDone,
                                 &completed, timeout_ms);
        libusb_set_iso_packet_lengths(transfer, packet);
        if (last != 0) {
            transfer->iso_packet_desc[packets - 1].length = last;
        }
        int rc = calls().submit_transfer(transfer);
        if (rc < 0) {
            calls().free_transfer(transfer);
            return StatusFromLibusb(rc);
        }
        // The event thread may handle the completion: libusb then wakes this
        // wait through the flag. A submitted transfer always completes (its
        // time-out, a cancel or the device leaving), so the loop ends.
        bool cancelled = false;
        while (std::atomic_ref<int>(completed).load() == 0) {
            rc = calls().handle_events_completed(context_->ctx, &completed);
            if (rc < 0 && rc != LIBUSB_ERROR_INTERRUPTED && !cancelled) {
                calls().cancel_transfer(transfer); // then wait for its completion
                cancelled = true;
            }
        }
        uint32_t out = 0;
        for (uint32_t i = 0; i < packets; ++i) {
            const libusb_iso_packet_descriptor& desc = transfer->iso_packet_desc[i];
            uint32_t got = desc.actual_length;
            if (got != 0 && out != i * packet) {
                std::memmove(data + out, data + i * packet, got);
            }
            out += got;
        }
        *transferred = out;
        WD_STATUS status = StatusFromTransfer(transfer->status);
        calls().free_transfer(transfer);
        return status;
    }

    const LibusbCalls& calls() const { return context_->calls; }

    std::shared_ptr<Context> context_; // outlives the handle
    libusb_device_handle* const handle_;
    const std::vector<int> claimed_;
};

void ReportOnce(std::once_flag& flag, const char* format, const char* detail) {
    std::call_once(flag, [&] { std::fprintf(stderr, format, detail); });
}

std::once_flag g_no_usb_reported;

class LibusbCandidate final : public Candidate {
public:
    LibusbCandidate(std::shared_ptr<Context> context, libusb_device* device)
        : context_(std::move(context)), device_(calls().ref_device(device)) {}
    ~LibusbCandidate() override { calls().unref_device(device_); }

    bool Describe(UsbDeviceDescription* description) override {
        libusb_device_descriptor d{};
        if (calls().get_device_descriptor(device_, &d) != 0) {
            return false;
        }
        libusb_config_descriptor* config = nullptr;
        if (calls().get_active_config_descriptor(device_, &config) != 0) {
            config = nullptr;
        }
        *description = DescribeLibusbDevice(d, config);
        if (config != nullptr) {
            calls().free_config_descriptor(config);
        }
        return true;
    }

    std::shared_ptr<OpenDevice> Open(UsbDeviceDescription* description,
                                     OpenFailure* failure) override {
        libusb_device_handle* handle = nullptr;
        int rc = calls().open(device_, &handle);
        if (rc != 0) {
            return Failed(failure, "libusb_open", rc);
        }
        calls().set_auto_detach_kernel_driver(handle, 1);
        std::vector<int> claimed;
        for (UsbInterfaceDescription& iface : description->interfaces) {
            if (iface.alternate_settings.empty()) {
                continue;
            }
            int number = iface.alternate_settings.front().descriptor.bInterfaceNumber;
            rc = calls().claim_interface(handle, number);
            if (rc != 0) {
                // Another program's claim, or the device left meanwhile.
                for (int c : claimed) {
                    calls().release_interface(handle, c);
                }
                calls().close(handle);
                return Failed(failure, "libusb_claim_interface", rc);
            }
            claimed.push_back(number);
            iface.active = ActiveSetting(handle, iface, number);
        }
        return std::make_shared<LibusbOpenDevice>(context_, handle, std::move(claimed));
    }

private:
    const LibusbCalls& calls() const { return context_->calls; }

    std::shared_ptr<OpenDevice> Failed(OpenFailure* failure, const char* call, int rc) const {
        char detail[128];
        std::snprintf(detail, sizeof detail, "%s: %s on /dev/bus/usb/%03u/%03u", call,
                      libusb_error_name(rc), calls().get_bus_number(device_),
                      calls().get_device_address(device_));
        failure->error = ErrnoFromLibusb(rc);
        failure->detail = detail;
        return nullptr;
    }

    // Asks the device (GET_INTERFACE) which alternate setting is active;
    // setting 0 when it does not say.
    size_t ActiveSetting(libusb_device_handle* handle, const UsbInterfaceDescription& iface,
                         int number) const {
        unsigned char alt = 0;
        constexpr uint8_t kInterfaceIn = 0x81; // device to host, standard, interface
        int rc = calls().control_transfer(handle, kInterfaceIn, LIBUSB_REQUEST_GET_INTERFACE, 0,
                                          static_cast<uint16_t>(number), &alt, 1, 500);
        if (rc == 1) {
            for (size_t a = 0; a < iface.alternate_settings.size(); ++a) {
                if (iface.alternate_settings[a].descriptor.bAlternateSetting == alt) {
                    return a;
                }
            }
        }
        return 0;
    }

    std::shared_ptr<Context> context_;
    libusb_device* const device_;
};

// libusb may still be inside a hot-plug callback on another thread when
// deregistration returns, so callbacks find their sink through this table
// and a registration takes its entry out under the entry's lock.
struct SinkSlot {
    platform::Mutex mutex;
    EventSink* sink TOVEK_GUARDED_BY(mutex) = nullptr;
    std::shared_ptr<Context> context; // set before the slot is published
};

struct SinkTable {
    platform::Mutex mutex;
    std::map<uintptr_t, std::shared_ptr<SinkSlot>> slots TOVEK_GUARDED_BY(mutex);
    uintptr_t next TOVEK_GUARDED_BY(mutex) = 1;
};

SinkTable& Sinks() {
    static auto* table = new SinkTable; // never destroyed: callbacks may run during exit
    return *table;
}

class LibusbBackend final : public Backend {
public:
    ~LibusbBackend() override { Stop(); }

    WD_STATUS Start(EventSink* sink) override {
        // Held throughout: a callback of the first device may already end the
        // registration (Stop) on the driver thread.
        platform::MutexLock lock(mutex_);
        StopLocked(); // a second Start replaces the first registration
        libusb_context* ctx = nullptr;
        int rc = calls_.init(&ctx);
        if (rc != 0) {
            // No USB here (a container, no usbfs): the registration stands
            // and simply never sees a device.
            ReportOnce(g_no_usb_reported,
                       "tovek_usb: USB is not available (%s); no camera can be found\n",
                       libusb_error_name(rc));
            return WD_STATUS_SUCCESS;
        }
        context_ = std::make_shared<Context>(calls_, ctx);
        slot_ = std::make_shared<SinkSlot>();
        {
            platform::MutexLock slot_lock(slot_->mutex); // not published yet: free
            slot_->sink = sink;
        }
        slot_->context = context_;
        {
            platform::MutexLock lock(Sinks().mutex);
            slot_id_ = Sinks().next++;
            Sinks().slots.emplace(slot_id_, slot_);
        }
        if (calls_.has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0) {
            rc = calls_.hotplug_register_callback(
                ctx, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
                LIBUSB_HOTPLUG_ENUMERATE, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug, reinterpret_cast<void*>(slot_id_), &callback_);
            hotplug_ = rc == 0;
        }
        if (!hotplug_) {
            EnumerateOnce(sink); // no hot-plug here: what is present now is all we learn of
        }
        stop_ = false; // a Stop before this Start had set it
        try {
            event_thread_ = std::thread([this, ctx] { HandleEvents(ctx); });
        } catch (const std::system_error&) {
            StopLocked();
            return WD_INSUFFICIENT_RESOURCES;
        }
        return WD_STATUS_SUCCESS;
    }

    void Stop() override {
        platform::MutexLock lock(mutex_);
        StopLocked();
    }

private:
    void StopLocked() TOVEK_REQUIRES(mutex_) {
        if (!context_) {
            return;
        }
        if (hotplug_) {
            calls_.hotplug_deregister_callback(context_->ctx, callback_);
            hotplug_ = false;
        }
        if (slot_) {
            {
                platform::MutexLock lock(Sinks().mutex);
                Sinks().slots.erase(slot_id_);
            }
            platform::MutexLock lock(slot_->mutex); // waits for a callback using it
            slot_->sink = nullptr;
        }
        stop_ = true;
        calls_.interrupt_event_handler(context_->ctx);
        if (event_thread_.joinable()) {
            event_thread_.join();
        }
        context_.reset(); // libusb_exit once the open devices are gone too
    }

    static int LIBUSB_CALL OnHotplug(libusb_context* /*ctx*/, libusb_device* device,
                                     libusb_hotplug_event event, void* user) {
        std::shared_ptr<SinkSlot> slot;
        {
            platform::MutexLock lock(Sinks().mutex);
            auto it = Sinks().slots.find(reinterpret_cast<uintptr_t>(user));
            if (it == Sinks().slots.end()) {
                return 0;
            }
            slot = it->second;
        }
        platform::MutexLock lock(slot->mutex);
        if (slot->sink == nullptr) {
            return 0;
        }
        uint64_t key = reinterpret_cast<uintptr_t>(device);
        try {
            if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED) {
                slot->sink->Arrived(key, std::make_shared<LibusbCandidate>(slot->context, device));
            } else {
                slot->sink->Left(key);
            }
        } catch (...) {
            // Out of memory inside libusb's event handling: the device is missed.
        }
        return 0;
    }

    void EnumerateOnce(EventSink* sink) TOVEK_REQUIRES(mutex_) {
        libusb_device** list = nullptr;
        ssize_t count = calls_.get_device_list(context_->ctx, &list);
        for (ssize_t i = 0; i < count; ++i) {
            sink->Arrived(reinterpret_cast<uintptr_t>(list[i]),
                          std::make_shared<LibusbCandidate>(context_, list[i]));
        }
        if (list != nullptr) {
            calls_.free_device_list(list, 1);
        }
    }

    // On the event thread; ctx is context_'s, which outlives the thread.
    void HandleEvents(libusb_context* ctx) {
        while (!stop_) {
            timeval tv{0, 250000}; // also a bound should an interruption be missed
            calls_.handle_events_timeout_completed(ctx, &tv, nullptr);
        }
    }

    const LibusbCalls& calls_ = CurrentLibusbCalls();
    platform::Mutex mutex_; // serialises Start and Stop; guards the members below but stop_
    std::shared_ptr<Context> context_ TOVEK_GUARDED_BY(mutex_);
    std::shared_ptr<SinkSlot> slot_ TOVEK_GUARDED_BY(mutex_);
    uintptr_t slot_id_ TOVEK_GUARDED_BY(mutex_) = 0;
    libusb_hotplug_callback_handle callback_ TOVEK_GUARDED_BY(mutex_) = 0;
    bool hotplug_ TOVEK_GUARDED_BY(mutex_) = false;
    std::atomic<bool> stop_{false};
    std::thread event_thread_ TOVEK_GUARDED_BY(mutex_);
};

} // namespace

std::unique_ptr<Backend> MakeLibusbBackend() {
    return std::make_unique<LibusbBackend>();
}

} // namespace platform::usb
