// The device catalogue read from DocumentDevice.ini files, the families and
// the menu labels.
#include "settings/DeviceCatalogue.h"

#include "platform/system.h"
#include "testsupport/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::u16string>;
const Names kFallback{u"q5m4410"};

// Reads bytes as a catalogue file, the way the program reads its own.
Names Read(const std::string& bytes) {
    const testsupport::TempFolder folder("DocumentDevice");
    const std::string path = folder.File("DocumentDevice.ini");
    std::ofstream(path, std::ios::binary) << bytes;
    return ReadDeviceCatalogue(platform::Utf8ToUtf16(path));
}

TEST(DeviceCatalogue, WithoutAUsableCountTheCatalogueIsTheDefaultCamera) {
    EXPECT_EQ(kFallback, ReadDeviceCatalogue(u"/nonexistent/DocumentDevice.ini"));
    EXPECT_EQ(kFallback, ReadDeviceCatalogue(u"/")) << "a folder, not a file";
    for (const char* count : {"", "0", "-2", "abc", "0x10", "-99999999999999999999"}) {
        EXPECT_EQ(kFallback, Read(std::string("[Device]\ncount=") + count + "\nDev01=RVXa\n"))
            << count;
    }
    EXPECT_EQ(kFallback, Read("[Other]\ncount=1\nDev01=RVXa\n"));
    EXPECT_EQ(u"m4410", DeviceMenuLabel(kFallback[0]));
}

TEST(DeviceCatalogue, KeysAreReadInOrderUpToCountSkippingGapsAndUnknownFamilies) {
    EXPECT_EQ((Names{u"Q5M4410", u"RVXM4120"}),
              Read("[Device]\ncount=3\nDev01=Q5M4410\nDev03=RVXM4120\n"));
    EXPECT_EQ((Names{u"rvxm4120", u"Q5a", u"q5M", u"q5M", u"Rvx"}),
              Read("[device]\nCOUNT = 8 cameras\nDev01=rvxm4120\nDev02=XYZ\nDev03=Q5a\n"
                   "Dev04=q5M\nDev05=q5M\nDev06=\nDev07=Rvx\nDev08=RV\nDev09=Q5late\nDev1=Q5\n"));
    EXPECT_EQ(Names{}, Read("[Device]\ncount=2\nDev01=XYZ\nDev02= 5Q\n"));
}

TEST(DeviceCatalogue, HugeCountsLongNamesAndGarbageStayBounded) {
    EXPECT_EQ((Names{u"Q5hundred", u"RVXlast"}),
              Read("[Device]\ncount=99999999999999999999\nDev100=Q5hundred\n"
                   "Dev1001=RVXlast\nDev1002=RVXbeyond\n"));

    const Names names = Read("[Device]\ncount=2\nDev01=RVX" + std::string(5000, 'A') +
                             "\nDev02=Q5" + std::string(257, 'B') + "\xF0\x9F\x93\xB7\n");
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(u"RVX" + std::u16string(kMaxDeviceNameLength - 3, u'A'), names[0]);
    EXPECT_EQ(kMaxDeviceLabelLength, DeviceMenuLabel(names[0]).size());
    EXPECT_EQ(u"Q5" + std::u16string(257, u'B'), names[1]) << "no half character at the cut";

    std::mt19937 random(20261208);
    for (int round = 0; round < 50; ++round) {
        std::string bytes = "[Device]\ncount=" + std::to_string(round % 7) + "\n";
        for (size_t i = random() % 4096; i > 0; --i) {
            bytes.push_back(static_cast<char>(random() % 8 == 0 ? '\n' : random()));
        }
        for (const std::u16string& name : Read(bytes)) {
            EXPECT_NE(DeviceFamily::kNone, DeviceFamilyOf(name));
            EXPECT_LE(name.size(), kMaxDeviceNameLength);
        }
    }
}

TEST(DeviceCatalogue, ShippedFileListsOneCameraOfEachFamily) {
    const Names names = ReadDeviceCatalogue();
    ASSERT_EQ((Names{u"Q5M4410", u"RVXM4120"}), names);
    EXPECT_EQ(u"M4410", DeviceMenuLabel(names[0]));
    EXPECT_EQ(u"M4120", DeviceMenuLabel(names[1]));
}

TEST(DeviceCatalogue, NamesOfNoKnownFamilyKeepTheirWholeLabel) {
    for (const char16_t* other : {u"", u"Q", u"RV", u" Q5", u"XYZ", u"\uFF31\uFF15"})
        EXPECT_EQ(DeviceFamily::kNone, DeviceFamilyOf(other));
    EXPECT_EQ(u"XYZ", DeviceMenuLabel(u"XYZ"));
}

} // namespace
