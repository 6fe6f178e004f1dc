// One picture's text read on a worker thread of its own: the picture is
// copied, the reader opened and the page recognised there, and the outcome
// handed to a callback on that thread. Its owner (the user-interface
// thread) only reads the progress and may stop it; ending the job stops it
// and waits the few words Tesseract needs to notice.
#pragma once

#include "text/TextReader.h"

#include <functional>
#include <thread>

namespace text {

class ReadJob {
public:
    // Runs on the worker once, last: it must only post (the job may be
    // ending at that moment).
    using Done = std::function<void(int result, const Page& page, const Error& error)>;

    // Starts reading a copy of picture in languages (OpenReader's
    // arguments).
    ReadJob(const Picture& picture, std::string languages, std::string data_folder, Done done);
    ~ReadJob();
    ReadJob(const ReadJob&) = delete;
    ReadJob& operator=(const ReadJob&) = delete;

    // 0 to 100; any thread.
    int Percent() const { return monitor_.percent.load(); }
    // Asks the worker to stop; its Done then gets kCancelled (unless it had
    // finished).
    void Cancel() { monitor_.cancel.store(true); }

private:
    void Run();

    Monitor monitor_;
    // The worker's own from the start on.
    std::vector<uint8_t> pixels_;
    Picture picture_;
    std::string languages_;
    std::string data_folder_;
    Done done_;
    std::thread worker_; // last: it starts when everything above is set
};

} // namespace text
