#include "sim/q5_camera.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

constexpr size_t kKeptCommands = 4096;

EmulatedTransferResult Status(WD_STATUS status) {
    return EmulatedTransferResult{status, 0};
}

// A picture grown (or, when it is larger already, cut) to exactly size bytes.
std::vector<uint8_t> Resized(const std::vector<uint8_t>& jpeg, size_t size) {
    std::vector<uint8_t> out;
    if (PadJpeg(jpeg, size, JpegPadding::kCommentSegment, &out) ||
        PadJpeg(jpeg, size, JpegPadding::kAfterEnd, &out)) {
        return out;
    }
    out = jpeg;
    out.resize(size, 0);
    return out;
}

} // namespace

EmulatedQ5Camera::EmulatedQ5Camera(const Q5CameraOptions& options)
    : pipe_kind_(options.pipe), generator_(options.width, options.height) {
    generator_.SetLiveMarker(options.live_marker);
    generator_.SetReplayLength(options.replay_length);
}

EmulatedQ5Camera::~EmulatedQ5Camera() = default;

void EmulatedQ5Camera::FailReads(Q5ReadFault fault, uint32_t count) {
    platform::MutexLock lock(Mutex());
    faults_.read = count != 0 ? fault : Q5ReadFault::kNone;
    faults_.read_count = count;
}

void EmulatedQ5Camera::FailControlRequests(Q5ControlFault fault, uint32_t count, int request) {
    platform::MutexLock lock(Mutex());
    faults_.control = count != 0 ? fault : Q5ControlFault::kNone;
    faults_.control_count = count;
    faults_.control_request = request;
}

void EmulatedQ5Camera::SetPictureFault(Q5PictureFault fault, JpegDamage damage) {
    platform::MutexLock lock(Mutex());
    faults_.picture = fault;
    faults_.damage = damage;
}

void EmulatedQ5Camera::SetDeliveryDelay(uint32_t ms) {
    platform::MutexLock lock(Mutex());
    faults_.delivery_delay_ms = ms;
}

void EmulatedQ5Camera::SetTimeoutCap(uint32_t ms) {
    platform::MutexLock lock(Mutex());
    faults_.timeout_cap_ms = ms;
}

void EmulatedQ5Camera::SetPictureSize(int width, int height) {
    generator_.SetSize(width, height);
}

void EmulatedQ5Camera::RefuseOpen(int error) {
    platform::MutexLock lock(Mutex());
    faults_.open_error = error;
}

int EmulatedQ5Camera::OpenError() const {
    platform::MutexLock lock(Mutex());
    return faults_.open_error;
}

Q5Counters EmulatedQ5Camera::Counters() const {
    platform::MutexLock lock(Mutex());
    return counters_;
}

std::vector<uint8_t> EmulatedQ5Camera::Commands() const {
    platform::MutexLock lock(Mutex());
    return commands_;
}

CameraState EmulatedQ5Camera::State() const {
    platform::MutexLock lock(Mutex());
    return state_;
}

std::shared_ptr<const std::vector<uint8_t>> EmulatedQ5Camera::CurrentPicture() {
    return generator_.Jpeg();
}

platform::UsbDeviceDescription EmulatedQ5Camera::Description() const {
    platform::UsbDeviceDescription device;
    WDU_DEVICE_DESCRIPTOR& d = device.descriptor;
    d.bLength = 18;
    d.bDescriptorType = 1; // device
    d.bcdUSB = 0x0200;
    d.bMaxPacketSize0 = 64;
    d.idVendor = kQ5VendorId;
    d.idProduct = kQ5ProductId;
    d.bcdDevice = 0x0100;
    d.iManufacturer = 1;
    d.iProduct = 2;
    d.bNumConfigurations = 1;

    platform::UsbAlternateSetting setting;
    WDU_INTERFACE_DESCRIPTOR& i = setting.descriptor;
    i.bLength = 9;
    i.bDescriptorType = 4; // interface
    i.bNumEndpoints = 1;
    i.bInterfaceClass = 0xFF; // vendor specific
    WDU_PIPE_INFO pipe{};
    pipe.dwNumber = kQ5PicturePipe;
    pipe.dwMaximumPacketSize = kQ5MaxPacketSize;
    pipe.type = PIPE_TYPE_BULK;
    pipe.direction = WDU_DIR_IN;
    switch (pipe_kind_) {
    case Q5PipeKind::kBulk:
        break;
    case Q5PipeKind::kIsochronous:
        pipe.type = PIPE_TYPE_ISOCHRONOUS;
        pipe.dwInterval = 1;
        break;
    case Q5PipeKind::kNoPicturePipe:
        pipe.dwNumber = 0x82;
        break;
    }
    setting.pipes.push_back(pipe);
    platform::UsbInterfaceDescription iface;
    iface.alternate_settings.push_back(std::move(setting));
    device.interfaces.push_back(std::move(iface));
    return device;
}

