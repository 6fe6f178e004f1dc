// Plugging, pulling, playing, stopping and fetching from several threads at
// once: run under the address sanitizer, this catches a handle or buffer
// used while another thread releases it.
#include "q5_fixture.h"

#include "platform/system.h"

#include <atomic>
#include <random>
#include <thread>

TEST_F(Q5DriverTest, ConcurrentPlugPlayStopAndFetchStaySafe) {
    platform::FakeClock clock; // pauses between pictures pass at once
    ASSERT_TRUE(Init());
    std::atomic<bool> done{false};
    auto run_for = std::chrono::steady_clock::now() + std::chrono::seconds(3);

    std::thread plugger([&] {
        std::mt19937 rng(1);
        sim::EmulatedDeviceId id = 0;
        while (!done) {
            if (id == 0) {
                auto camera = std::make_shared<sim::EmulatedQ5Camera>();
                camera->SetTimeoutCap(2);
                id = sim::UsbBus().PlugIn(camera);
            } else {
                sim::UsbBus().PullOut(id);
                id = 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 40));
        }
    });
    std::thread player([&] {
        std::mt19937 rng(2);
        while (!done) {
            if (rng() % 2) {
                TovekCameraPlay();
            } else {
                TovekCameraStop();
            }
            TovekCameraControl(0xB1);
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
        }
    });
    std::vector<std::thread> fetchers;
    for (int i = 0; i < 2; ++i) {
        fetchers.emplace_back([&] {
            std::vector<uint8_t> frame(Q5_MAX_FRAME_SIZE);
            while (!done) {
                uint32_t size = Q5_MAX_FRAME_SIZE;
                if (TovekCameraGetFrameData(frame.data(), &size) && size > 0) {
                    EXPECT_EQ(0xFF, frame[0]);
                }
                uint32_t period = 0;
                TovekCameraGetPerFrameTime(&period);
            }
        });
    }
    while (std::chrono::steady_clock::now() < run_for) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    done = true;
    plugger.join();
    player.join();
    for (auto& t : fetchers) {
        t.join();
    }
    TovekCameraStop();
    TovekCameraUninit();
    {
        platform::MutexLock lock(q5::State().control_lock);
        EXPECT_FALSE(q5::State().listen_pipe);
    }
    EXPECT_FALSE(q5::CurrentRun());
}
