// The background open: the caller never waits for the library's open, the
// camera comes back only with the latest ticket, and an open given up is
// closed and released by the opener itself.
#include "camera/CameraOpener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What the fake cameras did, shared by all of them.
struct Journal {
    std::mutex mutex; // guards everything below
    std::condition_variable changed;
    bool gate_open = false; // Open returns once this is true
    int opening = 0;        // Opens running now
    int most_opening = 0;   // the most that ever ran at once
    std::vector<std::string> calls;

    void Add(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
        changed.notify_all();
    }
    void OpenGate() {
        std::lock_guard<std::mutex> lock(mutex);
        gate_open = true;
        changed.notify_all();
    }
    bool WaitForCalls(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return calls.size() >= n; });
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

// A camera whose Open waits for the journal's gate (at most 10 s), as
// Tovek_Q5Usb_Open waits for a camera; CancelOpen opens the gate.
class GatedCamera : public DocumentCamera {
public:
    GatedCamera(Journal& journal, std::string name, int open_result)
        : journal_(journal), name_(std::move(name)), open_result_(open_result) {}
    ~GatedCamera() override { journal_.Add(name_ + " deleted"); }

    int Initialize() override {
        journal_.Add(name_ + " Initialize");
        return 0;
    }
    int Uninitialize() override {
        journal_.Add(name_ + " Uninitialize");
        return 0;
    }
    int Open(int) override {
        {
            std::unique_lock<std::mutex> lock(journal_.mutex);
            journal_.most_opening = std::max(journal_.most_opening, ++journal_.opening);
            journal_.changed.wait_for(lock, std::chrono::seconds(10),
                                      [&] { return journal_.gate_open; });
            --journal_.opening;
        }
        journal_.Add(name_ + " Open");
        return open_result_;
    }
    void CancelOpen() override {
        journal_.Add(name_ + " CancelOpen");
        journal_.OpenGate();
    }
    int Close() override {
        journal_.Add(name_ + " Close");
        return 0;
    }
    int GetDeviceCount() override { return 0; }
    int SendCmd(int) override { return -1; }
    int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER) override { return -1; }
    int UpdateDevice(uint32_t, const DEV_BROADCAST_HDR*) override { return -1; }
    int SetPosition(VIDEO_WINDOW, int, int, int, int) override { return -1; }
    int Refresh(int, int, int, int) override { return -1; }
    int Run() override { return -1; }
    int Stop() override { return -1; }
    int SetStreamCallback(DocumentStreamCallback, void*) override { return -1; }
    int SetSampleCallback(MediaSampleCallback, void*) override { return -1; }
    int GetStreamMediaType(VIDEOINFOHEADER*) override { return -1; }
    int InitDirectShow() override { return -1; }
    int GetState(int*) override { return -1; }
    int VideoCapturePin(CORVANE_OWNER_WINDOW) override { return -1; }
    int GetLastError(std::string*, std::string*) override { return -1; }

private:
    Journal& journal_;
    const std::string name_;
    const int open_result_;
};

class CameraOpenerTest : public ::testing::Test {
protected:
    std::unique_ptr<GatedCamera> Camera(const std::string& name, int open_result = 0) {
        return std::make_unique<GatedCamera>(journal_, name, open_result);
    }
    bool WaitForDone(uint64_t ticket) {
        std::unique_lock<std::mutex> lock(done_mutex_);
        return done_changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            return std::find(done_.begin(), done_.end(), ticket) != done_.end();
        });
    }
    std::vector<uint64_t> Done() {
        std::lock_guard<std::mutex> lock(done_mutex_);
        return done_;
    }

    Journal journal_;
    std::mutex done_mutex_; // guards done_
    std::condition_variable done_changed_;
    std::vector<uint64_t> done_;
    CameraOpener opener_{[this](uint64_t ticket) {
        std::lock_guard<std::mutex> lock(done_mutex_);
        done_.push_back(ticket);
        done_changed_.notify_all();
    }};
};

