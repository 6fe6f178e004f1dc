#include "DctBlock.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dct {
namespace {

// Eight lanes: a block's row. The compiler splits them where the processor
// has narrower registers. Passed by pointer only (their calling convention
// depends on the instruction set).
using Row = float __attribute__((vector_size(32)));
using IntRow = int32_t __attribute__((vector_size(32)));

struct Tables {
    float basis[8][8];    // basis[k][n]: frequency k at sample n
    Row basis_rows[8];    // the same, as rows over n
    Row basis_cols[8];    // basis_cols[n]: over k
    float take[8][8][8];  // take[r]: the samples from r on, moved to the start
    float bring[8][8][8]; // bring[r]: the first r samples, moved to the end
    Row take_cols[8][8];  // take_cols[r][k']: take[r][.][k'] as a row
    Row bring_cols[8][8];
};

Tables MakeTables() {
    Tables t{};
    const double pi = std::acos(-1.0);
    for (int k = 0; k < 8; ++k) {
        const double scale = k == 0 ? std::sqrt(1.0 / 8) : std::sqrt(2.0 / 8);
        for (int n = 0; n < 8; ++n)
            t.basis[k][n] = static_cast<float>(scale * std::cos((2 * n + 1) * k * pi / 16));
    }
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            t.basis_rows[i][j] = t.basis[i][j];
            t.basis_cols[i][j] = t.basis[j][i];
        }
    }
    // In coefficients, a move of samples is basis . move . basis': sample i
    // of the new block is sample i + r of the first (i < 8 - r) or sample
    // i - (8 - r) of the next.
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 8; ++k) {
            for (int k2 = 0; k2 < 8; ++k2) {
                double take = 0;
                double bring = 0;
                for (int i = 0; i < 8; ++i) {
                    if (i < 8 - r)
                        take += t.basis[k][i] * t.basis[k2][i + r];
                    else
                        bring += t.basis[k][i] * t.basis[k2][i - (8 - r)];
                }
                t.take[r][k][k2] = static_cast<float>(take);
                t.bring[r][k][k2] = static_cast<float>(bring);
            }
        }
        for (int k2 = 0; k2 < 8; ++k2) {
            for (int k = 0; k < 8; ++k) {
                t.take_cols[r][k2][k] = t.take[r][k][k2];
                t.bring_cols[r][k2][k] = t.bring[r][k][k2];
            }
        }
    }
    return t;
}

const Tables& T() {
    static const Tables tables = MakeTables();
    return tables;
}

// Rounded to the nearest whole number, for |x| below 2^22: adding 1.5 x 2^23
// leaves the rounded value in the low bits of the sum.
[[gnu::always_inline]] inline void Round(const Row* in, IntRow* out) {
    constexpr float kMagic = 12582912.0f;
    constexpr int32_t kMagicBits = 0x4B400000;
    const Row sum = *in + kMagic;
    IntRow bits;
    std::memcpy(&bits, &sum, sizeof bits);
    *out = bits - kMagicBits;
}

using ShortRow = int16_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline void LoadRow(const float* p, Row* row) {
    std::memcpy(row, p, sizeof *row);
}

[[gnu::always_inline]] inline void Dequantise(const Coefficient* c, const Table& table, Row rows[8],
                                              bool used[8]) {
    for (int v = 0; v < 8; ++v) {
        ShortRow whole;
        std::memcpy(&whole, c + v * 8, sizeof whole);
        uint64_t halves[2];
        std::memcpy(halves, &whole, sizeof halves);
        used[v] = (halves[0] | halves[1]) != 0;
        Row step;
        LoadRow(table.step + v * 8, &step);
        rows[v] = used[v] ? __builtin_convertvector(whole, Row) * step : Row{};
    }
}

// Rounded, clipped to the coder's limits and stored: the rows of a block.
[[gnu::always_inline]] inline void StoreRows(const Row rows[8], Coefficient* out) {
    for (int v = 0; v < 8; ++v) {
        IntRow whole;
        Round(&rows[v], &whole);
        // The entropy coder's limits: eleven bits for the first, ten for
        // the rest.
        IntRow limit = IntRow{} + 1023;
        if (v == 0)
            limit[0] = 2047;
        const IntRow high = whole > limit;
        whole = (whole & ~high) | (limit & high);
        const IntRow low = whole < -limit;
        whole = (whole & ~low) | (-limit & low);
        const ShortRow narrow = __builtin_convertvector(whole, ShortRow);
        std::memcpy(out + v * 8, &narrow, sizeof narrow);
    }
}

