#include "platform/ical_import.h"

#include <gtest/gtest.h>
#include <libical/ical.h>
#include <sys/stat.h>

#include "scheduler/clock.h"

#include "support/temp_folder.h"

#ifndef LINGCHAO_TEST_DATA
#error "LINGCHAO_TEST_DATA must name tests/platform/data"
#endif

namespace lingchao {
namespace {

const std::filesystem::path kHolidays = std::filesystem::path(LINGCHAO_TEST_DATA) / "holidays-2026.ics";
constexpr CalendarDate kToday{2026, 9, 1};

std::string Text(const CalendarEntry& e) {
    return DateText(e.first) + ".." + DateText(e.last) + " " + KindName(e.kind) + " " + e.note;
}

TEST(IcsImport, AYearOfPublicHolidaysWithMakeUpDays) {
    const IcsImport read = ReadIcsFile(kHolidays, kToday);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.timedEvents, 1);
    EXPECT_EQ(read.LeftOutText(), "");
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
    EXPECT_TRUE(NotYetIn(read.entries, ReadIcsFile(kHolidays, kToday).entries).empty());
    std::vector<CalendarEntry> some(read.entries.begin(), read.entries.begin() + 3);
    EXPECT_EQ(NotYetIn(some, read.entries).size(), read.entries.size() - 3);
}

TEST(IcsImport, RefusesWhatIsNotICalendar) {
    for (const char* text : {"", "hello world", "first_date,last_date,kind,argument,note\n",
                             "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张三\r\nEND:VCARD\r\n", "\x89PNG\r\n\x1a\n"}) {
        const IcsImport read = ParseIcs(text, kToday);
        EXPECT_EQ(read.error, "这不是 iCalendar 日历文件（.ics），无法导入。") << text;
        EXPECT_TRUE(read.entries.empty());
    }
    test::TempFolder dir;
    EXPECT_NE(ReadIcsFile(dir / "none.ics", kToday).error.find("文件不存在"), std::string::npos);
    ASSERT_EQ(::mkfifo((dir / "pipe.ics").c_str(), 0600), 0);
    EXPECT_NE(ReadIcsFile(dir / "pipe.ics", kToday).error.find("不是普通文件"), std::string::npos);
}

TEST(IcsImport, ADamagedCalendarGivesWhatItCanWithoutFailing) {
    const IcsImport read = ParseIcs(
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART;VALUE=DATE:2026XX01\r\nSUMMARY:坏\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261225\r\nSUMMARY:圣诞\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261230\r\nDTEND;VALUE=DATE:20261230\r\nEND:VEVENT\r\n",
        kToday);
    ASSERT_EQ(read.error, "");
    std::vector<std::string> got;
    for (const auto& e : read.entries) got.push_back(Text(e));
    EXPECT_EQ(got,
              (std::vector<std::string>{"2026-12-25..2026-12-25 holiday 圣诞", "2026-12-30..2026-12-30 holiday "}));
}

std::vector<std::string> Texts(const IcsImport& read) {
    std::vector<std::string> out;
    for (const auto& e : read.entries) out.push_back(Text(e));
    return out;
}

TEST(IcsImport, DatesTheCalendarCannotHoldAreRefusedByNameAndLongEventsCutAloud) {
    const IcsImport read = ParseIcs(
        "BEGIN:VCALENDAR\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:00000101\r\nSUMMARY:零年\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261301\r\nSUMMARY:十三月\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20260101\r\nDTEND;VALUE=DATE:20261301\r\nSUMMARY:坏的结束\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261010\r\nSUMMARY:\xB2\xB9\xB0\xE0\r\nEND:VEVENT\r\n"  // 补班, GBK
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20270101\r\nDURATION:P100000D\r\nSUMMARY:长假\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:99991231\r\nDURATION:P2D\r\nSUMMARY:末日\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n",
        kToday);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(Texts(read), (std::vector<std::string>{"2027-01-01..2028-01-01 holiday 长假"}));
    EXPECT_EQ(read.LeftOutText(),
              "5 个日程的日期或标题无法用于校历，未导入：《零年》（0000-01-01）、《十三月》（2026-13-01）、"
              "《坏的结束》（2026-13-01）、《标题不是 UTF-8 文字》（2026-10-10）、《末日》（10000-01-02）；1 个日程"
              "长于 366 天，只导入了前 366 天：《长假》。");
    // Everything imported is what the calendar's reader takes.
    const CalendarRead back = ParseCalendar(EncodeCalendar(read.entries));
    EXPECT_TRUE(back.problems.empty()) << CalendarProblemsText(back.problems);
    EXPECT_EQ(back.entries.size(), read.entries.size());
}

TEST(IcsImport, RdateDatesCountAsTheEventsOwn) {
    const IcsImport read = ParseIcs(
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261001\r\nDTEND;VALUE=DATE:20261003\r\n"
        "RDATE;VALUE=DATE:20261001,20270501\r\nRDATE;VALUE=DATE:20261301\r\n"
        "RDATE;VALUE=PERIOD:20280101T000000Z/P1D\r\nSUMMARY:假期\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261010\r\nRDATE;VALUE=DATE:20270206\r\nSUMMARY:调休上班\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n",
        kToday);
    EXPECT_EQ(Texts(read), (std::vector<std::string>{
                               "2026-10-01..2026-10-02 holiday 假期", "2027-05-01..2027-05-02 holiday 假期",
                               "2028-01-01..2028-01-02 holiday 假期", "2026-10-10..2026-10-10 school-day 调休上班",
                               "2027-02-06..2027-02-06 school-day 调休上班"}));
    EXPECT_EQ(read.LeftOutText(), "1 个日程的日期或标题无法用于校历，未导入：《假期》（2026-13-01）。");
}

std::string Event(const std::string& start, const std::string& rule, const std::string& summary = "假") {
    return "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:" + start + "\r\nRRULE:" + rule + "\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\n";
}

std::string Calendar(const std::string& events) { return "BEGIN:VCALENDAR\r\n" + events + "END:VCALENDAR\r\n"; }

// The event's own date and its dates from today to the end of the span, as libical's iterator gives them.
std::vector<std::string> LibicalDates(const std::string& start, const std::string& rule, const CalendarDate& today) {
    const icaltimetype first = icaltime_from_string(start.c_str());
    std::vector<std::string> dates{DateText({first.year, first.month, first.day})};
    const std::int64_t from = DaysFromCivil(today);
    icalrecur_iterator* it = icalrecur_iterator_new(icalrecurrencetype_from_string(rule.c_str()), first);
    for (int n = 0; it != nullptr && n < 5000; ++n) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t)) break;
        const CalendarDate d{t.year, t.month, t.day};
        if (DaysFromCivil(d) > from + kIcsRepeatDays) break;
        if (DaysFromCivil(d) >= from && DateText(d) != dates.front()) dates.push_back(DateText(d));
    }
    if (it != nullptr) icalrecur_iterator_free(it);
    return dates;
}

