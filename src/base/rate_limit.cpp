#include "base/rate_limit.h"

#include <algorithm>

namespace lingchao {
namespace {

constexpr auto kFloodOver = std::chrono::seconds(1);
constexpr auto kLongFlood = std::chrono::minutes(1);

}  // namespace

RateLimit::RateLimit(double perSecond, int burst)
    : perSecond_(std::max(perSecond, 0.0)), burst_(std::max(burst, 1)), tokens_(burst_) {}

bool RateLimit::Allow(Time now) {
    // A clock read before the last one (two threads' reads crossing) refills nothing.
    if (started_ && now > last_) {
        const double seconds = std::chrono::duration<double>(now - last_).count();
        tokens_ = std::min(burst_, tokens_ + seconds * perSecond_);
    }
    if (!started_ || now > last_) last_ = now;
    started_ = true;
    if (tokens_ >= 1.0) {
        tokens_ -= 1.0;
        return true;
    }
    if (dropped_ == 0) firstDrop_ = now;
    ++dropped_;
    lastDrop_ = now;
    return false;
}

std::uint64_t RateLimit::TakeDropped(Time now) {
    if (dropped_ == 0) return 0;
    if (now - lastDrop_ < kFloodOver && now - firstDrop_ < kLongFlood) return 0;
    const std::uint64_t n = dropped_;
    dropped_ = 0;
    return n;
}

}  // namespace lingchao
