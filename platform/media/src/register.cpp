#include "elements.h"

#include "platform/media.h"

#include <mutex>

bool tovek_media_register_elements() {
    static std::mutex lock;         // guards registered
    static bool registered = false; // all three elements are known to GStreamer
    std::lock_guard<std::mutex> guard(lock);
    if (registered) {
        return true;
    }
    if (!gst_is_initialized()) {
        return false;
    }
    registered =
        gst_element_register(nullptr, "tovekjpegdec", GST_RANK_NONE, tovek_jpeg_dec_get_type()) &&
        gst_element_register(nullptr, "toveksamplegrabber", GST_RANK_NONE,
                             tovek_sample_grabber_get_type()) &&
        gst_element_register(nullptr, "tovekvideosink", GST_RANK_NONE, tovek_video_sink_get_type());
    return registered;
}
