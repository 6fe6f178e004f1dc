#include "media_setup.h"

#include "platform/media.h"

#include <gst/gst.h>

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace q5cap {
namespace {

constexpr const char* kSourceFactory = "tovekcamerasrc";
constexpr const char* kPluginFile = "libgsttovekcamerasrc.so";

bool HasFactory(const char* name) {
    GstElementFactory* factory = gst_element_factory_find(name);
    if (factory == nullptr) {
        return false;
    }
    gst_object_unref(factory);
    return true;
}

// The folder this library was loaded from: the plugin is installed beside it.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&EnsureMediaElements), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Loads the plugin file into this process when the registry does not offer
// it (not on the plugin path, or refused by the registry's scanner).
bool LoadSourcePlugin() {
    if (HasFactory(kSourceFactory)) {
        return true;
    }
    const std::string folder = OwnFolder();
    if (folder.empty()) {
        return false;
    }
    const std::string file = folder + "/" + kPluginFile;
    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(file.c_str(), &error);
    if (plugin == nullptr) {
        GST_WARNING("cannot load %s: %s", file.c_str(), error != nullptr ? error->message : "");
        g_clear_error(&error);
        return false;
    }
    gst_object_unref(plugin);
    return HasFactory(kSourceFactory);
}

} // namespace

bool EnsureMediaElements() {
    static std::mutex lock; // guards ready
    static bool ready = false;
    std::lock_guard<std::mutex> guard(lock);
    if (ready) {
        return true;
    }
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        g_clear_error(&error);
        return false;
    }
    ready = tovek_media_register_elements() && LoadSourcePlugin();
    return ready;
}

} // namespace q5cap
