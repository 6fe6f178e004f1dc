// The back ends behind the WDU_* calls, and how a program chooses one.
//
// A back end reports devices as they come and go, describes each, and
// carries the transfers of the ones a driver took. platform/usb brings two:
// libusb-1.0 for real devices, and a null back end that never has a device.
// Emulated devices come from above: the part of a program that puts it
// together asks for emulated devices (platform::SetEmulatedDevicesRequested)
// and installs an emulated back end (InstallEmulatedBackend); sim/install
// does both. No library asks for them.
//
// Which back end a registration gets, at WDU_Init:
//   emulation not asked for             the libusb back end, installed or not
//   asked for, an emulated one installed the installed emulated back end
//   asked for, none installed           the null back end: the registration
//                                       stands and no device ever attaches; a
//                                       line on stderr says why, once
#pragma once

#include "platform/usb.h"
#include "platform/usb_description.h"

#include <cstdint>
#include <memory>
#include <string>

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

// Why a device could not be opened.
struct OpenFailure {
    // An errno: EACCES no permission on the device node, EBUSY another
    // program (or a kernel driver that would not let go) holds it, ENODEV it
    // left meanwhile, EIO anything else.
    int error = 0;
    std::string detail; // the call that failed and its error, for the trace
};

// A device the back end saw arrive, not opened yet. Called on the
// registration's driver thread.
class Candidate {
public:
    virtual ~Candidate() = default;
    // False when the device cannot be described (it is then ignored).
    virtual bool Describe(UsbDeviceDescription* description) = 0;
    // Opens the device and claims its interfaces; may refine the description
    // (the active alternate settings). Null when that fails, also when the
    // device left in the meantime; *failure then says why.
    virtual std::shared_ptr<OpenDevice> Open(UsbDeviceDescription* description,
                                             OpenFailure* failure) = 0;
};

// Receives a back end's device events. Called from back-end threads, possibly
// under a lock of the back end: an implementation only queues them and never
// calls back into the back end.
class EventSink {
public:
    virtual ~EventSink() = default;
    // key names the device until its Left event.
    virtual void Arrived(uint64_t key, std::shared_ptr<Candidate> candidate) = 0;
    virtual void Left(uint64_t key) = 0;
};

// One back end serves one registration: it is made at WDU_Init and destroyed
// after WDU_Uninit.
class Backend {
public:
    virtual ~Backend() = default;
    // Reports the devices present, then every change, to sink (which outlives
    // the back end's use of it). Called once.
    virtual WD_STATUS Start(EventSink* sink) = 0;
    // After Stop returns the sink is not called again. Open devices stay
    // usable. Safe to call twice, also without Start.
    virtual void Stop() = 0;
};

// Makes a fresh back end for a registration. Called on the thread calling
// WDU_Init; null means the back end cannot be had (WDU_Init then fails with
// WD_OPERATION_FAILED).
using BackendFactory = std::unique_ptr<Backend> (*)();

// Installs factory as this process's emulated back end, replacing an earlier
// one; null removes it. Registrations made before keep their back end. Any
// thread.
void InstallEmulatedBackend(BackendFactory factory);
// True while an emulated back end is installed.
bool EmulatedBackendInstalled();

// A back end that never reports a device: for a process that asked for
// emulated devices but installed no emulated back end.
std::unique_ptr<Backend> MakeNullBackend();

} // namespace platform::usb
