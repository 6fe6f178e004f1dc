// The plugin as GStreamer pipelines see it: the element from
// libgsttovekcamerasrc.so, its caps, its buffers and its state changes.
#include "camera_test_support.h"
#include "platform/media.h"
#include "platform/system.h"
#include "testsupport/temp_folder.h"
#include "tovek_camera_source.h"

#include <gst/app/gstappsink.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

using camsrc_test::EventRecorder;
using camsrc_test::PlugCamera;

namespace {

class CameraSourceElement : public testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        // A registry scanner that could not load the plugin (a sanitizer
        // build) leaves it out; load it into the test itself then.
        if (GstElementFactory* factory = gst_element_factory_find("tovekcamerasrc")) {
            gst_object_unref(factory);
            return;
        }
        const char* build = std::getenv("TOVEK_BUILD_DIR");
        ASSERT_NE(build, nullptr);
        const std::string file = std::string(build) + "/bin/libgsttovekcamerasrc.so";
        GstPlugin* plugin = gst_plugin_load_file(file.c_str(), nullptr);
        ASSERT_NE(plugin, nullptr) << file;
        gst_object_unref(plugin);
    }

    void SetUp() override { sim::UsbBus().Reset(false); }
    void TearDown() override {
        if (pipeline_ != nullptr) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
        sim::UsbBus().Reset(false);
    }

    // A pipeline from a launch line whose source is named "camera".
    void Launch(const char* description) {
        pipeline_ = gst_parse_launch(description, nullptr);
        ASSERT_NE(pipeline_, nullptr) << description;
    }
    GstElement* Get(const char* name) {
        GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline_), name);
        gst_object_unref(element); // the pipeline keeps it
        return element;
    }
    // The next error on the pipeline's bus within 10 s, or null.
    GstMessage* NextError() {
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* message = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        return message;
    }

    GstElement* pipeline_ = nullptr;
};

TEST_F(CameraSourceElement, IsRegisteredWithRankNoneAndOnePadNamedOut) {
    GstElementFactory* factory = gst_element_factory_find("tovekcamerasrc");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(static_cast<guint>(GST_RANK_NONE),
              gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory)));
    EXPECT_STREQ("Tovek Camera Source Filter",
                 gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME));
    gst_object_unref(factory);

    platform::FakeClock clock; // no camera: the probe's wait passes at once
    GstElement* element = gst_element_factory_make("tovekcamerasrc", nullptr);
    ASSERT_NE(element, nullptr);
    gst_object_ref_sink(element);
    EXPECT_EQ(1, element->numsrcpads);
    EXPECT_EQ(0, element->numsinkpads);
    GstPad* out = gst_element_get_static_pad(element, "Out");
    ASSERT_NE(out, nullptr);
    gst_object_unref(out);
    EXPECT_NE(nullptr, tovek_camera_source_get_control(element));

    GstElement* other = gst_element_factory_make("fakesink", nullptr);
    EXPECT_EQ(nullptr, tovek_camera_source_get_control(other));
    gst_object_unref(gst_object_ref_sink(other));
    gst_object_unref(element);
}

TEST_F(CameraSourceElement, CapsAnnounceTheSizeAsMotionJpegAndRefuseOtherTypes) {
    {
        platform::FakeClock clock; // no camera: the probe's wait passes at once
        Launch("tovekcamerasrc name=camera ! appsink name=jpeg");
    }
    GstPad* out = gst_element_get_static_pad(Get("camera"), "Out");
    GstCaps* caps = gst_pad_query_caps(out, nullptr);
    GstCaps* expected = gst_caps_from_string(
        "image/jpeg,width=1024,height=768,framerate=16/1,pixel-aspect-ratio=1/1,parsed=true");
    EXPECT_TRUE(gst_caps_is_equal(caps, expected)) << gst_caps_to_string(caps);
    gst_caps_unref(expected);
    gst_caps_unref(caps);

    GstCaps* raw = gst_caps_from_string("video/x-raw,format=BGRx,width=1024,height=768");
    caps = gst_pad_query_caps(out, raw);
    EXPECT_TRUE(gst_caps_is_empty(caps));
    gst_caps_unref(caps);
    GstElement* raw_only = gst_element_factory_make("capsfilter", nullptr);
    g_object_set(raw_only, "caps", raw, nullptr);
    gst_bin_add(GST_BIN(pipeline_), raw_only);
    EXPECT_FALSE(gst_element_link(Get("camera"), raw_only));
    gst_caps_unref(raw);

    ICameraSourceControl* control = tovek_camera_source_get_control(Get("camera"));
    ASSERT_EQ(S_OK, control->lpVtbl->SetFrameSize(control, 1920, 1080));
    caps = gst_pad_query_caps(out, nullptr);
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    EXPECT_TRUE(gst_structure_get_int(s, "width", &width) && width == 1920);
    EXPECT_TRUE(gst_structure_get_int(s, "height", &height) && height == 1080);
    gst_caps_unref(caps);
    gst_object_unref(out);
}

