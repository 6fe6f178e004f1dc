#include "grabber_callback.h"

namespace corvane {

double SampleTimeSeconds(IMediaSample* sample) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    if (sample->GetTime(&start, &end) != S_OK) {
        return 0.0;
    }
    return static_cast<double>(start) / 10000000.0;
}

void GrabberCallback::SetStreamCallback(StreamCallback callback, void* user) {
    platform::MutexLock lock(lock_a_);
    stream_callback_ = callback;
    stream_user_ = user;
}

void GrabberCallback::SetSampleCallback(SampleCallback callback, void* user) {
    platform::MutexLock lock(lock_b_);
    sample_callback_ = callback;
    sample_user_ = user;
}

void GrabberCallback::SetSampleCallbackEx(SampleCallbackEx callback, void* user) {
    platform::MutexLock lock(lock_c_);
    sample_ex_callback_ = callback;
    sample_ex_user_ = user;
}

void GrabberCallback::OnBuffer(double sample_time, BYTE* data, LONG length) {
    if (data == nullptr || length <= 0) {
        return;
    }
    platform::MutexLock lock(lock_a_);
    if (stream_callback_ != nullptr) {
        stream_callback_(data, length, sample_time, stream_user_);
    }
}

void GrabberCallback::NotifyStreamError() {
    platform::MutexLock lock(lock_a_);
    if (stream_callback_ != nullptr) {
        stream_callback_(nullptr, -1, 0.0, stream_user_);
    }
}

void GrabberCallback::OnSample(IMediaSample* sample) {
    {
        platform::MutexLock lock(lock_b_);
        if (sample_callback_ != nullptr) {
            REFERENCE_TIME start = 0;
            REFERENCE_TIME end = 0;
            sample->GetTime(&start, &end);
            sample_callback_(sample, &start, &end, 0, sample_user_);
        }
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const LONG length = sample->GetActualDataLength();
    const double sample_time = SampleTimeSeconds(sample);
    {
        platform::MutexLock lock(lock_c_);
        if (sample_ex_callback_ != nullptr && data != nullptr) {
            sample_ex_callback_(data, length, sample_time, 0, sample_ex_user_);
        }
    }
    OnBuffer(sample_time, data, length);
}

int GrabberCallback::BufferTrampoline(IMediaSample* sample, REFERENCE_TIME* /*start*/,
                                      REFERENCE_TIME* /*end*/, int /*flag*/, void* context) {
    BYTE* data = nullptr;
    if (sample->GetPointer(&data) == S_OK) {
        static_cast<GrabberCallback*>(context)->OnBuffer(SampleTimeSeconds(sample), data,
                                                         sample->GetActualDataLength());
    }
    return 0;
}

int GrabberCallback::SampleTrampoline(IMediaSample* sample, REFERENCE_TIME* /*start*/,
                                      REFERENCE_TIME* /*end*/, int /*flag*/, void* context) {
    static_cast<GrabberCallback*>(context)->OnSample(sample);
    return 0;
}

} // namespace corvane
