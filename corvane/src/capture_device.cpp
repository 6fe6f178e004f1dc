#include "capture_device.h"

#include "device_finder.h"
#include "platform/device_access.h"

#include <cstring>
#include <unistd.h>

namespace corvane {

// How long Run waits for the first pictures to flow, so that the stream's
// format is known when it returns; a camera that takes longer keeps starting.
constexpr GstClockTime kRunWait = 2 * GST_SECOND;
// How long opening a camera to list its formats may take.
constexpr GstClockTime kProbeWait = 5 * GST_SECOND;

namespace {

// The graph reports through return values; its bus would only pile up. A
// sync handler that drops a message owns it.
GstBusSyncReply DropMessage(GstBus* /*bus*/, GstMessage* message, gpointer /*data*/) {
    gst_message_unref(message);
    return GST_BUS_DROP;
}

platform::GstRef<GstElement> MakeElement(const char* factory, const char* name) {
    return platform::SinkRef(gst_element_factory_make(factory, name));
}

// The source the device record names, reading from the device's node.
platform::GstRef<GstElement> CreateCameraElement(const platform::VideoInputDevice& camera) {
    if (camera.source_factory.empty()) {
        return nullptr;
    }
    platform::GstRef<GstElement> source = MakeElement(camera.source_factory.c_str(), "camera");
    if (source != nullptr) {
        g_object_set(source.get(), "device", camera.path.c_str(), nullptr);
    }
    return source;
}

// The camera element and a format filter behind one ghost pad "src". The
// filter stays the bin's: *filter is valid while the bin lives.
platform::GstRef<GstElement> MakeCameraSource(const platform::VideoInputDevice& camera,
                                              GstElement** filter) {
    const platform::GstRef<GstElement> source = CreateCameraElement(camera);
    const platform::GstRef<GstElement> format = MakeElement("capsfilter", "format");
    if (source == nullptr || format == nullptr) {
        return nullptr;
    }
    g_autoptr(GstCaps) any_jpeg = gst_caps_new_empty_simple("image/jpeg");
    g_object_set(format.get(), "caps", any_jpeg, nullptr);
    platform::GstRef<GstElement> bin = platform::SinkRef(gst_bin_new("Tovek Camera Source"));
    gst_bin_add_many(GST_BIN(bin.get()), source.get(), format.get(), nullptr);
    g_autoptr(GstPad) pad = gst_element_get_static_pad(format.get(), "src");
    // The new ghost pad is floating: the bin takes it, or drops it on failure.
    if (!gst_element_link(source.get(), format.get()) ||
        !gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", pad))) {
        return nullptr;
    }
    *filter = format.get();
    return bin;
}

} // namespace

bool EnsureGStreamer() {
    static const bool ready = [] {
        g_autoptr(GError) error = nullptr;
        if (!gst_init_check(nullptr, nullptr, &error)) {
            return false;
        }
        return tovek_media_register_elements();
    }();
    return ready;
}

bool CanBind(const platform::VideoInputDevice& camera) {
    if (!EnsureGStreamer() || camera.source_factory.empty()) {
        return false;
    }
    g_autoptr(GstElementFactory) factory = gst_element_factory_find(camera.source_factory.c_str());
    if (factory == nullptr) {
        return false;
    }
    // A node that is listed but refused (no permission, another program's)
    // is recorded, so the program can say why there is no picture.
    const int error = Provider().CheckOpen(camera);
    if (error != 0) {
        platform::ReportDeviceAccessError(camera.vendor_id, camera.product_id, error,
                                          "open(" + camera.path +
                                              ", O_RDWR): " + strerrorname_np(error));
        return false;
    }
    platform::ClearDeviceAccessError(camera.vendor_id, camera.product_id);
    return true;
}

int CopyStreamMediaType(const GstCaps* caps, MediaTypeRecord* record, VIDEOINFOHEADER* out) {
    if (!MediaTypeFromCaps(caps, record)) {
        return -1;
    }
    CopyVideoInfo(record->type, out);
    return 0;
}

// ---- CorvaneDeviceControl ----------------------------------------------------------

CorvaneDeviceControl::CorvaneDeviceControl() {
    EnsureGStreamer();
}

CorvaneDeviceControl::~CorvaneDeviceControl() {
    CorvaneDeviceControl::TearDown();
}

int CorvaneDeviceControl::GetStreamMediaType(VIDEOINFOHEADER* /*out*/) {
    return 0;
}

int CorvaneDeviceControl::SendCmd(uint8_t command) {
    platform::MutexLock lock(xu_mutex_);
    return extension_unit_ ? SendCommandSequence(*extension_unit_, command) : -1;
}

int CorvaneDeviceControl::GetState(int* state) {
    platform::MutexLock lock(xu_mutex_);
    return extension_unit_ ? ReadStateSequence(*extension_unit_, state) : -1;
}

int CorvaneDeviceControl::Exchange(uint8_t value, uint8_t reply[4]) {
    platform::MutexLock lock(xu_mutex_);
    return extension_unit_ ? ExchangeControl(*extension_unit_, value, reply) : -1;
}

bool CorvaneDeviceControl::FindCaptureFilter() {
    platform::VideoInputDevice camera;
    if (!FindCamera(Provider(), CurrentMonikerPrefix(), &camera)) {
        // Not there at all: what was said about the camera's access is over.
        platform::ClearDeviceAccessError(platform::kRvxVendorId, platform::kRvxProductId);
        return false;
    }
    if (!CanBind(camera)) {
        return false;
    }
    camera_ = std::move(camera);
    return true;
}

bool CorvaneDeviceControl::BuildCameraPart(GstBusSyncHandler handler, gpointer data) {
    if (!EnsureGStreamer() || !FindCaptureFilter()) {
        return false;
    }
    pipeline_ = platform::SinkRef(gst_pipeline_new("Corvane Capture Graph"));
    {
        // The one handler of this graph's bus, set before any element can post.
        g_autoptr(GstBus) bus = gst_element_get_bus(pipeline_.get());
        gst_bus_set_sync_handler(bus, handler, data, nullptr);
    }

    GstElement* filter = nullptr;
    const platform::GstRef<GstElement> source = MakeCameraSource(camera_, &filter);
    if (source == nullptr || !gst_bin_add(GST_BIN(pipeline_.get()), source.get())) {
        return false;
    }
    camera_source_ = source.get();
    format_filter_ = filter;
    std::vector<uint8_t> descriptors;
    if (!Provider().ReadUsbDescriptors(camera_, &descriptors)) {
        return false;
    }
    const int unit_id = FindFirstExtensionUnit(descriptors);
    auto transport = unit_id >= 0 ? OpenExtensionUnitTransport(camera_) : nullptr;
    if (!transport) {
        return false;
    }
    platform::MutexLock lock(xu_mutex_);
    extension_unit_ =
        std::make_unique<ExtensionUnitControl>(std::move(transport), static_cast<uint8_t>(unit_id));
    return true;
}

bool CorvaneDeviceControl::Build(bool /*connect*/) {
    if (!BuildCameraPart(&DropMessage, nullptr)) {
        TearDown();
        return false;
    }
    return true;
}

void CorvaneDeviceControl::TearDown() {
    {
        platform::MutexLock lock(xu_mutex_);
        extension_unit_.reset();
    }
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        // The streaming threads have ended; the handler's data may go next.
        g_autoptr(GstBus) bus = gst_element_get_bus(pipeline_.get());
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    }
    camera_source_ = nullptr;
    format_filter_ = nullptr;
    pipeline_.reset();
}

} // namespace corvane

