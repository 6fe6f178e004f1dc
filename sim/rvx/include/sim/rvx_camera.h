// The emulated RVX camera: a USB video-class camera (vendor 0x0AC8, product
// 0x3610) plugged into the emulated devices of platform/devices, with
//
// - a video input node whose GStreamer source ("tovekrvxsrc", a live push
//   source, named in the device record as its source factory) streams
//   Motion-JPEG pictures of the document picture generator, 30 per second at
//   1280 x 720 unless other caps are negotiated; it offers the compressed
//   sizes and frame rates a UVC camera lists (RvxFormats());
// - an extension unit (id kRvxExtensionUnitId in its USB descriptors) whose
//   control 4 is the camera's command register, queried the way
//   UVCIOC_CTRL_QUERY queries a real unit; the device is plugged with it, so
//   platform::DeviceProvider::OpenExtensionUnit reaches it.
//
// The command register takes 4-byte writes in fixed sequences:
//   command: 20 46 B4 cmd, 20 38 B4 02, 20 40 B4 00, 20 41 B4 00, 20 44 B4 01
//            (cmd is executed after the fifth write)
//   state:   20 46 B4 00, 20 38 B4 02, 20 44 B4 02, 00 4C B4 00, 00 4C B4 FF,
//            00 4D B4 FF, then one GET_CUR whose byte 3 is the status
// The status is 0x11 normally and RvxStatusForCommand(cmd) for two seconds of
// platform::GetTickCount() after a command. A write that does not continue a
// sequence, or a read without a completed state sequence, is refused like a
// stalled control (-EPIPE) and starts the register afresh.
//
// Threads: every member may be called from any thread, also while the source
// streams; plugging and pulling included.
#pragma once

#include "sim/picture.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GstElement GstElement;

namespace sim {

inline constexpr char kRvxSourceFactory[] = "tovekrvxsrc";
inline constexpr uint16_t kRvxVendorId = 0x0AC8;
inline constexpr uint16_t kRvxProductId = 0x3610;
inline constexpr char kRvxFriendlyName[] = "RVX Document Camera";
inline constexpr uint8_t kRvxExtensionUnitId = 4;
inline constexpr uint8_t kRvxCommandControl = 4;
inline constexpr uint16_t kRvxControlSize = 4;
inline constexpr uint32_t kRvxStatusHoldMs = 2000;
inline constexpr int kRvxDefaultWidth = 1280;
inline constexpr int kRvxDefaultHeight = 720;
inline constexpr int kRvxDefaultFrameRate = 30;

// UVC request codes, as struct uvc_xu_control_query carries them.
inline constexpr uint8_t kUvcSetCur = 0x01;
inline constexpr uint8_t kUvcGetCur = 0x81;
inline constexpr uint8_t kUvcGetLen = 0x85;
inline constexpr uint8_t kUvcGetInfo = 0x86;

// One compressed frame size with the frame rates (frames per second) offered
// for it, fastest first. The default size comes first.
struct RvxFormat {
    int width;
    int height;
    std::vector<int> frame_rates;
};
const std::vector<RvxFormat>& RvxFormats();

// The command register's write sequences, without any I/O: feed it each
// 4-byte write and it says what the camera does.
class RvxRegisterSequence {
public:
    enum class Outcome {
        kRefused,      // out of order: the register starts afresh
        kAccepted,     // a step of a sequence
        kCommand,      // the fifth command write: Command() is to be executed
        kStateLatched, // the sixth state write: one read may follow
    };
    Outcome Write(std::span<const uint8_t> bytes);
    // True once after kStateLatched; any write clears it.
    bool TakeStateRead();
    uint8_t Command() const { return command_; }

private:
    enum class Step { kIdle, kFirst, kSecond, kCommand3, kCommand4, kState3, kState4, kState5 };
    Step step_ = Step::kIdle;
    uint8_t command_ = 0;
    bool state_read_ = false;
};

// Faults of the camera's video stream, for tests of a capture graph's
// failure handling.
enum class RvxStreamFault {
    kNone,
    // After the given number of further pictures one read fails: the source
    // posts a read error and ends its stream with GST_FLOW_ERROR, as v4l2src
    // does when reading the device fails. Clears itself once it has fired.
    kReadError,
    // Sources offer and accept only uncompressed YUY2 frames (grey), as a
    // camera without Motion-JPEG does, so a graph that takes JPEG only cannot
    // negotiate. Holds until cleared; applies from a source's next
    // negotiation.
    kRawOnly,
};

struct RvxCameraOptions {
    std::string serial = "RVX0001";
    // A frame counter and a moving square on every picture, so a viewer sees
    // the picture is live.
    bool live_marker = true;
    // The size its sources list first, which a graph that asks for none
    // negotiates at its fastest rate; a size RvxFormats() lacks keeps the
    // default.
    int default_width = kRvxDefaultWidth;
    int default_height = kRvxDefaultHeight;
    // Pictures replayed from memory (PictureGenerator::SetReplayLength):
    // for measuring what the pictures cost their receiver without the
    // encoder's work. 0: every frame encoded.
    uint32_t replay_length = 0;
};

// The options DefaultRvxCamera uses, from the values (null: unset) of
// TOVEK_SIM_RVX_SIZE=<width>x<height> and TOVEK_SIM_RVX_REPLAY=<count>;
// malformed values are ignored.
RvxCameraOptions DefaultRvxCameraOptions(const char* size, const char* replay);

// What the camera was asked, for tests.
struct RvxCounters {
    uint64_t control_queries = 0;
    uint64_t refused = 0;     // queries answered -EPIPE
    uint64_t commands = 0;    // commands executed
    uint64_t state_reads = 0; // status bytes read
    uint64_t pictures = 0;    // pictures taken by sources
};

class EmulatedRvxCamera : public std::enable_shared_from_this<EmulatedRvxCamera> {
public:
    // A new camera, not plugged yet. Its node name is unique in the process.
    static std::shared_ptr<EmulatedRvxCamera> Create(const RvxCameraOptions& options = {});
    ~EmulatedRvxCamera(); // pulls it out
    EmulatedRvxCamera(const EmulatedRvxCamera&) = delete;
    EmulatedRvxCamera& operator=(const EmulatedRvxCamera&) = delete;

