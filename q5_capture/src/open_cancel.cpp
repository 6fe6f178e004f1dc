#include "open_cancel.h"

#include "platform/thread_annotations.h"

namespace q5cap {
namespace {

struct OpenCancel {
    platform::Mutex lock;
    GCancellable* current TOVEK_GUARDED_BY(lock) = g_cancellable_new();
};

// Never destroyed: an opener thread may still hold it while the process
// exits.
OpenCancel& Shared() {
    static OpenCancel* shared = new OpenCancel;
    return *shared;
}

} // namespace

GCancellable* OpenCancellable() {
    OpenCancel& shared = Shared();
    platform::MutexLock hold(shared.lock);
    return G_CANCELLABLE(g_object_ref(shared.current));
}

void CancelOpens() {
    GCancellable* current = OpenCancellable();
    // Outside the lock: cancelling runs the cancellable's handlers.
    g_cancellable_cancel(current);
    g_object_unref(current);
}

void RenewOpenCancel() {
    OpenCancel& shared = Shared();
    GCancellable* old = nullptr;
    {
        platform::MutexLock hold(shared.lock);
        if (!g_cancellable_is_cancelled(shared.current)) {
            return;
        }
        // An element still waiting keeps its own reference to the old one.
        old = shared.current;
        shared.current = g_cancellable_new();
    }
    g_object_unref(old);
}

} // namespace q5cap
