// The marker-level check that a JPEG picture is whole: what a decoder's
// header reader does not look at (the end of the data).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pixadec {

// True when data starts with SOI, has one frame header before its first scan,
// every scan's entropy-coded data ends at a marker, and an EOI closes it.
// Bytes after the EOI are not looked at.
bool HasCompleteStructure(const uint8_t* data, size_t size);

} // namespace pixadec
