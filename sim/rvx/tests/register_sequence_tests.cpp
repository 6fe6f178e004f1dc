#include "sim/rvx_camera.h"

#include <gtest/gtest.h>

#include <array>

namespace sim {
namespace {

using Bytes = std::array<uint8_t, 4>;
using Outcome = RvxRegisterSequence::Outcome;

const std::array<Bytes, 5> kCommand = {{{0x20, 0x46, 0xB4, 0x31},
                                        {0x20, 0x38, 0xB4, 0x02},
                                        {0x20, 0x40, 0xB4, 0x00},
                                        {0x20, 0x41, 0xB4, 0x00},
                                        {0x20, 0x44, 0xB4, 0x01}}};
const std::array<Bytes, 6> kState = {{{0x20, 0x46, 0xB4, 0x00},
                                      {0x20, 0x38, 0xB4, 0x02},
                                      {0x20, 0x44, 0xB4, 0x02},
                                      {0x00, 0x4C, 0xB4, 0x00},
                                      {0x00, 0x4C, 0xB4, 0xFF},
                                      {0x00, 0x4D, 0xB4, 0xFF}}};

TEST(RvxRegisterSequence, CommandIsExecutedAfterTheFifthWrite) {
    RvxRegisterSequence sequence;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[i])) << i;
    }
    EXPECT_EQ(Outcome::kCommand, sequence.Write(kCommand[4]));
    EXPECT_EQ(0x31, sequence.Command());
    EXPECT_FALSE(sequence.TakeStateRead());
    // The register is ready for the next sequence.
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[0]));
}

TEST(RvxRegisterSequence, StateSequenceAllowsOneRead) {
    RvxRegisterSequence sequence;
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(Outcome::kAccepted, sequence.Write(kState[i])) << i;
    }
    EXPECT_EQ(Outcome::kStateLatched, sequence.Write(kState[5]));
    EXPECT_TRUE(sequence.TakeStateRead());
    EXPECT_FALSE(sequence.TakeStateRead());
}

TEST(RvxRegisterSequence, OutOfOrderWritesAreRefusedAndStartAfresh) {
    RvxRegisterSequence sequence;
    EXPECT_EQ(Outcome::kRefused, sequence.Write(kCommand[1])) << "no first write";
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[0]));
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[1]));
    // Two senders interleaved: a first write where the third belongs.
    EXPECT_EQ(Outcome::kRefused, sequence.Write(kCommand[0]));
    EXPECT_EQ(Outcome::kRefused, sequence.Write(kCommand[2])) << "the sequence was dropped";

    // A state read's third write after a command's first write is refused.
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[0]));
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[1]));
    EXPECT_EQ(Outcome::kRefused, sequence.Write(kState[2]));

    // A write of the wrong size, and a latched read lost to another write.
    const uint8_t short_write[3] = {0x20, 0x46, 0xB4};
    EXPECT_EQ(Outcome::kRefused, sequence.Write(short_write));
    for (const Bytes& write : kState) {
        sequence.Write(write);
    }
    EXPECT_EQ(Outcome::kAccepted, sequence.Write(kCommand[0]));
    EXPECT_FALSE(sequence.TakeStateRead());
}

} // namespace
} // namespace sim
