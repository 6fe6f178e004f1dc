#include "common/StringTable.h"

#include "common/CommandIds.h"

#include <iterator>

namespace {

const LangStringEntry kStrings[] = {
    {ids::kStrAbout, u"About"},
    {ids::kStrAttached, u"The device is attached."},
    {ids::kStrDetached, u"The device is detached."},
    {ids::kStrPlaying, u"Playing"},
    {ids::kStrTitle, u"LUMIVUE DEMO"},
    {ids::kStrClockFormat, u"%s "},
};

// Lookups fill buffers of this many characters.
constexpr uint32_t kTextChars = 1024;

} // namespace

const LangModule kProgramModuleTemplate = {kStrings, std::size(kStrings), nullptr};

QString LoadText(HLANGCTX ctx, uint32_t id) {
    char16_t buffer[kTextChars];
    uint32_t size = kTextChars;
    if (!LangGetText(ctx, buffer, &size, id)) {
        // Without a context the compiled-in table still answers.
        for (const LangStringEntry& entry : kStrings) {
            if (entry.id == id)
                return QString::fromUtf16(entry.text);
        }
        return {};
    }
    return QString::fromUtf16(buffer, size);
}

QString LoadTextByKey(HLANGCTX ctx, const char* key, const QString& default_text) {
    char16_t buffer[kTextChars];
    uint32_t size = kTextChars;
    const std::u16string fallback = default_text.toStdU16String();
    LangGetTextByKey(ctx, buffer, &size, key, fallback.c_str());
    return QString::fromUtf16(buffer, size);
}
