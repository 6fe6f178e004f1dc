// The recording queue's bounds and hand-over to the writer, and the writer's
// pacing rules, step by step.
#include "record/RecordingQueue.h"
#include "record/WriterPacing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> Frame(size_t length, uint8_t seed) {
    std::vector<uint8_t> frame(length);
    for (size_t i = 0; i < length; ++i)
        frame[i] = static_cast<uint8_t>(seed + i * 7);
    return frame;
}

} // namespace

TEST(RecordingQueue, KeepsAtMostFiveFramesOfAtMostTheBlockSize) {
    RecordingQueue queue;
    const std::vector<uint8_t> big(kMaxFrameBytes + 1, 1);
    EXPECT_FALSE(queue.Append(nullptr, 10));
    EXPECT_FALSE(queue.Append(big.data(), 0));
    EXPECT_FALSE(queue.Append(big.data(), kMaxFrameBytes + 1));
    EXPECT_TRUE(queue.Append(big.data(), kMaxFrameBytes));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(queue.Append(big.data(), 100));
    EXPECT_FALSE(queue.Append(big.data(), 100)) << "a sixth frame is dropped";
    RecordingQueue::Frame frame;
    ASSERT_TRUE(queue.Take(&frame));
    EXPECT_EQ(kMaxFrameBytes, frame.length);
    queue.Release();
    EXPECT_TRUE(queue.Append(big.data(), 100)) << "the block came back";
}

TEST(RecordingQueue, TheOnlyFrameStaysUntilANewerOneArrives) {
    RecordingQueue queue;
    const auto a = Frame(10, 1);
    const auto b = Frame(20, 2);
    queue.Append(a.data(), a.size());
    RecordingQueue::Frame frame;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue.Take(&frame));
        EXPECT_EQ(a, std::vector<uint8_t>(frame.data, frame.data + frame.length));
        queue.Release();
    }
    queue.Append(b.data(), b.size());
    ASSERT_TRUE(queue.Take(&frame));
    EXPECT_EQ(10u, frame.length) << "the oldest goes first, and leaves";
    queue.Release();
    ASSERT_TRUE(queue.Take(&frame));
    EXPECT_EQ(20u, frame.length);
    queue.Release();
    EXPECT_EQ(1u, queue.Queued());
}

TEST(RecordingQueue, ABlockTheWriterHoldsIsNotReusedBeforeItIsReleased) {
    RecordingQueue queue;
    const auto a = Frame(64, 3);
    queue.Append(a.data(), a.size());
    RecordingQueue::Frame frame;
    ASSERT_TRUE(queue.Take(&frame));
    queue.Clear();
    const auto other = Frame(64, 9);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(queue.Append(other.data(), other.size()));
    EXPECT_FALSE(queue.Append(other.data(), other.size()));
    EXPECT_EQ(a, std::vector<uint8_t>(frame.data, frame.data + frame.length));
    queue.Release();
    EXPECT_TRUE(queue.Append(other.data(), other.size()));
}

TEST(RecordingQueue, FramesArriveWholeWhileTheWriterTakesThem) {
    RecordingQueue queue;
    std::atomic<bool> done{false};
    std::vector<std::thread> appenders;
    for (uint8_t seed = 1; seed <= 2; ++seed) {
        appenders.emplace_back([&queue, seed] {
            for (int i = 0; i < 2000; ++i) {
                const auto frame = Frame(1000 + static_cast<size_t>(i % 50) * 100, seed);
                queue.Append(frame.data(), frame.size());
            }
        });
    }
    std::thread writer([&] {
        while (!done.load()) {
            RecordingQueue::Frame frame;
            if (!queue.Take(&frame))
                continue;
            const uint8_t seed = frame.data[0];
            ASSERT_EQ(Frame(frame.length, seed),
                      std::vector<uint8_t>(frame.data, frame.data + frame.length));
            queue.Release();
        }
    });
    for (auto& t : appenders)
        t.join();
    done = true;
    writer.join();
}

TEST(WriterPacing, ASurplusIsSkippedAndADeficitRepeated) {
    record::WriterPacing pacing(16);
    pacing.Due(0);
    pacing.written_count = 483;
    ASSERT_FALSE(pacing.Due(30000)) << "a new window begins: the first frame waits";
    EXPECT_EQ(3, pacing.skip_count);
    ASSERT_TRUE(pacing.Due(30070));
    EXPECT_EQ(0, pacing.Copies());

    pacing.written_count = 470;
    pacing.Due(60000);
    EXPECT_EQ(0, pacing.skip_count);
    ASSERT_TRUE(pacing.Due(60070));
    EXPECT_EQ(11, pacing.Copies()) << "10 missing and the frame itself";
    EXPECT_EQ(1, pacing.Copies());
}

// The writer sleeps MsUntilDue between turns and then takes every frame due:
// it must make the due turns a writer turning every millisecond makes, each
// at most frames - 1 periods (and a millisecond) later, with about one turn
// for every frames due turns (start ticks near the 32-bit wrap included).
TEST(WriterPacing, SleepingUntilDueMakesThePollingWritersTurns) {
    const struct {
        int32_t rate;
        uint32_t start;
    } cases[] = {{16, 0}, {30, 5}, {1, 7}, {7, 0xFFFFF000u}, {60, 0xFFFFFFFEu}, {1000, 3}};
    constexpr uint32_t kRunMs = 70000; // two windows and a part
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        std::vector<uint32_t> polled;
        record::WriterPacing polling(c.rate);
        for (uint32_t t = 0; t <= kRunMs; ++t) {
            if (polling.Due(c.start + t)) {
                polling.CountWritten();
                polled.push_back(t);
            }
        }
        const uint32_t period_ms = 1000 / static_cast<uint32_t>(c.rate);
        for (const int32_t frames : {1, 2, 3}) {
            SCOPED_TRACE(frames);
            std::vector<uint32_t> slept;
            record::WriterPacing sleeping(c.rate);
            uint32_t turns = 0;
            for (uint32_t t = 0; t <= kRunMs;
                 t += std::max<uint32_t>(1, sleeping.MsUntilDue(c.start + t, frames))) {
                ++turns;
                while (sleeping.Due(c.start + t)) {
                    sleeping.CountWritten();
                    slept.push_back(t);
                }
            }
            // The run's end cuts off at most the frames - 1 turns still waited for.
            ASSERT_LE(slept.size(), polled.size());
            ASSERT_LE(polled.size() - slept.size(), static_cast<size_t>(frames - 1));
            for (size_t i = 0; i < slept.size(); ++i) {
                ASSERT_GE(slept[i], polled[i]) << i;
                ASSERT_LE(slept[i], polled[i] + (frames - 1) * (period_ms + 1)) << i;
            }
            EXPECT_LE(turns,
                      slept.size() / frames + 4 * (kRunMs / record::WriterPacing::kWindowMs) + 3);
        }
    }
}
