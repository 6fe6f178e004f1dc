// The events the camera session's library threads post to its receiver, the
// main window or a headless run (QCoreApplication::postEvent is safe from any
// thread). The plain private messages are WindowMessage (common).
#pragma once

#include "capture/Snapshot.h"
#include "common/WindowMessage.h"
#include "platform/devices.h"

#include <QEvent>

#include <cstdint>
#include <string>

// A device arrival or removal from the RVX library's notification thread.
class DeviceChangeMessage : public QEvent {
public:
    static QEvent::Type Type();
    DeviceChangeMessage(uint32_t event, platform::DeviceBroadcast broadcast)
        : QEvent(Type()), event(event), broadcast(std::move(broadcast)) {}
    const uint32_t event;
    const platform::DeviceBroadcast broadcast;
};

// A background camera open returned (CameraOpener, on its thread); the
// window hands ticket to CameraSession::FinishOpen.
class CameraOpenedMessage : public QEvent {
public:
    static QEvent::Type Type();
    explicit CameraOpenedMessage(uint64_t ticket) : QEvent(Type()), ticket(ticket) {}
    const uint64_t ticket;
};

// The outcome of a snapshot attempt, from the library thread that took it.
class SnapshotMessage : public QEvent {
public:
    static QEvent::Type Type();
    explicit SnapshotMessage(snapshot::Outcome outcome)
        : QEvent(Type()), outcome(std::move(outcome)) {}
    const snapshot::Outcome outcome;
};

// A message for the user asked for on a thread that may not show one (the
// recorder's writer thread); shown by the window with its caption.
class UserMessage : public QEvent {
public:
    static QEvent::Type Type();
    UserMessage(std::string text, bool warning)
        : QEvent(Type()), text(std::move(text)), warning(warning) {}
    const std::string text; // UTF-8
    const bool warning;     // a warning rather than an exclamation
};
