// What a back end (libusb or the emulated bus) gives the registration layer:
// devices as they come and go, a description of each, and transfers on the
// ones a driver took.
#pragma once

#include "platform/usb.h"
#include "platform/usb_description.h"

#include <cstdint>
#include <memory>

namespace platform::usb {

// A device opened and claimed for one registration. Transfers may run on any
// thread, several at once; the device is released when the last reference
// goes.
class OpenDevice {
public:
    virtual ~OpenDevice() = default;
    // setup is 8 bytes; data holds the setup's length bytes (checked by the caller).
    virtual WD_STATUS Control(const uint8_t* setup, uint8_t* data, uint32_t* transferred,
                              uint32_t timeout_ms) = 0;
    // pipe is one of the description's active pipes, in a direction it allows.
    virtual WD_STATUS Pipe(const WDU_PIPE_INFO& pipe, bool read, uint32_t options, uint8_t* data,
                           uint32_t size, uint32_t* transferred, uint32_t timeout_ms) = 0;
};

// A device the back end saw arrive, not opened yet.
class Candidate {
public:
    virtual ~Candidate() = default;
    // False when the device cannot be described (it is then ignored).
    virtual bool Describe(UsbDeviceDescription* description) = 0;
    // Opens the device and claims its interfaces; may refine the description
    // (the active alternate settings). Null when that fails.
    virtual std::shared_ptr<OpenDevice> Open(UsbDeviceDescription* description) = 0;
};

// Receives a back end's device events. Called from back-end threads (for the
// emulated bus, under its lock): an implementation only queues them.
class EventSink {
public:
    virtual ~EventSink() = default;
    // key names the device until its Left event.
    virtual void Arrived(uint64_t key, std::shared_ptr<Candidate> candidate) = 0;
    virtual void Left(uint64_t key) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Reports the devices present, then every change, to sink.
    virtual WD_STATUS Start(EventSink* sink) = 0;
    // After Stop returns the sink is not called again. Open devices stay usable.
    virtual void Stop() = 0;
};

std::unique_ptr<Backend> MakeLibusbBackend();
// Null when this build has no emulated bus.
std::unique_ptr<Backend> MakeEmulatedBackend();

} // namespace platform::usb
