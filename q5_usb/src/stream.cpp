// The camera protocol: vendor requests, the streaming worker and the
// hand-off of the newest picture.
#include "module.h"
#include "pacing.h"
#include "platform/system.h"
#include "q5_trace.h"

#include <pthread.h>

#include <atomic>
#include <cstring>

namespace q5 {
namespace {

// What the worker needs of the listen pipe, copied at start so a detach that
// releases the pipe record never pulls it from under the worker.
struct WorkerArgs {
    std::shared_ptr<StreamRun> run;
    WDU_DEVICE_HANDLE device;
    uint32_t pipe;
    uint32_t options;
};

void ReleaseRun(const std::shared_ptr<StreamRun>& run) {
    platform::MutexLock lock(State().run_lock);
    if (State().run == run) {
        State().run.reset();
    }
}

// Makes the picture in the worker's read buffer the shared one. Both buffers
// have Q5_MAX_FRAME_SIZE bytes, so they trade places instead of copying: the
// worker reads the next picture into what was the shared buffer. False when
// the caller held the buffer for too long (the picture stays the worker's).
bool HandOff(StreamRun& run, std::unique_ptr<uint8_t[]>& picture, uint32_t length) {
    if (!run.frame_lock.LockFor(kBufferWaitMs)) {
        Q5_TRACE("Failed to wait for the app releasing the buffer mutex!WinLastError:%s",
                 Stat2Str(WD_TIME_OUT_EXPIRED));
        return false;
    }
    run.frame.swap(picture);
    run.frame_length = length < Q5_MAX_FRAME_SIZE ? length : Q5_MAX_FRAME_SIZE;
    run.frame_number = NextFrameNumber();
    run.frame_tick = platform::GetTickCount();
    run.frame_lock.Unlock();
    return true;
}

void PipeListen(void* context) {
    std::unique_ptr<WorkerArgs> args(static_cast<WorkerArgs*>(context));
    // Named, so that measurements can tell the camera's reads from the rest.
    pthread_setname_np(pthread_self(), "tovek-q5-read");
    Module& m = State();
    StreamRun& run = *args->run;
    Q5_TRACE_ENTRY();
    SendEvent(Q5_EVENT_STREAM_STARTED);

    Pacing pacing;
    pacing.pause_ms = m.pause_ms.load(); // kInitialPeriodMs: each run ends by restoring it
    pacing.stamp_ms = platform::GetTickCount();
    uint32_t consecutive_retries = 0;
    bool has_succeeded = false;
    auto buffer = std::make_unique<uint8_t[]>(Q5_MAX_FRAME_SIZE);

    for (;;) {
        WD_STATUS wait = OsEventWait(run.stop_event, 0);
        if (wait == WD_STATUS_SUCCESS) {
            Q5_TRACE_STEP("stop command coming");
            OsEventReset(run.stop_event);
            if (Cmd(args->device, kStopRequest, kCmdTimeoutMs)) {
                Q5_TRACE_STEP("stop command all right!");
            } else {
                Q5_CHECK(false);
            }
            break;
        }
        if (wait != WD_TIME_OUT_EXPIRED) {
            Q5_CHECK(false);
            break;
        }
        if (!Cmd(args->device, kFrameRequest, kCmdTimeoutMs)) {
            Q5_TRACE_STEP("Cmd failed.");
            break;
        }
        uint32_t transferred = 0;
        WD_STATUS status = WDU_Transfer(args->device, args->pipe, 1, args->options, buffer.get(),
                                        Q5_MAX_FRAME_SIZE, &transferred, nullptr, kReadTimeoutMs);
        TransferResult result = Classify(status, transferred);
        if (result == TransferResult::Fatal) {
            Q5_TRACE("wderr:[%X] %s dwTransferred:%u", status, Stat2Str(status), transferred);
            break;
        }
        // A camera that never delivers gives up after 1001 retries; one that
        // has delivered is retried for as long as it takes.
        if (!has_succeeded && consecutive_retries > 1000) {
            break;
        }
        if (result == TransferResult::Retry) {
            pacing.OnRetry();
            ++consecutive_retries;
            Q5_TRACE("Retry, failcount:%u, succcount:%u, continue:%u", pacing.failures,
                     pacing.successes, consecutive_retries);
            continue;
        }
        consecutive_retries = 0;
        has_succeeded = true;
        pacing.OnSuccess();
        m.pause_ms.store(pacing.pause_ms);
        pacing.OnFrame(platform::GetTickCount());
        m.time_per_frame_ms.store(pacing.time_per_frame_ms);

        if (!HandOff(run, buffer, transferred)) {
            continue;
        }
        Q5_TRACE("Transferred data:%u bytes,sleep:%u,PerTime:%u", transferred, pacing.pause_ms,
                 pacing.time_per_frame_ms);
        // A stop ends the pause at once (the event stays signalled, so the
        // loop's first step sees it): a stop never waits out up to a second.
        OsEventWait(run.stop_event, pacing.pause_ms);
    }

    buffer.reset();
    m.pause_ms.store(kInitialPeriodMs);
    m.time_per_frame_ms.store(kInitialPeriodMs);
    ReleaseRun(args->run);
    SendEvent(Q5_EVENT_STREAM_STOPPED);
    Q5_TRACE_STEP("Thread exit");
}

} // namespace

StreamRun::StreamRun() {
    ok = OsEventCreate(&stop_event) == WD_STATUS_SUCCESS &&
         OsEventReset(stop_event) == WD_STATUS_SUCCESS && frame_lock.Create() == WD_STATUS_SUCCESS;
    frame = std::make_unique<uint8_t[]>(Q5_MAX_FRAME_SIZE); // zero-filled
}

StreamRun::~StreamRun() {
    frame_lock.Close();
    if (stop_event != nullptr) {
        OsEventClose(stop_event);
    }
}

uint32_t NextFrameNumber() {
    static std::atomic<uint32_t> last{0};
    uint32_t number = last.fetch_add(1) + 1;
    while (number == 0) {
        number = last.fetch_add(1) + 1;
    }
    return number;
}

std::shared_ptr<StreamRun> CurrentRun() {
    platform::MutexLock lock(State().run_lock);
    return State().run;
}

TransferResult Classify(WD_STATUS status, uint32_t transferred) {
    if (status == WD_STATUS_SUCCESS && transferred > 0) {
        return TransferResult::Success;
    }
    if (status == WD_STATUS_SUCCESS || status == WD_TIME_OUT_EXPIRED) {
        return TransferResult::Retry;
    }
    return TransferResult::Fatal;
}

bool Cmd(WDU_DEVICE_HANDLE device, uint8_t request, uint32_t timeout_ms) {
    // Vendor request, device to host: type, request, value, index, length 4.
    const uint8_t setup[8] = {0xC0, request, 0, 0, 0, 0, 4, 0};
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint8_t reply[4] = {};
        uint32_t transferred = 0;
        WD_STATUS status = WDU_TransferDefaultPipe(device, 1, 0, reply, sizeof reply, &transferred,
                                                   setup, timeout_ms);
        TransferResult result = Classify(status, transferred);
        if (result == TransferResult::Success) {
            return true;
        }
        platform::Sleep(100);
        if (result == TransferResult::Fatal) {
            return false;
        }
    }
    return false;
}

