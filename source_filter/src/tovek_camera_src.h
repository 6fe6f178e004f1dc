// The GStreamer element "tovekcamerasrc" (a GstPushSrc) around
// CameraSourceFilter. Registered by the plugin; tests of the library's core
// may register it into their own process instead.
#pragma once

#include <gst/gst.h>

GType tovek_camera_src_get_type(void);

// Registers "tovekcamerasrc" with rank none into plugin (null: the process).
gboolean tovek_camera_src_register(GstPlugin* plugin);
