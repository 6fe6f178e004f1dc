// The receivers registered with one back end, and the delivery of events to
// them from its notification thread.
#pragma once

#include "platform/devices.h"

#include "platform/thread_annotations.h"

#include <atomic>
#include <thread>
#include <vector>

namespace platform {

class ReceiverList {
public:
    // A registration that removes receiver again when destroyed. Null for a
    // null receiver.
    std::unique_ptr<DeviceNotification> Add(DeviceChangeReceiver* receiver);

    // Calls every receiver with event and a copy of broadcast, one after the
    // other, on the calling thread (the notification thread).
    void Deliver(uint32_t event, const DeviceBroadcast& broadcast);

    bool Empty();

private:
    class Registration;
    void Remove(DeviceChangeReceiver* receiver, uint64_t serial);
    void EraseEntry(DeviceChangeReceiver* receiver, uint64_t serial);

    struct Entry {
        DeviceChangeReceiver* receiver;
        uint64_t serial;
    };

    platform::Mutex list_mutex_;
    std::vector<Entry> entries_ TOVEK_GUARDED_BY(list_mutex_);
    uint64_t next_serial_ TOVEK_GUARDED_BY(list_mutex_) = 1;
    // Held through each Deliver, so that Remove from another thread waits for
    // a running call to end.
    platform::Mutex delivery_mutex_;
    std::atomic<std::thread::id> delivering_thread_{}; // the thread inside Deliver
};

} // namespace platform
