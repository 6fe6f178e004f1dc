// The device objects behind the exports: CorvaneDeviceControl finds and binds
// the camera and owns its extension unit; CorvaneCaptureDevice adds the
// capture graph, its grabbers and callbacks.
//
// Threads: the caller's thread builds, runs, stops and tears down (graph
// fields: caller thread only). Streaming threads call the GrabberCallbacks.
// Commands and status reads may come from any thread; xu_mutex_ serialises
// them and guards the extension unit against teardown. A failure posted on
// the graph's bus (any thread) is kept and its stop handed to the device's
// error-stop thread, which stops the graph under the state lock and then
// sends the error notice.
#pragma once

#include "TovekCorvane.h"
#include "error_stop.h"
#include "extension_unit.h"
#include "grabber_callback.h"
#include "media_type.h"

#include "platform/capture_error.h"
#include "platform/devices.h"
#include "platform/gst_ref.h"
#include "platform/thread_annotations.h"

#include <gst/gst.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

// gst_init and the elements of platform/media; true when usable.
bool EnsureGStreamer();

// Whether the device could be bound to a source now (its source element is
// known, and its capture node opens). A node that is refused (no permission,
// another program's) is recorded in platform/device_access.h; one that
// opens clears the record.
bool CanBind(const platform::VideoInputDevice& camera);

// The copy of a stream's video information: -1 without caps; otherwise 0,
// with out filled only when the caps carry video information.
int CopyStreamMediaType(const GstCaps* caps, MediaTypeRecord* record, VIDEOINFOHEADER* out);

class CorvaneDeviceControl {
public:
    CorvaneDeviceControl();
    virtual ~CorvaneDeviceControl();
    CorvaneDeviceControl(const CorvaneDeviceControl&) = delete;
    CorvaneDeviceControl& operator=(const CorvaneDeviceControl&) = delete;

    virtual int GetStreamMediaType(VIDEOINFOHEADER* out);
    virtual int SendCmd(uint8_t command);
    // Finds the camera by the moniker prefix and checks it can be bound.
    virtual bool FindCaptureFilter();
    virtual int Exchange(uint8_t value, uint8_t reply[4]);
    virtual void TearDown();
    // Builds the graph; connects it too when connect is true.
    virtual bool Build(bool connect);

    int GetState(int* state);

protected:
    // Steps shared by every graph: the pipeline with handler as the one sync
    // handler of its bus (it runs on posting threads and owns the messages it
    // drops), the camera source and the extension unit.
    bool BuildCameraPart(GstBusSyncHandler handler, gpointer data);

    // Caller thread only.
    platform::VideoInputDevice camera_;
    platform::GstRef<GstElement> pipeline_; // owns every element below
    GstElement* camera_source_ = nullptr;   // "Tovek Camera Source": camera and format filter
    GstElement* format_filter_ = nullptr;

    platform::Mutex xu_mutex_; // held through each register sequence
    std::unique_ptr<ExtensionUnitControl> extension_unit_ TOVEK_GUARDED_BY(xu_mutex_);
};

} // namespace corvane

struct CorvaneCaptureDevice final : corvane::CorvaneDeviceControl {
    CorvaneCaptureDevice();
    ~CorvaneCaptureDevice() override;

    int GetStreamMediaType(VIDEOINFOHEADER* out) override;
    void TearDown() override;
    bool Build(bool connect) override;

    void SetStreamCallback(StreamCallback callback, void* user);
    void SetSampleCallback(SampleCallback callback, void* user);
    void SetSampleCallbackEx(SampleCallbackEx callback, void* user);
    int VideoCapturePin(CORVANE_OWNER_WINDOW window);

    int Run();
    int Stop();
    int SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height);
    int Refresh(int x, int y, int width, int height);
    // Corvane_GetLastError; any thread.
    int GetLastError(char* user_text, int user_size, char* debug_text, int debug_size) const;

private:
    bool Connect();
    // The bus sync handler: keeps the first failure of the run and requests
    // its stop. Runs on the thread that posts; never waits for the graph.
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    // On the error-stop thread: stops run generation unless it has ended or
    // the graph was replaced since, then sends the error notice.
    void StopAfterError(uint32_t generation);
    // The camera's compressed formats, probed with the camera opened.
    std::vector<CorvaneVideoFormat> ProbeFormats();

    // Caller thread only.
    corvane::MediaTypeRecord media_type_;
    GstElement* stream_grabber_ = nullptr; // "Stream Callback"
    GstElement* decoder_ = nullptr;        // "MJPEG Decompressor"
    GstElement* smart_tee_ = nullptr;      // "Smart Tee"
    GstElement* sample_grabber_ = nullptr; // "Sample Grabber"
    GstElement* renderer_ = nullptr;       // "Video Renderer", once connected
    bool connected_ = false;
    std::optional<CorvaneVideoFormat> chosen_format_; // kept across rebuilds

    // Live as long as the device; each has its own locks.
    corvane::GrabberCallback stream_callback_;
    corvane::GrabberCallback sample_callback_;

    // The state lock: held while Run, Stop, TearDown or an error stop change
    // the pipeline's state; guards running_ and the writes of run_generation_.
    platform::Mutex state_lock_;
    // Run succeeded and nothing stopped the graph since.
    bool running_ TOVEK_GUARDED_BY(state_lock_) = false;
    // Counts runs and graphs, so a stop requested for an ended run is
    // dropped. Read without the lock by the bus handler.
    std::atomic<uint32_t> run_generation_{0};
    platform::FirstCaptureError error_; // the first failure since Run; its own lock
    // Declared last: its thread ends before the members it uses go.
    corvane::ErrorStopThread error_stop_;
};
