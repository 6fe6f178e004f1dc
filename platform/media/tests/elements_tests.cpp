#include "platform/media.h"

#include "test_pictures.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using media_test::Bytes;
using media_test::SolidJpeg;

namespace {

// A pipeline from a launch line whose appsrc is named "src".
class Pipeline {
public:
    explicit Pipeline(const char* description) {
        pipeline_ = gst_parse_launch(description, nullptr);
        EXPECT_NE(pipeline_, nullptr) << description;
    }
    ~Pipeline() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // The element of that name; the pipeline keeps it alive.
    GstElement* Get(const char* name) {
        GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline_), name);
        gst_object_unref(element);
        return element;
    }
    void Play() { gst_element_set_state(pipeline_, GST_STATE_PLAYING); }
    void Push(const Bytes& data, GstClockTime pts = GST_CLOCK_TIME_NONE, int64_t captured = -1) {
        GstBuffer* buffer = gst_buffer_new_memdup(data.data(), data.size());
        tovek_media_set_capture_time(buffer, captured);
        GST_BUFFER_PTS(buffer) = pts;
        GST_BUFFER_DURATION(buffer) = GST_CLOCK_TIME_IS_VALID(pts) ? 83 * GST_MSECOND : pts;
        gst_app_src_push_buffer(GST_APP_SRC(Get("src")), buffer);
    }
    // Ends the stream and waits until it has drained, counting warnings.
    void Finish() {
        gst_app_src_end_of_stream(GST_APP_SRC(Get("src")));
        GstBus* bus = gst_element_get_bus(pipeline_);
        const auto types =
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING);
        while (GstMessage* msg = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, types)) {
            const GstMessageType type = GST_MESSAGE_TYPE(msg);
            warnings += type == GST_MESSAGE_WARNING;
            errors += type == GST_MESSAGE_ERROR;
            gst_message_unref(msg);
            if (type != GST_MESSAGE_WARNING) {
                ended = type == GST_MESSAGE_EOS;
                break;
            }
        }
        gst_object_unref(bus);
    }

    int warnings = 0;
    int errors = 0;
    bool ended = false;

private:
    GstElement* pipeline_;
};

class MediaElements : public testing::Test {
protected:
    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(tovek_media_register_elements());
        ASSERT_TRUE(tovek_media_register_elements()) << "a second call is harmless";
    }
};

TEST_F(MediaElements, DecoderFollowsSizeChangesAndSkipsBadPictures) {
    Pipeline p("appsrc name=src caps=image/jpeg ! tovekjpegdec ! appsink name=sink "
               "sync=false wait-on-eos=false caps=video/x-raw,format=BGRx");
    p.Play();
    const Bytes red = SolidJpeg(64, 48, 220, 20, 20);
    p.Push(red);
    p.Push(Bytes(3000, 0x77));                  // garbage
    p.Push(SolidJpeg(32, 16, 20, 20, 220));     // another size
    p.Push(Bytes(red.begin(), red.end() - 40)); // cut short
    p.Push(SolidJpeg(64, 48, 20, 220, 20));     // back to the first size
    p.Finish();
    EXPECT_TRUE(p.ended);
    EXPECT_EQ(p.errors, 0);
    EXPECT_EQ(p.warnings, 2) << "each skipped picture is reported";

    struct Expected {
        int width, height;
        uint8_t r, g, b;
    };
    const Expected expected[] = {
        {64, 48, 220, 20, 20}, {32, 16, 20, 20, 220}, {64, 48, 20, 220, 20}};
    size_t count = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(p.Get("sink")), 0)) {
        if (count < std::size(expected)) {
            const Expected& e = expected[count];
            GstVideoInfo info;
            GstVideoFrame frame;
            ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
            EXPECT_EQ(info.width, e.width);
            EXPECT_EQ(info.height, e.height);
            ASSERT_TRUE(
                gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ));
            const auto* centre =
                static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                e.height / 2 * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0) + e.width * 2;
            EXPECT_TRUE(media_test::NearColour(centre, e.r, e.g, e.b)) << "frame " << count;
            gst_video_frame_unmap(&frame);
        }
        ++count;
        gst_sample_unref(sample);
    }
    EXPECT_EQ(count, std::size(expected));
}

