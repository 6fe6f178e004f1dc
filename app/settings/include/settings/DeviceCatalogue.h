// The device catalogue: the cameras this installation offers, listed in
// DocumentDevice.ini beside the executable.
//
//   [Device]
//   count=2
//   Dev01=Q5M4410
//   Dev02=RVXM4120
//
// A name's first characters give its family ("Q5" or "RVX", in any case); the
// rest is the model, shown in the Device menu. The main window reads the
// catalogue once, on its user-interface thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The values are the family numbers the main window records.
enum class DeviceFamily : int {
    kNone = -1, // no known family tag
    kQ5 = 0,
    kRVX = 1,
};

// The catalogue file's name and its entries.
inline constexpr char16_t kDeviceCatalogueFile[] = u"DocumentDevice.ini";
inline constexpr char16_t kDeviceSection[] = u"Device";
inline constexpr char16_t kDeviceCountKey[] = u"count";
// The catalogue when the file gives no count of at least 1.
inline constexpr char16_t kDefaultDeviceName[] = u"q5m4410";
// Characters of a name that are read; the rest of a longer one is dropped.
inline constexpr size_t kMaxDeviceNameLength = 260;
// Keys read at most ("Dev01" to "Dev1001"): one Device-menu item per key at
// most, and the menu has ids for 1001 items. A larger count is cut to this.
inline constexpr int kMaxDeviceKeys = 1001;
// Characters of a Device-menu label.
inline constexpr size_t kMaxDeviceLabelLength = 249;

// The family named by the start of name, compared without case: "Q5" first,
// then "RVX". kNone for any other name, also a shorter one.
DeviceFamily DeviceFamilyOf(std::u16string_view name);

// The Device-menu text of a catalogue entry: the name without its family tag,
// at most kMaxDeviceLabelLength characters. The whole name (cut the same way)
// when it has no known family.
std::u16string DeviceMenuLabel(std::u16string_view name);

// The catalogue file in the program's data folder (beside the executable
// in a build, the share folder when installed).
std::u16string DeviceCataloguePath();

// The catalogue in ini_path. count (strtol rules, 32-bit) below 1, missing or
// not a number, and also a missing or unreadable file, give the single entry
// kDefaultDeviceName. Otherwise keys "Dev01" ... up to count (at most
// kMaxDeviceKeys) are read in order; empty values and names of no known
// family are skipped, duplicates kept. The result may then be empty.
std::vector<std::u16string> ReadDeviceCatalogue(const std::u16string& ini_path);
// The same for DeviceCataloguePath().
std::vector<std::u16string> ReadDeviceCatalogue();
