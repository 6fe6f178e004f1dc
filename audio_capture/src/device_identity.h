// How a device appears in a record: its name cut to fit, and an identifier
// that stays the same for the same device.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tovek::audio {

// Longest name a record holds, terminator excluded.
constexpr size_t kMaxRecordName = 1023;

// Cuts name to kMaxRecordName bytes without splitting a UTF-8 character.
std::string RecordName(std::string_view name);
// A name-based identifier in the RFC 4122 version 5 layout: the same key
// always gives the same one.
GUID NameBasedGuid(std::string_view key);

} // namespace tovek::audio
