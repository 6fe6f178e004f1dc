// The RIFF and AVI chunk and list identifiers the writer produces and the
// repair reads back; one list so that both agree on every byte.
#pragma once

#include <cstddef>

#include "platform/avifile.h"

namespace platform::avi {

inline constexpr DWORD kRiff = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr DWORD kList = MakeFourCC('L', 'I', 'S', 'T');
inline constexpr DWORD kAvi = MakeFourCC('A', 'V', 'I', ' ');
inline constexpr DWORD kHdrl = MakeFourCC('h', 'd', 'r', 'l');
inline constexpr DWORD kAvih = MakeFourCC('a', 'v', 'i', 'h');
inline constexpr DWORD kStrl = MakeFourCC('s', 't', 'r', 'l');
inline constexpr DWORD kStrh = MakeFourCC('s', 't', 'r', 'h');
inline constexpr DWORD kStrf = MakeFourCC('s', 't', 'r', 'f');
inline constexpr DWORD kStrn = MakeFourCC('s', 't', 'r', 'n');
inline constexpr DWORD kMovi = MakeFourCC('m', 'o', 'v', 'i');
inline constexpr DWORD kIdx1 = MakeFourCC('i', 'd', 'x', '1');
inline constexpr DWORD kJunk = MakeFourCC('J', 'U', 'N', 'K');
// Chunk ids carry the stream number as two decimal digits.
inline constexpr size_t kMaxStreams = 100;

} // namespace platform::avi
