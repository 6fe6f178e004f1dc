#include "capture_device.h"

#include "media_setup.h"
#include "open_cancel.h"

#include <pthread.h>

#include <optional>
#include <string>

GST_DEBUG_CATEGORY_STATIC(tovek_q5usb_debug);
#define GST_CAT_DEFAULT tovek_q5usb_debug

namespace {

// Devices whose camera is attached (at most one: the driver serves one).
std::atomic<int> g_attached_devices{0};

// A warning that the decoder skipped a picture: what it said, or nullopt for
// any other message. Errors and warnings go to the debug log as well.
std::optional<std::string> LogAndReadRefusal(GstMessage* message) {
    const bool is_error = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    if (!is_error && GST_MESSAGE_TYPE(message) != GST_MESSAGE_WARNING) {
        return std::nullopt;
    }
    GError* error = nullptr;
    gchar* debug = nullptr;
    if (is_error) {
        gst_message_parse_error(message, &error, &debug);
    } else {
        gst_message_parse_warning(message, &error, &debug);
    }
    GST_WARNING_OBJECT(GST_MESSAGE_SRC(message), "%s (%s)", error->message,
                       debug != nullptr ? debug : "");
    std::optional<std::string> refusal;
    if (!is_error && error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_DECODE) {
        refusal = std::string(GST_MESSAGE_SRC_NAME(message)) + ": " + error->message + " (" +
                  (debug != nullptr ? debug : "") + ")";
    }
    g_clear_error(&error);
    g_free(debug);
    return refusal;
}

GstElement* Make(const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (element == nullptr) {
        GST_ERROR("cannot make %s", factory);
    }
    return element;
}

// The camera source, whose creation waits for a camera until an open is
// cancelled.
GstElement* MakeSource() {
    g_autoptr(GCancellable) cancel = q5cap::OpenCancellable();
    const char* names[] = {"name", TOVEK_CAMERA_SOURCE_CANCELLABLE_PROPERTY};
    GValue values[2] = {G_VALUE_INIT, G_VALUE_INIT};
    g_value_init(&values[0], G_TYPE_STRING);
    g_value_set_static_string(&values[0], "Tovek Camera Source");
    g_value_init(&values[1], G_TYPE_CANCELLABLE);
    g_value_set_object(&values[1], cancel);
    GstElement* element =
        gst_element_factory_make_with_properties("tovekcamerasrc", 2, names, values);
    g_value_unset(&values[0]);
    g_value_unset(&values[1]);
    if (element == nullptr) {
        GST_ERROR("cannot make tovekcamerasrc");
    }
    return element;
}

} // namespace

int TovekQ5UsbAttachedDevices() {
    return g_attached_devices.load();
}

std::unique_ptr<TovekQ5UsbDevice> TovekQ5UsbDevice::Open() {
    if (!q5cap::EnsureMediaElements()) {
        return nullptr;
    }
    GST_DEBUG_CATEGORY_INIT(tovek_q5usb_debug, "tovekq5usb", 0, "TovekQ5usb capture control");
    GstElement* source = MakeSource();
    if (source == nullptr) {
        return nullptr;
    }
    gst_object_ref_sink(source);
    ICameraSourceControl* control = tovek_camera_source_get_control(source);
    int32_t width = 0;
    int32_t height = 0;
    // The source measured a picture only when a camera answered.
    if (control == nullptr || control->lpVtbl->GetFrameSize(control, &width, &height) != S_OK) {
        gst_object_unref(source);
        return nullptr;
    }
    // This library starts and stops the camera itself.
    g_object_set(source, "auto-start", FALSE, nullptr);
    control->lpVtbl->SetFrameSize(control, width, height);
    return std::unique_ptr<TovekQ5UsbDevice>(new TovekQ5UsbDevice(source, control));
}

TovekQ5UsbDevice::TovekQ5UsbDevice(GstElement* source, ICameraSourceControl* control)
    : source_(source), control_(control) {
    g_attached_devices.fetch_add(1);
    event_thread_ = std::thread(&TovekQ5UsbDevice::EventLoop, this);
    control_->lpVtbl->SetCallback(control_, &TovekQ5UsbDevice::OnSourceEvent,
                                  reinterpret_cast<uintptr_t>(this));
}

TovekQ5UsbDevice::~TovekQ5UsbDevice() {
    {
        platform::MutexLock pipeline(pipeline_lock_);
        running_ = false;
        run_generation_.fetch_add(1); // a queued stop after a failure is dropped
        if (pipeline_ != nullptr) {
            gst_element_set_state(pipeline_, GST_STATE_NULL); // the streaming thread has ended
        }
    }
    control_->lpVtbl->Control(control_, 0);
    control_->lpVtbl->SetCallback(control_, nullptr, 0); // no source event after this
    {
        platform::MutexLock events(event_lock_);
        quit_ = true;
    }
    event_ready_.NotifyAll();
    event_thread_.join();
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
    }
    gst_object_unref(source_); // the last reference: the source releases the driver
    SetAttached(false);
}

