// One driver registration (WDU_Init ... WDU_Uninit): its match table and
// callbacks, its back end, and the driver thread that opens matching devices
// and runs the callbacks, one event at a time, in the order they came.
#pragma once

#include "handles.h"
#include "platform/usb_backend.h"

#include "platform/thread_annotations.h"
#include <atomic>
#include <deque>
#include <map>
#include <memory>

#include <mutex>
#include <thread>
#include <vector>

namespace platform::usb {

// A device a registration attached (or is attaching). Reached through its
// handle; transfers hold a reference for their duration.
struct DeviceEntry {
    std::shared_ptr<OpenDevice> device;
    UsbDeviceDescription description;
    std::atomic<bool> gone{false}; // detached, refused or unregistered
};

// Every device handle of the process.
HandleTable<DeviceEntry>& DeviceHandles();

class Driver final : public EventSink, public std::enable_shared_from_this<Driver> {
public:
    Driver(std::vector<WDU_MATCH_TABLE> match_table, const WDU_EVENT_TABLE& events,
           std::unique_ptr<Backend> backend);
    ~Driver() override;

    // Starts the driver thread and the back end.
    WD_STATUS Start();
    // Stops the back end and the driver thread (waiting for a running
    // callback unless called from one) and releases the devices.
    void Stop();

    // Any thread: see WDU_HasRefusedDevice.
    bool HasRefusedDevice() const { return refused_count_.load() > 0; }

    void Arrived(uint64_t key, std::shared_ptr<Candidate> candidate) override;
    void Left(uint64_t key) override;

private:
    struct Event {
        uint64_t key;
        std::shared_ptr<Candidate> candidate; // null: the device left
        bool present_reported = false;        // the devices present at Start are queued
    };
    struct Attached {
        void* handle;
        std::shared_ptr<DeviceEntry> entry;
    };

    void Run();
    void HandleArrived(uint64_t key, Candidate& candidate);
    void HandleLeft(uint64_t key);
    // Clears the access records of matched devices this registration did not
    // find refused.
    void ForgetStaleAccessErrors();
    bool Stopping();

    const std::vector<WDU_MATCH_TABLE> match_table_;
    const WDU_EVENT_TABLE events_;
    std::unique_ptr<Backend> backend_;

    platform::Mutex queue_mutex_;
    platform::CondVar queue_cv_;
    std::deque<Event> queue_ TOVEK_GUARDED_BY(queue_mutex_);
    bool stopping_ TOVEK_GUARDED_BY(queue_mutex_) = false;

    std::thread thread_;
    // Driver thread only (and Stop once that thread is done with it).
    std::map<uint64_t, Attached> attached_;
    // Devices present but refused to us (vendor and product id), whose
    // access record goes when they leave.
    std::map<uint64_t, std::pair<uint16_t, uint16_t>> refused_;
    std::atomic<size_t> refused_count_{0}; // refused_.size(), for any thread
};

} // namespace platform::usb