// While no pixels are wanted the decoder releases each picture unread, and
// decodes again from the next one wanted, also one asked for alone and one
// of a size that changed meanwhile. Pictures are pushed on the test's own
// thread, so each step has passed the decoder when the push returns.
TEST_F(MediaElements, DecoderSkipsPicturesWhileNoPixelsAreWanted) {
    Pipeline p("tovekjpegdec name=dec ! appsink name=sink sync=false async=false");
    p.Play();
    GstPad* src = gst_pad_new("src", GST_PAD_SRC);
    gst_pad_set_active(src, TRUE);
    GstPad* sink = gst_element_get_static_pad(p.Get("dec"), "sink");
    ASSERT_EQ(gst_pad_link(src, sink), GST_PAD_LINK_OK);
    gst_object_unref(sink);
    gst_pad_push_event(src, gst_event_new_stream_start("pictures"));
    GstCaps* jpeg = gst_caps_from_string("image/jpeg");
    gst_pad_push_event(src, gst_event_new_caps(jpeg));
    gst_caps_unref(jpeg);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_push_event(src, gst_event_new_segment(&segment));

    enum class Ask { kNone, kAll, kNextOnly };
    struct Step {
        Ask ask;
        int width;
        uint8_t red;
        bool decoded;
    };
    const Step steps[] = {
        {Ask::kAll, 64, 200, true},     {Ask::kNone, 64, 10, false}, {Ask::kNone, 32, 20, false},
        {Ask::kNextOnly, 32, 30, true}, {Ask::kNone, 32, 40, false}, {Ask::kAll, 48, 50, true},
    };
    for (const Step& step : steps) {
        tovek_media_set_pixels_wanted(step.ask == Ask::kAll);
        if (step.ask == Ask::kNextOnly)
            tovek_media_want_next_picture();
        const uint64_t before = tovek_media_decoded_pictures();
        const Bytes picture = SolidJpeg(step.width, 16, step.red, 0, 0);
        EXPECT_EQ(gst_pad_push(src, gst_buffer_new_memdup(picture.data(), picture.size())),
                  GST_FLOW_OK);
        EXPECT_EQ(tovek_media_decoded_pictures() - before, step.decoded ? 1u : 0u)
            << "picture " << int{step.red};
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(p.Get("sink")), 0);
        EXPECT_EQ(sample != nullptr, step.decoded) << "picture " << int{step.red};
        if (sample == nullptr)
            continue;
        GstVideoInfo info;
        GstMapInfo map;
        ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
        EXPECT_EQ(info.width, step.width);
        ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ));
        EXPECT_TRUE(media_test::NearColour(map.data, step.red, 0, 0)) << int{step.red};
        gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        gst_sample_unref(sample);
    }
    tovek_media_set_pixels_wanted(true);
    gst_object_unref(src);
}

// Each picture is decoded at the scale that covers the view size set for
// it and shrunk to the view where that fits, whole (its last pixel has the
// colour), and 0 x 0 is full size again.
// The next size is set only once the picture before has come out.
TEST_F(MediaElements, DecoderScalesEachPictureToTheViewSize) {
    Pipeline p("appsrc name=src caps=image/jpeg ! tovekjpegdec ! appsink name=sink sync=false");
    p.Play();
    struct Step {
        int view_width, view_height, width, height;
    };
    const Step steps[] = {
        {65, 25, 65, 25}, {60, 10, 60, 10},    {33, 12, 33, 12}, {0, 0, 130, 50},
        {17, 7, 17, 7},   {400, 400, 130, 50}, {4, 1, 17, 7}}; // beyond 4:1 after the largest
                                                               // scale: as it is
    uint8_t red = 10;
    for (const Step& step : steps) {
        tovek_media_set_view_size(step.view_width, step.view_height);
        p.Push(SolidJpeg(130, 50, red += 30, 90, 0));
        GstSample* sample =
            gst_app_sink_try_pull_sample(GST_APP_SINK(p.Get("sink")), GST_SECOND * 10);
        ASSERT_NE(sample, nullptr) << step.view_width;
        GstVideoInfo info;
        GstMapInfo map;
        ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
        EXPECT_TRUE(info.width == step.width && info.height == step.height)
            << "view " << step.view_width << ": " << info.width << "x" << info.height;
        ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ));
        EXPECT_TRUE(media_test::NearColour(map.data + map.size - 4, red, 90, 0)) << step.view_width;
        gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
        gst_sample_unref(sample);
    }
    tovek_media_set_view_size(0, 0);
}

