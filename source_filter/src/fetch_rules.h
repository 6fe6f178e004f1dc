// The pacing thread's rules, kept free of I/O so they can be driven step by
// step: when the next fetch is due, and what a fetch passes on.
#pragma once

#include <cstdint>

namespace camsrc {

// Milliseconds until the fetch after the one due at schedule_ms is due (one
// period later); 0 when it is due now. The schedule is fixed-rate: a thread
// that fell behind gets 0 until it has caught up. Correct across the tick
// count's wrap.
inline uint32_t MsUntilNextFetch(uint32_t now_ms, uint32_t schedule_ms, uint32_t period_ms) {
    const int64_t late = static_cast<int32_t>(now_ms - schedule_ms);
    return late >= static_cast<int64_t>(period_ms) ? 0 : static_cast<uint32_t>(period_ms - late);
}

enum class FetchOutcome {
    kNothing, // nothing to pass on
    kPublish, // a new picture of length bytes: pass it on
};

// Judges one fetch: fetched tells whether the driver copied a picture not
// fetched before (by its number), length is what it reported, max_length
// what an output buffer holds. A picture already fetched is never passed on
// again: a camera that is held up shows as held up downstream.
inline FetchOutcome JudgeFetch(bool fetched, uint32_t length, uint32_t max_length) {
    if (!fetched || length == 0 || length > max_length) {
        return FetchOutcome::kNothing;
    }
    return FetchOutcome::kPublish;
}

} // namespace camsrc
