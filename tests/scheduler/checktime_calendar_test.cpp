// The scheduler under the school calendar: the index comes from the day's plan, the shift moves its times, and
// every passed-over bell says why in the bell log.
#include <gtest/gtest.h>

#include "scheduler/bell_log.h"
#include "scheduler/checktime.h"
#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FixtureJob;

constexpr CalendarDate kMonday{2026, 12, 7};
constexpr CalendarDate kSaturday{2026, 12, 12};

class CalendarHost final : public SchedulerHost {
public:
    explicit CalendarHost(BellLog& log) : log_(log) {}
    void ShowClock(const std::string&, const std::string&) override {}
    void StartFireLockTimer() override {}
    void ConfirmShutdown() override {}
    void JobExamined(const JobExamination& e) override {
        examined.push_back(e);
        log_.Examined(e);
    }
    void BellsLeftChanged(const BellsLeft& left) override { lastLeft = left; }
    std::vector<JobExamination> examined;
    BellsLeft lastLeft;

private:
    BellLog& log_;
};

class CheckDueJobCalendarTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "job");
        Group(dir / "default.dll", {{1, "A", "08:00", "Everyday", "START", {"/m/a.wav", "/m/mon.wav"}, {1, 1}},
                                    {2, "B", "08:00", "Everyday", "START", {"/m/b.wav"}, {}},
                                    {3, "C", "09:00", "Everyday", "START", {"/m/c.wav"}, {}}});
        Group(dir / "job" / "考试.sav", {{1, "K", "08:30", "Everyday", "START", {"/m/k.wav"}, {}}});
        checktime.SetDayPlanner([this](const CalendarDate& d) { return ResolveDayPlan(dir.path(), calendar, d); });
    }
    static void Group(const std::filesystem::path& file, std::initializer_list<FixtureJob> jobs) {
        std::vector<std::uint8_t> bytes;
        for (const auto& j : jobs) {
            const auto r = test::FixtureRecord(j);
            bytes.insert(bytes.end(), r.begin(), r.end());
        }
        test::WriteAll(file, bytes);
    }
    void Calendar(const std::string& body) {
        calendar = ParseCalendar(std::string(kCalendarHeader) + "\n" + body);
        ASSERT_TRUE(calendar.problems.empty());
    }
    // Starts at `from` and ticks once a second up to and including `to`.
    void Run(CalendarDate date, TimeOfDay from, TimeOfDay to) {
        clock.Set(date, from);
        checktime.UpdateClock();
        checktime.BuildScheduleIndex();
        Continue(to);
    }
    void Continue(TimeOfDay to) {
        while (!(clock.Now().time == to)) {
            clock.AdvanceSeconds(1);
            checktime.Tick();
            checktime.FireLockElapsed();  // locks matter within a minute only
        }
    }
    // "name outcome path" of each examination.
    std::vector<std::string> Seen() const {
        std::vector<std::string> out;
        for (const auto& e : host.examined) out.push_back(e.name + " " + OutcomeText(e) + " " + e.path);
        return out;
    }
    std::string LogText() const {
        const auto bytes = test::ReadAll(log.Path());
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempFolder dir;
    CalendarRead calendar;
    test::FakeClock clock{kMonday, {7, 0, 0}};
    test::FakePlayer player;
    BellLog log{dir.path()};
    CalendarHost host{log};
    Checktime checktime{dir.path(), clock, player, host};
};

TEST_F(CheckDueJobCalendarTest, WithoutACalendarNothingChanges) {
    Run(kSaturday, {7, 59, 50}, {8, 0, 5});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"A fired /m/a.wav", "B locked /m/b.wav"}));
}

TEST_F(CheckDueJobCalendarTest, HolidaysAndRestDaysPassEveryBellOverWithTheirReason) {
    Calendar("2026-09-01,2027-01-31,rest-weekdays,6 7,\n2026-12-07,2026-12-07,holiday,,\n");
    Run(kMonday, {7, 59, 50}, {8, 0, 5});
    Run(kSaturday, {7, 59, 50}, {8, 0, 5});  // the jump to Saturday accounts for the rest of Monday too
    EXPECT_EQ(Seen(), (std::vector<std::string>{"A holiday /m/mon.wav", "B holiday /m/b.wav", "C holiday /m/c.wav",
                                                "A rest-day /m/a.wav", "B rest-day /m/b.wav"}));
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(host.lastLeft.count, 0) << "no bells left on a rest day: nothing keeps the PC awake";
}