[[gnu::always_inline]] inline void Quantise(const Row rows[8], const Table& table,
                                            Coefficient* out) {
    Row scaled[8];
    for (int v = 0; v < 8; ++v) {
        Row reciprocal;
        LoadRow(table.reciprocal + v * 8, &reciprocal);
        scaled[v] = rows[v] * reciprocal;
    }
    StoreRows(scaled, out);
}

// out += vertical . block . horizontal', where a null matrix is the
// identity; the block's zero rows and coefficients are skipped, as most of
// a picture's are.
[[gnu::always_inline]] inline void AddMoved(const Coefficient* block, const Table& table,
                                            const float (*vertical)[8], const Row* horizontal_cols,
                                            Row out[8]) {
    Row rows[8];
    bool used[8];
    Dequantise(block, table, rows, used);
    if (horizontal_cols != nullptr) {
        for (int v = 0; v < 8; ++v) {
            if (!used[v])
                continue;
            Row moved = {};
            for (int k = 0; k < 8; ++k) {
                if (rows[v][k] != 0)
                    moved += rows[v][k] * horizontal_cols[k];
            }
            rows[v] = moved;
        }
    }
    for (int k = 0; k < 8; ++k) {
        if (!used[k])
            continue;
        if (vertical == nullptr) {
            out[k] += rows[k];
            continue;
        }
        for (int v = 0; v < 8; ++v)
            out[v] += vertical[v][k] * rows[k];
    }
}

[[gnu::always_inline]] inline void Inverse(const Coefficient* coefficients, const Table& table,
                                           uint8_t* out, int stride) {
    const Tables& t = T();
    Row rows[8];
    bool used[8];
    Dequantise(coefficients, table, rows, used);
    // Rows of frequencies into rows of samples, then down the columns.
    Row across[8];
    for (int v = 0; v < 8; ++v) {
        across[v] = Row{};
        if (!used[v])
            continue;
        for (int u = 0; u < 8; ++u)
            across[v] += rows[v][u] * t.basis_rows[u];
    }
    for (int y = 0; y < 8; ++y) {
        Row samples = Row{} + 128.0f;
        for (int v = 0; v < 8; ++v) {
            if (used[v])
                samples += t.basis[v][y] * across[v];
        }
        IntRow whole;
        Round(&samples, &whole);
        uint8_t* row = out + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < 8; ++x)
            row[x] = static_cast<uint8_t>(std::clamp<int>(whole[x], 0, 255));
    }
}

[[gnu::always_inline]] inline void Forward(const uint8_t* in, int stride, const Table& table,
                                           Coefficient* coefficients) {
    const Tables& t = T();
    Row across[8];
    for (int y = 0; y < 8; ++y) {
        const uint8_t* row = in + static_cast<std::ptrdiff_t>(y) * stride;
        across[y] = Row{};
        for (int x = 0; x < 8; ++x)
            across[y] += static_cast<float>(row[x] - 128) * t.basis_cols[x];
    }
    Row rows[8];
    for (int v = 0; v < 8; ++v) {
        rows[v] = Row{};
        for (int y = 0; y < 8; ++y)
            rows[v] += t.basis[v][y] * across[y];
    }
    Quantise(rows, table, coefficients);
}