Q5ReadFault EmulatedQ5Camera::TakeReadFault() {
    Q5ReadFault fault = faults_.read;
    if (fault != Q5ReadFault::kNone && faults_.read_count != kEvery && --faults_.read_count == 0) {
        faults_.read = Q5ReadFault::kNone;
    }
    return fault;
}

Q5ControlFault EmulatedQ5Camera::TakeControlFault(uint8_t request) {
    Q5ControlFault fault = faults_.control;
    if (fault == Q5ControlFault::kNone ||
        (faults_.control_request >= 0 && faults_.control_request != request)) {
        return Q5ControlFault::kNone;
    }
    if (faults_.control_count != kEvery && --faults_.control_count == 0) {
        faults_.control = Q5ControlFault::kNone;
    }
    return fault;
}

uint32_t EmulatedQ5Camera::CappedTimeout(uint32_t timeout_ms) const {
    uint32_t cap = faults_.timeout_cap_ms;
    if (cap == 0) {
        return timeout_ms;
    }
    return timeout_ms == 0 ? cap : std::min(cap, timeout_ms);
}

EmulatedTransferResult EmulatedQ5Camera::HandleControl(const TransferContext& context,
                                                       const ControlSetup& setup,
                                                       std::span<uint8_t> data) {
    platform::MutexLock lock(Mutex());
    ++counters_.control_requests;
    if (setup.request == kQ5FrameRequest) {
        ++counters_.frame_requests;
    } else if (setup.request == kQ5StopRequest) {
        ++counters_.stop_requests;
    } else {
        ++counters_.commands;
    }
    switch (TakeControlFault(setup.request)) {
    case Q5ControlFault::kNone:
        break;
    case Q5ControlFault::kStall:
        return Status(WD_USBD_STATUS_STALL_PID);
    case Q5ControlFault::kRefuse:
        return Status(WD_STATUS_SUCCESS);
    case Q5ControlFault::kTimeOut:
        return Status(WaitFor(context, CappedTimeout(context.timeout_ms), [] { return false; }) ==
                              WaitResult::kPulledOut
                          ? WD_DEVICE_NOT_FOUND
                          : WD_TIME_OUT_EXPIRED);
    }
    if (setup.request_type != kQ5RequestType) {
        return Status(WD_USBD_STATUS_STALL_PID); // the camera knows vendor requests only
    }
    switch (setup.request) {
    case kQ5FrameRequest:
        picture_requested_ = true;
        pending_.reset(); // a picture not read to its end is dropped
        Wake();
        break;
    case kQ5StopRequest:
        picture_requested_ = false;
        pending_.reset();
        break;
    default:
        if (commands_.size() == kKeptCommands) {
            commands_.erase(commands_.begin());
        }
        commands_.push_back(setup.request);
        // A byte the camera does not know is answered all the same and changes nothing.
        if (ApplyQ5Command(state_, setup.request)) {
            generator_.SetState(state_);
        }
        break;
    }
    const uint8_t reply[kQ5ReplySize] = {0x01, setup.request, 0x00, 0x00};
    size_t n = std::min<size_t>(kQ5ReplySize, data.size());
    if (n != 0) {
        std::memcpy(data.data(), reply, n);
    }
    return EmulatedTransferResult{WD_STATUS_SUCCESS, static_cast<uint32_t>(n)};
}

EmulatedTransferResult EmulatedQ5Camera::HandlePipe(const TransferContext& context,
                                                    const WDU_PIPE_INFO& pipe, bool read,
                                                    uint32_t /*options*/, std::span<uint8_t> data) {
    if (pipe.dwNumber != kQ5PicturePipe || !read) {
        return Status(WD_USBD_STATUS_STALL_PID); // a pipe the camera does not serve
    }
    platform::MutexLock lock(Mutex());
    ++counters_.reads;
    switch (TakeReadFault()) {
    case Q5ReadFault::kNone:
        break;
    case Q5ReadFault::kTimeOut:
        ++counters_.read_timeouts;
        return Status(WaitFor(context, CappedTimeout(context.timeout_ms), [] { return false; }) ==
                              WaitResult::kPulledOut
                          ? WD_DEVICE_NOT_FOUND
                          : WD_TIME_OUT_EXPIRED);
    case Q5ReadFault::kEmpty:
        return Status(WD_STATUS_SUCCESS);
    case Q5ReadFault::kStall:
        return Status(WD_USBD_STATUS_STALL_PID);
    case Q5ReadFault::kPullOut:
        // Some packets into the picture, the cable goes.
        WaitFor(context, 20, [] { return false; });
        lock.Unlock();
        PullOutSelf(context);
        return Status(WD_DEVICE_NOT_FOUND);
    }
    if (pending_) {
        return Deliver(data, pipe); // the rest of a picture
    }
    WaitResult waited = WaitFor(context, CappedTimeout(context.timeout_ms), [this] {
        Mutex().AssertHeld();
        return picture_requested_;
    });
    if (waited == WaitResult::kPulledOut) {
        return Status(WD_DEVICE_NOT_FOUND);
    }
    if (waited == WaitResult::kTimedOut) {
        ++counters_.read_timeouts;
        return Status(WD_TIME_OUT_EXPIRED);
    }
    picture_requested_ = false;
    uint64_t number = ++counters_.pictures;
    Faults faults = faults_;
    if (faults.delivery_delay_ms != 0 && WaitFor(context, faults.delivery_delay_ms,
                                                 [] { return false; }) == WaitResult::kPulledOut) {
        return Status(WD_DEVICE_NOT_FOUND);
    }
    lock.Unlock(); // rendering takes a while; commands may come meanwhile
    Picture picture = TakePicture(faults.picture, faults.damage, number);
    lock.Lock();
    if (BusId() != context.device_id) {
        return Status(WD_DEVICE_NOT_FOUND);
    }
    if (!picture || picture->empty()) {
        return Status(WD_USBD_STATUS_STALL_PID); // the encoder failed: nothing to send
    }
    pending_ = std::move(picture);
    pending_offset_ = 0;
    return Deliver(data, pipe);
}