void TOVEK_STDCALL TovekQ5UsbDevice::OnSourceEvent(uint32_t event, uintptr_t value1,
                                                   uintptr_t value2, uintptr_t user) {
    auto* self = reinterpret_cast<TovekQ5UsbDevice*>(user);
    if (event == CAMERA_SOURCE_STREAM_STARTED || event == CAMERA_SOURCE_STREAM_STOPPED) {
        self->camera_streaming_.store(event == CAMERA_SOURCE_STREAM_STARTED);
    }
    if (event == CAMERA_SOURCE_PICTURE) {
        // On the streaming thread, while the picture's buffer is ours to read.
        self->DeliverEvent(Q5_STREAM_PICTURE, reinterpret_cast<BYTE*>(value1),
                           static_cast<LONG>(value2));
        return;
    }
    if (event == CAMERA_SOURCE_ATTACHED) {
        self->SetAttached(true);
    } else if (event == CAMERA_SOURCE_DETACHED) {
        self->SetAttached(false);
    }
    // Not on the driver's thread: the caller's callback must never hold it up.
    self->QueueEvent(static_cast<int>(event));
}

int TovekQ5UsbDevice::OnSample(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                               int flag, void* context) {
    auto* self = static_cast<TovekQ5UsbDevice*>(context);
    self->refusals_.Reset(); // a decoded picture ends a series of refused ones
    platform::MutexLock lock(self->sample_lock_);
    if (self->sample_callback_ == nullptr) {
        return 0;
    }
    return self->sample_callback_(sample, start, end, flag, self->sample_context_);
}

void TovekQ5UsbDevice::QueueEvent(int event, uint32_t generation) {
    {
        platform::MutexLock events(event_lock_);
        events_.push_back(QueuedEvent{event, generation});
    }
    event_ready_.NotifyOne();
}

GstBusSyncReply TovekQ5UsbDevice::OnBusMessage(GstBus* /*bus*/, GstMessage* message,
                                               gpointer data) {
    auto* self = static_cast<TovekQ5UsbDevice*>(data);
    if (auto failure = platform::CaptureErrorFromMessage(message)) {
        self->KeepFailure(std::move(*failure));
    }
    if (auto refusal = LogAndReadRefusal(message); refusal && self->refusals_.OnRefused()) {
        self->KeepFailure({platform::kFormatNotSupportedText,
                           std::to_string(q5cap::PictureRefusals::kLimit) +
                               " pictures in a row could not be decoded; the last: " + *refusal});
    }
    // Nobody else reads the bus: dropped, so nothing piles up over hours.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void TovekQ5UsbDevice::KeepFailure(platform::CaptureError failure) {
    const uint32_t generation = run_generation_.load();
    if (error_.Keep(std::move(failure))) {
        QueueEvent(kStopOnError, generation);
    }
}

void TovekQ5UsbDevice::StopAfterError(uint32_t generation) {
    bool camera_stop_follows = false;
    {
        platform::MutexLock pipeline(pipeline_lock_);
        if (generation != run_generation_.load()) {
            return; // a new run forgot the failure, or the device is closing
        }
        if (running_) {
            // A camera still streaming answers the stop with its own event
            // 3, queued behind this one.
            camera_stop_follows = camera_streaming_.load();
            StopLocked();
        }
    }
    DeliverEvent(Q5_STREAM_ERROR, nullptr, 0);
    if (!camera_stop_follows) {
        DeliverEvent(Q5_STREAM_STOPPED, nullptr, 0);
    }
}

void TovekQ5UsbDevice::EventLoop() {
    pthread_setname_np(pthread_self(), "tovek-q5events");
    platform::MutexLock events(event_lock_);
    for (;;) {
        event_ready_.Wait(event_lock_, [this] {
            event_lock_.AssertHeld();
            return quit_ || !events_.empty();
        });
        if (quit_) {
            return;
        }
        const QueuedEvent queued = events_.front();
        events_.pop_front();
        events.Unlock();
        if (queued.event == kStopOnError) {
            StopAfterError(queued.generation);
        } else {
            DeliverEvent(queued.event, nullptr, 0);
        }
        events.Lock();
    }
}

void TovekQ5UsbDevice::DeliverEvent(int event, BYTE* data, LONG length) {
    platform::MutexLock lock(stream_lock_);
    if (stream_callback_ != nullptr) {
        stream_callback_(event, data, length, stream_context_);
    }
}

void TovekQ5UsbDevice::SetAttached(bool attached) {
    if (attached_.exchange(attached) != attached) {
        g_attached_devices.fetch_add(attached ? 1 : -1);
    }
}

int TovekQ5UsbDevice::SendCmd(int command) {
    return control_->lpVtbl->SendCommand(control_, static_cast<uint32_t>(command) & 0xFF) == S_OK
               ? 0
               : -1;
}

void TovekQ5UsbDevice::ApplyWindowLocked() {
    if (renderer_ == nullptr) {
        return;
    }
    tovek_video_sink_set_window(renderer_, window_);
    if (has_destination_) {
        tovek_video_sink_set_destination(renderer_, destination_.left, destination_.top,
                                         destination_.right, destination_.bottom);
    }
}

