// Puts the emulated devices into a program. Called only where a program is
// put together: the program's start-up with --simulate (or TOVEK_SIMULATE
// set), test programs that run on the emulated devices, and the camera
// source plugin when TOVEK_SIMULATE is set. Libraries never call it.
//
// It installs
// - the emulated USB back end of platform/usb (over UsbBus()), used by
//   WDU_Init while TOVEK_SIMULATE is set, with the emulated Q5 camera as the
//   bus's default device, plugged in at once;
// - the emulated RVX camera (DefaultRvxCamera()), plugged in at once, and its
//   source element "tovekrvxsrc" in GStreamer's registry (GStreamer is
//   initialised for it);
// - the control channel's "q5" and "rvx" commands, so that tovek-sim plugs
//   and pulls them ("plug q5" adds a default Q5 camera, "pull q5" pulls out
//   every Q5 camera, "plug rvx"/"pull rvx" plug and pull the RVX camera).
//
// What is installed stays until the process ends. A process that installs
// nothing finds no emulated device, also with TOVEK_SIMULATE set: its USB
// registrations get the null back end (platform/usb_backend.h) and its video
// inputs are the empty emulated ones (platform/devices.h).
#pragma once

namespace sim {

// Idempotent: only the first call installs. Any thread, also several at
// once (the others wait for the first).
void InstallEmulatedDevices();

} // namespace sim
