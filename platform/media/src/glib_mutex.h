// A GMutex the thread-safety analysis knows as a capability, for the
// instance structs of our GStreamer elements: GLib allocates those zeroed and
// runs no constructor, so the lock is set up by Init in the instance init
// function and torn down by Clear in finalize, as a bare GMutex would be.
#pragma once

#include "platform/thread_annotations.h"

#include <glib.h>

class TOVEK_CAPABILITY("mutex") GLibMutex {
public:
    void Init() { g_mutex_init(&mutex_); }
    void Clear() { g_mutex_clear(&mutex_); }

    void Lock() TOVEK_ACQUIRE() { g_mutex_lock(&mutex_); }
    void Unlock() TOVEK_RELEASE() { g_mutex_unlock(&mutex_); }

private:
    GMutex mutex_;
};
