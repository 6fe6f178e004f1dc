#include "media_setup.h"

#include "platform/media.h"
#include "platform/thread_annotations.h"

#include <gst/gst.h>

#include <dlfcn.h>

#include <string>

namespace q5cap {
namespace {

// Set once the media elements are registered and the source plugin loaded.
platform::Mutex g_setup_lock;
bool g_ready TOVEK_GUARDED_BY(g_setup_lock) = false;

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
    platform::MutexLock guard(g_setup_lock);
    if (g_ready) {
        return true;
    }
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        g_clear_error(&error);
        return false;
    }
    g_ready = tovek_media_register_elements() && LoadSourcePlugin();
    return g_ready;
}

} // namespace q5cap
