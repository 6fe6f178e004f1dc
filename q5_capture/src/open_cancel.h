// The way an Open waiting for a camera on one thread is given up from
// another: the camera source's creation waits on a GCancellable that is
// shared by every Open until one cancels it, and renewed by Intialize.
#pragma once

#include <gio/gio.h>

namespace q5cap {

// The cancellable the next camera source waits on; a new reference.
GCancellable* OpenCancellable();
// Cancels the current cancellable: an Open waiting now gives up, and so does
// every Open until the next RenewOpenCancel.
void CancelOpens();
// Replaces a cancelled cancellable with a fresh one; keeps one still fresh.
void RenewOpenCancel();

} // namespace q5cap
