#include "receivers.h"

#include <algorithm>

namespace platform {

class ReceiverList::Registration final : public DeviceNotification {
public:
    Registration(ReceiverList* list, DeviceChangeReceiver* receiver, uint64_t serial)
        : list_(list), receiver_(receiver), serial_(serial) {}
    ~Registration() override { list_->Remove(receiver_, serial_); }

private:
    ReceiverList* list_;
    DeviceChangeReceiver* receiver_;
    uint64_t serial_;
};

std::unique_ptr<DeviceNotification> ReceiverList::Add(DeviceChangeReceiver* receiver) {
    if (receiver == nullptr) {
        return nullptr;
    }
    platform::MutexLock lock(list_mutex_);
    const uint64_t serial = next_serial_++;
    entries_.push_back({receiver, serial});
    return std::make_unique<Registration>(this, receiver, serial);
}

void ReceiverList::Remove(DeviceChangeReceiver* receiver, uint64_t serial) {
    // From inside a delivery the running call is our caller: do not wait for it.
    if (delivering_thread_.load() == std::this_thread::get_id()) {
        EraseEntry(receiver, serial);
        return;
    }
    platform::MutexLock delivery(delivery_mutex_);
    EraseEntry(receiver, serial);
}

void ReceiverList::EraseEntry(DeviceChangeReceiver* receiver, uint64_t serial) {
    platform::MutexLock lock(list_mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        return entry.receiver == receiver && entry.serial == serial;
    });
    if (it != entries_.end()) {
        entries_.erase(it);
    }
}

void ReceiverList::Deliver(uint32_t event, const DeviceBroadcast& broadcast) {
    platform::MutexLock delivery(delivery_mutex_);
    delivering_thread_.store(std::this_thread::get_id());
    std::vector<Entry> entries;
    {
        platform::MutexLock lock(list_mutex_);
        entries = entries_;
    }
    for (const Entry& entry : entries) {
        // A receiver removed by an earlier receiver of this round is skipped.
        bool still_registered = false;
        {
            platform::MutexLock lock(list_mutex_);
            still_registered = std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
                return e.receiver == entry.receiver && e.serial == entry.serial;
            });
        }
        if (still_registered) {
            entry.receiver->OnDeviceChange(event, broadcast);
        }
    }
    delivering_thread_.store(std::thread::id{});
}

bool ReceiverList::Empty() {
    platform::MutexLock lock(list_mutex_);
    return entries_.empty();
}

} // namespace platform
