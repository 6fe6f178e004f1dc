// Calls back into the library from its own event callbacks, and a second
// TovekCameraInit without TovekCameraUninit.
#include "q5_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

namespace {

// A client that answers the end of streaming with a camera command, as a
// program that puts the camera to rest does, and also tries the calls the
// library must refuse there.
struct CommandingClient {
    EventRecorder events;
    std::atomic<int32_t> control_result{1};
    std::atomic<int> play_result{-1};

    static void TOVEK_STDCALL Callback(uint32_t event, uint32_t a, uint32_t b, uintptr_t user) {
        auto* self = reinterpret_cast<CommandingClient*>(user);
        if (event == Q5_EVENT_STREAM_STOPPED) {
            self->control_result = TovekCameraControl(0xB1);
            TovekCameraStop();                     // would wait for this very thread
            self->play_result = TovekCameraPlay(); // would contend with the Stop waiting for us
        }
        EventRecorder::Callback(event, a, b, reinterpret_cast<uintptr_t>(&self->events));
    }
};

// Runs action on a thread of its own; false when it has not returned within
// 20 s. A deadlocked library cannot be torn down, so the test program ends
// there rather than hang until the test runner's time-out.
void ExpectReturns(const std::function<void()>& action, const char* what) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> returned = done->get_future();
    std::thread([action, done] {
        action();
        done->set_value();
    }).detach();
    if (returned.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return: deadlock\n", what);
        std::fflush(stderr);
        std::_Exit(1);
    }
}

size_t ThreadCount() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++n;
    }
    return n;
}

} // namespace

TEST_F(Q5DriverTest, CommandFromTheStreamEndEventNeitherDeadlocksStopNorDetach) {
    struct Case {
        const char* name;
        bool pull_out; // else TovekCameraStop
        int32_t control_result;
    };
    for (const Case& c : {Case{"TovekCameraStop", false, 0}, Case{"pulling out", true, -1}}) {
        SCOPED_TRACE(c.name);
        sim::UsbBus().Reset(false);
        ids_.clear();
        Plug();
        CommandingClient client;
        ASSERT_TRUE(
            TovekCameraInit(&CommandingClient::Callback, reinterpret_cast<uintptr_t>(&client)));
        ASSERT_TRUE(client.events.WaitFor(Q5_EVENT_ATTACHED));
        ASSERT_TRUE(TovekCameraPlay());
        ASSERT_TRUE(client.events.WaitFor(Q5_EVENT_STREAM_STARTED));

        const sim::EmulatedDeviceId id = ids_.back();
        ExpectReturns(
            [&] {
                if (c.pull_out) {
                    sim::UsbBus().PullOut(id);
                } else {
                    TovekCameraStop();
                }
            },
            c.name);
        ASSERT_TRUE(client.events.WaitFor(Q5_EVENT_STREAM_STOPPED));
        EXPECT_EQ(c.control_result, client.control_result.load());
        EXPECT_EQ(0, client.play_result.load()) << "Play is refused inside event 3";
        if (c.pull_out) {
            EXPECT_TRUE(client.events.WaitFor(Q5_EVENT_DETACHED));
        }
        ExpectReturns([] { TovekCameraUninit(); }, "TovekCameraUninit");
    }
}

TEST_F(Q5DriverTest, InitTwiceReleasesTheEarlierRegistration) {
    auto camera = Plug();
    const size_t threads_before = ThreadCount();
    EventRecorder first;
    ASSERT_TRUE(TovekCameraInit(&EventRecorder::Callback, reinterpret_cast<uintptr_t>(&first)));
    ASSERT_TRUE(first.WaitFor(Q5_EVENT_ATTACHED));
    ASSERT_TRUE(TovekCameraPlay());
    ASSERT_TRUE(first.WaitFor(Q5_EVENT_STREAM_STARTED));

    ASSERT_TRUE(Init()); // again, without TovekCameraUninit
    EXPECT_TRUE(first.WaitFor(Q5_EVENT_STREAM_STOPPED)) << "the earlier stream was stopped";
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_ATTACHED));

    // Only the new registration sees the camera go; the old context is gone,
    // and a registration still using it would read freed memory here.
    sim::UsbBus().PullOut(ids_.back());
    ASSERT_TRUE(events_.WaitFor(Q5_EVENT_DETACHED));
    TovekCameraUninit();
    EXPECT_EQ((std::vector<uint32_t>{Q5_EVENT_ATTACHED, Q5_EVENT_DETACHED}), events_.Events());
    EXPECT_EQ((std::vector<uint32_t>{Q5_EVENT_ATTACHED, Q5_EVENT_STREAM_STARTED,
                                     Q5_EVENT_STREAM_STOPPED}),
              first.Events());
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ThreadCount() <= threads_before; }))
        << "a registration was left running: " << ThreadCount() << " threads, " << threads_before
        << " before";
}

TEST_F(Q5DriverTest, InitAndUninitAreRefusedInsideAnEvent) {
    struct Client {
        EventRecorder events;
        std::atomic<int> init_result{-1};
        static void TOVEK_STDCALL Callback(uint32_t event, uint32_t a, uint32_t b, uintptr_t user) {
            auto* self = reinterpret_cast<Client*>(user);
            if (event == Q5_EVENT_ATTACHED) {
                TovekCameraUninit(); // would wait for the driver thread running this
                self->init_result = TovekCameraInit(&Callback, user);
            }
            EventRecorder::Callback(event, a, b, reinterpret_cast<uintptr_t>(&self->events));
        }
    } client;
    Plug();
    ASSERT_TRUE(TovekCameraInit(&Client::Callback, reinterpret_cast<uintptr_t>(&client)));
    ASSERT_TRUE(client.events.WaitFor(Q5_EVENT_ATTACHED));
    EXPECT_EQ(0, client.init_result.load());
    // Still registered: the camera plays.
    EXPECT_TRUE(TovekCameraPlay());
    EXPECT_TRUE(client.events.WaitFor(Q5_EVENT_STREAM_STARTED));
    ExpectReturns([] { TovekCameraUninit(); }, "TovekCameraUninit");
}
