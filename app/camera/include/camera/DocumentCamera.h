// The program's view of a document camera: one abstract interface over the
// two capture libraries, and a thin wrapper per family that holds the
// library's device handle (every model of a family behaves alike).
//
//   DocumentCamera
//     Q5Camera  -> TovekQ5usb (Tovek_Q5Usb_*)
//     RvxCamera -> TovekCorvane (Corvane_*)
//
// Results: 0 success, negative failure. An operation that needs an open
// device returns -1 without calling its library while none is open, and
// otherwise returns the library's result unchanged. Initialize, Uninitialize,
// GetDeviceCount, RegisterDeviceNotification and UpdateDevice need no device
// and always return the library's value.
//
// Threads: objects are used from the user-interface thread only; the
// callbacks they register run on library threads (see the library headers).
#pragma once

#include "TovekCorvane.h"
#include "TovekQ5usb.h"
#include "platform/devices.h"
#include "platform/media.h"
#include "platform/thread_annotations.h"
#include "platform/wintypes.h"
#include "settings/DeviceCatalogue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

// The stream callback of the camera's own family: Q5StreamCallback for a Q5
// camera, StreamCallback for an RVX camera, or nullptr to remove the one set.
// A camera refuses (-1, no library call) the other family's callback.
using DocumentStreamCallback = std::variant<std::nullptr_t, Q5StreamCallback, StreamCallback>;

class DocumentCamera {
public:
    DocumentCamera() = default;
    virtual ~DocumentCamera() = default;
    DocumentCamera(const DocumentCamera&) = delete;
    DocumentCamera& operator=(const DocumentCamera&) = delete;

    virtual int Initialize() = 0;
    virtual int Uninitialize() = 0;
    virtual int GetDeviceCount() = 0;
    // Closes a device that is open, then opens device index (always 0).
    virtual int Open(int index) = 0;
    // The one call for another thread: an Open, or the judgement of a
    // device change, running now that waits for a camera gives up at once
    // and fails, as does every one until the next Initialize. Nothing for a
    // family that does not wait.
    virtual void CancelOpen() {}
    // Closes the device; afterwards no device is open.
    virtual int Close() = 0;
    // The low byte of command goes to the camera.
    virtual int SendCmd(int command) = 0;
    // How long SendCmd would wait now before its command goes out (a
    // family's spacing of commands); 0 for none.
    virtual uint32_t CommandWaitMs() const { return 0; }
    virtual int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) = 0;
    virtual int UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) = 0;
    virtual int SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) = 0;
    // The program passes four zeros when playing stops.
    virtual int Refresh(int x, int y, int width, int height) = 0;
    virtual int Run() = 0;
    virtual int Stop() = 0;
    virtual int SetStreamCallback(DocumentStreamCallback callback, void* context) = 0;
    virtual int SetSampleCallback(MediaSampleCallback callback, void* context) = 0;
    // Fills the caller's record; only biWidth and biHeight are of use.
    virtual int GetStreamMediaType(VIDEOINFOHEADER* format) = 0;
    virtual int InitDirectShow() = 0;
    // The camera's status byte (17 is normal).
    virtual int GetState(int* state) = 0;
    // Lets the user choose the capture format in owner's dialog.
    virtual int VideoCapturePin(CORVANE_OWNER_WINDOW owner) = 0;
    // The failure the library kept since the last Run (after the error
    // notice: Q5 event 5, or the RVX stream callback with null data): a short
    // text for the user and one for the trace. 0 with both texts, 1 when no
    // failure is kept (texts empty), -1 when no device is open. Either
    // pointer may be null. Texts longer than kMaxErrorText bytes are cut.
    virtual int GetLastError(std::string* user_text, std::string* debug_text) = 0;

    static constexpr int kMaxErrorText = 2048;
};

// A Q5-family camera through TovekQ5usb.
class Q5Camera : public DocumentCamera {
public:
    // The status GetState reports: the library has no status read.
    static constexpr int kNormalState = 17;

    Q5Camera() = default;
    ~Q5Camera() override;

    int Initialize() override;
    int Uninitialize() override;
    int GetDeviceCount() override;
    int Open(int index) override;
    void CancelOpen() override;
    int Close() override;
    int SendCmd(int command) override;
    int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) override;
    int UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) override;
    int SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) override;
    int Refresh(int x, int y, int width, int height) override;
    int Run() override;
    int Stop() override;
    int SetStreamCallback(DocumentStreamCallback callback, void* context) override;
    int SetSampleCallback(MediaSampleCallback callback, void* context) override;
    int GetStreamMediaType(VIDEOINFOHEADER* format) override;
    int InitDirectShow() override;
    // kNormalState and 0 while a device is open; -1 when none is or state
    // is null.
    int GetState(int* state) override;
    // 0: the Q5 family has no capture-format choice.
    int VideoCapturePin(CORVANE_OWNER_WINDOW owner) override;
    int GetLastError(std::string* user_text, std::string* debug_text) override;

    bool IsOpen() const { return handle_ != nullptr; }

private:
    TovekQ5UsbDevice* handle_ = nullptr; // null when no device is open; UI thread only
};

// An RVX-family camera through TovekCorvane.
class RvxCamera : public DocumentCamera {
public:
    // The camera's command register drops a command that follows the
    // previous one, or the open, by less than this: SendCmd waits for the
    // rest of it, and only then.
    static constexpr uint32_t kCommandDelayMs = 300;

    RvxCamera() = default;
    ~RvxCamera() override;

    int Initialize() override;
    int Uninitialize() override;
    int GetDeviceCount() override;
    int Open(int index) override;
    int Close() override;
    int SendCmd(int command) override;
    uint32_t CommandWaitMs() const override;
    int RegisterDeviceNotification(DEVICE_CHANGE_RECEIVER receiver) override;
    // The arrival's wait for the camera to settle is what CancelOpen ends.
    int UpdateDevice(uint32_t event, const DEV_BROADCAST_HDR* header) override;
    void CancelOpen() override;
    int SetPosition(VIDEO_WINDOW window, int x, int y, int width, int height) override;
    int Refresh(int x, int y, int width, int height) override;
    int Run() override;
    int Stop() override;
    int SetStreamCallback(DocumentStreamCallback callback, void* context) override;
    int SetSampleCallback(MediaSampleCallback callback, void* context) override;
    int GetStreamMediaType(VIDEOINFOHEADER* format) override;
    // 0 at once: the library builds its graph in Open.
    int InitDirectShow() override;
    // -1 also for a null state.
    int GetState(int* state) override;
    int VideoCapturePin(CORVANE_OWNER_WINDOW owner) override;
    int GetLastError(std::string* user_text, std::string* debug_text) override;

    bool IsOpen() const { return handle_ != nullptr; }

private:
    CorvaneCaptureDevice* handle_ = nullptr; // null when closed; UI thread only
    uint32_t last_command_ms_ = 0;           // tick of the last command or open
    // Set by CancelOpen: the library's cancel reaches only a wait already
    // running, this one a wait about to begin.
    std::atomic<bool> cancelled_{false};
};

// A new, closed camera object of family's class: Q5Camera for kQ5,
// RvxCamera for kRVX; null for kNone.
std::unique_ptr<DocumentCamera> CreateDocumentCamera(DeviceFamily family);
// The camera object for a catalogue entry; null when it names no family.
std::unique_ptr<DocumentCamera> CreateDocumentCamera(std::u16string_view name);