TEST_F(CameraOpenerTest, StartReturnsWhileTheOpenWaitsAndTakeGivesTheCameraBack) {
    for (int open_result : {0, -1}) {
        SCOPED_TRACE(open_result);
        {
            std::lock_guard<std::mutex> lock(journal_.mutex);
            journal_.gate_open = false;
            journal_.calls.clear();
        }
        const uint64_t ticket = opener_.Start(Camera("q5", open_result));
        EXPECT_TRUE(opener_.Pending());
        int result = 7;
        EXPECT_EQ(opener_.Take(ticket, &result), nullptr) << "still opening";

        journal_.OpenGate();
        ASSERT_TRUE(WaitForDone(ticket));
        EXPECT_EQ(opener_.Take(ticket + 1, &result), nullptr) << "another ticket";
        std::unique_ptr<DocumentCamera> camera = opener_.Take(ticket, &result);
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(result, open_result);
        EXPECT_FALSE(opener_.Pending());
        EXPECT_EQ(opener_.Take(ticket, &result), nullptr) << "taken once";
    }
}

TEST_F(CameraOpenerTest, AbandonedOpenIsClosedAndReleasedByTheOpener) {
    struct Case {
        const char* name;
        int open_result;
        bool abandon_after_open; // else while Open still waits
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"opened, given up while opening",
         0,
         false,
         {"q5 Initialize", "q5 CancelOpen", "q5 Open", "q5 Close", "q5 Uninitialize",
          "q5 deleted"}},
        {"not opened, given up while opening",
         -1,
         false,
         {"q5 Initialize", "q5 CancelOpen", "q5 Open", "q5 Uninitialize", "q5 deleted"}},
        {"opened, given up before it was taken",
         0,
         true,
         {"q5 Initialize", "q5 Open", "q5 Close", "q5 Uninitialize", "q5 deleted"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(journal_.mutex);
            journal_.gate_open = false;
            journal_.calls.clear();
        }
        const uint64_t ticket = opener_.Start(Camera("q5", c.open_result));
        if (c.abandon_after_open) {
            journal_.OpenGate();
            ASSERT_TRUE(WaitForDone(ticket));
            opener_.Abandon();
        } else {
            ASSERT_TRUE(journal_.WaitForCalls(1)); // Initialize: the open is under way
            opener_.Abandon();                     // its cancel alone ends the wait
        }
        EXPECT_FALSE(opener_.Pending());
        ASSERT_TRUE(journal_.WaitForCalls(c.calls.size()));
        EXPECT_EQ(journal_.Calls(), c.calls);
        int result = 0;
        EXPECT_EQ(opener_.Take(ticket, &result), nullptr);
    }
    EXPECT_EQ(Done().size(), 1u) << "only the open that finished before it was given up";
}

TEST_F(CameraOpenerTest, ANewOpenWaitsForTheOneItReplaces) {
    const uint64_t first = opener_.Start(Camera("first"));
    ASSERT_TRUE(journal_.WaitForCalls(1));
    const uint64_t second = opener_.Start(Camera("second"));
    EXPECT_NE(first, second);
    journal_.OpenGate();
    ASSERT_TRUE(WaitForDone(second));
    {
        std::lock_guard<std::mutex> lock(journal_.mutex);
        EXPECT_EQ(journal_.most_opening, 1) << "two opens ran in the library at once";
    }
    int result = -1;
    EXPECT_EQ(opener_.Take(first, &result), nullptr);
    std::unique_ptr<DocumentCamera> camera = opener_.Take(second, &result);
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Done(), std::vector<uint64_t>{second});
    const std::vector<std::string> calls = journal_.Calls();
    // The first camera was released before the second one began opening.
    const auto released = std::find(calls.begin(), calls.end(), "first deleted");
    const auto began = std::find(calls.begin(), calls.end(), "second Initialize");
    ASSERT_NE(released, calls.end());
    EXPECT_LT(released, began);
}

TEST_F(CameraOpenerTest, DestroyingTheOpenerCancelsAndReleasesTheCameraOfARunningOpen) {
    Journal journal;
    {
        CameraOpener opener([](uint64_t) { ADD_FAILURE() << "given up: nothing to tell"; });
        opener.Start(std::make_unique<GatedCamera>(journal, "q5", 0));
        ASSERT_TRUE(journal.WaitForCalls(1));
    }
    EXPECT_EQ(journal.Calls(),
              (std::vector<std::string>{"q5 Initialize", "q5 CancelOpen", "q5 Open", "q5 Close",
                                        "q5 Uninitialize", "q5 deleted"}));
}

} // namespace
