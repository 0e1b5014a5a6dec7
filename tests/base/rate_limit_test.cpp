#include "base/rate_limit.h"

#include <gtest/gtest.h>

#include <vector>

namespace lingchao {
namespace {

const RateLimit::Time kStart{std::chrono::hours(5)};

RateLimit::Time At(int ms) { return kStart + std::chrono::milliseconds(ms); }

int Passed(RateLimit& limit, int calls, int ms) {
    int passed = 0;
    for (int i = 0; i < calls; ++i) passed += limit.Allow(At(ms)) ? 1 : 0;
    return passed;
}

TEST(RateLimit, AFloodAtOneInstantPassesOnlyTheBurstIsToldOnceAndLaterCallsPassAgain) {
    RateLimit limit(10, 5);
    EXPECT_EQ(Passed(limit, 300000, 0), 5);
    EXPECT_EQ(limit.pending(), 299995u);
    // Nothing to tell while the flood may go on; all of it once a quiet second has passed, then nothing.
    EXPECT_EQ(limit.TakeDropped(At(999)), 0u);
    EXPECT_EQ(limit.TakeDropped(At(1000)), 299995u);
    EXPECT_EQ(limit.TakeDropped(At(5000)), 0u);
    // Refilled at ten a second, never beyond the burst; a clock read from before refills nothing.
    EXPECT_EQ(Passed(limit, 100, 5000), 5);
    EXPECT_EQ(Passed(limit, 100, 5100), 1);
    EXPECT_EQ(Passed(limit, 100, 4000), 0);
}

TEST(RateLimit, AFloodThatGoesOnPassesTheRateAndIsToldOnceAMinute) {
    RateLimit limit(10, 5);
    int passed = 0;
    std::vector<int> toldAt;
    std::uint64_t told = 0;
    // A thousand calls a second for 150 seconds, the owner looking every second and after the end.
    for (int ms = 0; ms < 160000; ++ms) {
        if (ms < 150000) passed += limit.Allow(At(ms)) ? 1 : 0;
        if (ms % 1000 != 999) continue;
        if (const std::uint64_t n = limit.TakeDropped(At(ms))) {
            told += n;
            toldAt.push_back(ms);
        }
    }
    EXPECT_NEAR(passed, 5 + 1500, 2);
    EXPECT_EQ(toldAt, (std::vector<int>{60999, 121999, 150999}));
    EXPECT_EQ(told, 150000u - static_cast<std::uint64_t>(passed));
}

}  // namespace
}  // namespace lingchao
