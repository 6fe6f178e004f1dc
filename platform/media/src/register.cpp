#include "elements.h"

#include "platform/media.h"

#include "platform/thread_annotations.h"

namespace {
platform::Mutex g_register_lock;
// All three elements are known to GStreamer.
bool g_registered TOVEK_GUARDED_BY(g_register_lock) = false;
} // namespace

bool tovek_media_register_elements() {
    platform::MutexLock guard(g_register_lock);
    if (g_registered) {
        return true;
    }
    if (!gst_is_initialized()) {
        return false;
    }
    g_registered =
        gst_element_register(nullptr, "tovekjpegdec", GST_RANK_NONE, tovek_jpeg_dec_get_type()) &&
        gst_element_register(nullptr, "toveksamplegrabber", GST_RANK_NONE,
                             tovek_sample_grabber_get_type()) &&
        gst_element_register(nullptr, "tovekvideosink", GST_RANK_NONE, tovek_video_sink_get_type());
    return g_registered;
}
