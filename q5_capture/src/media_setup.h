// GStreamer, the shared media elements and the camera source plugin, made
// ready once per process.
#pragma once

namespace q5cap {

// True when GStreamer runs and "tovekcamerasrc", "tovekjpegdec",
// "toveksamplegrabber" and "tovekvideosink" can be made. A failure is tried
// again on the next call.
bool EnsureMediaElements();

} // namespace q5cap
