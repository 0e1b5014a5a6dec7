#include "scheduler/clock.h"

#include <cstdio>
#include <ctime>

namespace lingchao {

std::int64_t DaysFromCivil(const CalendarDate& date) {
    // Howard Hinnant's days_from_civil.
    const std::int64_t y = date.month <= 2 ? date.year - 1 : date.year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t m = date.month;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t LocalDateTime::MinuteIndex() const { return DaysFromCivil(date) * 1440 + time.hour * 60 + time.minute; }

std::int64_t LocalDateTime::MillisecondIndex() const { return (MinuteIndex() * 60 + time.second) * 1000 + millisecond; }

LocalDateTime MakeLocalDateTime(const CalendarDate& date, const TimeOfDay& time, int millisecond) {
    LocalDateTime t;
    t.date = date;
    t.time = time;
    t.millisecond = millisecond;
    t.weekday = WeekdayOf(date);
    return t;
}

LocalDateTime AddSeconds(const LocalDateTime& t, int seconds) {
    std::int64_t days = DaysFromCivil(t.date);
    std::int64_t secs = t.time.Seconds() + seconds;
    days += secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    secs = ((secs % 86400) + 86400) % 86400;
    // Howard Hinnant's civil_from_days.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    return MakeLocalDateTime(
        {y, m, d}, {static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)},
        t.millisecond);
}

std::string StampText(const LocalDateTime& t) {
    char buf[24];
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d.%03d", t.time.hour, t.time.minute, t.time.second, t.millisecond);
    return DateText(t.date) + buf;
}

LocalDateTime LocalFromEpoch(std::int64_t seconds, int millisecond) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return MakeLocalDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, {tm.tm_hour, tm.tm_min, tm.tm_sec},
                             millisecond);
}

LocalDateTime SystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return LocalFromEpoch(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

}  // namespace lingchao