// Records what the renderer hands over.
struct FakeWindow : VideoWindow {
    struct Shown {
        int width, height;
        RECT destination;
        uint8_t first_pixel[3];
    };
    void PresentFrame(const uint8_t* pixels, int width, int height, int /*stride*/,
                      const RECT& destination) override {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({width, height, destination, {pixels[0], pixels[1], pixels[2]}});
    }
    void ClearVideo() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++clears;
    }
    std::mutex mutex; // guards shown and clears
    std::vector<Shown> shown;
    int clears = 0;
};

// What the sample callback saw; it marks the start of every sample.
struct Seen {
    std::mutex mutex; // guards everything below
    int calls = 0;
    bool frames_ok = true;
    std::vector<REFERENCE_TIME> starts;
    std::vector<LONG> lengths;
};

int MarkSample(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end, int flag,
               void* context) {
    auto* seen = static_cast<Seen*>(context);
    std::lock_guard<std::mutex> lock(seen->mutex);
    ++seen->calls;
    BYTE* p = nullptr;
    REFERENCE_TIME s = -1, e = -1;
    const HRESULT timed = sample->GetTime(&s, &e);
    seen->frames_ok = seen->frames_ok && flag == 0 && sample->GetPointer(&p) == S_OK &&
                      s == *start && e == *end && (timed == S_OK || s == 0);
    seen->starts.push_back(timed == S_OK ? s : -1);
    seen->lengths.push_back(sample->GetActualDataLength());
    if (sample->GetWidth() > 0) {
        seen->frames_ok =
            seen->frames_ok && sample->GetStride() >= sample->GetWidth() * 4 &&
            sample->GetActualDataLength() == sample->GetStride() * sample->GetHeight();
        p[0] = 0x11; // B, G, R of the top-left pixel
        p[1] = 0x22;
        p[2] = 0x33;
    } else {
        p[2] ^= 0xFF; // a compressed picture: flip a byte of its header
    }
    return 0;
}

constexpr const char* kRenderLine =
    "appsrc name=src caps=image/jpeg ! tovekjpegdec ! toveksamplegrabber name=grabber ! "
    "tovekvideosink name=sink sync=false show-preroll-frame=false";

TEST_F(MediaElements, GrabberChangesReachTheWindowWithTheDestination) {
    Pipeline p(kRenderLine);
    FakeWindow window;
    Seen seen;
    tovek_sample_grabber_set_callback(p.Get("grabber"), MarkSample, &seen);
    g_object_set(p.Get("sink"), "window", static_cast<VideoWindow*>(&window), nullptr);
    tovek_video_sink_set_destination(p.Get("sink"), 10, -20, 300, 200);
    p.Play();
    p.Push(SolidJpeg(40, 30, 200, 200, 200));
    p.Push(SolidJpeg(48, 30, 200, 200, 200));
    p.Finish();
    EXPECT_TRUE(p.ended);

    EXPECT_EQ(seen.calls, 2);
    EXPECT_TRUE(seen.frames_ok);
    ASSERT_EQ(window.shown.size(), 2u);
    EXPECT_EQ(window.shown[0].width, 40);
    EXPECT_EQ(window.shown[1].width, 48);
    for (const FakeWindow::Shown& s : window.shown) {
        EXPECT_EQ(s.height, 30);
        const RECT& d = s.destination;
        EXPECT_TRUE(d.left == 10 && d.top == -20 && d.right == 310 && d.bottom == 180);
        EXPECT_TRUE(s.first_pixel[0] == 0x11 && s.first_pixel[1] == 0x22 &&
                    s.first_pixel[2] == 0x33);
    }
}

TEST_F(MediaElements, NothingIsShownWithoutWindowOrVisibleDestination) {
    struct Case {
        bool with_window;
        int width, height;
    };
    for (const Case& c : {Case{true, 1, 1}, Case{true, 0, 0}, Case{true, 200, 0},
                          Case{true, -5, 50}, Case{false, 300, 200}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.with_window);
        Pipeline p(kRenderLine);
        FakeWindow window;
        tovek_video_sink_set_window(p.Get("sink"), c.with_window ? &window : nullptr);
        tovek_video_sink_set_destination(p.Get("sink"), 0, 0, c.width, c.height);
        p.Play();
        p.Push(SolidJpeg(16, 16, 1, 2, 3));
        p.Finish();
        EXPECT_TRUE(p.ended);
        EXPECT_TRUE(window.shown.empty());
    }
}