int TovekQ5UsbDevice::SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) {
    if (window == nullptr) {
        return -1;
    }
    platform::MutexLock pipeline(pipeline_lock_);
    window_ = window;
    destination_ = RECT{x, y, width, height};
    has_destination_ = true;
    ApplyWindowLocked();
    return 0;
}

int TovekQ5UsbDevice::Refresh(int x, int y, int width, int height) {
    platform::MutexLock pipeline(pipeline_lock_);
    destination_ = RECT{x, y, width, height};
    has_destination_ = true;
    if (renderer_ != nullptr) {
        tovek_video_sink_set_destination(renderer_, x, y, width, height);
    }
    return 0;
}

int TovekQ5UsbDevice::Run() {
    platform::MutexLock pipeline(pipeline_lock_);
    if (pipeline_ == nullptr) {
        return -1;
    }
    // A new start: the failure of the last run is forgotten, and a stop
    // still queued for it is dropped.
    run_generation_.fetch_add(1);
    error_.Clear();
    refusals_.Reset();
    control_->lpVtbl->Control(control_, 1);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        StopLocked();
        return -1;
    }
    running_ = true;
    return 0;
}

int TovekQ5UsbDevice::Stop() {
    platform::MutexLock pipeline(pipeline_lock_);
    StopLocked();
    return 0;
}

void TovekQ5UsbDevice::StopLocked() {
    running_ = false;
    // The camera first: the source then stops waiting for pictures.
    control_->lpVtbl->Control(control_, 0);
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_READY);
    }
}

int TovekQ5UsbDevice::SetStreamCallback(Q5StreamCallback callback, void* context) {
    platform::MutexLock lock(stream_lock_);
    stream_callback_ = callback;
    stream_context_ = callback != nullptr ? context : nullptr;
    return 0;
}

int TovekQ5UsbDevice::SetSampleCallback(MediaSampleCallback callback, void* context) {
    platform::MutexLock lock(sample_lock_);
    sample_callback_ = callback;
    sample_context_ = callback != nullptr ? context : nullptr;
    return 0;
}

int TovekQ5UsbDevice::GetStreamMediaType(VIDEOINFOHEADER* format) {
    if (format == nullptr) {
        return -1;
    }
    int32_t width = kCameraSourceDefaultWidth;
    int32_t height = kCameraSourceDefaultHeight;
    control_->lpVtbl->GetFrameSize(control_, &width, &height); // leaves them when unmeasured
    *format = tovek_camera_source_video_info(width, height);
    return 0;
}

int TovekQ5UsbDevice::GetLastError(char* user_text, int user_size, char* debug_text,
                                   int debug_size) const {
    return error_.Copy(user_text, user_size, debug_text, debug_size);
}

int TovekQ5UsbDevice::InitDirectShow() {
    platform::MutexLock pipeline(pipeline_lock_);
    if (pipeline_ != nullptr) {
        return 0;
    }
    GstElement* bin = gst_pipeline_new("Tovek Q5 Capture");
    GstElement* decoder = Make("tovekjpegdec", "MJPEG Decompressor");
    GstElement* format = Make("capsfilter", "BGRx");
    GstElement* grabber = Make("toveksamplegrabber", "Sample Grabber");
    GstElement* renderer = Make("tovekvideosink", "Video Renderer");
    if (bin == nullptr || decoder == nullptr || format == nullptr || grabber == nullptr ||
        renderer == nullptr) {
        for (GstElement* element : {bin, decoder, format, grabber, renderer}) {
            if (element != nullptr) {
                gst_object_unref(gst_object_ref_sink(element));
            }
        }
        return -1;
    }
    GstCaps* bgrx = gst_caps_from_string("video/x-raw,format=BGRx");
    g_object_set(format, "caps", bgrx, nullptr);
    gst_caps_unref(bgrx);
    // A live picture is shown as soon as it is decoded, not when its time
    // stamp falls due. Not
    // keeping the last frame lets the decoder write every frame into the
    // same buffer, which stays warm in the caches.
    g_object_set(renderer, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(bin), source_, decoder, format, grabber, renderer, nullptr);
    if (!gst_element_link_many(source_, decoder, format, grabber, renderer, nullptr)) {
        gst_bin_remove(GST_BIN(bin), source_); // keeps our reference
        gst_object_unref(bin);
        return -1;
    }
    GstBus* bus = gst_element_get_bus(bin);
    gst_bus_set_sync_handler(bus, &TovekQ5UsbDevice::OnBusMessage, this, nullptr);
    gst_object_unref(bus);
    tovek_sample_grabber_set_callback(grabber, &TovekQ5UsbDevice::OnSample, this);

    pipeline_ = bin;
    renderer_ = renderer;
    ApplyWindowLocked();
    if (Attached()) {
        // The program learns of its camera from this event, as it would
        // from the camera's arrival.
        QueueEvent(Q5_STREAM_ATTACHED);
    }
    return 0;
}
