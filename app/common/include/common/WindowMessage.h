// A private window message posted across threads with its two parameters
// (QCoreApplication::postEvent is safe from any thread). Private messages
// keep their numbers (msg::k... of CommandIds.h) as event types.
#pragma once

#include "common/CommandIds.h"

#include <QEvent>

#include <cstdint>

// A private window message with its two parameters.
class WindowMessage : public QEvent {
public:
    WindowMessage(int type, uint32_t wparam = 0, int32_t lparam = 0)
        : QEvent(static_cast<QEvent::Type>(type)), wparam(wparam), lparam(lparam) {}
    const uint32_t wparam;
    const int32_t lparam;
};
