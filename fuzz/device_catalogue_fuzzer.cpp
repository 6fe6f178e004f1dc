// The device catalogue (DocumentDevice.ini) on any file. The input is the
// file.
//
// Invariants: the catalogue holds at most 1001 entries, each a name of a
// known family of at most 260 characters without a cut surrogate pair; an
// absent or non-positive count gives the single default entry; every entry
// gives a camera object and a menu label of at most 249 characters.
#include "camera/DocumentCamera.h"
#include "fuzz_support.h"
#include "platform/system.h"
#include "settings/IniStore.h"

#include <string>
#include <vector>

namespace {

const fuzz::ScratchFile& File() {
    static const fuzz::ScratchFile file("DocumentDevice.ini");
    return file;
}

bool EndsInHighSurrogate(std::u16string_view s) {
    return !s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::ScratchFile& file = File();
    file.Write(data, size);
    std::vector<std::u16string> catalogue = ReadDeviceCatalogue(platform::Utf8ToUtf16(file.Path()));

    FUZZ_CHECK(catalogue.size() <= static_cast<size_t>(kMaxDeviceKeys));
    for (const std::u16string& name : catalogue) {
        FUZZ_CHECK(!name.empty() && name.size() <= kMaxDeviceNameLength);
        FUZZ_CHECK(!EndsInHighSurrogate(name));
        DeviceFamily family = DeviceFamilyOf(name);
        FUZZ_CHECK(family == DeviceFamily::kQ5 || family == DeviceFamily::kRVX);
        std::u16string label = DeviceMenuLabel(name);
        FUZZ_CHECK(label.size() <= kMaxDeviceLabelLength && !EndsInHighSurrogate(label));
        FUZZ_CHECK(CreateDocumentCamera(name) != nullptr);
    }
    if (catalogue.size() == 1 && catalogue[0] == kDefaultDeviceName) {
        return 0;
    }
    // Anything but the default entry needs a positive count in the file.
    char16_t count[32] = {};
    IniStore ini(platform::Utf8ToUtf16(file.Path()).c_str());
    ini.GetString(kDeviceSection, kDeviceCountKey, count, 32, u"");
    FUZZ_CHECK(count[0] != u'\0');
    return 0;
}
