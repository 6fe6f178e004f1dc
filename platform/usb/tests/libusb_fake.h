// A fake libusb at the call boundary of the libusb back end (LibusbCalls):
// one device, 0525:A4A5 unless told otherwise, with endpoint 0x81 of the
// chosen type. Tests set what each call answers, then register a driver
// through WDU_Init as a program does.
//
// Threads: the back end's event thread handles submitted isochronous
// transfers in handle_events_timeout_completed, as libusb's event thread
// does; a thread waiting in handle_events_completed wakes only when the flag
// it passed is set, or after kWaitMs as a missed wake-up (counted).
#pragma once

#include "libusb_calls.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace fake_usb {

inline constexpr int kWaitMs = 50;

struct Config {
    uint16_t vendor_id = 0x0525;
    uint16_t product_id = 0xA4A5;
    uint8_t endpoint_type = LIBUSB_TRANSFER_TYPE_BULK;
    uint16_t max_packet = 512;
    int open_result = 0;
    int claim_result = 0;
    // Control transfers other than GET_INTERFACE: the result (a byte count or
    // an error); an IN transfer's data is filled with 0xC5.
    int control_result = 4;
    // Bulk and interrupt: the result and the bytes moved (data filled with
    // 0xB0 + i % 16).
    int bulk_result = 0;
    int bulk_transferred = 0;
    // Isochronous: submit's result, then the completion's status and each
    // packet's actual length (packet i filled with 0x10 + i).
    int submit_result = 0;
    libusb_transfer_status iso_status = LIBUSB_TRANSFER_COMPLETED;
    std::vector<int> iso_lengths;
};

struct Counts {
    int opens = 0;
    int closes = 0;
    int claims = 0;
    int releases = 0;
    int missed_wakeups = 0;           // handle_events_completed waits that ran out
    uint8_t last_setup[8] = {};       // of the last control transfer
    unsigned int last_timeout_ms = 0; // of the last transfer
    int iso_packets = 0;              // of the last isochronous transfer
    int iso_length = 0;
};

// Installs the fake with config (for back ends made from now on).
void Install(const Config& config);
// Puts the real libusb back.
void Uninstall();
Counts Snapshot();

} // namespace fake_usb
