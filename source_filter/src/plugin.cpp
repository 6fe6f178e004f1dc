// The plugin file libgsttovekcamerasrc.so with its one element. It carries no
// emulated device: a pipeline runs on the emulated Q5 camera only in a
// process that installed the emulated devices (the program with --simulate,
// or one that loaded the plugin libgsttoveksim.so of sim/gst).
#include "tovek_camera_src.h"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return tovek_camera_src_register(plugin);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tovekcamerasrc,
                  "Tovek Camera Source Filter: Q5 document cameras", PluginInit, "1.0",
                  "Proprietary", "TovekCamera", "TovekCamera")
