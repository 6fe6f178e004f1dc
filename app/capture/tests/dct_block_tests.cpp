// Block operations checked against the same operation on samples: what a
// turn or a shift does to a block's coefficients must be what it does to the
// picture.
#include "DctBlock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

using dct::Coefficient;
using dct::kBlock;

// A table like a camera's: coarser steps for higher frequencies, and not
// symmetric, so that a turn that forgets to turn it shows.
dct::Table CameraTable() {
    dct::Quant quant[kBlock];
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u)
            quant[v * 8 + u] = static_cast<dct::Quant>(3 + u + 2 * v);
    }
    dct::Table table;
    dct::MakeTable(quant, &table);
    return table;
}

// A block of a picture: a few low frequencies, small enough that no sample
// clips.
void RandomBlock(std::mt19937* random, Coefficient* block) {
    std::uniform_int_distribution<int> value(-6, 6);
    for (int i = 0; i < kBlock; ++i)
        block[i] = 0;
    block[0] = static_cast<Coefficient>(value(*random) * 2);
    for (int i : {1, 2, 8, 9, 10, 17, 24, 3})
        block[i] = static_cast<Coefficient>(value(*random));
}

void ExpectNear(const Coefficient* want, const Coefficient* got) {
    for (int i = 0; i < kBlock; ++i)
        EXPECT_LE(std::abs(want[i] - got[i]), 1) << "coefficient " << i;
}

} // namespace

TEST(DctBlock, TurningCoefficientsTurnsTheSamples) {
    const dct::Table table = CameraTable();
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        Coefficient block[kBlock];
        RandomBlock(&random, block);
        uint8_t samples[64];
        dct::InverseBlock(block, table, samples, 8);
        // Samples and coefficients come back from the transform unchanged.
        Coefficient again[kBlock];
        dct::ForwardBlock(samples, 8, table, again);
        ExpectNear(block, again);
        for (int turns = 1; turns < 4; ++turns) {
            SCOPED_TRACE(turns);
            Coefficient turned[kBlock];
            dct::TurnCoefficients(block, turns, turned);
            dct::Quant quant[kBlock];
            dct::TurnQuant(table.quant, turns, quant);
            dct::Table turned_table;
            dct::MakeTable(quant, &turned_table);
            uint8_t got[64];
            dct::InverseBlock(turned, turned_table, got, 8);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    // Clockwise: the turned (x, y) was (y, 7 - x) and so on.
                    const int from = turns == 1   ? (7 - x) * 8 + y
                                     : turns == 2 ? (7 - y) * 8 + (7 - x)
                                                  : x * 8 + (7 - y);
                    EXPECT_LE(std::abs(got[y * 8 + x] - samples[from]), 1) << x << "," << y;
                }
            }
        }
    }
}

TEST(DctBlock, ShiftedBlocksAreTheSamplesBetweenTheirNeighbours) {
    const dct::Table table = CameraTable();
    std::mt19937 random(11);
    for (int round = 0; round < 10; ++round) {
        Coefficient blocks[4][kBlock]; // a, below, right, corner
        uint8_t samples[16][16];
        for (int i = 0; i < 4; ++i) {
            RandomBlock(&random, blocks[i]);
            dct::InverseBlock(blocks[i], table, &samples[(i & 1) * 8][(i >> 1) * 8], 16);
        }
        // Every offset down and across.
        for (int offset = 1; offset < 64; ++offset) {
            const int offset_y = offset / 8;
            const int offset_x = offset % 8;
            SCOPED_TRACE(testing::Message() << offset_y << "," << offset_x);
            Coefficient want[kBlock];
            dct::ForwardBlock(&samples[offset_y][offset_x], 16, table, want);
            Coefficient got[kBlock];
            dct::ShiftedBlock(blocks[0], blocks[1], blocks[2], blocks[3], offset_y, offset_x, table,
                              got);
            ExpectNear(want, got);
            if (offset_x != 0)
                continue;
            // The shift down and the quarter turn in one step.
            Coefficient turned[kBlock];
            dct::TurnCoefficients(got, 1, turned);
            dct::ShiftTurn shift_turn;
            dct::MakeShiftTurn(table, offset_y, &shift_turn);
            Coefficient both[kBlock];
            dct::ShiftTurnBlock(shift_turn, blocks[0], blocks[1], both);
            ExpectNear(turned, both);
        }
    }
    // Past the picture's edge there is no block: its samples are mid-grey.
    Coefficient flat[kBlock] = {};
    flat[0] = 8;
    Coefficient got[kBlock];
    dct::ShiftedBlock(flat, nullptr, nullptr, nullptr, 4, 0, table, got);
    EXPECT_EQ(4, got[0]);
}
