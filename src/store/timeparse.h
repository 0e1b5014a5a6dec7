#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lingchao {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int Seconds() const { return hour * 3600 + minute * 60 + second; }
    bool operator==(const TimeOfDay&) const = default;
};

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const CalendarDate&) const = default;
};

// The one parser for times and dates typed by users or read from files.
// Times: H:MM or HH:MM, optionally :SS; hours 0-23, minutes and seconds 0-59; blanks around are ignored.
std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text);

// Dates: year (4 digits), month and day (1 or 2 digits each) joined by "-" or "/", a real calendar day.
std::optional<CalendarDate> ParseDate(std::string_view text);

// 1 = Monday ... 7 = Sunday.
int WeekdayOf(const CalendarDate& date);

// "2026-12-07" and "08:05": the forms the program writes.
std::string DateText(const CalendarDate& date);
std::string HourMinuteText(const TimeOfDay& time);

}  // namespace lingchao
