#pragma once

#include <chrono>
#include <cstdint>

namespace lingchao {

// A token bucket for what others send us (remote commands, requests): up to `burst` at once and `perSecond` on
// average pass; the rest are dropped and only counted, never queued, so a flood costs neither memory nor time.
// The caller gives the time (a steady clock), which keeps it plain and testable without sleeping. One thread.
class RateLimit final {
public:
    using Time = std::chrono::steady_clock::time_point;

    RateLimit(double perSecond, int burst);

    // True when an event at `now` may go ahead; false when it is to be dropped (it is counted).
    bool Allow(Time now);
    // What to log, once: the drops of a flood that has ended (nothing dropped for a second), or of each minute
    // of a flood that goes on. 0 while there is nothing to tell.
    std::uint64_t TakeDropped(Time now);
    // Drops not taken yet: a flood under way, or one whose end is still to be told.
    std::uint64_t pending() const { return dropped_; }

private:
    double perSecond_;
    double burst_;
    double tokens_;
    Time last_{};
    bool started_ = false;
    std::uint64_t dropped_ = 0;
    Time firstDrop_{};  // of the drops not taken yet
    Time lastDrop_{};
};

}  // namespace lingchao
