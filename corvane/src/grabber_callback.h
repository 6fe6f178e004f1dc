// The receiver of one sample grabber of the capture graph: calls the
// caller's callbacks, each pair written and called under its own lock, so a
// callback cleared while the graph runs is never called again once the
// setter has returned.
#pragma once

#include "TovekCorvane.h"

#include "platform/thread_annotations.h"

namespace corvane {

class GrabberCallback {
public:
    GrabberCallback() = default;
    GrabberCallback(const GrabberCallback&) = delete;
    GrabberCallback& operator=(const GrabberCallback&) = delete;

    void SetStreamCallback(StreamCallback callback, void* user);
    void SetSampleCallback(SampleCallback callback, void* user);
    void SetSampleCallbackEx(SampleCallbackEx callback, void* user);

    // A compressed picture (the "Stream Callback" grabber): its bytes go to
    // the stream callback when there are any.
    void OnBuffer(double sample_time, BYTE* data, LONG length);
    // The error notice: the stream callback, when set, with data null,
    // length -1 and sample time 0.
    void NotifyStreamError();
    // A decoded frame (the "Sample Grabber"): the sample callback, then the
    // bytes callback, then the stream-callback path with the frame's bytes.
    void OnSample(IMediaSample* sample);

    // Trampolines for tovek_sample_grabber_set_callback; context is the
    // GrabberCallback.
    static int BufferTrampoline(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                int flag, void* context);
    static int SampleTrampoline(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                int flag, void* context);

private:
    // Each lock guards its pair and is held during the call.
    platform::Mutex lock_a_;
    StreamCallback stream_callback_ TOVEK_GUARDED_BY(lock_a_) = nullptr;
    void* stream_user_ TOVEK_GUARDED_BY(lock_a_) = nullptr;
    platform::Mutex lock_b_;
    SampleCallback sample_callback_ TOVEK_GUARDED_BY(lock_b_) = nullptr;
    void* sample_user_ TOVEK_GUARDED_BY(lock_b_) = nullptr;
    platform::Mutex lock_c_;
    SampleCallbackEx sample_ex_callback_ TOVEK_GUARDED_BY(lock_c_) = nullptr;
    void* sample_ex_user_ TOVEK_GUARDED_BY(lock_c_) = nullptr;
};

// A sample's start time in seconds (0 when it carries none).
double SampleTimeSeconds(IMediaSample* sample);

} // namespace corvane
