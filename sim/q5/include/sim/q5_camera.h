// The emulated Q5 camera: vendor 0x0525, product 0xA4A5, one vendor-specific
// interface whose alternate setting has the picture pipe 0x81 (bulk, or
// isochronous in a variant, maximum packet 512).
//
// Protocol: vendor request (request type 0xC0) 0xA2 makes the next read on
// 0x81 return one complete JPEG picture of the document picture generator;
// 0xA3 stops (a requested picture is dropped); any other request byte is a
// camera command applied to the picture (zoom, focus, brightness, ...).
// Every control request answers 4 bytes: 0x01, the request byte, 0, 0.
//
// Reads on 0x81 answer at most the requested size, as a USB device does:
// - no picture requested: the read waits for one (a 0xA2 from another
//   thread) until its time-out, then WD_TIME_OUT_EXPIRED;
// - a picture that fits: all of it, and the transfer ends;
// - a larger picture on the bulk pipe, read with a multiple of 512 bytes:
//   the first size bytes; the rest stays in the camera and the next read
//   returns it unless a 0xA2 or 0xA3 comes first, which drops it;
// - a larger picture read with any other size: the first size bytes and
//   WD_USBD_STATUS_BABBLE (the next packet overran the buffer); the rest is
//   dropped;
// - on the isochronous pipe: the first size bytes; the rest is dropped.
//
// Threads: every call may come from any thread, fault settings included,
// also while transfers run; they take effect from the next request or read.
#pragma once

#include "sim/picture.h"
#include "sim/usb_bus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sim {

inline constexpr uint16_t kQ5VendorId = 0x0525;
inline constexpr uint16_t kQ5ProductId = 0xA4A5;
inline constexpr uint32_t kQ5PicturePipe = 0x81;
inline constexpr uint32_t kQ5MaxPacketSize = 512;
inline constexpr uint8_t kQ5RequestType = 0xC0; // device to host, vendor, device
inline constexpr uint8_t kQ5FrameRequest = 0xA2;
inline constexpr uint8_t kQ5StopRequest = 0xA3;
inline constexpr uint32_t kQ5ReplySize = 4;
// The largest picture the Q5 driver takes in one read.
inline constexpr size_t kQ5MaxPictureSize = 655360;
// The size of an oversized picture (Q5PictureFault::kOversize).
inline constexpr size_t kQ5OversizePictureSize = kQ5MaxPictureSize + 65536;

enum class Q5PipeKind {
    kBulk,          // pipe 0x81 bulk in, the camera as sold
    kIsochronous,   // pipe 0x81 isochronous in, interval 1
    kNoPicturePipe, // pipe 0x82 bulk in instead of 0x81: a driver must refuse it
};

struct Q5CameraOptions {
    Q5PipeKind pipe = Q5PipeKind::kBulk;
    int width = 1024; // picture size, clamped by the generator
    int height = 768;
    // A frame counter and a moving square on every picture, so a viewer sees
    // the picture is live (costs an encoding per picture).
    bool live_marker = false;
    // With the live marker: pictures replayed from memory, each of this many
    // encoded once (see PictureGenerator::SetReplayLength), so that a
    // measurement of the receiver does not count the camera's encoder.
    uint32_t replay_length = 0;
};

enum class Q5ReadFault {
    kNone,
    kTimeOut, // the read waits its (capped) time-out: WD_TIME_OUT_EXPIRED
    kEmpty,   // status 0 and 0 bytes at once
    kPullOut, // the camera is pulled out in the middle of the read
    kStall,   // WD_USBD_STATUS_STALL_PID at once: a read that fails while attached
};

enum class Q5ControlFault {
    kNone,
    kStall,   // WD_USBD_STATUS_STALL_PID at once
    kTimeOut, // WD_TIME_OUT_EXPIRED after the request's (capped) time-out
    kRefuse,  // status 0 and no reply byte: the request was not taken
};

enum class Q5PictureFault {
    kNone,
    kExactMaximumSize, // padded (comment segments) to exactly 655360 bytes
    kOversize,         // padded to kQ5OversizePictureSize bytes
    kCorrupt,          // damaged with the chosen JpegDamage
};

// What the camera was asked, for tests. Requests and reads are counted when
// they arrive, also when a fault fails them.
struct Q5Counters {
    uint64_t control_requests = 0;
    uint64_t frame_requests = 0; // 0xA2
    uint64_t stop_requests = 0;  // 0xA3
    uint64_t commands = 0;       // any other request byte
    uint64_t reads = 0;          // on 0x81
    uint64_t pictures = 0;       // pictures whose first bytes a read returned
    uint64_t read_timeouts = 0;  // reads answered WD_TIME_OUT_EXPIRED
};

class EmulatedQ5Camera : public EmulatedUsbDevice {
public:
    // A fault count that never runs out.
    static constexpr uint32_t kEvery = UINT32_MAX;

