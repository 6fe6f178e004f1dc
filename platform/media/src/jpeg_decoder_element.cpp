// "tovekjpegdec", the MJPEG Decompressor: each input buffer is one complete
// JPEG picture; each output buffer one BGRx frame from the decoder's buffer
// pool. A picture that cannot be decoded is dropped with a warning message
// so that one bad transfer from the camera never stops the picture.
#include "elements.h"

#include "platform/gst_ref.h"
#include "platform/media.h"

#include <gst/video/gstvideodecoder.h>
#include <gst/video/video.h>

#include <atomic>
#include <new>

GST_DEBUG_CATEGORY_STATIC(tovek_jpeg_dec_debug);
#define GST_CAT_DEFAULT tovek_jpeg_dec_debug

namespace {

// The switch and counter shared by every decoder of the process; set from
// the user-interface thread, read on the streaming threads.
std::atomic<bool> g_pixels_wanted{true};
std::atomic<bool> g_next_wanted{false};
std::atomic<uint64_t> g_decoded{0};
// Where the pictures are seen, width in the high half: one value, so that a
// decoder never reads the width of one size with the height of another.
std::atomic<uint64_t> g_view_size{0};

// No lock: start and stop run while no data flows, and the base class calls
// set_format and handle_frame under its stream lock.
struct TovekJpegDec {
    GstVideoDecoder parent;
    platform::JpegDecoder* jpeg;     // from start to stop
    GstVideoCodecState* input_state; // the last input caps, for frame rate and aspect
    int width;                       // size of the current output state; 0 before the first
    int height;
    int denominator;               // the scale of the current picture: 1, 2, 4 or 8
    platform::ShrinkFactor shrink; // then shrunk to the view's size, or kNone
};

struct TovekJpegDecClass {
    GstVideoDecoderClass parent_class;
};

} // namespace

G_DEFINE_TYPE(TovekJpegDec, tovek_jpeg_dec, GST_TYPE_VIDEO_DECODER)

namespace {

TovekJpegDec* Self(GstVideoDecoder* decoder) {
    return reinterpret_cast<TovekJpegDec*>(decoder);
}

GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("image/jpeg"));

GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("BGRx")));

GstFlowReturn SkipPicture(TovekJpegDec* self, GstVideoCodecFrame* frame, const char* reason) {
    GST_ELEMENT_WARNING(self, STREAM, DECODE, ("Skipped a JPEG picture that cannot be decoded."),
                        ("%s", reason));
    return gst_video_decoder_drop_frame(&self->parent, frame);
}

// Announces a new output size; the base class negotiates it when the next
// output buffer is allocated.
bool SetOutputSize(TovekJpegDec* self, int width, int height) {
    g_autoptr(GstVideoCodecState) state = gst_video_decoder_set_output_state(
        &self->parent, GST_VIDEO_FORMAT_BGRx, static_cast<guint>(width), static_cast<guint>(height),
        self->input_state);
    if (state == nullptr) {
        return false;
    }
    self->width = width;
    self->height = height;
    return true;
}

GstFlowReturn DecodeInto(TovekJpegDec* self, GstVideoCodecFrame* frame,
                         const platform::BufferMap& in) {
    GstVideoFrame out;
    gboolean mapped = FALSE;
    {
        // The frame keeps what it needs of the state once mapped.
        g_autoptr(GstVideoCodecState) state = gst_video_decoder_get_output_state(&self->parent);
        if (state == nullptr) {
            return SkipPicture(self, frame, "no output state");
        }
        mapped = gst_video_frame_map(&out, &state->info, frame->output_buffer, GST_MAP_WRITE);
    }
    if (!mapped) {
        return SkipPicture(self, frame, "cannot map the output buffer");
    }
    auto* pixels = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&out, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&out, 0);
    const platform::JpegDecodeResult result =
        self->shrink == platform::ShrinkFactor::kNone
            ? self->jpeg->DecodeBgrx(in.data(), in.size(), pixels, self->width, self->height,
                                     stride, self->denominator)
            : self->jpeg->DecodeShrunkBgrx(in.data(), in.size(), pixels, self->width, self->height,
                                           stride, self->denominator, self->shrink);
    gst_video_frame_unmap(&out);
    if (result == platform::JpegDecodeResult::kFailed) {
        return SkipPicture(self, frame, self->jpeg->LastError());
    }
    g_decoded.fetch_add(1, std::memory_order_relaxed);
    if (result == platform::JpegDecodeResult::kRecovered) {
        GST_WARNING_OBJECT(self, "picture decoded with a fault: %s", self->jpeg->LastError());
    }
    return gst_video_decoder_finish_frame(&self->parent, frame);
}