TEST_F(CheckDueJobCalendarTest, AMakeUpSaturdayRingsWithMondaysSongs) {
    Calendar("2026-09-01,2027-01-31,rest-weekdays,6 7,\n2026-12-12,2026-12-12,school-day,1,调休\n");
    Run(kSaturday, {7, 59, 50}, {8, 0, 5});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"A fired /m/mon.wav", "B locked /m/b.wav"}));
    EXPECT_EQ(player.fileName, "/m/mon.wav");
}

TEST_F(CheckDueJobCalendarTest, AGroupDateRingsThatGroupsJobs) {
    Calendar("2026-12-07,2026-12-07,group,考试.sav,\n");
    Run(kMonday, {7, 59, 50}, {8, 30, 5});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"K fired /m/k.wav"}));
    EXPECT_EQ(checktime.dayPlan().source, dir / "job" / "考试.sav");
}

TEST_F(CheckDueJobCalendarTest, AShiftedBellRingsLaterAndItsLineSaysSo) {
    calendar.present = true;
    calendar.entries = ShiftToday({}, kMonday, {7, 58, 0}, 10);
    Run(kMonday, {7, 59, 0}, {8, 10, 5});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"A fired (shifted +10 min) /m/mon.wav",
                                                "B locked (shifted +10 min) /m/b.wav"}));
    ASSERT_FALSE(host.examined.empty());
    EXPECT_EQ(host.examined[0].at.time, (TimeOfDay{8, 10, 0}));
    EXPECT_EQ(host.examined[0].setTime, (TimeOfDay{8, 0, 0}));
    const std::string text = LogText();
    EXPECT_NE(text.find("2026-12-07,08:00,2026-12-07 08:10:00.000,0,1,A,/m/mon.wav,fired (shifted +10 min)"),
              std::string::npos)
        << text;
    EXPECT_EQ(host.lastLeft.count, 1);
    EXPECT_EQ(host.lastLeft.next, (TimeOfDay{9, 10, 0}));
}

TEST_F(CheckDueJobCalendarTest, SkipPassesOverExactlyOneBellAndSilencePassesOverTheRest) {
    calendar.present = true;
    calendar.entries = SkipBell({}, kMonday, {8, 0, 0}, 1);
    Run(kMonday, {7, 59, 50}, {8, 0, 5});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"A skipped /m/mon.wav", "B fired /m/b.wav"}));
    calendar.entries = SilenceToday(calendar.entries, kMonday);
    checktime.BuildScheduleIndex();  // as every change of the calendar does
    EXPECT_EQ(host.lastLeft.count, 0);
    Continue({9, 0, 5});
    EXPECT_EQ(Seen().back(), "C silenced-today /m/c.wav");
}

TEST_F(CheckDueJobCalendarTest, MidnightBringsTheNewDaysPlanAndEndsTodayOnlyChanges) {
    Group(dir / "default.dll", {{1, "M", "00:00", "Everyday", "START", {"/m/m.wav"}, {}},
                                {2, "A", "08:00", "Everyday", "START", {"/m/a.wav"}, {}}});
    calendar.present = true;
    calendar.entries = ParseCalendar(std::string(kCalendarHeader) + "\n2026-12-09,2026-12-09,holiday,,\n").entries;
    const auto silent = SilenceToday(calendar.entries, kMonday);
    calendar.entries = ShiftToday(silent, kMonday, {7, 0, 0}, 10);
    Run(kMonday, {23, 59, 50}, {0, 0, 5});  // into Tuesday: its midnight bell rings
    Continue({8, 0, 5});                    // at its own time, the shift was Monday's
    Continue({0, 0, 5});                    // into Wednesday, a holiday
    EXPECT_EQ(Seen(), (std::vector<std::string>{"M fired /m/m.wav", "A fired /m/a.wav", "M holiday /m/m.wav"}));
    EXPECT_EQ(host.examined[1].at.time, (TimeOfDay{8, 0, 0}));
}

}  // namespace
}  // namespace lingchao
