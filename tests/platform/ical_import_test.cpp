#include "platform/ical_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.h"

#ifndef LINGCHAO_TEST_DATA
#error "LINGCHAO_TEST_DATA must name tests/platform/data"
#endif

namespace lingchao {
namespace {

const std::filesystem::path kHolidays = std::filesystem::path(LINGCHAO_TEST_DATA) / "holidays-2026.ics";

std::string Text(const CalendarEntry& e) {
    return DateText(e.first) + ".." + DateText(e.last) + " " + KindName(e.kind) + " " + e.note;
}

TEST(IcsImport, AYearOfPublicHolidaysWithMakeUpDays) {
    const IcsImport read = ReadIcsFile(kHolidays);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.timedEvents, 1);
    std::vector<std::string> got;
    for (const auto& e : read.entries) got.push_back(Text(e));
    const std::vector<std::string> want{"2026-01-01..2026-01-03 holiday 元旦",
                                        "2026-01-04..2026-01-04 school-day 元旦 补班",
                                        "2026-02-15..2026-02-23 holiday 春节",
                                        "2026-02-14..2026-02-14 school-day 春节 补班",
                                        "2026-02-28..2026-02-28 school-day 春节 补班",
                                        "2026-04-04..2026-04-06 holiday 清明节",
                                        "2026-05-01..2026-05-05 holiday 劳动节",
                                        "2026-05-09..2026-05-09 school-day 劳动节 补班",
                                        "2026-06-19..2026-06-21 holiday 端午节",
                                        "2026-09-25..2026-09-27 holiday 中秋节",
                                        "2026-09-20..2026-09-20 school-day 国庆节 补班",
                                        "2026-10-01..2026-10-07 holiday 国庆节",
                                        "2026-10-10..2026-10-10 school-day 国庆节 上班",
                                        "2026-09-18..2026-09-18 holiday 校庆",
                                        "2027-09-18..2027-09-18 holiday 校庆"};
    EXPECT_EQ(got, want);

    // Imported into a calendar, the make-up Saturday rings and the holiday week does not.
    EXPECT_EQ(ResolveDay(read.entries, {2026, 10, 10}).kind, DayKind::MakeUp);
    EXPECT_EQ(ResolveDay(read.entries, {2026, 10, 5}).kind, DayKind::Holiday);
    EXPECT_EQ(ResolveDay(read.entries, {2026, 10, 8}).kind, DayKind::School);

    // A second import adds nothing: every entry is already there.
    EXPECT_TRUE(NotYetIn(read.entries, ReadIcsFile(kHolidays).entries).empty());
    std::vector<CalendarEntry> some(read.entries.begin(), read.entries.begin() + 3);
    EXPECT_EQ(NotYetIn(some, read.entries).size(), read.entries.size() - 3);
}

TEST(IcsImport, RefusesWhatIsNotICalendar) {
    for (const char* text : {"", "hello world", "first_date,last_date,kind,argument,note\n",
                             "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nEND:VCARD\r\n", "\x89PNG\r\n\x1a\n"}) {
        const IcsImport read = ParseIcs(text);
        EXPECT_EQ(read.error, "这不是 iCalendar 日历文件（.ics），无法导入。") << text;
        EXPECT_TRUE(read.entries.empty());
    }
    test::TempFolder dir;
    EXPECT_NE(ReadIcsFile(dir / "none.ics").error.find("文件不存在"), std::string::npos);
    ASSERT_EQ(::mkfifo((dir / "pipe.ics").c_str(), 0600), 0);
    EXPECT_NE(ReadIcsFile(dir / "pipe.ics").error.find("不是普通文件"), std::string::npos);
}

TEST(IcsImport, ADamagedCalendarGivesWhatItCanWithoutFailing) {
    const IcsImport read = ParseIcs(
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART;VALUE=DATE:2026XX01\r\nSUMMARY:坏\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261225\r\nSUMMARY:圣诞\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261230\r\nDTEND;VALUE=DATE:20261230\r\nEND:VEVENT\r\n");
    ASSERT_EQ(read.error, "");
    std::vector<std::string> got;
    for (const auto& e : read.entries) got.push_back(Text(e));
    EXPECT_EQ(got,
              (std::vector<std::string>{"2026-12-25..2026-12-25 holiday 圣诞", "2026-12-30..2026-12-30 holiday "}));
}

}  // namespace
}  // namespace lingchao