gboolean Start(GstVideoDecoder* decoder) {
    TovekJpegDec* self = Self(decoder);
    self->jpeg = new (std::nothrow) platform::JpegDecoder();
    self->width = 0;
    self->height = 0;
    self->denominator = 1;
    self->shrink = platform::ShrinkFactor::kNone;
    return self->jpeg != nullptr;
}

gboolean Stop(GstVideoDecoder* decoder) {
    TovekJpegDec* self = Self(decoder);
    delete self->jpeg;
    self->jpeg = nullptr;
    g_clear_pointer(&self->input_state, gst_video_codec_state_unref);
    self->width = 0;
    self->height = 0;
    return TRUE;
}

gboolean SetFormat(GstVideoDecoder* decoder, GstVideoCodecState* state) {
    TovekJpegDec* self = Self(decoder);
    g_clear_pointer(&self->input_state, gst_video_codec_state_unref);
    self->input_state = gst_video_codec_state_ref(state);
    self->width = 0; // new caps: announce the output again with the next picture
    self->height = 0;
    return TRUE;
}

GstFlowReturn HandleFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame) {
    TovekJpegDec* self = Self(decoder);
    // Nothing shows the pixels: release the picture unread (no QoS message,
    // as this is no lateness) and keep the output state for the next one.
    if (!g_pixels_wanted.load(std::memory_order_relaxed) &&
        !g_next_wanted.exchange(false, std::memory_order_relaxed)) {
        gst_video_decoder_release_frame(decoder, frame);
        return GST_FLOW_OK;
    }
    // Finishing or dropping the frame releases its input buffer, so the
    // mapping holds a reference of its own (released after the unmap).
    g_autoptr(GstBuffer) input = gst_buffer_ref(frame->input_buffer);
    const platform::BufferMap in(input, GST_MAP_READ);
    if (!in) {
        return SkipPicture(self, frame, "cannot map the input buffer");
    }
    int width = 0;
    int height = 0;
    if (!self->jpeg->ReadSize(in.data(), in.size(), &width, &height)) {
        return SkipPicture(self, frame, self->jpeg->LastError());
    }
    // The view's size where a scale and a shrink give it, else no smaller
    // than the view: a changed size is a new output size.
    const uint64_t view = g_view_size.load(std::memory_order_relaxed);
    const platform::JpegDecodePlan plan = platform::PlanJpegDecode(
        width, height, static_cast<int>(view >> 32), static_cast<int>(view & 0xFFFFFFFFu));
    self->denominator = plan.denominator;
    self->shrink = plan.shrink;
    width = plan.width;
    height = plan.height;
    GstFlowReturn ret = GST_FLOW_OK;
    if ((width != self->width || height != self->height) && !SetOutputSize(self, width, height)) {
        ret = SkipPicture(self, frame, "cannot set the output format");
    } else {
        ret = gst_video_decoder_allocate_output_frame(decoder, frame);
        if (ret == GST_FLOW_OK) {
            ret = DecodeInto(self, frame, in);
        } else {
            GST_DEBUG_OBJECT(self, "no output buffer: %s", gst_flow_get_name(ret));
            gst_video_decoder_drop_frame(decoder, frame);
        }
    }
    return ret;
}

} // namespace

void tovek_media_set_pixels_wanted(bool wanted) {
    g_pixels_wanted.store(wanted);
}

bool tovek_media_pixels_wanted() {
    return g_pixels_wanted.load();
}

void tovek_media_want_next_picture() {
    g_next_wanted.store(true);
}

uint64_t tovek_media_decoded_pictures() {
    return g_decoded.load();
}

void tovek_media_set_view_size(int width, int height) {
    const auto side = [](int v) { return static_cast<uint64_t>(v > 0 ? v : 0); };
    g_view_size.store(side(width) << 32 | side(height));
}

static void tovek_jpeg_dec_init(TovekJpegDec* self) {
    GstVideoDecoder* decoder = &self->parent;
    // Every buffer from the camera is one whole picture: no parsing needed.
    gst_video_decoder_set_packetized(decoder, TRUE);
    gst_video_decoder_set_use_default_pad_acceptcaps(decoder, TRUE);
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_DECODER_SINK_PAD(decoder));
}

static void tovek_jpeg_dec_class_init(TovekJpegDecClass* klass) {
    GST_DEBUG_CATEGORY_INIT(tovek_jpeg_dec_debug, "tovekjpegdec", 0, "MJPEG Decompressor");
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(
        element_class, "MJPEG Decompressor", "Codec/Decoder/Video",
        "Decodes JPEG pictures to BGRx with libjpeg-turbo", "TovekCamera");
    GstVideoDecoderClass* decoder_class = GST_VIDEO_DECODER_CLASS(klass);
    decoder_class->start = Start;
    decoder_class->stop = Stop;
    decoder_class->set_format = SetFormat;
    decoder_class->handle_frame = HandleFrame;
}
