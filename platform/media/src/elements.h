// Types of the elements registered by tovek_media_register_elements().
#pragma once

#include <gst/gst.h>

GType tovek_jpeg_dec_get_type(void);
GType tovek_sample_grabber_get_type(void);
GType tovek_video_sink_get_type(void);
