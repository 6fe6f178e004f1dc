// An open Q5 camera: its source element, the rendering pipeline built
// around it, the caller's callbacks and the thread that delivers the
// camera's events.
//
// Threads: the caller's thread (exports, one call at a time); the source's
// driver threads (events 0 to 3, queued here); the streaming thread (event
// 4, the sample callback and most bus messages); the event thread (delivers
// queued events, and stops the pipeline after a failure: stopping waits for
// the streaming thread, so the thread that sees the failure cannot do it).
#pragma once

#include "TovekQ5usb.h"
#include "picture_refusals.h"
#include "platform/capture_error.h"
#include "tovek_camera_source.h"

#include <gst/gst.h>

#include "platform/thread_annotations.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>

struct TovekQ5UsbDevice {
public:
    // Creates the camera source; null when no camera answered or the
    // driver is in use.
    static std::unique_ptr<TovekQ5UsbDevice> Open();
    // Stops the pipeline and the camera, ends the event thread and releases
    // the source (and with it the driver).
    ~TovekQ5UsbDevice();
    TovekQ5UsbDevice(const TovekQ5UsbDevice&) = delete;
    TovekQ5UsbDevice& operator=(const TovekQ5UsbDevice&) = delete;

    int SendCmd(int command);
    int SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height);
    int Refresh(int x, int y, int width, int height);
    int Run();
    int Stop();
    int SetStreamCallback(Q5StreamCallback callback, void* context);
    int SetSampleCallback(MediaSampleCallback callback, void* context);
    int GetStreamMediaType(VIDEOINFOHEADER* format);
    int InitDirectShow();
    // Tovek_Q5Usb_GetLastError; any thread.
    int GetLastError(char* user_text, int user_size, char* debug_text, int debug_size) const;

    bool Attached() const { return attached_.load(); }

private:
    TovekQ5UsbDevice(GstElement* source, ICameraSourceControl* control);

    static void TOVEK_STDCALL OnSourceEvent(uint32_t event, uintptr_t value1, uintptr_t value2,
                                            uintptr_t user);
    static int OnSample(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end, int flag,
                        void* context);
    // The bus sync handler: keeps the first failure of the run and queues
    // its stop. Runs on the thread that posts; never waits for the pipeline.
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void KeepFailure(platform::CaptureError failure);
    // On the event thread: stops run generation unless a new run began or
    // the device is closing, then delivers event 5 and one event 3.
    void StopAfterError(uint32_t generation);
    void StopLocked() TOVEK_REQUIRES(pipeline_lock_);
    void QueueEvent(int event, uint32_t generation = 0);
    void EventLoop();
    void DeliverEvent(int event, BYTE* data, LONG length);
    void SetAttached(bool attached);
    void ApplyWindowLocked() TOVEK_REQUIRES(pipeline_lock_);

    GstElement* const source_;            // our reference, from Open to the destructor
    ICameraSourceControl* const control_; // lives as long as source_

    // The pipeline lock: guards the pipeline and its elements, and the
    // window and rectangle given before the pipeline existed.
    platform::Mutex pipeline_lock_;
    GstElement* pipeline_ TOVEK_GUARDED_BY(pipeline_lock_) = nullptr; // null until InitDirectShow
    GstElement* renderer_ TOVEK_GUARDED_BY(pipeline_lock_) = nullptr; // owned by pipeline_
    VIDEO_WINDOW window_ TOVEK_GUARDED_BY(pipeline_lock_) = nullptr;
    // x, y, width, height as given
    RECT destination_ TOVEK_GUARDED_BY(pipeline_lock_){0, 0, 0, 0};
    bool has_destination_ TOVEK_GUARDED_BY(pipeline_lock_) = false;
    // Run succeeded and nothing stopped the pipeline since.
    bool running_ TOVEK_GUARDED_BY(pipeline_lock_) = false;
    // Counts runs, so a stop queued for an ended run is dropped. Written
    // under the pipeline lock, read without it by the bus handler.
    std::atomic<uint32_t> run_generation_{0};

    // The stream lock: guards the stream callback and is held while it runs.
    platform::Mutex stream_lock_;
    Q5StreamCallback stream_callback_ TOVEK_GUARDED_BY(stream_lock_) = nullptr;
    void* stream_context_ TOVEK_GUARDED_BY(stream_lock_) = nullptr;

    // The sample lock: guards the sample callback and is held while it runs.
    platform::Mutex sample_lock_;
    MediaSampleCallback sample_callback_ TOVEK_GUARDED_BY(sample_lock_) = nullptr;
    void* sample_context_ TOVEK_GUARDED_BY(sample_lock_) = nullptr;

    // A queued stream event, or kStopOnError with the run it belongs to.
    struct QueuedEvent {
        int event;
        uint32_t generation;
    };
    static constexpr int kStopOnError = -1;

    // The event lock: guards events_ and quit_; event_ready_ waits with it.
    platform::Mutex event_lock_;
    platform::CondVar event_ready_;
    std::deque<QueuedEvent> events_ TOVEK_GUARDED_BY(event_lock_);
    bool quit_ TOVEK_GUARDED_BY(event_lock_) = false;
    std::thread event_thread_;

    std::atomic<bool> attached_{true}; // a device is opened only with its camera attached
    // The camera's last stream event was 2: stopping it brings its own event 3.
    std::atomic<bool> camera_streaming_{false};

    platform::FirstCaptureError error_; // the first failure since Run; its own lock
    q5cap::PictureRefusals refusals_;   // streaming thread; reset by Run
};

// Open devices whose camera is attached.
int TovekQ5UsbAttachedDevices();