// ---- CorvaneCaptureDevice ------------------------------------------------------------

using corvane::GrabberCallback;

CorvaneCaptureDevice::CorvaneCaptureDevice()
    : error_stop_([this](uint32_t generation) { StopAfterError(generation); }) {}

CorvaneCaptureDevice::~CorvaneCaptureDevice() {
    CorvaneCaptureDevice::TearDown();
}

bool CorvaneCaptureDevice::Build(bool connect) {
    // Makes an element and adds it to the graph, which owns it from then on;
    // *member points to it, or is null when it could not be made or added.
    const auto add = [this](GstElement** member, const char* factory, const char* name) {
        const platform::GstRef<GstElement> element =
            platform::SinkRef(gst_element_factory_make(factory, name));
        const bool added =
            element != nullptr && gst_bin_add(GST_BIN(pipeline_.get()), element.get());
        *member = added ? element.get() : nullptr;
        return added;
    };
    bool built = BuildCameraPart(&CorvaneCaptureDevice::OnBusMessage, this);
    if (built) {
        built = add(&stream_grabber_, "toveksamplegrabber", "Stream Callback");
        built = add(&sample_grabber_, "toveksamplegrabber", "Sample Grabber") && built;
        built = add(&decoder_, "tovekjpegdec", "MJPEG Decompressor") && built;
        built = add(&smart_tee_, "tee", "Smart Tee") && built;
    }
    if (built) {
        // The stream grabber shows the compressed bytes as the camera gave
        // them (the stream callback only reads them, so no copy is made);
        // the sample grabber hands over the decoded sample itself.
        g_object_set(stream_grabber_, "writable", FALSE, nullptr);
        tovek_sample_grabber_set_callback(stream_grabber_, &GrabberCallback::BufferTrampoline,
                                          &stream_callback_);
        tovek_sample_grabber_set_callback(sample_grabber_, &GrabberCallback::SampleTrampoline,
                                          &sample_callback_);
        // The capture output stays unconnected, as nothing records from it.
        g_object_set(smart_tee_, "allow-not-linked", TRUE, nullptr);
        if (chosen_format_) {
            g_autoptr(GstCaps) caps = corvane::CapsForFormat(*chosen_format_);
            g_object_set(format_filter_, "caps", caps, nullptr);
        }
    }
    if (!built || (connect && !Connect())) {
        TearDown();
        return false;
    }
    return true;
}