[[gnu::always_inline]] inline void Shifted(const Coefficient* a, const Coefficient* below,
                                           const Coefficient* right, const Coefficient* corner,
                                           int offset_y, int offset_x, const Table& table,
                                           Coefficient* out) {
    const Tables& t = T();
    offset_y &= 7;
    offset_x &= 7;
    // No offset along an axis: the first block whole, nothing of the next.
    const float(*take_v)[8] = offset_y != 0 ? t.take[offset_y] : nullptr;
    const float(*bring_v)[8] = offset_y != 0 ? t.bring[offset_y] : nullptr;
    const Row* take_h = offset_x != 0 ? t.take_cols[offset_x] : nullptr;
    const Row* bring_h = offset_x != 0 ? t.bring_cols[offset_x] : nullptr;
    Row rows[8] = {};
    if (a != nullptr)
        AddMoved(a, table, take_v, take_h, rows);
    if (below != nullptr && offset_y != 0)
        AddMoved(below, table, bring_v, take_h, rows);
    if (right != nullptr && offset_x != 0)
        AddMoved(right, table, take_v, bring_h, rows);
    if (corner != nullptr && offset_y != 0 && offset_x != 0)
        AddMoved(corner, table, bring_v, bring_h, rows);
    // Mid-grey for what no block gave: a missing block's samples are 128,
    // which in coefficients is nothing at all.
    Quantise(rows, table, out);
}

// Each coefficient of a block's used rows times its turned row's weights.
[[gnu::always_inline]] inline void AddWeighted(const Coefficient* block,
                                               const float (*weights)[8][8], Row rows[8]) {
    for (int k = 0; k < 8; ++k) {
        uint64_t halves[2];
        std::memcpy(halves, block + k * 8, sizeof halves);
        if ((halves[0] | halves[1]) == 0)
            continue;
        for (int v = 0; v < 8; ++v) {
            Row weight;
            LoadRow(weights[v][k], &weight);
            rows[v] += static_cast<float>(block[k * 8 + v]) * weight;
        }
    }
}

[[gnu::always_inline]] inline void ShiftTurnImpl(const ShiftTurn& shift_turn, const Coefficient* a,
                                                 const Coefficient* below, Coefficient* out) {
    Row rows[8] = {};
    if (a != nullptr)
        AddWeighted(a, shift_turn.take, rows);
    if (below != nullptr)
        AddWeighted(below, shift_turn.bring, rows);
    StoreRows(rows, out);
}

#if defined(__x86_64__)
// The same with the processor's wider registers, where it has them.
__attribute__((target("avx2,fma"))) void InverseAvx2(const Coefficient* coefficients,
                                                     const Table& table, uint8_t* out, int stride) {
    Inverse(coefficients, table, out, stride);
}
__attribute__((target("avx2,fma"))) void
ForwardAvx2(const uint8_t* in, int stride, const Table& table, Coefficient* coefficients) {
    Forward(in, stride, table, coefficients);
}
__attribute__((target("avx2,fma"))) void ShiftedAvx2(const Coefficient* a, const Coefficient* below,
                                                     const Coefficient* right,
                                                     const Coefficient* corner, int offset_y,
                                                     int offset_x, const Table& table,
                                                     Coefficient* out) {
    Shifted(a, below, right, corner, offset_y, offset_x, table, out);
}

__attribute__((target("avx2,fma"))) void ShiftTurnAvx2(const ShiftTurn& shift_turn,
                                                       const Coefficient* a,
                                                       const Coefficient* below, Coefficient* out) {
    ShiftTurnImpl(shift_turn, a, below, out);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}
#else
bool HasAvx2() {
    return false;
}
#endif

} // namespace

void MakeTable(const Quant* quant, Table* table) {
    for (int i = 0; i < kBlock; ++i) {
        // A zero step is no table at all; taken as one, it does no harm.
        const Quant step = std::max<Quant>(quant[i], 1);
        table->quant[i] = quant[i];
        table->step[i] = static_cast<float>(step);
        table->reciprocal[i] = 1.0f / static_cast<float>(step);
    }
}

void InverseBlock(const Coefficient* coefficients, const Table& table, uint8_t* out, int stride) {
#if defined(__x86_64__)
    if (HasAvx2())
        return InverseAvx2(coefficients, table, out, stride);
#endif
    Inverse(coefficients, table, out, stride);
}

void ForwardBlock(const uint8_t* in, int stride, const Table& table, Coefficient* coefficients) {
#if defined(__x86_64__)
    if (HasAvx2())
        return ForwardAvx2(in, stride, table, coefficients);
#endif
    Forward(in, stride, table, coefficients);
}

void ShiftedBlock(const Coefficient* a, const Coefficient* below, const Coefficient* right,
                  const Coefficient* corner, int offset_y, int offset_x, const Table& table,
                  Coefficient* out) {
#if defined(__x86_64__)
    if (HasAvx2())
        return ShiftedAvx2(a, below, right, corner, offset_y, offset_x, table, out);
#endif
    Shifted(a, below, right, corner, offset_y, offset_x, table, out);
}

