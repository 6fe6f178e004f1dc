#include "camera/CameraOpener.h"

// What the opener thread and the user-interface thread share for one open.
struct CameraOpener::Attempt {
    explicit Attempt(uint64_t ticket) : ticket(ticket) {}
    const uint64_t ticket;
    platform::Mutex lock;
    // Owned here while the open runs; the opener thread alone calls it until
    // finished is set.
    std::unique_ptr<DocumentCamera> camera TOVEK_GUARDED_BY(lock);
    int open_result TOVEK_GUARDED_BY(lock) = -1;
    bool finished TOVEK_GUARDED_BY(lock) = false;
    bool abandoned TOVEK_GUARDED_BY(lock) = false;
};

CameraOpener::~CameraOpener() {
    Abandon();
    if (thread_.joinable())
        thread_.join();
}

void CameraOpener::Release(std::unique_ptr<DocumentCamera> camera, int open_result) {
    if (!camera)
        return;
    if (open_result == 0)
        camera->Close();
    camera->Uninitialize();
}

uint64_t CameraOpener::Start(std::unique_ptr<DocumentCamera> camera, Job open) {
    Abandon();
    if (!open)
        open = [](DocumentCamera& camera) {
            camera.Initialize();
            return camera.Open(0);
        };
    auto job = std::make_shared<Attempt>(++next_ticket_);
    DocumentCamera* const opening = camera.get();
    {
        platform::MutexLock lock(job->lock);
        job->camera = std::move(camera);
    }
    std::thread previous = std::move(thread_);
    thread_ = std::thread([job, opening, open = std::move(open), previous = std::move(previous),
                           done = done_]() mutable {
        if (previous.joinable())
            previous.join();
        const int result = open(*opening);
        std::unique_ptr<DocumentCamera> unwanted;
        {
            platform::MutexLock lock(job->lock);
            job->open_result = result;
            job->finished = true;
            if (job->abandoned)
                unwanted = std::move(job->camera);
        }
        if (unwanted)
            Release(std::move(unwanted), result);
        else if (done)
            done(job->ticket);
    });
    job_ = std::move(job);
    return job_->ticket;
}

std::unique_ptr<DocumentCamera> CameraOpener::Take(uint64_t ticket, int* open_result) {
    if (!job_ || job_->ticket != ticket)
        return nullptr;
    std::unique_ptr<DocumentCamera> camera;
    {
        platform::MutexLock lock(job_->lock);
        if (!job_->finished)
            return nullptr;
        camera = std::move(job_->camera);
        *open_result = job_->open_result;
    }
    job_.reset();
    return camera;
}

void CameraOpener::Abandon() {
    if (!job_)
        return;
    std::unique_ptr<DocumentCamera> unwanted;
    int result = -1;
    {
        platform::MutexLock lock(job_->lock);
        job_->abandoned = true;
        if (job_->finished) {
            unwanted = std::move(job_->camera);
            result = job_->open_result;
        } else {
            // Its wait for a camera would hold up the next open, or the
            // program's end, for nothing.
            job_->camera->CancelOpen();
        }
    }
    job_.reset();
    Release(std::move(unwanted), result);
}