TEST(IcsImport, RepeatsGiveTheDatesLibicalGivesWithinTheSpan) {
    const char* rules[] = {"FREQ=DAILY;COUNT=10",
                           "FREQ=DAILY;BYDAY=MO,WE,FR",
                           "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29",
                           "FREQ=DAILY;UNTIL=20270301",
                           "FREQ=WEEKLY",
                           "FREQ=WEEKLY;INTERVAL=2;BYDAY=SA,SU",
                           "FREQ=WEEKLY;INTERVAL=3;WKST=SU;BYDAY=MO,SU",
                           "FREQ=MONTHLY",
                           "FREQ=MONTHLY;BYMONTHDAY=31",
                           "FREQ=MONTHLY;BYMONTHDAY=-1,15",
                           "FREQ=MONTHLY;BYDAY=2MO",
                           "FREQ=MONTHLY;BYDAY=-1FR",
                           "FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR",
                           "FREQ=YEARLY",
                           "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU",
                           "FREQ=YEARLY;BYYEARDAY=1,-1",
                           "FREQ=YEARLY;BYDAY=20MO",
                           "FREQ=YEARLY;INTERVAL=2;BYMONTH=1,7"};
    // A start long before today (its count may run out), one just before and one after.
    for (const char* start : {"20190101", "20260831", "20261106"}) {
        for (const char* rule : rules) {
            const IcsImport read = ParseIcs(Calendar(Event(start, rule)), kToday);
            std::vector<std::string> got;
            for (const auto& e : read.entries) got.push_back(DateText(e.first));
            EXPECT_EQ(got, LibicalDates(start, rule, kToday)) << start << " " << rule;
        }
    }
}

TEST(IcsImport, ABigFileOfDailyEventsEndsWithinTheCapsAndSaysWhatWasLeftOut) {
    // Rules that never match or repeat by the second come first: each gives its own date and nothing more.
    std::string events;
    for (int i = 0; i < 1000; ++i) events += Event("20200101", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30", "坏");
    for (int i = 0; i < 200; ++i) events += Event("20200101", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30", "秒");
    int daily = 0;
    while (events.size() < 2 * 1024 * 1024) {
        events += Event("20200" + std::to_string(daily % 9 + 1) + "15", "FREQ=DAILY", "每天 " + std::to_string(daily));
        ++daily;
    }
    const std::string text = Calendar(events);
    ASSERT_LT(text.size(), kIcsMaxBytes);
    const IcsImport read = ParseIcs(text, kToday);
    ASSERT_EQ(read.error, "");
    ASSERT_EQ(read.entries.size(), kIcsMaxEntries);
    // 1200 start dates, then four daily events of 402 dates each (its own and 401 days from today) and the start
    // and 191 dates of a fifth.
    EXPECT_EQ(read.repeatsCut, 1200u + 5u);
    EXPECT_EQ(read.eventsLeftOut, static_cast<std::size_t>(daily - 5));
    EXPECT_EQ(read.LeftOutText(), "条目太多，只导入了前 3000 个，另有 " + std::to_string(daily - 5) +
                                      " 个全天日程未导入；1205 个重复的日程只导入了首个日期和 2026-09-01 至 "
                                      "2027-10-06 之间的日期。");
}

}  // namespace
}  // namespace lingchao
