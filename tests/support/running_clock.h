#pragma once

#include <chrono>

#include "scheduler/clock.h"

namespace lingchao::test {

// School time on Monday 2026-12-07 that runs with the machine's from `start`: for the bell on its own thread,
// whose tick follows real seconds.
class RunningClock final : public Clock {
public:
    explicit RunningClock(TimeOfDay start) : start_(MakeLocalDateTime({2026, 12, 7}, start)) {}
    LocalDateTime Now() const override {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began_).count();
        const LocalDateTime t = AddSeconds(start_, static_cast<int>(ms / 1000));
        return MakeLocalDateTime(t.date, t.time, static_cast<int>(ms % 1000));
    }

private:
    LocalDateTime start_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

}  // namespace lingchao::test