bool StartStreamingLocked(Module& m) {
    Q5_TRACE_ENTRY();
    if (m.listen_pipe && m.listen_pipe->worker) {
        if (CurrentRun()) {
            return true; // already streaming: one worker per camera
        }
        ThreadWait(m.listen_pipe->worker); // ended by itself; collect it first
        m.listen_pipe->worker = nullptr;
    }
    auto run = std::make_shared<StreamRun>();
    if (!run->ok || !m.listen_pipe) {
        return false;
    }
    {
        platform::MutexLock lock(m.run_lock);
        m.run = run;
    }
    auto* args = new WorkerArgs{run, m.listen_pipe->device, m.listen_pipe->pipe->dwNumber,
                                m.listen_pipe->transfer_options};
    WD_STATUS status = ThreadStart(&m.listen_pipe->worker, PipeListen, args);
    if (status != WD_STATUS_SUCCESS) {
        delete args;
        ReleaseRun(run);
        m.listen_pipe->worker = nullptr;
        Q5_TRACE("%s(): error listening to pipe 0x%lx: error 0x%lx (\"%s\")", "TovekCameraPlay",
                 static_cast<unsigned long>(kListenPipeNumber), static_cast<unsigned long>(status),
                 Stat2Str(status));
        return false;
    }
    return true;
}

void StopStreamingLocked(Module& m) {
    if (std::shared_ptr<StreamRun> run = CurrentRun()) {
        Q5_CHECK_STATUS(OsEventSignal(run->stop_event));
    }
    if (m.listen_pipe && m.listen_pipe->worker) {
        Q5_TRACE("1 Stop listening to pipe");
        ThreadWait(m.listen_pipe->worker);
        Q5_TRACE("2 Stop listening to pipe");
        m.listen_pipe->worker = nullptr;
    }
    platform::MutexLock lock(m.run_lock);
    m.run.reset();
}

namespace {

// The fetch of both exports. With known non-null, only a picture whose number
// is not *known is copied, and *known (and *arrival_ms, when not null) then
// receives its number (and hand-off time).
bool Fetch(uint8_t* buffer, uint32_t* size, uint32_t* known, uint32_t* arrival_ms) {
    std::shared_ptr<StreamRun> run = CurrentRun();
    if (!run) {
        *size = 0;
        return false;
    }
    if (!run->frame_lock.LockFor(kBufferWaitMs)) {
        Q5_TRACE("Failed to wait for the q5 releasing the buffer mutex!WinLastError:%s",
                 Stat2Str(WD_TIME_OUT_EXPIRED));
        *size = 0;
        return false;
    }
    bool copied = false;
    // Before the first picture there is nothing new to copy.
    const bool wanted = known == nullptr || (run->frame_number != 0 && *known != run->frame_number);
    if (wanted && run->frame_length <= *size) {
        if (run->frame_length > 0) {
            std::memcpy(buffer, run->frame.get(), run->frame_length);
        }
        copied = true;
    }
    *size = run->frame_length;
    if (copied && known != nullptr) {
        *known = run->frame_number;
        if (arrival_ms != nullptr) {
            *arrival_ms = run->frame_tick;
        }
    }
    run->frame_lock.Unlock();
    return copied;
}

} // namespace

bool FetchFrame(uint8_t* buffer, uint32_t* size) {
    return Fetch(buffer, size, nullptr, nullptr);
}

bool FetchNewFrame(uint8_t* buffer, uint32_t* size, uint32_t* number, uint32_t* arrival_ms) {
    return Fetch(buffer, size, number, arrival_ms);
}

} // namespace q5
