// One 8 x 8 block of a JPEG picture's coefficients (natural order, as
// libjpeg keeps them), worked on without the rest of the picture: made into
// samples and back where something is drawn over it, turned by quarter turns
// as a whole, or made from the two or four blocks it straddles when a turn
// moves the picture's edge off the block grid.
//
// The transform is JPEG's own (orthonormal 8-point DCT in both directions),
// computed in single precision: a block made into samples and back without
// change gives its coefficients again, give or take one step where a sample
// was clipped to 0..255.
#pragma once

#include <cstdint>

namespace dct {

using Coefficient = int16_t; // libjpeg's JCOEF
using Quant = uint16_t;      // libjpeg's quantval

constexpr int kBlock = 64;

// A quantisation table with what the transforms use of it.
struct Table {
    Quant quant[kBlock];
    alignas(32) float step[kBlock]; // quant as numbers
    alignas(32) float reciprocal[kBlock];
};
void MakeTable(const Quant* quant, Table* table);

// Dequantises coefficients by table and writes the 8 x 8 samples at out,
// rows stride bytes apart.
void InverseBlock(const Coefficient* coefficients, const Table& table, uint8_t* out, int stride);
// The samples at in (rows stride bytes apart) as coefficients quantised by
// table.
void ForwardBlock(const uint8_t* in, int stride, const Table& table, Coefficient* coefficients);

// out = in turned clockwise by turns (1..3) quarter turns, both quantised
// by tables that are turned alike (TurnQuant). in and out must differ.
void TurnCoefficients(const Coefficient* in, int turns, Coefficient* out);
// A quantisation table for coefficients turned by turns.
void TurnQuant(const Quant* in, int turns, Quant* out);

// The block whose samples start at row offset_y and column offset_x (0..7)
// of block a: a's samples from there on, then those of the blocks below
// (below), right (right) and below-right (corner) of it; any of the four
// may be null (its samples taken as mid-grey, which only the padding past
// a picture's edge ever meets). Quantised by table, as all four are.
void ShiftedBlock(const Coefficient* a, const Coefficient* below, const Coefficient* right,
                  const Coefficient* corner, int offset_y, int offset_x, const Table& table,
                  Coefficient* out);

// ShiftedBlock down by offset_y and one clockwise quarter turn as one step,
// for a table: what a quarter turn needs of every block of a component whose
// height is not a whole number of blocks.
struct ShiftTurn {
    // [turned row][row of the block][turned column]
    alignas(32) float take[8][8][8];
    alignas(32) float bring[8][8][8];
};
void MakeShiftTurn(const Table& table, int offset_y, ShiftTurn* shift_turn);
// TurnCoefficients(ShiftedBlock(a, below, null, null, offset_y, 0), 1): a
// and below may be null.
void ShiftTurnBlock(const ShiftTurn& shift_turn, const Coefficient* a, const Coefficient* below,
                    Coefficient* out);

} // namespace dct
