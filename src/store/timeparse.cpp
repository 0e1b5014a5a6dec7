#include "store/timeparse.h"

#include <cstdio>

#include "base/text.h"
#include "store/gbk.h"

namespace lingchao {
namespace {

// Reads 1..maxDigits decimal digits at `pos`; returns the digit count (0 when none).
int ReadNumber(std::string_view text, std::size_t& pos, int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text) {
    text = Trim(text);
    std::size_t pos = 0;
    TimeOfDay t;
    if (ReadNumber(text, pos, 2, t.hour) == 0 || pos >= text.size() || text[pos] != ':') return std::nullopt;
    ++pos;
    if (ReadNumber(text, pos, 2, t.minute) != 2) return std::nullopt;
    if (pos < text.size()) {
        if (text[pos] != ':') return std::nullopt;
        ++pos;
        if (ReadNumber(text, pos, 2, t.second) != 2) return std::nullopt;
    }
    if (pos != text.size() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::optional<CalendarDate> ParseDate(std::string_view text) {
    text = Trim(text);
    std::size_t pos = 0;
    CalendarDate d;
    if (ReadNumber(text, pos, 4, d.year) != 4 || pos >= text.size()) return std::nullopt;
    const char sep = text[pos];
    if (sep != '-' && sep != '/') return std::nullopt;
    ++pos;
    if (ReadNumber(text, pos, 2, d.month) == 0 || pos >= text.size() || text[pos] != sep) return std::nullopt;
    ++pos;
    if (ReadNumber(text, pos, 2, d.day) == 0 || pos != text.size()) return std::nullopt;
    if (d.year < 100 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month)) {
        return std::nullopt;
    }
    return d;
}

int WeekdayOf(const CalendarDate& date) {
    // Sakamoto's method gives 0 = Sunday; shift to 1 = Monday ... 7 = Sunday.
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = date.year;
    if (date.month < 3) --y;
    const int sundayBased = (y + y / 4 - y / 100 + y / 400 + kOffsets[date.month - 1] + date.day) % 7;
    return sundayBased == 0 ? 7 : sundayBased;
}

std::string DateText(const CalendarDate& date) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buf;
}

std::string HourMinuteText(const TimeOfDay& time) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", time.hour, time.minute);
    return buf;
}

}  // namespace lingchao