TEST_F(CameraSourceElement, DownstreamThatTakesNoJpegFailsNegotiation) {
    {
        platform::FakeClock clock;
        Launch("tovekcamerasrc name=camera appsink name=raw caps=video/x-raw");
    }
    // Linked without a caps check, so negotiation itself must refuse.
    GstPad* out = gst_element_get_static_pad(Get("camera"), "Out");
    GstPad* in = gst_element_get_static_pad(Get("raw"), "sink");
    ASSERT_EQ(GST_PAD_LINK_OK, gst_pad_link_full(out, in, GST_PAD_LINK_CHECK_NOTHING));
    gst_object_unref(in);
    gst_object_unref(out);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    GstMessage* error = NextError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(GST_MESSAGE_SRC(error), GST_OBJECT(Get("camera")));
    gst_message_unref(error);
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("raw")), 0);
    EXPECT_EQ(sample, nullptr);
}

TEST_F(CameraSourceElement, VideoInfoRecordDescribesTheAnnouncedStream) {
    const VIDEOINFOHEADER info = tovek_camera_source_video_info(1024, 768);
    EXPECT_EQ(2359296u, info.bmiHeader.biSizeImage);
    EXPECT_EQ(625000, info.AvgTimePerFrame);
    EXPECT_EQ(MakeFourCC('M', 'J', 'P', 'G'), info.bmiHeader.biCompression);
    EXPECT_EQ(24, info.bmiHeader.biBitCount);
    EXPECT_EQ(40u, info.bmiHeader.biSize);
    EXPECT_EQ(0x01400000u, info.dwBitRate);
}

TEST_F(CameraSourceElement, JpegDecoderPipelinePlaysTheCameraByItself) {
    PlugCamera(640, 480);
    Launch("tovekcamerasrc name=camera ! jpegdec ! appsink name=out");
    ASSERT_NE(GST_STATE_CHANGE_FAILURE, gst_element_set_state(pipeline_, GST_STATE_PLAYING));
    for (int i = 0; i < 3; ++i) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("out")), 10 * GST_SECOND);
        ASSERT_NE(sample, nullptr) << i;
        const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        int width = 0;
        int height = 0;
        EXPECT_TRUE(gst_structure_get_int(s, "width", &width) && width == 640);
        EXPECT_TRUE(gst_structure_get_int(s, "height", &height) && height == 480);
        gst_sample_unref(sample);
    }
}

TEST_F(CameraSourceElement, PicturesCarryWhenTheyCameFromTheCamera) {
    const auto steady_ns = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    PlugCamera(640, 480);
    const int64_t started = steady_ns();
    Launch("tovekcamerasrc name=camera ! appsink name=out");
    ASSERT_NE(GST_STATE_CHANGE_FAILURE, gst_element_set_state(pipeline_, GST_STATE_PLAYING));
    int64_t last = started;
    for (int i = 0; i < 3; ++i) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("out")), 10 * GST_SECOND);
        ASSERT_NE(sample, nullptr) << i;
        const int64_t captured = tovek_media_get_capture_time(gst_sample_get_buffer(sample));
        gst_sample_unref(sample);
        // Milliseconds of the tick count: allow one either way.
        EXPECT_GE(captured, last - 1'000'000) << i;
        EXPECT_LE(captured, steady_ns() + 1'000'000) << i;
        last = captured;
    }
}

// What ffprobe reads of a file's first video stream: "<frames> <seconds>".
std::string ProbeFramesAndDuration(const std::string& file) {
    const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=nb_read_frames:format=duration -of default=nw=1:nk=1 '" +
                                file + "' 2>&1";
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            out += line;
        }
        pclose(pipe);
    }
    for (char& c : out) {
        c = c == '\n' ? ' ' : c;
    }
    return out;
}

