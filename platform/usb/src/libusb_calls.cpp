#include "libusb_calls.h"

#include <atomic>

namespace platform::usb {
namespace {

int RegisterHotplug(libusb_context* context, int events, int flags, int vendor_id, int product_id,
                    int device_class, libusb_hotplug_callback_fn callback, void* user_data,
                    libusb_hotplug_callback_handle* handle) {
    return libusb_hotplug_register_callback(context, static_cast<libusb_hotplug_event>(events),
                                            static_cast<libusb_hotplug_flag>(flags), vendor_id,
                                            product_id, device_class, callback, user_data, handle);
}

int HasCapability(uint32_t capability) {
    return libusb_has_capability(capability);
}

constexpr LibusbCalls kReal = {
    libusb_init,
    libusb_exit,
    HasCapability,
    RegisterHotplug,
    libusb_hotplug_deregister_callback,
    libusb_get_device_list,
    libusb_free_device_list,
    libusb_ref_device,
    libusb_unref_device,
    libusb_get_device_descriptor,
    libusb_get_active_config_descriptor,
    libusb_free_config_descriptor,
    libusb_get_bus_number,
    libusb_get_device_address,
    libusb_open,
    libusb_close,
    libusb_set_auto_detach_kernel_driver,
    libusb_claim_interface,
    libusb_release_interface,
    libusb_control_transfer,
    libusb_bulk_transfer,
    libusb_interrupt_transfer,
    libusb_alloc_transfer,
    libusb_free_transfer,
    libusb_submit_transfer,
    libusb_cancel_transfer,
    libusb_handle_events_completed,
    libusb_handle_events_timeout_completed,
    libusb_interrupt_event_handler,
};

std::atomic<const LibusbCalls*> g_calls{nullptr};

} // namespace

const LibusbCalls& RealLibusbCalls() {
    return kReal;
}

void SetLibusbCalls(const LibusbCalls* calls) {
    g_calls.store(calls);
}

const LibusbCalls& CurrentLibusbCalls() {
    const LibusbCalls* calls = g_calls.load();
    return calls != nullptr ? *calls : kReal;
}

} // namespace platform::usb