EmulatedQ5Camera::Picture EmulatedQ5Camera::TakePicture(Q5PictureFault fault, JpegDamage damage,
                                                        uint64_t number) {
    generator_.SetFrameNumber(static_cast<uint32_t>(number));
    Picture jpeg = generator_.Jpeg();
    if (!jpeg) {
        return nullptr;
    }
    switch (fault) {
    case Q5PictureFault::kNone:
        return jpeg;
    case Q5PictureFault::kExactMaximumSize:
        return std::make_shared<const std::vector<uint8_t>>(Resized(*jpeg, kQ5MaxPictureSize));
    case Q5PictureFault::kOversize:
        return std::make_shared<const std::vector<uint8_t>>(Resized(*jpeg, kQ5OversizePictureSize));
    case Q5PictureFault::kCorrupt:
        return std::make_shared<const std::vector<uint8_t>>(
            DamageJpeg(*jpeg, damage, static_cast<uint32_t>(number)));
    }
    return jpeg;
}

EmulatedTransferResult EmulatedQ5Camera::Deliver(std::span<uint8_t> data,
                                                 const WDU_PIPE_INFO& pipe) {
    const size_t remaining = pending_->size() - pending_offset_;
    const size_t size = data.size();
    const uint8_t* from = pending_->data() + pending_offset_;
    if (size >= remaining) {
        if (remaining != 0) {
            std::memcpy(data.data(), from, remaining);
        }
        pending_.reset();
        return EmulatedTransferResult{WD_STATUS_SUCCESS, static_cast<uint32_t>(remaining)};
    }
    if (size != 0) {
        std::memcpy(data.data(), from, size);
    }
    const uint32_t packet = pipe.dwMaximumPacketSize != 0 ? pipe.dwMaximumPacketSize : 1;
    if (pipe.type == PIPE_TYPE_ISOCHRONOUS) {
        pending_.reset(); // isochronous data is never sent again
        return EmulatedTransferResult{WD_STATUS_SUCCESS, static_cast<uint32_t>(size)};
    }
    if (size % packet == 0) {
        pending_offset_ += size; // the transfer ended on a packet boundary; the rest waits
        return EmulatedTransferResult{WD_STATUS_SUCCESS, static_cast<uint32_t>(size)};
    }
    pending_.reset();
    return EmulatedTransferResult{WD_USBD_STATUS_BABBLE, static_cast<uint32_t>(size)};
}

void EmulatedQ5Camera::OnPulledOut() {
    platform::MutexLock lock(Mutex());
    picture_requested_ = false;
    pending_.reset();
}

Q5CameraOptions DefaultQ5CameraOptions(const char* size, const char* replay) {
    Q5CameraOptions options;
    options.live_marker = true;
    int width = 0;
    int height = 0;
    char rest = 0;
    if (size != nullptr && std::sscanf(size, "%dx%d%c", &width, &height, &rest) == 2 && width > 0 &&
        height > 0) {
        options.width = width; // the generator clamps it
        options.height = height;
    }
    unsigned count = 0;
    if (replay != nullptr && std::sscanf(replay, "%u%c", &count, &rest) == 1) {
        options.replay_length = count;
    }
    return options;
}

std::shared_ptr<EmulatedQ5Camera> MakeDefaultQ5Camera() {
    return std::make_shared<EmulatedQ5Camera>(DefaultQ5CameraOptions(
        std::getenv("TOVEK_SIM_Q5_SIZE"), std::getenv("TOVEK_SIM_Q5_REPLAY")));
}

} // namespace sim
