// Which back end a registration gets: the installed emulated one, the null
// one, or libusb.
#include "backend_choice.h"

#include "libusb_backend.h"

#include "platform/system.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform::usb {
namespace {

// The installed emulated back end; atomic, as any thread may install one.
std::atomic<BackendFactory> g_emulated{nullptr};

class NullBackend final : public Backend {
public:
    WD_STATUS Start(EventSink* /*sink*/) override { return WD_STATUS_SUCCESS; }
    void Stop() override {}
};

} // namespace

void InstallEmulatedBackend(BackendFactory factory) {
    g_emulated.store(factory);
}

bool EmulatedBackendInstalled() {
    return g_emulated.load() != nullptr;
}

std::unique_ptr<Backend> MakeNullBackend() {
    return std::make_unique<NullBackend>();
}

std::unique_ptr<Backend> MakeBackendForRegistration() {
    if (!EmulatedDevicesRequested()) {
        return MakeLibusbBackend();
    }
    if (BackendFactory factory = g_emulated.load()) {
        return factory();
    }
    static std::once_flag reported;
    std::call_once(reported, [] {
        std::fprintf(stderr, "tovek_usb: emulated devices were asked for, but this program "
                             "installed no emulated USB back end; no USB device will attach\n");
    });
    return MakeNullBackend();
}

} // namespace platform::usb
