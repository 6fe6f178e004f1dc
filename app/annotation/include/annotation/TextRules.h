// Typed texts: a click of the text tool starts one, keys write into it, Esc
// or a click elsewhere ends it, and a double-click with the Select tool
// opens one again. Free of any window system and of locking, like
// EditRules.h; the store runs these under its lock.
#pragma once

#include "annotation/EditRules.h"

#include <cstdint>
#include <string>

namespace annotation {

// The sizes the tools offer (pixel heights); any size in
// kMinTextSize..kMaxTextSize is kept.
inline constexpr int32_t kTextSizes[] = {24, 32, 48, 64, 96};
inline constexpr int32_t kMinTextSize = 8;
inline constexpr int32_t kMaxTextSize = 300;
// A text stops taking characters at this many bytes: a key held down must
// not grow it without end.
inline constexpr size_t kMaxTextBytes = 4000;

// A box that holds text of this size in an ordinary sans-serif font, for
// when no font can measure it (tests, runs without a window).
TextExtent EstimateTextExtent(const std::string& utf8, int32_t size);

// What a key does to the text being typed.
enum class TextKey {
    kCharacters, // writes the key's characters (control characters are dropped)
    kNewLine,
    kBackspace, // removes the last character, a line break included
};

// The text tool's press: ends a text being typed, then starts an empty one
// at (px, py) in the current text colour and size.
Changes StartText(AnnotationState& s, int32_t px, int32_t py);
// A double-click with the Select tool: opens the newest text under
// (px, py) for typing. False when there is none.
bool OpenTextAt(AnnotationState& s, int32_t px, int32_t py);
// Writes into the text being typed; nothing when there is none.
Changes TypeText(AnnotationState& s, TextKey key, const std::string& utf8);
// Ends the text being typed; a text left empty is removed.
Changes EndText(AnnotationState& s);
// Sets (x2, y2) from the text and its size, (x1, y1) staying.
void FitTextBox(const AnnotationState& s, Shape* text);

} // namespace annotation
