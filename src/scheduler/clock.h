#pragma once

#include <cstdint>
#include <string>

#include "store/timeparse.h"

namespace lingchao {

struct LocalDateTime {
    CalendarDate date;
    TimeOfDay time;
    int millisecond = 0;
    int weekday = 1;  // 1 = Monday ... 7 = Sunday

    // Minutes since 1970-01-01 00:00 of the local calendar: tells whether ticks fell in consecutive minutes.
    std::int64_t MinuteIndex() const;
    // Milliseconds on the same scale: orders two readings of the local clock.
    std::int64_t MillisecondIndex() const;
};

// The scheduler's only source of time.
class Clock {
public:
    virtual ~Clock() = default;
    // The local wall-clock date and time now.
    virtual LocalDateTime Now() const = 0;
};

// The operating system's local time (faketime applies).
class SystemClock final : public Clock {
public:
    LocalDateTime Now() const override;
};

// The local date and time of a moment (seconds since the epoch), in the process's time zone (TZ).
LocalDateTime LocalFromEpoch(std::int64_t seconds, int millisecond = 0);

// Days from 1970-01-01 to the date (proleptic Gregorian).
std::int64_t DaysFromCivil(const CalendarDate& date);
LocalDateTime MakeLocalDateTime(const CalendarDate& date, const TimeOfDay& time, int millisecond = 0);
// `t` moved by whole seconds on the local calendar (date and weekday follow; no time-zone changes).
LocalDateTime AddSeconds(const LocalDateTime& t, int seconds);

// "2026-12-07 08:00:00.004": the stamp of the logs.
std::string StampText(const LocalDateTime& t);

}  // namespace lingchao
