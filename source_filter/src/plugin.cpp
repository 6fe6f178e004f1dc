// The plugin file libgsttovekcamerasrc.so with its one element. Any pipeline
// may load it (gst-launch-1.0 tovekcamerasrc ! ...), so with TOVEK_SIMULATE
// set it puts the emulated devices in before the element can open a camera;
// a program that installed them already is left as it is.
#include "tovek_camera_src.h"

#include "platform/system.h"
#include "sim/install.h"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    if (platform::SimulateDevices()) {
        sim::InstallEmulatedDevices();
    }
    return tovek_camera_src_register(plugin);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tovekcamerasrc,
                  "Tovek Camera Source Filter: Q5 document cameras", PluginInit, "1.0",
                  "Proprietary", "TovekCamera", "TovekCamera")
