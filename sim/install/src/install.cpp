#include "sim/install.h"

#include "microphone.h"

#include "sim/control.h"
#include "sim/desk.h"
#include "sim/q5_camera.h"
#include "sim/rvx_camera.h"
#include "sim/usb_backend.h"
#include "sim/usb_bus.h"

#include "platform/system.h"
#include "platform/usb_backend.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

namespace sim {
namespace {

// "plug q5" adds a camera; "pull q5" pulls out every Q5 camera on the bus.
void PlugOrPullQ5(bool plug) {
    if (plug) {
        UsbBus().PlugIn(MakeDefaultQ5Camera());
        return;
    }
    for (const EmulatedDeviceInfo& device : UsbBus().Devices()) {
        if (device.description.descriptor.idVendor == kQ5VendorId &&
            device.description.descriptor.idProduct == kQ5ProductId) {
            UsbBus().PullOut(device.id);
        }
    }
}

void PlugOrPullRvx(bool plug) {
    const auto camera = DefaultRvxCamera();
    if (plug) {
        camera->Plug();
    } else {
        camera->Pull();
    }
}

// Capture libraries create the RVX camera's source by its factory name, so
// GStreamer's registry must know it before any of them asks; the audio
// library makes the microphone's element when a recording starts.
void AddGStreamerSources() {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        std::fprintf(stderr,
                     "tovek_sim: GStreamer cannot start (%s); the emulated RVX camera "
                     "shows no picture and there is no emulated microphone\n",
                     error != nullptr ? error->message : "no reason given");
        g_clear_error(&error);
        return;
    }
    if (!RegisterRvxSourceElement()) {
        std::fprintf(stderr,
                     "tovek_sim: the element %s cannot be registered; the emulated RVX "
                     "camera shows no picture\n",
                     kRvxSourceFactory);
    }
    if (!AddEmulatedMicrophone()) {
        std::fprintf(stderr, "tovek_sim: GStreamer has no audiotestsrc here; there is no "
                             "emulated microphone\n");
    }
}

// "scene desk" / "scene page": what every emulated camera shows.
std::string ChooseScene(const std::string& scene) {
    if (scene == "desk" || scene == "page") {
        SetScene(scene == "desk" ? Scene::kDesk : Scene::kPage);
        return "ok";
    }
    return "error: no scene " + scene.substr(0, 32) + " (use desk or page)";
}

// "page next": the desk shows another page.
std::string TurnDeskPage(const std::string& what) {
    if (what != "next") {
        return "error: use page next";
    }
    NextDeskPage();
    return "ok";
}

} // namespace

void InstallEmulatedDevices() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::SetEmulatedDevicesRequested(true);
        platform::usb::InstallEmulatedBackend(MakeEmulatedUsbBackend);
        UsbBus().SetDefaultDeviceFactory([] { return MakeDefaultQ5Camera(); });
        UsbBus().PlugDefaultDeviceOnce();
        AddGStreamerSources();
        DefaultRvxCamera();
        RegisterSimCommand("q5", PlugOrPullQ5);
        RegisterSimCommand("rvx", PlugOrPullRvx);
        RegisterSimAction("scene", ChooseScene);
        RegisterSimAction("page", TurnDeskPage);
    });
}

bool EnvironmentAsksForEmulatedDevices() {
    const char* value = std::getenv("TOVEK_SIMULATE");
    return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
}

} // namespace sim
