// The emulated RVX camera: plugging, the extension unit and the pictures.
#include "sim/rvx_camera.h"
#include "platform/thread_annotations.h"

#include "descriptors.h"

#include "platform/devices.h"
#include "platform/system.h"

#include <gst/gst.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace sim {
namespace {

constexpr size_t kKeptCommands = 4096;

// Cameras by node name, so that a source element finds its camera.
struct Registry {
    platform::Mutex mutex;
    std::map<std::string, std::weak_ptr<EmulatedRvxCamera>, std::less<>>
        cameras TOVEK_GUARDED_BY(mutex);
    int next_number TOVEK_GUARDED_BY(mutex) = 1;
};

Registry& Cameras() {
    static Registry* registry = new Registry; // outlives every camera
    return *registry;
}

// The unit the camera's device is plugged with. It holds the camera weakly:
// the emulated devices keep it while the device is plugged, and a camera
// that is gone answers like a pulled one.
class ExtensionUnit final : public platform::ExtensionUnitTransport {
public:
    explicit ExtensionUnit(std::weak_ptr<EmulatedRvxCamera> camera) : camera_(std::move(camera)) {}
    int Query(uint8_t unit, uint8_t selector, uint8_t query, std::span<uint8_t> data) override {
        const auto camera = camera_.lock();
        return camera ? camera->ControlQuery(unit, selector, query, data) : -ENODEV;
    }

private:
    const std::weak_ptr<EmulatedRvxCamera> camera_;
};

} // namespace

const std::vector<RvxFormat>& RvxFormats() {
    static const std::vector<RvxFormat> formats = {
        {1280, 720, {30, 25, 20, 15, 10, 5}},  {640, 480, {30, 25, 20, 15, 10, 5}},
        {800, 600, {30, 25, 20, 15, 10, 5}},   {1024, 768, {30, 25, 20, 15, 10, 5}},
        {1280, 960, {30, 25, 20, 15, 10, 5}},  {1600, 1200, {15, 10, 5}},
        {1920, 1080, {30, 25, 20, 15, 10, 5}}, {2592, 1944, {15, 10, 5}},
    };
    return formats;
}

struct EmulatedRvxCamera::Impl {
    explicit Impl(const RvxCameraOptions& camera_options)
        : options(camera_options), generator(kRvxDefaultWidth, kRvxDefaultHeight) {
        generator.SetLiveMarker(options.live_marker);
        generator.SetReplayLength(options.replay_length);
    }

    const RvxCameraOptions options;
    PictureGenerator generator; // thread-safe on its own

    mutable platform::Mutex mutex;
    int device_id TOVEK_GUARDED_BY(mutex) = 0; // in platform::Emulated() while plugged
    bool disabled TOVEK_GUARDED_BY(mutex) = false;
    int open_error TOVEK_GUARDED_BY(mutex) = 0; // errno opening the capture node gives (RefuseOpen)
    RvxRegisterSequence command_register TOVEK_GUARDED_BY(mutex);
    CameraState state TOVEK_GUARDED_BY(mutex);
    // Held for kRvxStatusHoldMs from status_since_ms.
    int status TOVEK_GUARDED_BY(mutex) = kRvxStatusNormal;
    uint32_t status_since_ms TOVEK_GUARDED_BY(mutex) = 0;
    std::vector<uint8_t> commands TOVEK_GUARDED_BY(mutex);
    RvxCounters counters TOVEK_GUARDED_BY(mutex);
    uint32_t frame_number TOVEK_GUARDED_BY(mutex) = 0;
    RvxStreamFault stream_fault TOVEK_GUARDED_BY(mutex) = RvxStreamFault::kNone;
    // kReadError: pictures still delivered.
    uint32_t pictures_before_fault TOVEK_GUARDED_BY(mutex) = 0;

    int StatusLocked() const TOVEK_REQUIRES(mutex) {
        if (status != kRvxStatusNormal &&
            platform::GetTickCount() - status_since_ms < kRvxStatusHoldMs) {
            return status;
        }
        return kRvxStatusNormal;
    }

    void ExecuteLocked(uint8_t command) TOVEK_REQUIRES(mutex) {
        ++counters.commands;
        if (commands.size() == kKeptCommands) {
            commands.erase(commands.begin());
        }
        commands.push_back(command);
        if (ApplyRvxCommand(state, command)) {
            generator.SetState(state);
        }
        status = RvxStatusForCommand(command);
        status_since_ms = platform::GetTickCount();
    }
};