bool CorvaneCaptureDevice::Connect() {
    // The tee keeps its request pads; these references are only for linking.
    g_autoptr(GstPad) capture = gst_element_request_pad_simple(smart_tee_, "src_%u");
    g_autoptr(GstPad) preview = gst_element_request_pad_simple(smart_tee_, "src_%u");
    g_autoptr(GstPad) grabber_sink = gst_element_get_static_pad(stream_grabber_, "sink");
    const platform::GstRef<GstElement> renderer =
        platform::SinkRef(gst_element_factory_make("tovekvideosink", "Video Renderer"));
    bool linked = capture != nullptr && preview != nullptr && renderer != nullptr &&
                  gst_bin_add(GST_BIN(pipeline_.get()), renderer.get()) &&
                  gst_element_link_pads(camera_source_, "src", smart_tee_, "sink") &&
                  gst_pad_link(preview, grabber_sink) == GST_PAD_LINK_OK &&
                  gst_element_link_pads(stream_grabber_, "src", decoder_, "sink") &&
                  gst_element_link_pads(decoder_, "src", sample_grabber_, "sink") &&
                  gst_element_link_pads(sample_grabber_, "src", renderer.get(), "sink");
    // Kept when the graph took it, even if a link failed; the graph owns it.
    renderer_ = renderer != nullptr && GST_OBJECT_PARENT(renderer.get()) != nullptr ? renderer.get()
                                                                                    : nullptr;
    linked = linked && renderer_ != nullptr;
    if (linked) {
        // A live picture is shown as soon as it is decoded. Not keeping the
        // last frame lets the decoder write every frame into the same
        // buffer, which stays warm in the caches.
        g_object_set(renderer_, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    }
    connected_ = linked;
    return linked;
}

void CorvaneCaptureDevice::TearDown() {
    // A stop requested for this graph finds a newer generation and is dropped.
    platform::MutexLock lock(state_lock_);
    running_ = false;
    run_generation_.fetch_add(1);
    for (GstElement* grabber : {stream_grabber_, sample_grabber_}) {
        if (grabber != nullptr) {
            tovek_sample_grabber_set_callback(grabber, nullptr, nullptr);
        }
    }
    if (renderer_ != nullptr) {
        tovek_video_sink_set_window(renderer_, nullptr);
    }
    stream_grabber_ = nullptr;
    sample_grabber_ = nullptr;
    decoder_ = nullptr;
    smart_tee_ = nullptr;
    renderer_ = nullptr;
    connected_ = false;
    stream_callback_.SetStreamCallback(nullptr, nullptr);
    sample_callback_.SetStreamCallback(nullptr, nullptr);
    CorvaneDeviceControl::TearDown();
}

void CorvaneCaptureDevice::SetStreamCallback(StreamCallback callback, void* user) {
    stream_callback_.SetStreamCallback(callback, user);
}

void CorvaneCaptureDevice::SetSampleCallback(SampleCallback callback, void* user) {
    sample_callback_.SetSampleCallback(callback, user);
}

void CorvaneCaptureDevice::SetSampleCallbackEx(SampleCallbackEx callback, void* user) {
    sample_callback_.SetSampleCallbackEx(callback, user);
}

int CorvaneCaptureDevice::Run() {
    {
        platform::MutexLock lock(state_lock_);
        if (!connected_) {
            return -1;
        }
        // A new start: the failure of the last run is forgotten, and a stop
        // still requested for it is dropped.
        run_generation_.fetch_add(1);
        error_.Clear();
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(pipeline_.get(), GST_STATE_READY);
            return -1;
        }
        running_ = true;
    }
    // Waited for without the lock, so that a failure while starting (a
    // format the graph cannot take) stops the graph and ends the wait at once.
    const GstStateChangeReturn settled =
        gst_element_get_state(pipeline_.get(), nullptr, nullptr, corvane::kRunWait);
    platform::MutexLock lock(state_lock_);
    if (!running_) {
        return -1; // stopped by a failure meanwhile
    }
    if (settled == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipeline_.get(), GST_STATE_READY);
        running_ = false;
        return -1;
    }
    return 0;
}

