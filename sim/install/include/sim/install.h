// Puts the emulated devices into a program. Called only where a program is
// put together: the program's start-up with --simulate (or TOVEK_SIMULATE
// set, see EnvironmentAsksForEmulatedDevices), test programs that run on the
// emulated devices, benchmarks, and the GStreamer plugin libgsttoveksim.so
// (sim/gst), which pipelines of other processes load to run on them.
// Libraries never call it, nor read TOVEK_SIMULATE.
//
// It asks for emulated devices (platform::SetEmulatedDevicesRequested) and
// installs
// - the emulated USB back end of platform/usb (over UsbBus()), which WDU_Init
//   then uses, with the emulated Q5 camera as the bus's default device,
//   plugged in at once;
// - the emulated RVX camera (DefaultRvxCamera()), plugged in at once into the
//   emulated video inputs that platform::Devices() then gives, and its source
//   element "tovekrvxsrc" in GStreamer's registry (GStreamer is initialised
//   for it);
// - the simulated microphone ("Simulated Microphone", a 440 Hz tone) as the
//   first sound source the audio library lists (platform/sound_sources.h);
// - the control channel's "q5" and "rvx" commands, so that tovek-sim plugs
//   and pulls them ("plug q5" adds a default Q5 camera, "pull q5" pulls out
//   every Q5 camera, "plug rvx"/"pull rvx" plug and pull the RVX camera).
//
// What is installed stays until the process ends. A process that installs
// nothing has the real back ends (libusb, udev, the system's sound inputs)
// and no emulated device, whatever its environment holds. One that asks for
// emulated devices without installing them (a test may) gets the null USB
// back end (platform/usb_backend.h) and the empty emulated video inputs
// (platform/devices.h).
#pragma once

namespace sim {

// Idempotent: only the first call installs. Any thread, also several at
// once (the others wait for the first).
void InstallEmulatedDevices();

// True when TOVEK_SIMULATE is set to anything but "" or "0": how a user or a
// script asks a program for the emulated devices without --simulate. Only
// the code that puts a program together reads it.
bool EnvironmentAsksForEmulatedDevices();

} // namespace sim
