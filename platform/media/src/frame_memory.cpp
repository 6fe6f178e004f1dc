#include "frame_memory.h"

#include <gst/allocators/gstfdmemory.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace {

struct TovekFrameMemoryAllocator {
    GstFdAllocator parent;
};

struct TovekFrameMemoryAllocatorClass {
    GstFdAllocatorClass parent_class;
};

std::atomic<uint64_t> g_next_id{1};

GQuark IdQuark() {
    static const GQuark quark = g_quark_from_static_string("tovek-frame-memory-id");
    return quark;
}

} // namespace

G_DEFINE_TYPE(TovekFrameMemoryAllocator, tovek_frame_memory_allocator, GST_TYPE_FD_ALLOCATOR)

namespace {

GstMemory* Alloc(GstAllocator* allocator, gsize size, GstAllocationParams* params) {
    const gsize prefix = params != nullptr ? params->prefix : 0;
    const gsize padding = params != nullptr ? params->padding : 0;
    const gsize total = prefix + size + padding;
    // The pages are page-aligned, which covers any alignment asked for.
    const int fd = memfd_create("tovek-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return nullptr;
    }
    if (ftruncate(fd, static_cast<off_t>(total)) != 0 ||
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        close(fd);
        return nullptr;
    }
    // Mapped once and kept so: the pool hands the same blocks out again.
    GstMemory* memory =
        gst_fd_allocator_alloc(allocator, fd, total, GST_FD_MEMORY_FLAG_KEEP_MAPPED);
    if (memory == nullptr) {
        close(fd);
        return nullptr;
    }
    gst_memory_resize(memory, static_cast<gssize>(prefix), size);
    gst_mini_object_set_qdata(GST_MINI_OBJECT(memory), IdQuark(),
                              reinterpret_cast<gpointer>(static_cast<uintptr_t>(g_next_id++)),
                              nullptr);
    return memory;
}

} // namespace

static void tovek_frame_memory_allocator_init(TovekFrameMemoryAllocator* self) {
    // Unlike its parent's, this allocator makes blocks of any size itself,
    // so any element may use it.
    GST_OBJECT_FLAG_UNSET(self, GST_ALLOCATOR_FLAG_CUSTOM_ALLOC);
}

static void tovek_frame_memory_allocator_class_init(TovekFrameMemoryAllocatorClass* klass) {
    GST_ALLOCATOR_CLASS(klass)->alloc = Alloc;
}

GstAllocator* tovek_frame_memory_allocator_new_ref(void) {
    auto* allocator = GST_ALLOCATOR(g_object_new(tovek_frame_memory_allocator_get_type(), nullptr));
    gst_object_ref_sink(allocator);
    return allocator;
}

bool tovek_frame_memory_place(GstMemory* memory, FrameMemoryPlace* place) {
    if (memory == nullptr ||
        !G_TYPE_CHECK_INSTANCE_TYPE(memory->allocator, tovek_frame_memory_allocator_get_type())) {
        return false;
    }
    // A shared part of a block carries no id of its own.
    GstMemory* block = memory->parent != nullptr ? memory->parent : memory;
    const auto id = static_cast<uint64_t>(
        reinterpret_cast<uintptr_t>(gst_mini_object_get_qdata(GST_MINI_OBJECT(block), IdQuark())));
    const int fd = gst_fd_memory_get_fd(memory);
    if (id == 0 || fd < 0) {
        return false;
    }
    place->fd = fd;
    place->offset = memory->offset;
    place->file_size = memory->maxsize;
    place->id = id;
    return true;
}
