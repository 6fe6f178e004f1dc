// libgsttoveksim.so: the emulated devices for GStreamer pipelines of other
// processes. Loading it installs them (sim/install) into the process; it has
// no element of its own. So it is loaded by its file, and only where the
// emulated devices are wanted:
//
//   gst-launch-1.0 --gst-plugin-load=<build>/lib/gstreamer-sim/libgsttoveksim.so
//       tovekcamerasrc ! jpegdec ! fakesink
//
// (any program that hands its command line to gst_init takes the option; one
// that does not calls gst_plugin_load_file). Naming its folder in
// GST_PLUGIN_PATH is not enough: GStreamer loads a plugin from its registry
// only when a pipeline asks for one of the plugin's elements.
#include "sim/install.h"

#include <gst/gst.h>

#include <cerrno>
#include <string_view>

namespace {

// GStreamer's plugin scanner, a helper process, loads every plugin of the
// folders it scans only to list what each holds, and ends.
bool InPluginScanner() {
    return std::string_view(program_invocation_short_name) == "gst-plugin-scanner";
}

gboolean PluginInit(GstPlugin* /*plugin*/) {
    if (!InPluginScanner()) {
        sim::InstallEmulatedDevices();
    }
    return TRUE;
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, toveksim,
                  "TovekCamera's emulated devices (Q5 and RVX cameras, microphone)", PluginInit,
                  "1.0", "Proprietary", "TovekCamera", "TovekCamera")
