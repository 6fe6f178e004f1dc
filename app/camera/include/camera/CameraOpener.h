// CameraOpener: opens a camera object on a thread of its own, so that a
// library open that waits for its camera (Tovek_Q5Usb_Open waits up to
// 10 seconds when none is plugged in) never holds the user-interface thread.
//
// The camera object is handed over to Start and belongs to the opener until
// Take gives it back; meanwhile only the opener thread calls it (Initialize,
// then Open(0), or the job Start was given). When the open has returned, the
// done function runs on the
// opener thread with the ticket Start gave; it only posts, and the
// user-interface thread then calls Take with that ticket.
//
// Threads: Start, Take, Abandon and the destructor are for one thread (the
// user-interface thread). One open runs in the libraries at a time: a new
// opener thread first waits for the one before it, which Start cancelled.
#pragma once

#include "camera/DocumentCamera.h"
#include "platform/thread_annotations.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class CameraOpener {
public:
    using Done = std::function<void(uint64_t ticket)>;
    // What the opener thread does with the camera: 0 when it is open. The
    // default initialises and opens it.
    using Job = std::function<int(DocumentCamera& camera)>;

    explicit CameraOpener(Done done) : done_(std::move(done)) {}
    // Abandons a running open and waits for it to return (cancelled, it
    // returns within one of the library's polls).
    ~CameraOpener();
    CameraOpener(const CameraOpener&) = delete;
    CameraOpener& operator=(const CameraOpener&) = delete;

    // Abandons any earlier open, then initialises and opens camera (or runs
    // job with it) on a new thread. The ticket of this open (never 0).
    uint64_t Start(std::unique_ptr<DocumentCamera> camera, Job job = {});
    // The camera of ticket once its open has returned, with Open's result in
    // *open_result; null for a ticket that was abandoned, replaced or is
    // still opening.
    std::unique_ptr<DocumentCamera> Take(uint64_t ticket, int* open_result);
    // Gives up the current open: an open still running is cancelled
    // (DocumentCamera::CancelOpen); its camera is closed, uninitialised and
    // deleted when its open returns (at once when it has returned already).
    void Abandon();
    // Whether an open was started and neither taken nor abandoned.
    bool Pending() const { return job_ != nullptr; }

private:
    struct Attempt;
    static void Release(std::unique_ptr<DocumentCamera> camera, int open_result);

    const Done done_;
    std::shared_ptr<Attempt> job_; // the current open
    std::thread thread_;           // the latest opener thread; it joins the one before
    uint64_t next_ticket_ = 0;
};