EmulatedRvxCamera::EmulatedRvxCamera(const RvxCameraOptions& options, std::string node)
    : node_(std::move(node)), impl_(std::make_unique<Impl>(options)) {}

std::shared_ptr<EmulatedRvxCamera> EmulatedRvxCamera::Create(const RvxCameraOptions& options) {
    Registry& registry = Cameras();
    platform::MutexLock lock(registry.mutex);
    std::string node = "rvx-sim:" + std::to_string(registry.next_number++);
    std::shared_ptr<EmulatedRvxCamera> camera(new EmulatedRvxCamera(options, node));
    registry.cameras[node] = camera;
    return camera;
}

EmulatedRvxCamera::~EmulatedRvxCamera() {
    Pull();
    Registry& registry = Cameras();
    platform::MutexLock lock(registry.mutex);
    auto it = registry.cameras.find(node_);
    if (it != registry.cameras.end() && it->second.expired()) {
        registry.cameras.erase(it);
    }
}

bool EmulatedRvxCamera::Plug() {
    platform::MutexLock lock(impl_->mutex);
    if (impl_->device_id > 0) {
        return true;
    }
    platform::EmulatedUsbDevice device;
    device.vendor_id = kRvxVendorId;
    device.product_id = kRvxProductId;
    device.serial = impl_->options.serial;
    device.video_input = true;
    device.interface_number = 0;
    device.friendly_name = kRvxFriendlyName;
    device.node = node_;
    device.source_factory = kRvxSourceFactory;
    device.descriptors = RvxDescriptors();
    device.extension_unit = std::make_shared<ExtensionUnit>(weak_from_this());
    device.open_error = impl_->open_error;
    impl_->device_id = platform::Emulated().Plug(device);
    if (impl_->device_id <= 0) {
        impl_->device_id = 0;
        return false;
    }
    if (impl_->disabled) {
        platform::Emulated().SetDisabled(impl_->device_id, true);
    }
    // A camera that is plugged in starts from power-on: its picture modes
    // too, as a real camera that lost its power.
    impl_->command_register = RvxRegisterSequence();
    impl_->status = kRvxStatusNormal;
    impl_->state = CameraState{};
    impl_->generator.SetState(impl_->state);
    return true;
}

bool EmulatedRvxCamera::Pull() {
    platform::MutexLock lock(impl_->mutex);
    if (impl_->device_id == 0) {
        return false;
    }
    platform::Emulated().Pull(impl_->device_id);
    impl_->device_id = 0;
    return true;
}

bool EmulatedRvxCamera::Plugged() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->device_id > 0;
}

bool EmulatedRvxCamera::SetNodeDisabled(bool disabled) {
    platform::MutexLock lock(impl_->mutex);
    impl_->disabled = disabled;
    return impl_->device_id == 0 || platform::Emulated().SetDisabled(impl_->device_id, disabled);
}

bool EmulatedRvxCamera::RefuseOpen(int error) {
    platform::MutexLock lock(impl_->mutex);
    impl_->open_error = error;
    return impl_->device_id == 0 || platform::Emulated().SetOpenError(impl_->device_id, error);
}

int EmulatedRvxCamera::ControlQuery(uint8_t unit, uint8_t selector, uint8_t query,
                                    std::span<uint8_t> data) {
    platform::MutexLock lock(impl_->mutex);
    ++impl_->counters.control_queries;
    if (impl_->device_id == 0) {
        return -ENODEV;
    }
    if (impl_->disabled) {
        return -EIO;
    }
    if (unit != kRvxExtensionUnitId || selector != kRvxCommandControl) {
        return -ENOENT;
    }
    switch (query) {
    case kUvcGetLen:
        if (data.size() != 2) {
            return -EINVAL;
        }
        data[0] = kRvxControlSize & 0xFF;
        data[1] = kRvxControlSize >> 8;
        return 0;
    case kUvcGetInfo:
        if (data.size() != 1) {
            return -EINVAL;
        }
        data[0] = 0x03; // supports GET and SET
        return 0;
    case kUvcSetCur: {
        if (data.size() != kRvxControlSize) {
            return -EINVAL;
        }
        switch (impl_->command_register.Write(data)) {
        case RvxRegisterSequence::Outcome::kRefused:
            ++impl_->counters.refused;
            return -EPIPE;
        case RvxRegisterSequence::Outcome::kCommand:
            impl_->ExecuteLocked(impl_->command_register.Command());
            return 0;
        case RvxRegisterSequence::Outcome::kAccepted:
        case RvxRegisterSequence::Outcome::kStateLatched:
            return 0;
        }
        return -EPIPE;
    }
    case kUvcGetCur:
        if (data.size() != kRvxControlSize) {
            return -EINVAL;
        }
        if (!impl_->command_register.TakeStateRead()) {
            ++impl_->counters.refused;
            return -EPIPE;
        }
        ++impl_->counters.state_reads;
        data[0] = 0x00;
        data[1] = 0x4D;
        data[2] = 0xB4;
        data[3] = static_cast<uint8_t>(impl_->StatusLocked());
        return 0;
    default:
        return -EINVAL;
    }
}

