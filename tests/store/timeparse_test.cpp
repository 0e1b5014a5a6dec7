#include "store/timeparse.h"

#include <gtest/gtest.h>

namespace lingchao {
namespace {

struct TimeCase {
    const char* text;
    bool ok;
    int hour = 0, minute = 0;
};

class TimeOfDayParsing : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeOfDayParsing, AcceptsTheNormalFormAndRefusesTheRest) {
    const auto& c = GetParam();
    const auto t = ParseTimeOfDay(c.text);
    ASSERT_EQ(t.has_value(), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(t->hour, c.hour);
        EXPECT_EQ(t->minute, c.minute);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, TimeOfDayParsing,
                         ::testing::Values(TimeCase{"08:30", true, 8, 30}, TimeCase{"00:00", true, 0, 0},
                                           TimeCase{"23:59", true, 23, 59}, TimeCase{"8:30", true, 8, 30},
                                           TimeCase{"8:30 ", true, 8, 30}, TimeCase{"08:30:15", true, 8, 30},
                                           TimeCase{"24:00", false}, TimeCase{"12:60", false}, TimeCase{"", false},
                                           TimeCase{"     ", false}, TimeCase{"0830", false}, TimeCase{"08:3", false},
                                           TimeCase{"ab", false}, TimeCase{"08:30x", false}, TimeCase{"-1:00", false}));

TEST(DateParsing, AcceptsRealCalendarDays) {
    EXPECT_EQ(ParseDate("2006-01-01"), (CalendarDate{2006, 1, 1}));
    EXPECT_EQ(ParseDate("2006-1-1"), (CalendarDate{2006, 1, 1}));
    EXPECT_EQ(ParseDate("2024/02/29"), (CalendarDate{2024, 2, 29}));
    EXPECT_FALSE(ParseDate("2023-02-29"));
    EXPECT_FALSE(ParseDate("2006-13-01"));
    EXPECT_FALSE(ParseDate("Everyday"));
    EXPECT_FALSE(ParseDate("2006-01/01"));
    EXPECT_FALSE(ParseDate(""));
}

TEST(DateParsing, WeekdayNumbersStartOnMonday) {
    EXPECT_EQ(WeekdayOf({2026, 12, 7}), 1);  // a Monday
    EXPECT_EQ(WeekdayOf({2026, 12, 9}), 3);
    EXPECT_EQ(WeekdayOf({2026, 12, 13}), 7);
    EXPECT_EQ(WeekdayOf({2000, 2, 29}), 2);
}

}  // namespace
}  // namespace lingchao
