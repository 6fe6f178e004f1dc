// GStreamer references and buffer mappings that end with their owner.
//
// A local whose type has a GLib cleanup function (GstElement, GstPad,
// GstCaps, GstBus, GstMessage, GError, gchar...) is held with g_autoptr or
// g_autofree. What those cannot hold lives here: a reference that moves (a
// class member, a function's result), a new object's floating reference, and
// a buffer mapping.
//
// Ownership, in short: constructors such as gst_element_factory_make,
// gst_bin_new and gst_pipeline_new return a floating reference, which
// SinkRef takes over; getters such as gst_element_get_static_pad,
// gst_element_get_bus, gst_bin_get_by_name and gst_pad_get_current_caps
// return a full, non-floating one, which AdoptRef (or g_autoptr) takes as it
// is. gst_bin_add takes a reference of the bin's own, so a holder may keep or
// drop its reference afterwards.
#pragma once

#include <gst/gst.h>

#include <memory>

namespace platform {

struct GstObjectUnref {
    void operator()(gpointer object) const noexcept { gst_object_unref(object); }
};

struct GstMiniObjectUnref {
    void operator()(gpointer object) const noexcept {
        gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
    }
};

// One reference to a GstObject (element, pad, bus...), dropped with the holder.
template <typename T>
using GstRef = std::unique_ptr<T, GstObjectUnref>;

// One reference to a GstMiniObject (caps, buffer, message, sample...).
template <typename T>
using GstMiniRef = std::unique_ptr<T, GstMiniObjectUnref>;

// Holds a reference the caller was given (transfer full, not floating) as it
// is. A floating one would stay floating: use SinkRef for those.
template <typename T>
GstRef<T> AdoptRef(T* object) noexcept {
    return GstRef<T>(object);
}

// Holds an object that may come floating (a new element, bin, pipeline or
// pad): a floating reference becomes the holder's, and an object that is not
// floating gets one more reference for the holder, so that the holder owns
// exactly one either way. Null gives an empty holder.
template <typename T>
GstRef<T> SinkRef(T* object) noexcept {
    if (object != nullptr) {
        gst_object_ref_sink(object);
    }
    return GstRef<T>(object);
}

// A buffer mapped for as long as the guard lives; unmapped with it when the
// map succeeded.
class BufferMap {
public:
    BufferMap(GstBuffer* buffer, GstMapFlags flags) noexcept
        : buffer_(buffer), mapped_(gst_buffer_map(buffer, &info_, flags) != FALSE) {}
    ~BufferMap() {
        if (mapped_) {
            gst_buffer_unmap(buffer_, &info_);
        }
    }
    BufferMap(const BufferMap&) = delete;
    BufferMap& operator=(const BufferMap&) = delete;

    explicit operator bool() const noexcept { return mapped_; }
    guint8* data() const noexcept { return info_.data; }
    gsize size() const noexcept { return info_.size; }

private:
    GstBuffer* buffer_;
    GstMapInfo info_{}; // before mapped_: the map fills it
    const bool mapped_;
};

} // namespace platform
