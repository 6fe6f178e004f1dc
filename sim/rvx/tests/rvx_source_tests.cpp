#include "sim/rvx_camera.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <string>

namespace sim {
namespace {

class RvxSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        gst_init(nullptr, nullptr);
        RvxCameraOptions options;
        options.serial = "SRC-" + std::to_string(++count_);
        camera_ = EmulatedRvxCamera::Create(options);
        ASSERT_TRUE(camera_->Plug());
    }
    void TearDown() override {
        if (pipeline_ != nullptr) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
    }

    // camera ! [caps] ! appsink, playing.
    GstElement* Start(const char* caps) {
        pipeline_ = gst_pipeline_new("test");
        GstElement* source = camera_->CreateSourceElement("Tovek Camera Source");
        GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        EXPECT_NE(nullptr, source);
        if (caps != nullptr) {
            GstCaps* parsed = gst_caps_from_string(caps);
            g_object_set(filter, "caps", parsed, nullptr);
            gst_caps_unref(parsed);
        }
        g_object_set(sink, "sync", FALSE, "max-buffers", 4, "drop", TRUE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline_), source, filter, sink, nullptr);
        EXPECT_TRUE(gst_element_link_many(source, filter, sink, nullptr));
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
        return sink;
    }

    static int count_;
    std::shared_ptr<EmulatedRvxCamera> camera_;
    GstElement* pipeline_ = nullptr;
};
int RvxSourceTest::count_ = 0;

struct Picture {
    int width = 0;
    int height = 0;
    GstClockTime pts = GST_CLOCK_TIME_NONE;
};

Picture Pull(GstElement* sink) {
    Picture picture;
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
    if (sample == nullptr) {
        return picture;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    picture.pts = GST_BUFFER_PTS(buffer);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        tjhandle handle = tjInitDecompress();
        int subsampling = 0;
        int colorspace = 0;
        if (tjDecompressHeader3(handle, map.data, map.size, &picture.width, &picture.height,
                                &subsampling, &colorspace) != 0) {
            picture.width = picture.height = -1;
        }
        tjDestroy(handle);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return picture;
}

TEST_F(RvxSourceTest, StreamsTimestampedPicturesAt1280x720And30PerSecondByDefault) {
    GstElement* sink = Start(nullptr);
    const Picture first = Pull(sink);
    const Picture second = Pull(sink);
    EXPECT_EQ(1280, first.width);
    EXPECT_EQ(720, first.height);
    ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(first.pts));
    ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(second.pts));
    EXPECT_GE(second.pts - first.pts, GST_SECOND / 30 - 1) << "one frame period or more apart";

    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    ASSERT_NE(nullptr, caps);
    int fps_n = 0;
    int fps_d = 0;
    gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &fps_n, &fps_d);
    EXPECT_EQ(30, fps_n / fps_d);
    gst_caps_unref(caps);
    gst_object_unref(pad);
}

TEST(RvxSourceDefaultSize, AGraphAskingForNoSizeGetsTheCamerasDefaultAtItsFastestRate) {
    gst_init(nullptr, nullptr);
    struct Case {
        const char* size;
        int width;
        int height;
        int rate;
    };
    const Case cases[] = {
        {"2592x1944", 2592, 1944, 15},
        {"1920x1080", 1920, 1080, 30},
        {"1000x1000", 1280, 720, 30}, // no such format: the usual default
    };
    for (const Case& c : cases) {
        RvxCameraOptions options = DefaultRvxCameraOptions(c.size, "4");
        options.serial = std::string("DEFAULT-") + c.size;
        const auto camera = EmulatedRvxCamera::Create(options);
        ASSERT_TRUE(camera->Plug());
        GstElement* pipeline = gst_pipeline_new(nullptr);
        GstElement* source = camera->CreateSourceElement(nullptr);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
        ASSERT_TRUE(gst_element_link(source, sink));
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        // Four pictures replayed: the fifth is the first one again.
        Picture pictures[5];
        for (Picture& picture : pictures) {
            picture = Pull(sink);
        }
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        GstCaps* caps = gst_pad_get_current_caps(pad);
        int fps_n = 0;
        int fps_d = 1;
        if (caps != nullptr) {
            gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &fps_n,
                                       &fps_d);
            gst_caps_unref(caps);
        }
        gst_object_unref(pad);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        EXPECT_EQ(c.width, pictures[4].width) << c.size;
        EXPECT_EQ(c.height, pictures[4].height) << c.size;
        EXPECT_EQ(c.rate, fps_n / fps_d) << c.size;
    }
}