void MakeShiftTurn(const Table& table, int offset_y, ShiftTurn* shift_turn) {
    const Tables& t = T();
    offset_y &= 7;
    // Turned (v, u) is the shifted block's (u, v), negated for odd u; the
    // shifted block's (u, v) is take . a + bring . below down column v,
    // dequantised by the table and quantised again.
    for (int v = 0; v < 8; ++v) {
        for (int k = 0; k < 8; ++k) {
            for (int u = 0; u < 8; ++u) {
                const float sign = (u & 1) != 0 ? -1.0f : 1.0f;
                const float scale = table.step[k * 8 + v] * table.reciprocal[u * 8 + v] * sign;
                shift_turn->take[v][k][u] = t.take[offset_y][u][k] * scale;
                shift_turn->bring[v][k][u] = t.bring[offset_y][u][k] * scale;
            }
        }
    }
}

void ShiftTurnBlock(const ShiftTurn& shift_turn, const Coefficient* a, const Coefficient* below,
                    Coefficient* out) {
#if defined(__x86_64__)
    if (HasAvx2())
        return ShiftTurnAvx2(shift_turn, a, below, out);
#endif
    ShiftTurnImpl(shift_turn, a, below, out);
}

void TurnQuant(const Quant* in, int turns, Quant* out) {
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u)
            out[v * 8 + u] = (turns & 1) != 0 ? in[u * 8 + v] : in[v * 8 + u];
    }
}

void TurnCoefficients(const Coefficient* in, int turns, Coefficient* out) {
    turns &= 3;
    // Turning samples clockwise is transposing them and mirroring across
    // (one turn) or down (three); in coefficients a mirror negates the odd
    // frequencies along it. A half turn mirrors both ways.
#if defined(__SSE2__)
    __m128i r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i * 8));
    if ((turns & 1) != 0) {
        __m128i t[8];
        __m128i u[8];
        for (int i = 0; i < 4; ++i) {
            t[2 * i] = _mm_unpacklo_epi16(r[2 * i], r[2 * i + 1]);
            t[2 * i + 1] = _mm_unpackhi_epi16(r[2 * i], r[2 * i + 1]);
        }
        for (int i = 0; i < 2; ++i) {
            u[4 * i] = _mm_unpacklo_epi32(t[4 * i], t[4 * i + 2]);
            u[4 * i + 1] = _mm_unpackhi_epi32(t[4 * i], t[4 * i + 2]);
            u[4 * i + 2] = _mm_unpacklo_epi32(t[4 * i + 1], t[4 * i + 3]);
            u[4 * i + 3] = _mm_unpackhi_epi32(t[4 * i + 1], t[4 * i + 3]);
        }
        for (int i = 0; i < 4; ++i) {
            r[2 * i] = _mm_unpacklo_epi64(u[i], u[i + 4]);
            r[2 * i + 1] = _mm_unpackhi_epi64(u[i], u[i + 4]);
        }
    }
    const __m128i odd_lanes = _mm_set_epi16(-1, 0, -1, 0, -1, 0, -1, 0);
    const __m128i all = _mm_set1_epi16(-1);
    for (int v = 0; v < 8; ++v) {
        __m128i negate;
        if (turns == 1)
            negate = odd_lanes;
        else if (turns == 3)
            negate = (v & 1) != 0 ? all : _mm_setzero_si128();
        else
            negate = (v & 1) != 0 ? _mm_xor_si128(odd_lanes, all) : odd_lanes;
        const __m128i value = _mm_sub_epi16(_mm_xor_si128(r[v], negate), negate);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + v * 8), value);
    }
#else
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            const int from = (turns & 1) != 0 ? u * 8 + v : v * 8 + u;
            const bool negate = turns == 1   ? (u & 1) != 0
                                : turns == 3 ? (v & 1) != 0
                                             : ((u + v) & 1) != 0;
            out[v * 8 + u] = static_cast<Coefficient>(negate ? -in[from] : in[from]);
        }
    }
#endif
}

} // namespace dct