    explicit EmulatedQ5Camera(const Q5CameraOptions& options = {});
    ~EmulatedQ5Camera() override;

    // The next count reads on 0x81 fail with fault (kEvery: all of them);
    // kNone clears the fault.
    void FailReads(Q5ReadFault fault, uint32_t count = kEvery);
    // The next count control requests fail with fault; with request 0..255
    // only requests with that byte count and fail.
    void FailControlRequests(Q5ControlFault fault, uint32_t count = kEvery, int request = -1);
    // Every picture from now on; damage is used with kCorrupt.
    void SetPictureFault(Q5PictureFault fault, JpegDamage damage = JpegDamage::kTruncate);
    // Real time between a picture being read for and its first byte (0 for
    // benchmarks). A pull-out ends the wait.
    void SetDeliveryDelay(uint32_t ms);
    // Caps the emulated time-outs (a read without a picture, an injected
    // time-out) at ms, so tests stay fast; the status stays the time-out
    // status. 0: the request's own time-out.
    void SetTimeoutCap(uint32_t ms);
    void SetPictureSize(int width, int height);
    // Opening the camera fails with error (EACCES as without the udev rules,
    // EBUSY as when another program holds it) from the next plug-in or
    // driver registration on; 0 lets it open again.
    void RefuseOpen(int error);

    Q5Counters Counters() const;
    // The command bytes received (not 0xA2 or 0xA3), oldest first; the last
    // 4096 are kept.
    std::vector<uint8_t> Commands() const;
    // The camera state the commands produced.
    CameraState State() const;
    // The picture a frame request would bring now, before picture faults.
    std::shared_ptr<const std::vector<uint8_t>> CurrentPicture();

    platform::UsbDeviceDescription Description() const override;
    int OpenError() const override;
    EmulatedTransferResult HandleControl(const TransferContext& context, const ControlSetup& setup,
                                         std::span<uint8_t> data) override;
    EmulatedTransferResult HandlePipe(const TransferContext& context, const WDU_PIPE_INFO& pipe,
                                      bool read, uint32_t options,
                                      std::span<uint8_t> data) override;

protected:
    void OnPulledOut() override;

private:
    struct Faults {
        Q5ReadFault read = Q5ReadFault::kNone;
        uint32_t read_count = 0;
        Q5ControlFault control = Q5ControlFault::kNone;
        uint32_t control_count = 0;
        int control_request = -1;
        Q5PictureFault picture = Q5PictureFault::kNone;
        JpegDamage damage = JpegDamage::kTruncate;
        uint32_t delivery_delay_ms = 0;
        uint32_t timeout_cap_ms = 0;
        int open_error = 0;
    };
    using Picture = std::shared_ptr<const std::vector<uint8_t>>;

    Q5ReadFault TakeReadFault() TOVEK_REQUIRES(Mutex());
    Q5ControlFault TakeControlFault(uint8_t request) TOVEK_REQUIRES(Mutex());
    uint32_t CappedTimeout(uint32_t timeout_ms) const TOVEK_REQUIRES(Mutex());
    Picture TakePicture(Q5PictureFault fault, JpegDamage damage, uint64_t number);
    // Hands out the pending picture's next bytes.
    EmulatedTransferResult Deliver(std::span<uint8_t> data, const WDU_PIPE_INFO& pipe)
        TOVEK_REQUIRES(Mutex());

    const Q5PipeKind pipe_kind_;
    PictureGenerator generator_; // thread-safe on its own

    Faults faults_ TOVEK_GUARDED_BY(Mutex());
    CameraState state_ TOVEK_GUARDED_BY(Mutex());
    bool picture_requested_ TOVEK_GUARDED_BY(Mutex()) = false;
    Picture pending_ TOVEK_GUARDED_BY(Mutex());           // the picture being read, null when none
    size_t pending_offset_ TOVEK_GUARDED_BY(Mutex()) = 0; // bytes of pending_ already read
    Q5Counters counters_ TOVEK_GUARDED_BY(Mutex());
    std::vector<uint8_t> commands_ TOVEK_GUARDED_BY(Mutex());
};

// A camera with the default options and the live marker on: the one a
// program with emulated devices finds plugged in, and what "plug q5" adds.
// For measuring the running program, the environment may change it:
// TOVEK_SIM_Q5_SIZE=<width>x<height> sets the picture size and
// TOVEK_SIM_Q5_REPLAY=<count> replays that many pictures from memory.
std::shared_ptr<EmulatedQ5Camera> MakeDefaultQ5Camera();
// The options MakeDefaultQ5Camera uses, from those two variables' values
// (null: unset); malformed values are ignored.
Q5CameraOptions DefaultQ5CameraOptions(const char* size, const char* replay);

} // namespace sim
