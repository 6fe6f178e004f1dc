// CameraSourceFilter: what the element adds to GStreamer's source base
// class: the pin with its camera, the client's callback and the
// ICameraSourceControl table. The driver is process-wide, so only one filter
// at a time gets a pin; any other has none and refuses to work.
#pragma once

#include "camera_source_pin.h"
#include "client_callback.h"

#include "platform/thread_annotations.h"

#include <memory>

namespace camsrc {

class CameraSourceFilter {
public:
    // Creates the pin (driver set-up, size probe, which give_up ends) unless
    // another filter holds the driver.
    explicit CameraSourceFilter(const CameraFrameSource::GiveUp& give_up = {});
    ~CameraSourceFilter();
    CameraSourceFilter(const CameraSourceFilter&) = delete;
    CameraSourceFilter& operator=(const CameraSourceFilter&) = delete;

    // Null when another filter holds the driver.
    CameraSourcePin* Pin() { return pin_.get(); }
    // Valid for the filter's lifetime.
    ICameraSourceControl* Interface() { return &table_.iface; }

    // ICameraSourceControl, as described in the element's header.
    HRESULT Control(int32_t code);
    HRESULT SendCommand(uint32_t command);
    HRESULT SetCallback(CameraSourceCallback callback, uintptr_t user);
    HRESULT GetFrameSize(int32_t* width, int32_t* height);
    HRESULT SetFrameSize(int32_t width, int32_t height);

    static CameraSourceFilter* FromInterface(ICameraSourceControl* iface);

private:
    // The interface first, so its address is the table's.
    struct Table {
        ICameraSourceControl iface;
        CameraSourceFilter* owner;
    };

    Table table_;
    ClientCallback client_;
    // The control lock: serialises Control, so a stop and a start never interleave.
    platform::Mutex control_lock_;
    bool owns_driver_ = false; // set once in the constructor
    std::unique_ptr<CameraSourcePin> pin_;
};

} // namespace camsrc
