// The libusb calls the libusb back end makes, as one table of functions, so
// tests can put a fake at the libusb call boundary and drive opening,
// claiming and every kind of transfer without a device. The real table calls
// libusb itself.
#pragma once

#include <libusb.h>

#include <sys/types.h>

namespace platform::usb {

struct LibusbCalls {
    int (*init)(libusb_context** context);
    void (*exit)(libusb_context* context);
    int (*has_capability)(uint32_t capability);
    int (*hotplug_register_callback)(libusb_context* context, int events, int flags, int vendor_id,
                                     int product_id, int device_class,
                                     libusb_hotplug_callback_fn callback, void* user_data,
                                     libusb_hotplug_callback_handle* handle);
    void (*hotplug_deregister_callback)(libusb_context* context,
                                        libusb_hotplug_callback_handle handle);
    ssize_t (*get_device_list)(libusb_context* context, libusb_device*** list);
    void (*free_device_list)(libusb_device** list, int unref_devices);
    libusb_device* (*ref_device)(libusb_device* device);
    void (*unref_device)(libusb_device* device);
    int (*get_device_descriptor)(libusb_device* device, libusb_device_descriptor* descriptor);
    int (*get_active_config_descriptor)(libusb_device* device, libusb_config_descriptor** config);
    void (*free_config_descriptor)(libusb_config_descriptor* config);
    uint8_t (*get_bus_number)(libusb_device* device);
    uint8_t (*get_device_address)(libusb_device* device);
    int (*open)(libusb_device* device, libusb_device_handle** handle);
    void (*close)(libusb_device_handle* handle);
    int (*set_auto_detach_kernel_driver)(libusb_device_handle* handle, int enable);
    int (*claim_interface)(libusb_device_handle* handle, int interface_number);
    int (*release_interface)(libusb_device_handle* handle, int interface_number);
    int (*control_transfer)(libusb_device_handle* handle, uint8_t request_type, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                            unsigned int timeout_ms);
    int (*bulk_transfer)(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout_ms);
    int (*interrupt_transfer)(libusb_device_handle* handle, unsigned char endpoint,
                              unsigned char* data, int length, int* transferred,
                              unsigned int timeout_ms);
    libusb_transfer* (*alloc_transfer)(int iso_packets);
    void (*free_transfer)(libusb_transfer* transfer);
    int (*submit_transfer)(libusb_transfer* transfer);
    int (*cancel_transfer)(libusb_transfer* transfer);
    // Handles events until *completed is non-zero (libusb checks the flag
    // under its event lock, so another thread's completion wakes it).
    int (*handle_events_completed)(libusb_context* context, int* completed);
    int (*handle_events_timeout_completed)(libusb_context* context, timeval* timeout,
                                           int* completed);
    void (*interrupt_event_handler)(libusb_context* context);
};

// The table that calls libusb.
const LibusbCalls& RealLibusbCalls();

// The table of back ends made from now on (MakeLibusbBackend): calls, which
// must outlive them, or null for the real one. Any thread; for tests.
void SetLibusbCalls(const LibusbCalls* calls);
// The table a new back end takes.
const LibusbCalls& CurrentLibusbCalls();

} // namespace platform::usb
