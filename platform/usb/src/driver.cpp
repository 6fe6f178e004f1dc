#include "driver.h"

#include "description.h"

#include <system_error>

namespace platform::usb {

HandleTable<DeviceEntry>& DeviceHandles() {
    // Never destroyed: handles may be used by threads still running at exit.
    static auto* table = new HandleTable<DeviceEntry>(0xDE);
    return *table;
}

Driver::Driver(std::vector<WDU_MATCH_TABLE> match_table, const WDU_EVENT_TABLE& events,
               std::unique_ptr<Backend> backend)
    : match_table_(std::move(match_table)), events_(events), backend_(std::move(backend)) {}

Driver::~Driver() = default;

WD_STATUS Driver::Start() {
    try {
        // The thread keeps the registration alive while it runs.
        thread_ = std::thread([self = shared_from_this()] { self->Run(); });
    } catch (const std::system_error&) {
        return WD_INSUFFICIENT_RESOURCES;
    }
    WD_STATUS status = backend_->Start(this);
    if (status != WD_STATUS_SUCCESS) {
        Stop();
    }
    return status;
}

void Driver::Stop() {
    backend_->Stop(); // no event arrives after this
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        queue_.clear();
    }
    queue_cv_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // called from a callback: the thread ends when it returns
        } else {
            thread_.join();
        }
    }
    for (auto& [key, attached] : attached_) {
        attached.entry->gone = true;
        DeviceHandles().Retire(attached.handle);
    }
    attached_.clear();
}

void Driver::Arrived(uint64_t key, std::shared_ptr<Candidate> candidate) {
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        queue_.push_back(Event{key, std::move(candidate)});
    }
    queue_cv_.notify_one();
}

void Driver::Left(uint64_t key) {
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        queue_.push_back(Event{key, nullptr});
    }
    queue_cv_.notify_one();
}

bool Driver::Stopping() {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    return stopping_;
}

void Driver::Run() {
    for (;;) {
        Event event;
        {
            std::unique_lock<std::mutex> lock(queue_mutex_);
            queue_cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        if (event.candidate) {
            HandleArrived(event.key, *event.candidate);
        } else {
            HandleLeft(event.key);
        }
    }
}

void Driver::HandleArrived(uint64_t key, Candidate& candidate) {
    if (attached_.count(key) != 0) {
        return; // reported twice (enumeration racing with hot-plug)
    }
    auto entry = std::make_shared<DeviceEntry>();
    if (!candidate.Describe(&entry->description) || !MatchesAny(match_table_, entry->description)) {
        return;
    }
    entry->device = candidate.Open(&entry->description);
    if (!entry->device) {
        return;
    }
    void* handle = DeviceHandles().Add(entry);
    DeviceInfoBlock info(entry->description);
    bool accepted = events_.pfDeviceAttach(handle, info.Device(), events_.pUserData);
    if (accepted && !Stopping()) {
        attached_.emplace(key, Attached{handle, entry});
        return;
    }
    // Refused (or unregistered from inside the callback): let the device go.
    entry->gone = true;
    DeviceHandles().Retire(handle);
}

void Driver::HandleLeft(uint64_t key) {
    auto it = attached_.find(key);
    if (it == attached_.end()) {
        return;
    }
    Attached attached = std::move(it->second);
    attached_.erase(it);
    attached.entry->gone = true;
    if (events_.pfDeviceDetach != nullptr) {
        events_.pfDeviceDetach(attached.handle, events_.pUserData);
    }
    DeviceHandles().Retire(attached.handle);
}

} // namespace platform::usb
