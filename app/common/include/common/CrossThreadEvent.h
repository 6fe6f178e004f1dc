// Events posted to the user-interface thread from library and worker threads.
// QCoreApplication::postEvent orders what the posting thread wrote before it
// with the receiver's handling through Qt's own lock, which the thread
// sanitizer cannot see (Qt is not built with it). PostAcrossThreads and
// ReceivedAcrossThreads tell it of that order; in other builds they are
// postEvent and nothing.
#pragma once

#include <QCoreApplication>
#include <QEvent>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TOVEK_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define TOVEK_TSAN 1
#endif

#ifdef TOVEK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

// Any thread. Takes ownership of event, as postEvent does.
inline void PostAcrossThreads(QObject* receiver, QEvent* event) {
#ifdef TOVEK_TSAN
    __tsan_release(event);
#endif
    QCoreApplication::postEvent(receiver, event);
}

// The receiver's thread, first thing in its event(): what the poster wrote
// before PostAcrossThreads is visible from here on.
inline void ReceivedAcrossThreads(QEvent* event) {
#ifdef TOVEK_TSAN
    __tsan_acquire(event);
#else
    (void)event;
#endif
}
