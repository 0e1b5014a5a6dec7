#include "scheduler/day_plan.h"

#include <gtest/gtest.h>

#include "support/fixture_bytes.h"
#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FixtureJob;

constexpr CalendarDate kMonday{2026, 12, 7};
constexpr CalendarDate kSaturday{2026, 12, 12};

class DayPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "job");
        // The timetable in use: a Monday song on 第一节; a job for another date; a paused one; two in one minute.
        Write(dir / "default.dll",
              {{1, "\xD4\xA4\xB1\xB8\xC1\xE5", "07:50", "Everyday", "START", {"/m/ready.wav"}, {}},  // 预备铃
               {2, "J2", "08:00", "Everyday", "START", {"/m/class.wav", "/m/monday.wav"}, {1, 1}},
               {3, "J3", "08:45", "Everyday", "START", {"/m/end.wav"}, {}},
               {4, "J4", "08:45", "Everyday", "START", {"/m/other.wav"}, {}},
               {5, "J5", "09:00", "Everyday", "PAUSE", {"/m/p.wav"}, {}},
               {6, "J6", "10:00", "2026-12-08", "START", {"/m/d.wav"}, {}}});
        Write(dir / "job" / "考试.sav", {{1, "K1", "09:00", "Everyday", "START", {"/m/exam.wav"}, {}}});
    }
    static void Write(const std::filesystem::path& file, std::initializer_list<FixtureJob> jobs) {
        std::vector<std::uint8_t> bytes;
        for (const auto& j : jobs) {
            const auto r = test::FixtureRecord(j);
            bytes.insert(bytes.end(), r.begin(), r.end());
        }
        test::WriteAll(file, bytes);
    }
    void Calendar(const std::string& body) {
        const std::string text = std::string(kCalendarHeader) + "\n" + body;
        test::WriteAll(dir / kCalendarFile, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::string Line(const CalendarDate& date, TimeOfDay now) {
        const DayBells day = BellsOfDate(dir.path(), date);
        return PlanLine(day.plan, day.bells, MakeLocalDateTime(kMonday, now));
    }

    test::TempFolder dir;
};

TEST_F(DayPlanTest, WithoutACalendarEveryDayRingsTheTimetable) {
    const DayBells day = BellsOfDate(dir.path(), kSaturday);
    EXPECT_FALSE(day.plan.calendarPresent);
    ASSERT_EQ(day.bells.size(), 3u);  // one bell per minute, no paused job, no job of another date
    EXPECT_EQ(day.bells[2].name, "J3");
    EXPECT_EQ(day.bells[1].path, "/m/class.wav") << "Saturday has no song of its own";
    EXPECT_EQ(TomorrowWarning(day.plan, day.bells), "");
    EXPECT_EQ(Line(kMonday, {8, 0, 30}), "今天（周一）：3 个铃声，下一个 08:45 J3");
    EXPECT_EQ(Line(kMonday, {7, 0, 0}), "今天（周一）：3 个铃声，下一个 07:50 预备铃");
    EXPECT_EQ(Line(kMonday, {9, 0, 0}), "今天（周一）：3 个铃声，今天的铃声已响完");
    EXPECT_EQ(Line({2026, 12, 8}, {9, 0, 0}), "明天（周二）：4 个铃声");
}

TEST_F(DayPlanTest, PlanLinesOfEachKindOfDay) {
    Calendar(
        "2026-09-01,2027-01-31,rest-weekdays,6 7,\n"
        "2026-12-09,2026-12-09,holiday,,校庆\n"
        "2026-12-10,2026-12-10,group,考试.sav,期中考试\n"
        "2026-12-13,2026-12-13,school-day,1,调休\n"
        "2026-12-11,2026-12-11,group,没有.sav,\n");
    EXPECT_EQ(Line(kSaturday, {9, 0, 0}), "2026-12-12（周六）：休息日，不响铃");
    EXPECT_EQ(Line({2026, 12, 9}, {9, 0, 0}), "2026-12-09（周三）：放假（校庆），不响铃");
    EXPECT_EQ(Line({2026, 12, 10}, {9, 0, 0}), "2026-12-10（周四）：任务组《考试》，1 个铃声");
    EXPECT_EQ(Line({2026, 12, 11}, {9, 0, 0}), "2026-12-11（周五）：任务组《没有》文件不存在，不响铃");

    const DayBells makeUp = BellsOfDate(dir.path(), {2026, 12, 13});
    EXPECT_EQ(PlanLine(makeUp.plan, makeUp.bells, MakeLocalDateTime({2026, 12, 12}, {9, 0, 0})),
              "明天（周日）：调休上课（用周一的铃声），3 个铃声");
    EXPECT_EQ(makeUp.bells[1].path, "/m/monday.wav") << "a make-up day rings Monday's songs";

    const DayBells group = BellsOfDate(dir.path(), {2026, 12, 10});
    ASSERT_EQ(group.bells.size(), 1u);
    EXPECT_EQ(group.plan.source, dir / "job" / "考试.sav");
    EXPECT_EQ(group.bells[0].path, "/m/exam.wav");
}

// A group file that is there but cannot be a timetable is named with its reason, not taken for an empty day.
TEST_F(DayPlanTest, AGroupThatIsAFolderOrAFifoIsNamedWithItsReason) {
    Calendar(
        "2026-12-10,2026-12-10,group,folder.sav,\n"
        "2026-12-11,2026-12-11,group,fifo.sav,\n");
    std::filesystem::create_directory(dir / "job" / "folder.sav");
    test::MakeFifo(dir / "job" / "fifo.sav");
    EXPECT_EQ(Line({2026, 12, 10}, {9, 0, 0}), "2026-12-10（周四）：任务组《folder》不是普通文件，不响铃");
    EXPECT_EQ(Line({2026, 12, 11}, {9, 0, 0}), "2026-12-11（周五）：任务组《fifo》不是普通文件，不响铃");
    const DayBells day = BellsOfDate(dir.path(), {2026, 12, 11});
    EXPECT_EQ(TomorrowWarning(day.plan, day.bells),
              "明天（周五）的任务组《fifo》无法使用：不是普通文件（job/fifo.sav）");
}

TEST_F(DayPlanTest, EveWarningsNameAMissingGroupAndASchoolDayWithoutBells) {
    Calendar(
        "2026-12-08,2026-12-08,group,没有.sav,\n"
        "2026-12-09,2026-12-09,group,考试.sav,\n"
        "2026-12-12,2026-12-12,holiday,,\n");
    const auto warning = [&](const CalendarDate& d) {
        const DayBells day = BellsOfDate(dir.path(), d);
        return TomorrowWarning(day.plan, day.bells);
    };
    EXPECT_EQ(warning({2026, 12, 8}), "明天（周二）的任务组《没有》无法使用：文件不存在（job/没有.sav）");
    EXPECT_EQ(warning({2026, 12, 9}), "");
    EXPECT_EQ(warning(kSaturday), "") << "a holiday needs no bells";
    Write(dir / "job" / "考试.sav", {{1, "K1", "09:00", "Everyday", "PAUSE", {"/m/exam.wav"}, {}}});
    EXPECT_EQ(warning({2026, 12, 9}), "明天（周三）是上课日，但没有一个铃声");
}

TEST_F(DayPlanTest, TodayOnlyChangesShowInThePlan) {
    auto entries = SkipBell({}, kMonday, {8, 45, 0}, 3);
    entries = ShiftToday(entries, kMonday, {7, 55, 0}, 10);
    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, entries, kMonday));
    const DayBells day = BellsOfDate(dir.path(), kMonday);
    ASSERT_EQ(day.bells.size(), 4u);  // the skipped 08:45 leaves the lock to the other job of its minute
    EXPECT_EQ(day.bells[0].ringTime, (TimeOfDay{7, 50, 0}));
    EXPECT_EQ(day.bells[1].ringTime, (TimeOfDay{8, 10, 0}));
    EXPECT_TRUE(day.bells[2].skipped);
    EXPECT_EQ(day.bells[3].name, "J4");
    EXPECT_EQ(PlanLine(day.plan, day.bells, MakeLocalDateTime(kMonday, {8, 5, 0})),
              "今天（周一）：3 个铃声，下一个 08:10 J2");
    EXPECT_EQ(TodayChangesLine(day.plan, day.bells), "今天已推迟 10 分钟\n已跳过 08:45 J3");

    ASSERT_TRUE(WriteCalendar(dir / kCalendarFile, SilenceToday(entries, kMonday), kMonday));
    const DayBells silent = BellsOfDate(dir.path(), kMonday);
    EXPECT_TRUE(silent.bells.empty());
    EXPECT_EQ(PlanLine(silent.plan, silent.bells, MakeLocalDateTime(kMonday, {8, 5, 0})), "今天（周一）：今天不响铃");
    // The next day is untouched.
    EXPECT_EQ(BellsOfDate(dir.path(), {2026, 12, 8}).bells.size(), 4u);
}

TEST(NextDateTest, CrossesMonthYearAndLeapDay) {
    EXPECT_EQ(NextDate({2026, 12, 31}), (CalendarDate{2027, 1, 1}));
    EXPECT_EQ(NextDate({2028, 2, 28}), (CalendarDate{2028, 2, 29}));
    EXPECT_EQ(NextDate({2027, 2, 28}), (CalendarDate{2027, 3, 1}));
    EXPECT_EQ(NextDate({2026, 4, 30}), (CalendarDate{2026, 5, 1}));
}

}  // namespace
}  // namespace lingchao