TEST_F(MediaElements, HidingTheDestinationClearsTheWindowOnce) {
    GstElement* sink = gst_element_factory_make("tovekvideosink", nullptr);
    ASSERT_NE(sink, nullptr);
    FakeWindow window;
    tovek_video_sink_set_window(sink, &window);
    tovek_video_sink_set_destination(sink, 0, 0, 1, 1); // nothing shown yet: nothing to clear
    EXPECT_EQ(window.clears, 0);
    for (int hidden_width : {1, 0}) {
        tovek_video_sink_set_destination(sink, 0, 0, 640, 480);
        tovek_video_sink_set_destination(sink, 0, 0, hidden_width, hidden_width);
        tovek_video_sink_set_destination(sink, 0, 0, hidden_width, hidden_width);
    }
    EXPECT_EQ(window.clears, 2);

    gpointer current = nullptr;
    g_object_get(sink, "window", &current, nullptr);
    EXPECT_EQ(current, &window);
    tovek_video_sink_set_window(sink, nullptr);
    tovek_video_sink_set_destination(sink, 0, 0, 640, 480);
    tovek_video_sink_set_destination(sink, 0, 0, 1, 1);
    EXPECT_EQ(window.clears, 2) << "a removed window is not called";
    gst_object_unref(sink);
}

TEST_F(MediaElements, GrabberHandsOverCompressedPicturesUntilCleared) {
    Pipeline p("appsrc name=src caps=image/jpeg ! toveksamplegrabber name=grabber ! "
               "appsink name=sink sync=false wait-on-eos=false");
    Seen seen;
    tovek_sample_grabber_set_callback(p.Get("grabber"), MarkSample, &seen);
    p.Play();
    const Bytes jpeg = SolidJpeg(24, 24, 9, 9, 9);
    p.Push(jpeg, GST_SECOND);
    GstSample* first = gst_app_sink_try_pull_sample(GST_APP_SINK(p.Get("sink")), 10 * GST_SECOND);
    ASSERT_NE(first, nullptr);
    tovek_sample_grabber_set_callback(p.Get("grabber"), nullptr, nullptr);
    p.Push(jpeg);
    p.Finish();

    EXPECT_EQ(seen.calls, 1);
    EXPECT_TRUE(seen.frames_ok);
    EXPECT_EQ(seen.starts, std::vector<REFERENCE_TIME>{10'000'000});
    EXPECT_EQ(seen.lengths, std::vector<LONG>{static_cast<LONG>(jpeg.size())});
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(first), &map, GST_MAP_READ));
    EXPECT_EQ(map.data[2], jpeg[2] ^ 0xFF) << "the callback's change travels downstream";
    gst_buffer_unmap(gst_sample_get_buffer(first), &map);
    gst_sample_unref(first);
}

// Keeps every frame it is shown, as the program's view keeps the newest.
struct KeepingWindow : VideoWindow {
    void PresentFrame(const uint8_t*, int, int, int, const RECT&) override {
        ADD_FAILURE() << "the renderer hands over frames to keep";
    }
    void PresentSharedFrame(const SharedVideoFrame& frame, const RECT&) override {
        std::lock_guard<std::mutex> lock(mutex);
        kept.push_back(frame);
    }
    void ClearVideo() override {}
    std::mutex mutex; // guards kept
    std::vector<SharedVideoFrame> kept;
};

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TEST_F(MediaElements, KeptFramesStayAsTheyWereAndTellWhenTheyWereCaptured) {
    const int64_t before = SteadyNs();
    KeepingWindow window;
    {
        Pipeline p("appsrc name=src format=time caps=image/jpeg ! tovekjpegdec ! "
                   "tovekvideosink name=sink sync=false show-preroll-frame=false");
        tovek_video_sink_set_window(p.Get("sink"), &window);
        tovek_video_sink_set_destination(p.Get("sink"), 0, 0, 64, 48);
        p.Play();
        p.Push(SolidJpeg(32, 24, 10, 10, 10), 0, 1'000'000);           // stamped
        p.Push(SolidJpeg(32, 24, 128, 128, 128), 0, 2'000'000);        // stamped
        p.Push(SolidJpeg(32, 24, 250, 250, 250), GST_CLOCK_TIME_NONE); // nothing known
        p.Push(SolidJpeg(32, 24, 60, 60, 60), 0);                      // its time stamp
        p.Finish();
        EXPECT_TRUE(p.ended);
    } // the pipeline is gone; the kept frames are not
    const int64_t after = SteadyNs();
    ASSERT_EQ(4u, window.kept.size());
    const int grey[] = {10, 128, 250, 60};
    for (size_t i = 0; i < 4; ++i) {
        const VideoFrame& f = *window.kept[i];
        EXPECT_EQ(32, f.width);
        EXPECT_EQ(24, f.height);
        EXPECT_GE(f.stride, 32 * 4);
        // Later frames were decoded into other buffers.
        EXPECT_NEAR(grey[i], f.pixels[0], 3) << i;
        EXPECT_NEAR(grey[i], f.pixels[f.stride * 23 + 31 * 4 + 2], 3) << i;
    }
    EXPECT_EQ(1'000'000, window.kept[0]->capture_ns);
    EXPECT_EQ(2'000'000, window.kept[1]->capture_ns);
    EXPECT_EQ(-1, window.kept[2]->capture_ns);
    // Time stamp 0 is when the pipeline started to play.
    EXPECT_GE(window.kept[3]->capture_ns, before);
    EXPECT_LE(window.kept[3]->capture_ns, after);
    window.kept.clear(); // gives the buffers back to the gone pipeline's pool
}

