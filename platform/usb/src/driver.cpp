#include "driver.h"

#include "description.h"
#include "platform/device_access.h"

#include <algorithm>
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
        return status;
    }
    // The back end has reported the devices present by now; once they are
    // handled, what an earlier registration recorded about the others is
    // stale (they were unplugged meanwhile).
    {
        platform::MutexLock lock(queue_mutex_);
        if (!stopping_) {
            queue_.push_back(Event{0, nullptr, true});
        }
    }
    queue_cv_.NotifyOne();
    return status;
}

void Driver::Stop() {
    backend_->Stop(); // no event arrives after this
    {
        platform::MutexLock lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        queue_.clear();
    }
    queue_cv_.NotifyAll();
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
        platform::MutexLock lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        queue_.push_back(Event{key, std::move(candidate)});
    }
    queue_cv_.NotifyOne();
}

void Driver::Left(uint64_t key) {
    {
        platform::MutexLock lock(queue_mutex_);
        if (stopping_) {
            return;
        }
        queue_.push_back(Event{key, nullptr});
    }
    queue_cv_.NotifyOne();
}

bool Driver::Stopping() {
    platform::MutexLock lock(queue_mutex_);
    return stopping_;
}

void Driver::Run() {
    for (;;) {
        Event event;
        {
            platform::MutexLock lock(queue_mutex_);
            queue_cv_.Wait(queue_mutex_, [this] {
                queue_mutex_.AssertHeld();
                return stopping_ || !queue_.empty();
            });
            if (stopping_) {
                return;
            }
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        if (event.present_reported) {
            ForgetStaleAccessErrors();
        } else if (event.candidate) {
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
    const uint16_t vendor_id = entry->description.descriptor.idVendor;
    const uint16_t product_id = entry->description.descriptor.idProduct;
    OpenFailure failure;
    entry->device = candidate.Open(&entry->description, &failure);
    if (!entry->device) {
        // A device that is there but refused to us is recorded, so the
        // driver above need not wait for it and the user learns why.
        if (ReportDeviceAccessError(vendor_id, product_id, failure.error, failure.detail) ||
            GetDeviceAccessError(vendor_id, product_id, nullptr)) {
            refused_[key] = {vendor_id, product_id};
            refused_count_ = refused_.size();
        }
        return;
    }
    ClearDeviceAccessError(vendor_id, product_id);
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

void Driver::ForgetStaleAccessErrors() {
    for (const WDU_MATCH_TABLE& entry : match_table_) {
        if (entry.wVendorId == 0 || entry.wProductId == 0) {
            continue;
        }
        const std::pair<uint16_t, uint16_t> ids{entry.wVendorId, entry.wProductId};
        const bool refused_now = std::any_of(refused_.begin(), refused_.end(),
                                             [&](const auto& r) { return r.second == ids; });
        if (!refused_now) {
            ClearDeviceAccessError(entry.wVendorId, entry.wProductId);
        }
    }
}

void Driver::HandleLeft(uint64_t key) {
    if (auto refused = refused_.find(key); refused != refused_.end()) {
        ClearDeviceAccessError(refused->second.first, refused->second.second);
        refused_.erase(refused);
        refused_count_ = refused_.size();
        return;
    }
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
