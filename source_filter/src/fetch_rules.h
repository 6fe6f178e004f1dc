// The fetch rules, kept free of I/O so they can be driven step by step: when
// the next fetch is due, who takes it, and what a fetch passes on.
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

// Who fetches: a streaming thread that waits for a picture anyway (the
// puller) takes the due fetches itself, so that a frame costs one thread
// wake-up rather than two; the pacing thread keeps the schedule while no
// puller waits, and stays out of the way while one does.
enum class Fetcher { kPacing, kPuller };

class FetchTurns {
public:
    // A pacing thread that found a puller waiting sleeps this long past the
    // puller's last wait before it looks again; a puller gone for longer
    // leaves the fetches (caught up) to the pacing thread.
    static constexpr uint32_t kPullerLeaseMs = 500;

    // A run starts at now_ms: the first fetch is due one period later, and
    // no puller is known yet.
    void Restart(uint32_t now_ms) {
        schedule_ms_ = now_ms;
        puller_waits_ = false;
    }

    // Milliseconds until who takes a fetch; 0: now (then call Fetched). A
    // puller asking counts as a puller waiting for the next fetch.
    uint32_t MsUntilTurn(Fetcher who, uint32_t now_ms, uint32_t period_ms) {
        if (who == Fetcher::kPuller) {
            puller_waits_ = true;
            puller_ms_ = now_ms;
        } else if (puller_waits_) {
            const uint32_t since = now_ms - puller_ms_;
            if (since < kPullerLeaseMs) {
                return kPullerLeaseMs - since;
            }
            puller_waits_ = false;
        }
        return MsUntilNextFetch(now_ms, schedule_ms_, period_ms);
    }

    // The due fetch was taken; the next is one period after it.
    void Fetched(uint32_t period_ms) { schedule_ms_ += period_ms; }

private:
    uint32_t schedule_ms_ = 0; // the last fetch was due then
    bool puller_waits_ = false;
    uint32_t puller_ms_ = 0; // when the puller last asked
};

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