int CorvaneCaptureDevice::Stop() {
    platform::MutexLock lock(state_lock_);
    if (pipeline_ == nullptr) {
        return -1;
    }
    running_ = false;
    return gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE ? -1
                                                                                               : 0;
}

GstBusSyncReply CorvaneCaptureDevice::OnBusMessage(GstBus* /*bus*/, GstMessage* message,
                                                   gpointer data) {
    // Nobody else reads the bus: dropped, so nothing piles up over hours.
    g_autoptr(GstMessage) dropped = message;
    auto* self = static_cast<CorvaneCaptureDevice*>(data);
    if (auto failure = platform::CaptureErrorFromMessage(dropped)) {
        const uint32_t generation = self->run_generation_.load();
        if (self->error_.Keep(std::move(*failure))) {
            self->error_stop_.Request(generation);
        }
    }
    return GST_BUS_DROP;
}

void CorvaneCaptureDevice::StopAfterError(uint32_t generation) {
    {
        platform::MutexLock lock(state_lock_);
        if (generation != run_generation_.load()) {
            return; // a new run cleared the failure, or the graph is gone
        }
        if (running_) {
            gst_element_set_state(pipeline_.get(), GST_STATE_READY);
            running_ = false;
        }
    }
    // Sent after the state lock is released: the caller's callback never
    // holds up a Run or Stop on the caller's thread.
    stream_callback_.NotifyStreamError();
}

int CorvaneCaptureDevice::GetLastError(char* user_text, int user_size, char* debug_text,
                                       int debug_size) const {
    return error_.Copy(user_text, user_size, debug_text, debug_size);
}

int CorvaneCaptureDevice::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (window == nullptr || renderer_ == nullptr) {
        return -1;
    }
    tovek_video_sink_set_window(renderer_, window);
    tovek_video_sink_set_destination(renderer_, x, y, width, height);
    return 0;
}

int CorvaneCaptureDevice::Refresh(int x, int y, int width, int height) {
    if (renderer_ == nullptr) {
        return -1;
    }
    tovek_video_sink_set_destination(renderer_, x, y, width, height);
    return 0;
}

int CorvaneCaptureDevice::GetStreamMediaType(VIDEOINFOHEADER* out) {
    media_type_.Clear();
    if (!connected_) {
        return -1;
    }
    g_autoptr(GstPad) pad = gst_element_get_static_pad(stream_grabber_, "sink");
    g_autoptr(GstCaps) caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr && chosen_format_) {
        // Not streaming yet: the chosen format is what will flow.
        caps = corvane::CapsForFormat(*chosen_format_);
    }
    return corvane::CopyStreamMediaType(caps, &media_type_, out);
}

std::vector<CorvaneVideoFormat> CorvaneCaptureDevice::ProbeFormats() {
    std::vector<CorvaneVideoFormat> formats;
    g_autoptr(GstElement) camera = gst_bin_get_by_name(GST_BIN(camera_source_), "camera");
    if (camera == nullptr) {
        return formats;
    }
    // A real camera lists its formats once it is opened.
    if (gst_element_set_state(camera, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE &&
        gst_element_get_state(camera, nullptr, nullptr, corvane::kProbeWait) !=
            GST_STATE_CHANGE_FAILURE) {
        g_autoptr(GstPad) pad = gst_element_get_static_pad(camera, "src");
        g_autoptr(GstCaps) caps = gst_pad_query_caps(pad, nullptr);
        formats = corvane::CompressedFormats(caps);
    }
    gst_element_set_state(camera, GST_STATE_NULL);
    return formats;
}

int CorvaneCaptureDevice::VideoCapturePin(CORVANE_OWNER_WINDOW window) {
    if (window == nullptr || window->ChooseCaptureFormat == nullptr) {
        return -1;
    }
    TearDown();
    if (!Build(false)) {
        return -1;
    }
    const std::vector<CorvaneVideoFormat> formats = ProbeFormats();
    if (formats.empty()) {
        return -1;
    }
    int current = -1;
    if (chosen_format_) {
        g_autoptr(GstCaps) caps = corvane::CapsForFormat(*chosen_format_);
        current = corvane::FormatIndex(formats, caps);
    }
    const int count = static_cast<int>(formats.size());
    const int choice = window->ChooseCaptureFormat(window, formats.data(), count, current);
    if (choice >= 0 && choice < count) {
        chosen_format_ = formats[static_cast<size_t>(choice)];
        g_autoptr(GstCaps) caps = corvane::CapsForFormat(*chosen_format_);
        g_object_set(format_filter_, "caps", caps, nullptr);
    } else if (choice != -1) {
        return -1;
    }
    return Connect() ? 0 : -1;
}
