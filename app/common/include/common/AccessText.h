// The sentence that tells the user why a camera that is plugged in could not
// be opened (no permission on its node, another program holds it), in the
// window's language.
#pragma once

#include <QString>

#include "language/language.h"
#include "platform/device_access.h"

// Empty when error names no access fault.
QString AccessFaultText(const platform::DeviceAccessError& error, HLANGCTX lang);