TEST_F(RvxSourceTest, OffersUvcSizesAndTakesTheOneNegotiated) {
    GstElement* source = camera_->CreateSourceElement(nullptr);
    GstPad* pad = gst_element_get_static_pad(source, "src");
    GstCaps* offered = gst_pad_query_caps(pad, nullptr);
    EXPECT_EQ(RvxFormats().size(), gst_caps_get_size(offered));
    gst_caps_unref(offered);
    gst_object_unref(pad);
    gst_object_unref(gst_object_ref_sink(source));

    GstElement* sink = Start("image/jpeg,width=640,height=480,framerate=15/1");
    const Picture picture = Pull(sink);
    EXPECT_EQ(640, picture.width);
    EXPECT_EQ(480, picture.height);
}

TEST_F(RvxSourceTest, PullingTheCameraOutEndsTheStreamWithAnError) {
    GstElement* sink = Start(nullptr);
    ASSERT_GT(Pull(sink).width, 0);
    camera_->Pull();
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_ERROR);
    EXPECT_NE(nullptr, message);
    if (message != nullptr) {
        gst_message_unref(message);
    }
    gst_object_unref(bus);
}

// The next error on the pipeline's bus within 5 s: its domain and code and
// whether its details carry the flow return not-negotiated; code -1 for none.
struct BusError {
    GQuark domain = 0;
    int code = -1;
    bool not_negotiated = false;
};

BusError NextError(GstElement* pipeline) {
    BusError seen;
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (message == nullptr) {
        return seen;
    }
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    seen.domain = error->domain;
    seen.code = error->code;
    g_error_free(error);
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    int flow = GST_FLOW_OK;
    seen.not_negotiated = details != nullptr &&
                          gst_structure_get_int(details, "flow-return", &flow) &&
                          flow == GST_FLOW_NOT_NEGOTIATED;
    gst_message_unref(message);
    return seen;
}

TEST_F(RvxSourceTest, AnInjectedReadErrorEndsTheStreamAfterTheGivenPicturesOnce) {
    const uint64_t taken = camera_->Counters().pictures;
    camera_->SetStreamFault(RvxStreamFault::kReadError, 2);
    GstElement* sink = Start(nullptr);
    const BusError error = NextError(pipeline_);
    EXPECT_EQ(GST_RESOURCE_ERROR, error.domain);
    EXPECT_EQ(GST_RESOURCE_ERROR_READ, error.code);
    EXPECT_EQ(taken + 2, camera_->Counters().pictures) << "two pictures, then the failed read";
    EXPECT_GT(Pull(sink).width, 0);
    EXPECT_TRUE(camera_->Plugged());

    // Fired once: the camera streams again from a new start.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    sink = Start(nullptr);
    EXPECT_GT(Pull(sink).width, 0);
}

TEST_F(RvxSourceTest, ARawOnlyCameraStreamsRawFramesButCannotFeedAJpegGraph) {
    camera_->SetStreamFault(RvxStreamFault::kRawOnly);
    EXPECT_TRUE(camera_->OffersRawOnly());
    GstElement* sink = Start("video/x-raw,format=YUY2,width=640,height=480");
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
    ASSERT_NE(nullptr, sample);
    EXPECT_EQ(640u * 480u * 2u, gst_buffer_get_size(gst_sample_get_buffer(sample)));
    gst_sample_unref(sample);
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);

    // A JPEG-only graph linked before the camera lost its JPEG: negotiation
    // fails once it plays.
    camera_->SetStreamFault(RvxStreamFault::kNone);
    pipeline_ = gst_parse_launch("tovekrvxsrc name=camera ! image/jpeg ! fakesink", nullptr);
    ASSERT_NE(nullptr, pipeline_);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "camera");
    g_object_set(source, "device", camera_->Node().c_str(), nullptr);
    gst_object_unref(source);
    camera_->SetStreamFault(RvxStreamFault::kRawOnly);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    EXPECT_TRUE(NextError(pipeline_).not_negotiated);
}

TEST_F(RvxSourceTest, AnUnknownOrPulledCameraCannotStart) {
    camera_->Pull();
    Start(nullptr);
    GstState state = GST_STATE_NULL;
    EXPECT_EQ(GST_STATE_CHANGE_FAILURE,
              gst_element_get_state(pipeline_, &state, nullptr, 5 * GST_SECOND));
}

} // namespace
} // namespace sim
