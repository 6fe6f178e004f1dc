#include "grabber_callback.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

struct Calls {
    std::vector<std::string> order;
    LONG length = 0;
    double time = -1;
    IMediaSample* sample = nullptr;
};

int TOVEK_STDCALL OnStream(BYTE*, LONG length, double time, void* user) {
    auto* calls = static_cast<Calls*>(user);
    calls->order.push_back("stream");
    calls->length = length;
    calls->time = time;
    return 0;
}
int OnSample(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME*, int flag, void* user) {
    auto* calls = static_cast<Calls*>(user);
    calls->order.push_back("sample");
    calls->sample = sample;
    EXPECT_EQ(0, flag);
    EXPECT_EQ(5000000, *start);
    return 0;
}
int TOVEK_STDCALL OnSampleEx(BYTE*, LONG length, double time, int, void* user) {
    auto* calls = static_cast<Calls*>(user);
    calls->order.push_back("bytes");
    calls->length = length;
    calls->time = time;
    return 0;
}

TEST(GrabberCallback, CompressedBuffersReachTheStreamCallbackUnlessEmpty) {
    GrabberCallback grabber;
    Calls calls;
    BYTE data[16] = {0xFF, 0xD8};
    platform::MemorySample sample(data, sizeof data);
    sample.SetTime(20000000, 20333333);
    GrabberCallback::BufferTrampoline(&sample, nullptr, nullptr, 0, &grabber);
    grabber.SetStreamCallback(OnStream, &calls);
    GrabberCallback::BufferTrampoline(&sample, nullptr, nullptr, 0, &grabber);
    EXPECT_EQ(std::vector<std::string>{"stream"}, calls.order);
    EXPECT_EQ(16, calls.length);
    EXPECT_DOUBLE_EQ(2.0, calls.time);
    platform::MemorySample empty(data, 0);
    GrabberCallback::BufferTrampoline(&empty, nullptr, nullptr, 0, &grabber);
    grabber.SetStreamCallback(nullptr, nullptr);
    GrabberCallback::BufferTrampoline(&sample, nullptr, nullptr, 0, &grabber);
    EXPECT_EQ(1u, calls.order.size());
}

TEST(GrabberCallback, DecodedSamplesGoToTheSampleThenTheBytesCallback) {
    GrabberCallback grabber;
    Calls calls;
    BYTE pixels[4 * 2 * 2] = {};
    platform::MemorySample sample(pixels, sizeof pixels, 2, 2, 8);
    sample.SetTime(5000000, 5333333);
    grabber.SetSampleCallbackEx(OnSampleEx, &calls);
    grabber.SetSampleCallback(OnSample, &calls);
    grabber.SetStreamCallback(OnStream, &calls);
    GrabberCallback::SampleTrampoline(&sample, nullptr, nullptr, 0, &grabber);
    EXPECT_EQ((std::vector<std::string>{"sample", "bytes", "stream"}), calls.order);
    EXPECT_EQ(&sample, calls.sample);
    EXPECT_EQ(16, calls.length);
    EXPECT_DOUBLE_EQ(0.5, calls.time);
}

} // namespace
} // namespace corvane