TEST_F(MediaElements, DecodedFramesLiveInFilesADisplayServerCanMap) {
    KeepingWindow window;
    {
        // The grabber between writes into the frames in place, as the
        // annotations do: the renderer's blocks must still reach the decoder.
        Pipeline p(
            "appsrc name=src format=time caps=image/jpeg ! tovekjpegdec ! "
            "toveksamplegrabber ! tovekvideosink name=sink sync=false show-preroll-frame=false");
        tovek_video_sink_set_window(p.Get("sink"), &window);
        tovek_video_sink_set_destination(p.Get("sink"), 0, 0, 64, 48);
        p.Play();
        for (int grey : {20, 90, 160, 230})
            p.Push(SolidJpeg(40, 30, grey, grey, grey), 0);
        p.Finish();
        EXPECT_TRUE(p.ended);
    }
    ASSERT_EQ(4u, window.kept.size());
    std::set<uint64_t> ids;
    for (const SharedVideoFrame& f : window.kept) {
        ASSERT_GE(f->shared_fd, 0);
        const size_t bytes = static_cast<size_t>(f->stride) * f->height;
        ASSERT_LE(f->shared_offset + bytes, f->shared_file_size);
        // What the server would read is what the window is shown.
        std::vector<uint8_t> read(bytes);
        ASSERT_EQ(pread(f->shared_fd, read.data(), bytes, static_cast<off_t>(f->shared_offset)),
                  static_cast<ssize_t>(bytes));
        EXPECT_EQ(0, std::memcmp(read.data(), f->pixels, bytes));
        ids.insert(f->shared_id);
    }
    EXPECT_EQ(4u, ids.size()) << "frames held at once are different blocks";
    window.kept.clear();
}

// The address a callback was handed.
int KeepPointer(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, int, void* context) {
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    *static_cast<const BYTE**>(context) = p;
    return 0;
}

TEST_F(MediaElements, ReadOnlyGrabberShowsSharedBytesWithoutCopying) {
    // A source's read-only picture, as a camera element hands it out.
    static const Bytes jpeg = SolidJpeg(24, 24, 9, 9, 9);
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable);
        Pipeline p("appsrc name=src caps=image/jpeg ! toveksamplegrabber name=grabber ! "
                   "appsink name=sink sync=false wait-on-eos=false");
        g_object_set(p.Get("grabber"), "writable", writable, nullptr);
        gboolean set = !writable;
        g_object_get(p.Get("grabber"), "writable", &set, nullptr);
        EXPECT_EQ(writable, static_cast<bool>(set));
        const BYTE* seen = nullptr;
        tovek_sample_grabber_set_callback(p.Get("grabber"), KeepPointer, &seen);
        p.Play();
        GstBuffer* buffer =
            gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(jpeg.data()),
                                        jpeg.size(), 0, jpeg.size(), nullptr, nullptr);
        gst_app_src_push_buffer(GST_APP_SRC(p.Get("src")), buffer);
        GstSample* out = gst_app_sink_try_pull_sample(GST_APP_SINK(p.Get("sink")), 10 * GST_SECOND);
        ASSERT_NE(out, nullptr);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(out), &map, GST_MAP_READ));
        EXPECT_EQ(writable, seen != jpeg.data()) << "only a writable grabber copies";
        EXPECT_EQ(seen, map.data) << "what the callback saw travels on";
        EXPECT_EQ(Bytes(map.data, map.data + map.size), jpeg);
        gst_buffer_unmap(gst_sample_get_buffer(out), &map);
        gst_sample_unref(out);
        p.Finish();
        EXPECT_EQ(0, p.errors);
    }
}

} // namespace