    // The node name its video input device carries (VideoInputDevice::path).
    const std::string& Node() const { return node_; }

    // Plugging posts an arrival, pulling a removal (platform::Emulated()).
    // Both are idempotent; true when the camera is plugged (Plug) or was
    // plugged (Pull). A pulled camera refuses queries (-ENODEV) and its
    // sources fail with a read error.
    bool Plug();
    bool Pull();
    bool Plugged() const;
    // A disabled node: present, but the node status reports problem 22 and
    // there is no video input device.
    bool SetNodeDisabled(bool disabled);
    // Opening the capture node fails with error from now on (EACCES as
    // without the udev rules, EBUSY as when another program holds it); 0
    // lets it open again. Holds across plugging.
    bool RefuseOpen(int error);

    // A UVC extension-unit query: 0 or a negative errno (-ENODEV pulled,
    // -ENOENT no such unit or control, -EINVAL wrong size or request,
    // -EPIPE refused by the register). data holds the bytes to write or
    // receives the bytes read; its size is the query's size.
    int ControlQuery(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data);

    // The USB descriptors: device, configuration, video control interface
    // with camera terminal, processing unit, extension unit and output
    // terminal, and the streaming interface with its Motion-JPEG formats.
    std::vector<uint8_t> Descriptors() const;

    // The next picture at width x height for a source; nullptr when pulled
    // or when an injected read error fires (Plugged() tells which).
    std::shared_ptr<const std::vector<uint8_t>> TakePicture(int width, int height);

    // Sets a stream fault; kNone clears it. after_pictures counts for
    // kReadError only.
    void SetStreamFault(RvxStreamFault fault, uint32_t after_pictures = 0);
    // True while kRawOnly is set: what a source offers and accepts.
    bool OffersRawOnly() const;
    // RvxFormats() with the camera's default size first.
    std::vector<RvxFormat> Formats() const;

    CameraState State() const;
    // The status a read would give now.
    int Status() const;
    // The commands executed, oldest first (the last 4096).
    std::vector<uint8_t> Commands() const;
    RvxCounters Counters() const;

    // A new "tovekrvxsrc" element streaming from this camera (floating
    // reference), or null when GStreamer is not initialised.
    GstElement* CreateSourceElement(const char* name) const;

private:
    explicit EmulatedRvxCamera(const RvxCameraOptions& options, std::string node);
    struct Impl;
    const std::string node_;
    std::unique_ptr<Impl> impl_;
};

// The camera with this node name, while it exists.
std::shared_ptr<EmulatedRvxCamera> FindRvxCamera(std::string_view node);

// The camera a program with emulated devices finds plugged in: created and
// plugged at the first call (the emulated-device installer makes it),
// kept until the process ends. Its options come from the environment
// (DefaultRvxCameraOptions).
std::shared_ptr<EmulatedRvxCamera> DefaultRvxCamera();

// Registers kRvxSourceFactory with GStreamer (rank none). gst_init must have
// run. Safe to call any number of times; true when the element is available.
bool RegisterRvxSourceElement();

} // namespace sim
