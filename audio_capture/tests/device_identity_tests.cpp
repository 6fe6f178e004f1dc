#include "device_identity.h"

#include <gtest/gtest.h>

using namespace tovek::audio;

TEST(DeviceIdentity, NamesLongerThanARecordAreCutBetweenCharacters) {
    EXPECT_EQ("Mikrofon (USB)", RecordName("Mikrofon (USB)"));
    const std::string exact(kMaxRecordName, 'a');
    EXPECT_EQ(exact, RecordName(exact));
    EXPECT_EQ(exact, RecordName(exact + "bc"));
    // "é" is two bytes; one that would straddle the limit is left out whole.
    std::string straddling(kMaxRecordName - 1, 'a');
    straddling += "\xC3\xA9tail";
    EXPECT_EQ(std::string(kMaxRecordName - 1, 'a'), RecordName(straddling));
}

TEST(DeviceIdentity, SameKeySameIdentifierInVersion5Layout) {
    const GUID a = NameBasedGuid("source:Audio/Source\nUSB Microphone");
    EXPECT_EQ(a, NameBasedGuid("source:Audio/Source\nUSB Microphone"));
    EXPECT_FALSE(a == NameBasedGuid("source:Audio/Source\nUSB Microphone 2"));
    EXPECT_EQ(0x5, a.Data3 >> 12);
    EXPECT_EQ(0x80, a.Data4[0] & 0xC0);
}