TEST_F(CameraSourceElement, MuxersPlaceEveryPictureInTimeAsALiveSourceStampsThem) {
    // Without running times on its buffers a muxer writes one frame.
    constexpr int kPictures = 24;
    PlugCamera(320, 240);
    for (const char* muxer : {"matroskamux", "avimux"}) {
        SCOPED_TRACE(muxer);
        const testsupport::TempFolder folder("tovek-mux");
        const std::string file = folder.File("out");
        const std::string line = "tovekcamerasrc num-buffers=" + std::to_string(kPictures) +
                                 " ! jpegparse ! " + muxer + " ! filesink location=" + file;
        Launch(line.c_str());
        ASSERT_NE(GST_STATE_CHANGE_FAILURE, gst_element_set_state(pipeline_, GST_STATE_PLAYING));
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        gst_object_unref(bus);
        ASSERT_NE(end, nullptr);
        EXPECT_EQ(GST_MESSAGE_EOS, GST_MESSAGE_TYPE(end));
        gst_message_unref(end);
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;

        int frames = 0;
        double seconds = 0;
        const std::string probed = ProbeFramesAndDuration(file);
        ASSERT_EQ(2, std::sscanf(probed.c_str(), "%d %lf", &frames, &seconds)) << probed;
        EXPECT_EQ(kPictures, frames);
        // The pictures span their capture times, at most 16 a second; a
        // file of one frame lasts one picture (1/16 s).
        EXPECT_GE(seconds, kPictures / 32.0);
    }
}

TEST_F(CameraSourceElement, ACameraThatStopsWhileAttachedEndsTheStreamWithAReadError) {
    auto camera = PlugCamera(640, 480);
    Launch("tovekcamerasrc name=camera ! jpegdec ! appsink name=out");
    ASSERT_NE(GST_STATE_CHANGE_FAILURE, gst_element_set_state(pipeline_, GST_STATE_PLAYING));
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("out")), 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr);
    gst_sample_unref(sample);

    camera->FailReads(sim::Q5ReadFault::kStall, 1);
    GstMessage* error = NextError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(GST_MESSAGE_SRC(error), GST_OBJECT(Get("camera")));
    GError* gerror = nullptr;
    gst_message_parse_error(error, &gerror, nullptr);
    EXPECT_TRUE(g_error_matches(gerror, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ));
    EXPECT_STREQ("The camera stopped sending pictures.", gerror->message);
    g_error_free(gerror);
    gst_message_unref(error);

    // Stopped cleanly, and the element plays again from a new start.
    ASSERT_EQ(GST_STATE_CHANGE_SUCCESS, gst_element_set_state(pipeline_, GST_STATE_NULL));
    ASSERT_NE(GST_STATE_CHANGE_FAILURE, gst_element_set_state(pipeline_, GST_STATE_PLAYING));
    sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("out")), 10 * GST_SECOND);
    EXPECT_NE(sample, nullptr);
    if (sample != nullptr) {
        gst_sample_unref(sample);
    }
}

TEST_F(CameraSourceElement, NullStateInterruptsAWaitingCreateWhileTheCameraIsGone) {
    sim::EmulatedDeviceId id = 0;
    PlugCamera(640, 480, &id);
    Launch("tovekcamerasrc name=camera ! appsink name=out");
    EventRecorder events;
    ICameraSourceControl* control = tovek_camera_source_get_control(Get("camera"));
    control->lpVtbl->SetCallback(control, &EventRecorder::Callback, events.User());
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(Get("out")), 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr);
    gst_sample_unref(sample);

    ASSERT_TRUE(sim::UsbBus().PullOut(id));
    ASSERT_TRUE(events.WaitFor(CAMERA_SOURCE_STREAM_STOPPED));
    ASSERT_TRUE(events.WaitFor(CAMERA_SOURCE_DETACHED));
    // The streaming thread now waits for a picture that never comes.
    auto stopped = std::async(std::launch::async,
                              [this] { return gst_element_set_state(pipeline_, GST_STATE_NULL); });
    ASSERT_EQ(std::future_status::ready, stopped.wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(GST_STATE_CHANGE_SUCCESS, stopped.get());
    control->lpVtbl->SetCallback(control, nullptr, 0);
}

} // namespace