std::vector<uint8_t> EmulatedRvxCamera::Descriptors() const {
    return RvxDescriptors();
}

std::shared_ptr<const std::vector<uint8_t>> EmulatedRvxCamera::TakePicture(int width, int height) {
    {
        platform::MutexLock lock(impl_->mutex);
        if (impl_->device_id == 0 || impl_->disabled) {
            return nullptr;
        }
        if (impl_->stream_fault == RvxStreamFault::kReadError) {
            if (impl_->pictures_before_fault == 0) {
                impl_->stream_fault = RvxStreamFault::kNone;
                return nullptr;
            }
            --impl_->pictures_before_fault;
        }
        ++impl_->counters.pictures;
        impl_->generator.SetFrameNumber(impl_->frame_number++);
    }
    if (impl_->generator.Width() != width || impl_->generator.Height() != height) {
        impl_->generator.SetSize(width, height);
    }
    return impl_->generator.Jpeg();
}

void EmulatedRvxCamera::SetStreamFault(RvxStreamFault fault, uint32_t after_pictures) {
    platform::MutexLock lock(impl_->mutex);
    impl_->stream_fault = fault;
    impl_->pictures_before_fault = after_pictures;
}

bool EmulatedRvxCamera::OffersRawOnly() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->stream_fault == RvxStreamFault::kRawOnly;
}

std::vector<RvxFormat> EmulatedRvxCamera::Formats() const {
    std::vector<RvxFormat> formats = RvxFormats();
    const auto first = std::find_if(formats.begin(), formats.end(), [this](const RvxFormat& f) {
        return f.width == impl_->options.default_width && f.height == impl_->options.default_height;
    });
    if (first != formats.end()) {
        std::rotate(formats.begin(), first, first + 1);
    }
    return formats;
}

CameraState EmulatedRvxCamera::State() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->state;
}

int EmulatedRvxCamera::Status() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->StatusLocked();
}

std::vector<uint8_t> EmulatedRvxCamera::Commands() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->commands;
}

RvxCounters EmulatedRvxCamera::Counters() const {
    platform::MutexLock lock(impl_->mutex);
    return impl_->counters;
}

GstElement* EmulatedRvxCamera::CreateSourceElement(const char* name) const {
    if (!RegisterRvxSourceElement()) {
        return nullptr;
    }
    GstElement* element = gst_element_factory_make(kRvxSourceFactory, name);
    if (element != nullptr) {
        g_object_set(element, "device", node_.c_str(), nullptr);
    }
    return element;
}

std::shared_ptr<EmulatedRvxCamera> FindRvxCamera(std::string_view node) {
    Registry& registry = Cameras();
    platform::MutexLock lock(registry.mutex);
    auto it = registry.cameras.find(node);
    return it != registry.cameras.end() ? it->second.lock() : nullptr;
}

RvxCameraOptions DefaultRvxCameraOptions(const char* size, const char* replay) {
    RvxCameraOptions options;
    int width = 0;
    int height = 0;
    char rest = 0;
    if (size != nullptr && std::sscanf(size, "%dx%d%c", &width, &height, &rest) == 2) {
        options.default_width = width; // Formats() ignores a size it lacks
        options.default_height = height;
    }
    unsigned count = 0;
    if (replay != nullptr && std::sscanf(replay, "%u%c", &count, &rest) == 1) {
        options.replay_length = count;
    }
    return options;
}

std::shared_ptr<EmulatedRvxCamera> DefaultRvxCamera() {
    // Never destroyed: other threads may use the camera while the process ends.
    static std::shared_ptr<EmulatedRvxCamera>* camera = [] {
        auto* made = new std::shared_ptr<EmulatedRvxCamera>(
            EmulatedRvxCamera::Create(DefaultRvxCameraOptions(
                std::getenv("TOVEK_SIM_RVX_SIZE"), std::getenv("TOVEK_SIM_RVX_REPLAY"))));
        (*made)->Plug();
        return made;
    }();
    return *camera;
}

} // namespace sim
