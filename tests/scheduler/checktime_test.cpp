#include "scheduler/checktime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>

#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using test::FixtureJob;
using Names = std::vector<std::string>;

constexpr CalendarDate kMonday{2026, 12, 7};
constexpr CalendarDate kWednesday{2026, 12, 9};

FixtureJob Job(std::int16_t no, const std::string& name, const std::string& time, const std::string& state = "START",
               const std::string& date = "Everyday") {
    return {no, name, time, date, state, {"/m/" + name + ".mp3"}, {}};
}

class CheckDueJobTest : public ::testing::Test {
protected:
    void Group(std::initializer_list<FixtureJob> jobs) {
        test::WriteAll(dir / "default.dll", test::FixtureGroup(jobs));
    }

    // Builds the index at the given time, as the clock window's load does.
    void BuildAt(TimeOfDay t, CalendarDate d = kMonday) {
        clock.Set(d, t);
        checktime.UpdateClock();
        checktime.BuildScheduleIndex();
    }

    // One tick per second from now for `seconds` ticks (the first tick one second after now).
    // Timer2 is emulated: it ends the lock 60 ticks after a firing.
    void RunSeconds(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.AdvanceSeconds(1);
            if (lockCountdown > 0 && --lockCountdown == 0) checktime.FireLockElapsed();
            const int starts = host.lockTimerStarts;
            checktime.Tick();
            if (host.lockTimerStarts != starts) lockCountdown = 60;
        }
    }
    int lockCountdown = 0;

    void TickAt(TimeOfDay t) {
        clock.SetTime(t);
        checktime.Tick();
    }

    Names Played() const {
        Names out;
        for (const auto& c : player.calls) {
            if (c.starts_with("FileName=")) out.push_back(c.substr(c.find("/m/") + 3));
        }
        return out;
    }

    std::vector<JobOutcome> Outcomes() const {
        std::vector<JobOutcome> out;
        for (const auto& e : host.examined) out.push_back(e.outcome);
        return out;
    }

    // "08:00 eight fired" per log line; the reason of a missed job follows.
    Names Lines() const {
        Names out;
        for (const auto& e : host.examined)
            out.push_back(HourMinuteText(e.setTime) + " " + e.name + " " + OutcomeName(e.outcome) +
                          (e.reason.empty() ? "" : ": " + e.reason));
        return out;
    }

    test::TempFolder dir;
    test::FakeClock clock{kMonday, {7, 0, 0}};
    test::FakePlayer player;
    test::FakeSchedulerHost host;
    Checktime checktime{dir.path(), clock, player, host};
};

TEST_F(CheckDueJobTest, MissingOrEmptyGroupSchedulesNothing) {
    BuildAt({7, 59, 0});
    EXPECT_EQ(checktime.dueCursor(), 0);
    RunSeconds(120);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_TRUE(host.examined.empty());
}

TEST_F(CheckDueJobTest, IndexIsSortedStablyAndTheCursorGoesAfterTheCurrentMinute) {
    Group(
        {Job(1, "C", "09:00"), Job(2, "A", "08:00"), Job(3, "B", "09:00"), Job(4, "D", "07:30"), Job(5, "E", "08:00")});
    BuildAt({8, 0, 30});
    EXPECT_EQ(checktime.dueCount(), 5);
    EXPECT_EQ(checktime.dueJobNos(), (std::vector<std::int16_t>{0, 4, 2, 5, 1, 3}));
    EXPECT_EQ(checktime.dueTimes()[1], 7 * 3600 + 30 * 60);
    EXPECT_EQ(checktime.dueCursor(), 4);  // 08:00 has begun: it does not ring today
    RunSeconds(29);
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(CheckDueJobTest, FiresWithinTheFirstTickOfItsMinuteAndNotBefore) {
    Group({Job(1, "bell", "08:00")});
    BuildAt({7, 59, 58});
    TickAt({7, 59, 59});
    EXPECT_TRUE(player.calls.empty());
    TickAt({8, 0, 0});
    EXPECT_EQ(Played(), (Names{"bell.mp3"}));
    EXPECT_TRUE(checktime.fireLock());
    EXPECT_EQ(host.lockTimerStarts, 1);
}

TEST_F(CheckDueJobTest, EveryJobOfAMinuteHasOneLineAndTheFirstThatMayRingRingsAtItsFirstTick) {
    Group({Job(1, "paused", "08:00", "PAUSE"), Job(2, "first", "08:00"), Job(3, "second", "08:00"),
           Job(4, "only", "08:01")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"first.mp3"}));
    EXPECT_EQ(Lines(), (Names{"08:00 paused paused", "08:00 first fired", "08:00 second locked"}));
    EXPECT_EQ(host.examined.at(1).at.time, (TimeOfDay{8, 0, 0}));
    RunSeconds(59);  // the rest of 08:00: nothing more, on the log or elsewhere
    EXPECT_EQ(host.examined.size(), 3u);
    RunSeconds(120);  // a one-job minute: one line, not one per tick
    EXPECT_EQ(Lines().back(), "08:01 only fired");
    EXPECT_EQ(host.examined.size(), 4u);
}

TEST_F(CheckDueJobTest, StateMustBeExactlyStart) {
    Group({Job(1, "lower", "08:00", "start")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(CheckDueJobTest, SingleJobRingsOnceADay) {
    Group({Job(1, "only", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"only.mp3"}));
    EXPECT_EQ(host.examined.size(), 1u);
    EXPECT_EQ(checktime.dueCursor(), 1);
    checktime.FireLockElapsed();
    RunSeconds(24 * 3600);  // the next day it rings again
    EXPECT_EQ(Played(), (Names{"only.mp3", "only.mp3"}));
}

TEST_F(CheckDueJobTest, CursorWrapsToTheFirstJobOfTheNextDay) {
    Group({Job(1, "morning", "07:55"), Job(2, "evening", "17:00")});
    BuildAt({23, 0, 0});
    EXPECT_EQ(checktime.dueCursor(), 1);
    RunSeconds(9 * 3600);
    EXPECT_EQ(Played(), (Names{"morning.mp3"}));
    EXPECT_EQ(host.examined.at(0).at.date, (CalendarDate{2026, 12, 8}));
}

TEST_F(CheckDueJobTest, DatedJobRingsOnlyOnItsDay) {
    Group({Job(1, "exam", "08:00", "START", "2026-12-09")});
    BuildAt({7, 59, 59}, kMonday);
    RunSeconds(2 * 24 * 3600 + 1);  // Monday, Tuesday: passed over; Wednesday 08:00 rings
    EXPECT_EQ(Played(), (Names{"exam.mp3"}));
    EXPECT_EQ(host.examined.at(0).outcome, JobOutcome::OtherDate);
    EXPECT_EQ(host.examined.back().at.date, kWednesday);
}

TEST_F(CheckDueJobTest, DailySongModePicksTheWeekdaysSong) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup(
                       {{1, "x", "08:00", "Everyday", "START", {"/m/main.mp3", "", "", "/m/wed.mp3"}, {1, 0, 0, 1}},
                        {2, "y", "09:00", "Everyday", "START", {"/m/main.mp3", "", "", "/m/wed.mp3"}, {1, 0, 0, -1}}}));
    BuildAt({7, 59, 59}, kWednesday);
    RunSeconds(2 * 3600);
    EXPECT_EQ(Played(), (Names{"wed.mp3", "main.mp3"}));
    BuildAt({7, 59, 59}, {2026, 12, 10});  // Thursday
    player.calls.clear();
    RunSeconds(2);
    EXPECT_EQ(Played(), (Names{"main.mp3"}));
}

TEST_F(CheckDueJobTest, BellOfTheNextMinuteRingsAlthoughTheLockTimerHasNotEnded) {
    Group({Job(1, "long", "08:00"), Job(2, "next", "08:01")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    lockCountdown = 0;  // Timer2 elapses just after the next minute's first tick
    RunSeconds(60);
    EXPECT_TRUE(checktime.fireLock());
    EXPECT_EQ(Played(), (Names{"long.mp3", "next.mp3"}));  // replaces the music still playing
    EXPECT_EQ(player.fileName, "/m/next.mp3");
}

TEST_F(CheckDueJobTest, AStandbyRingsOnlyWhileItsPcIsDownAndNeverAMinuteThatPcRang) {
    Group({Job(1, "a", "08:00"), Job(2, "b", "08:01"), Job(3, "c", "08:02"), Job(4, "d", "08:03")});
    checktime.SetStandby("教学楼A", false);
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_FALSE(checktime.BellAt(MakeLocalDateTime(kMonday, {8, 1, 0})).has_value())
        << "nothing is prepared for a bell rung elsewhere";
    // Down after it rang 08:01: the standby takes over from the next minute, and not for 08:01 itself.
    checktime.PeerRang(MakeLocalDateTime(kMonday, {8, 1, 0}).MinuteIndex());
    checktime.SetStandby("教学楼A", true);
    RunSeconds(60);
    RunSeconds(60);
    checktime.SetStandby("教学楼A", false);  // back
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"c.mp3"}));
    EXPECT_EQ(Lines(), (Names{"08:00 a standby: 教学楼A rings it", "08:01 b standby: 教学楼A rang it", "08:02 c fired",
                              "08:03 d standby: 教学楼A rings it"}));
    EXPECT_EQ(OutcomeText(host.examined.at(2)), "fired (standby for 教学楼A)");
}

TEST_F(CheckDueJobTest, StoppingThePlayerDoesNotUnlockTheMinute) {
    Group({Job(1, "a", "08:00"), Job(2, "b", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    player.Stop();
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"a.mp3"}));
}

TEST_F(CheckDueJobTest, TimetableDeletedWhileRunningIsAProblemAndNoPhantomJobIsLogged) {
    Group({Job(1, "a", "08:00"), Job(2, "b", "08:01")});
    BuildAt({7, 59, 0});
    std::filesystem::remove(dir / "default.dll");
    RunSeconds(180);
    clock.Set({2026, 12, 8}, {0, 0, 0});  // and the next day's plan is read without it too
    RunSeconds(2 * 60);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_TRUE(host.examined.empty());
    EXPECT_EQ(checktime.dueCount(), 0);
    EXPECT_NE(checktime.timetableProblem().find("不存在"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "default.dll"));  // reading never makes an empty one

    Group({Job(1, "back", "00:03")});  // put back: read at the next tick, rings at its minute
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"back.mp3"}));
    EXPECT_EQ(checktime.timetableProblem(), "");
    EXPECT_GE(host.rereads, 2);
}

// A timetable replaced from outside (another copy, an import, a sync) rings from the new file at once: the
// minutes of the old one never ring the new one's records.
TEST_F(CheckDueJobTest, TimetableReplacedFromOutsideRingsTheNewFilesJobsAtTheirOwnMinutes) {
    Group({Job(1, "old-0755", "07:55"), Job(2, "old-1000", "10:00")});
    BuildAt({7, 54, 50});
    Group({Job(1, "new-0756", "07:56"), Job(2, "new-0755", "07:55")});
    RunSeconds(2 * 60);
    EXPECT_EQ(Played(), (Names{"new-0755.mp3", "new-0756.mp3"}));
    EXPECT_EQ(Lines(), (Names{"07:55 new-0755 fired", "07:56 new-0756 fired"}));
    ASSERT_EQ(host.examined.size(), 2u);
    EXPECT_EQ(host.examined[0].jobNo, 2);

    // Rewritten in place, its modification time put back: still read again, never rung under the old minute.
    Group({Job(1, "moved-0758", "07:58"), Job(2, "other-0759", "07:59")});
    checktime.RereadIfChanged();
    const auto stamp = std::filesystem::last_write_time(dir / "default.dll");
    Group({Job(1, "was-0758", "09:00"), Job(2, "now-0758", "07:58")});
    std::filesystem::last_write_time(dir / "default.dll", stamp);
    RunSeconds(2 * 60);
    EXPECT_EQ(Played(), (Names{"new-0755.mp3", "new-0756.mp3", "now-0758.mp3"}));
}

TEST_F(CheckDueJobTest, DamagedTimeOrDateNeverRings) {
    Group({Job(1, "badtime", "ab:cd"), Job(2, "baddate", "00:00", "START", "someday")});
    BuildAt({23, 59, 58});
    RunSeconds(3);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(Outcomes(), (std::vector<JobOutcome>{JobOutcome::UnreadableTime, JobOutcome::UnreadableDate}));
}

TEST_F(CheckDueJobTest, SuspendWithinTheMinuteBeforeStillRingsTheLaterBells) {
    Group({Job(1, "eight", "08:00"), Job(2, "eight-one", "08:01")});
    BuildAt({7, 59, 58});
    TickAt({8, 0, 30});  // resumed half way through 08:00: that minute has its first tick now
    EXPECT_EQ(Played(), (Names{"eight.mp3"}));
    checktime.FireLockElapsed();
    clock.SetTime({8, 0, 30});
    RunSeconds(31);
    EXPECT_EQ(Played(), (Names{"eight.mp3", "eight-one.mp3"}));
}

TEST_F(CheckDueJobTest, MinutePassedWithoutATickIsLoggedMissedAndTheMinuteReachedStillRings) {
    Group({Job(1, "eight", "08:00"), Job(2, "eight-pause", "08:00", "PAUSE"),
           Job(3, "eight-exam", "08:00", "START", "2026-12-09"), Job(4, "eight-one", "08:01"),
           Job(5, "eight-five", "08:05")});
    BuildAt({7, 59, 58});
    TickAt({8, 1, 30});  // asleep through 08:00, awake half way through 08:01
    EXPECT_EQ(Played(), (Names{"eight-one.mp3"}));
    EXPECT_EQ(Lines(), (Names{"08:00 eight missed: clock jumped from 07:59:58 to 08:01:30", "08:00 eight-pause paused",
                              "08:00 eight-exam other-date", "08:01 eight-one fired"}));
    ASSERT_EQ(host.jumps.size(), 1u);
    EXPECT_EQ(checktime.dueCursor(), 5);
    checktime.FireLockElapsed();
    clock.SetTime({8, 4, 58});
    RunSeconds(3);
    EXPECT_EQ(Played(), (Names{"eight-one.mp3", "eight-five.mp3"}));
    EXPECT_EQ(host.examined.size(), 5u);
}

TEST_F(CheckDueJobTest, JumpLandingOnTheFirstSecondOfAJobsMinuteRingsIt) {
    Group({Job(1, "nine", "09:00"), Job(2, "nine-five", "09:05"), Job(3, "nine-six", "09:06")});
    BuildAt({8, 30, 9});
    TickAt({8, 30, 10});
    TickAt({9, 5, 0});
    EXPECT_EQ(Played(), (Names{"nine-five.mp3"}));
    EXPECT_EQ(Lines(), (Names{"09:00 nine missed: clock jumped from 08:30:10 to 09:05:00", "09:05 nine-five fired"}));
    EXPECT_EQ(host.examined.back().at.time, (TimeOfDay{9, 5, 0}));
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"nine-five.mp3", "nine-six.mp3"}));
}

TEST_F(CheckDueJobTest, SuspendOverNightLogsTheRestOfYesterdayAndTheStartOfToday) {
    Group({Job(1, "morning", "07:30"), Job(2, "eight", "08:00"), Job(3, "evening", "17:30")});
    BuildAt({17, 0, 0});
    clock.Set({2026, 12, 8}, {7, 45, 0});
    checktime.Tick();
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(Lines(), (Names{"17:30 evening missed: clock jumped from 17:00:00 to 07:45:00",
                              "07:30 morning missed: clock jumped from 17:00:00 to 07:45:00"}));
    EXPECT_EQ(host.examined.at(0).date, kMonday);
    EXPECT_EQ(host.examined.at(1).date, (CalendarDate{2026, 12, 8}));
    RunSeconds(15 * 60);
    EXPECT_EQ(Played(), (Names{"eight.mp3"}));
}

// Each day's missed bells come from that day's own timetable, though the new day rings another group.
TEST_F(CheckDueJobTest, SuspendOverNightClosesTheOldDayFromItsOwnPlan) {
    Group({Job(1, "mon-evening", "17:30")});
    std::filesystem::create_directories(dir / "job");
    test::WriteAll(dir / "job" / "tue.sav", test::FixtureGroup({Job(1, "tue-morning", "07:00")}));
    checktime.SetDayPlanner([this](const CalendarDate& d) {
        PlanOfDay plan = ResolveDayPlan(dir.path(), CalendarRead{}, d);
        if (d == CalendarDate{2026, 12, 8}) plan.source = dir / "job" / "tue.sav";
        return plan;
    });
    BuildAt({17, 0, 0});
    clock.Set({2026, 12, 8}, {7, 45, 0});
    checktime.Tick();
    EXPECT_EQ(Lines(), (Names{"17:30 mon-evening missed: clock jumped from 17:00:00 to 07:45:00",
                              "07:00 tue-morning missed: clock jumped from 17:00:00 to 07:45:00"}));
}

TEST_F(CheckDueJobTest, ClockSetBackFindsTheJobsAheadAgain) {
    Group({Job(1, "nine-thirty", "09:30"), Job(2, "ten-thirty", "10:30")});
    BuildAt({10, 0, 0});
    EXPECT_EQ(checktime.dueCursor(), 2);
    TickAt({9, 0, 0});
    EXPECT_EQ(checktime.dueCursor(), 1);
    clock.SetTime({9, 29, 59});
    RunSeconds(1);  // it has not rung today: the program started after its minute
    EXPECT_EQ(Played(), (Names{"nine-thirty.mp3"}));
}

struct SetBack {
    const char* name;
    int seconds;
    bool rebuild;  // the timetable is saved after the clock went back
};

void PrintTo(const SetBack& step, std::ostream* os) { *os << step.name; }

class ClockSetBackTest : public CheckDueJobTest, public ::testing::WithParamInterface<SetBack> {};

TEST_P(ClockSetBackTest, NeverRingsAJobTwiceADayAndTheDayGoesOn) {
    // 06:00 rang well before; 08:00 rings, then two seconds later the clock goes back.
    Group({Job(1, "six", "06:00"), Job(2, "eight", "08:00"), Job(3, "nine", "09:00"),
           Job(4, "paused", "08:00", "PAUSE")});
    BuildAt({5, 59, 59});
    RunSeconds(2 * 3600 + 3);
    ASSERT_EQ(Played(), (Names{"six.mp3", "eight.mp3"}));
    const std::size_t lines = host.examined.size();
    clock.AdvanceSeconds(-GetParam().seconds);
    if (GetParam().rebuild) checktime.BuildScheduleIndex();
    RunSeconds(GetParam().seconds + 3600);  // back to where it was, then past 09:00
    EXPECT_EQ(Played(), (Names{"six.mp3", "eight.mp3", "nine.mp3"}));
    EXPECT_EQ(host.examined.size(), lines + 1);  // only 09:00's line: 06:00 and 08:00 are not logged again
    ASSERT_FALSE(host.jumps.empty());
    EXPECT_LT(host.jumps.front().second.MillisecondIndex(), host.jumps.front().first.MillisecondIndex());
    clock.Set({2026, 12, 8}, {5, 59, 59});  // the next day rings them all again
    checktime.FireLockElapsed();
    RunSeconds(3 * 3600 + 2);
    EXPECT_EQ(Played(), (Names{"six.mp3", "eight.mp3", "nine.mp3", "six.mp3", "eight.mp3", "nine.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(Steps, ClockSetBackTest,
                         ::testing::Values(SetBack{"back4s", 4, false}, SetBack{"back90s", 90, false},
                                           SetBack{"back2h", 2 * 3600, false}, SetBack{"back90sThenSaved", 90, true},
                                           SetBack{"back2hThenSaved", 2 * 3600, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CheckDueJobTest, ClockSetBackAcrossMidnightDoesNotRingYesterdaysLastBellAgain) {
    Group({Job(1, "late", "23:59"), Job(2, "midnight", "00:00")});
    BuildAt({23, 58, 59});
    RunSeconds(90);  // Tuesday 00:00:29
    EXPECT_EQ(Played(), (Names{"late.mp3", "midnight.mp3"}));
    clock.AdvanceSeconds(-90);
    RunSeconds(180);
    EXPECT_EQ(Played(), (Names{"late.mp3", "midnight.mp3"}));
    EXPECT_EQ(host.examined.size(), 2u);
}

TEST_F(CheckDueJobTest, JumpThatMissesNoScheduledMinuteLogsNothing) {
    Group({Job(1, "nine", "09:00"), Job(2, "noon", "12:00")});
    BuildAt({9, 30, 0});
    TickAt({11, 59, 59});  // a long jump, but 12:00 lies ahead
    EXPECT_TRUE(host.examined.empty());
    EXPECT_EQ(host.jumps.size(), 1u);
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"noon.mp3"}));
}

TEST_F(CheckDueJobTest, ClockSetWronglyForwardThenCorrectedRingsWhatItMissed) {
    Group({Job(1, "half-eight", "08:30"), Job(2, "nine", "09:00"), Job(3, "paused", "08:30", "PAUSE")});
    BuildAt({8, 0, 0});
    TickAt({10, 0, 0});  // set two hours ahead by mistake
    TickAt({8, 0, 5});   // and put right
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{2, {8, 30, 0}}));
    clock.SetTime({8, 29, 59});
    RunSeconds(3600);
    EXPECT_EQ(Played(), (Names{"half-eight.mp3", "nine.mp3"}));
    EXPECT_EQ(Lines(), (Names{"08:30 half-eight missed: clock jumped from 08:00:00 to 10:00:00", "08:30 paused paused",
                              "09:00 nine missed: clock jumped from 08:00:00 to 10:00:00", "08:30 half-eight fired",
                              "08:30 paused paused", "09:00 nine fired"}));
    TickAt({10, 0, 0});  // forward again over minutes already rung: nothing new
    EXPECT_EQ(host.examined.size(), 6u);
}

TEST_F(CheckDueJobTest, CrowdedMinuteLogsAllItsJobsAndRingsAtItsFirstTick) {
    std::vector<std::uint8_t> bytes;
    for (int k = 1; k <= 62; ++k) {
        const auto r = test::FixtureRecord(
            Job(static_cast<std::int16_t>(k), "m" + std::to_string(k), "08:00", k == 61 ? "START" : "PAUSE"));
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    const auto last = test::FixtureRecord(Job(63, "next", "08:01"));
    bytes.insert(bytes.end(), last.begin(), last.end());
    test::WriteAll(dir / "default.dll", bytes);
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"m61.mp3"}));
    ASSERT_EQ(host.examined.size(), 62u);
    EXPECT_EQ(host.examined.back().jobNo, 62);
    EXPECT_EQ(host.examined.back().outcome, JobOutcome::Paused);
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"m61.mp3", "next.mp3"}));
    EXPECT_EQ(host.examined.size(), 63u);
}

TEST_F(CheckDueJobTest, ClockTextAndWeekdayCodes) {
    TickAt({9, 7, 0});
    EXPECT_EQ(host.clockText, "9:07");
    EXPECT_EQ(host.weekday, "MON");
    TickAt({0, 0, 0});
    EXPECT_EQ(host.clockText, "0:00");
    TickAt({14, 30, 5});
    EXPECT_EQ(host.clockText, "14:30");
    const char* codes[] = {"MON", "TUS", "WES", "TRU", "FRI", "SAT", "SUN"};
    for (int d = 0; d < 7; ++d) {
        clock.Set({2026, 12, 7 + d}, {12, 0, 0});
        checktime.UpdateClock();
        EXPECT_EQ(host.weekday, codes[d]);
    }
}

TEST_F(CheckDueJobTest, ShutdownConfirmationIsAskedOnEveryTickOfItsMinute) {
    ShutdownSettings s;
    s.check[0] = 1;
    s.time = {"17:30", "", "", "", "", "", "", "", ""};
    checktime.SetShutdownSettings(s);
    BuildAt({17, 29, 58});
    RunSeconds(1);
    EXPECT_EQ(host.shutdownConfirmations, 0);
    RunSeconds(60);
    EXPECT_EQ(host.shutdownConfirmations, 60);
    RunSeconds(5);
    EXPECT_EQ(host.shutdownConfirmations, 60);
}

TEST_F(CheckDueJobTest, BellOfTheShutdownMinuteRingsBeforeTheCountdownOpens) {
    ShutdownSettings s;
    s.check[0] = 1;
    s.time = {"16:30", "", "", "", "", "", "", "", ""};
    checktime.SetShutdownSettings(s);
    Group({Job(1, "last", "16:30")});
    BuildAt({16, 29, 59});
    RunSeconds(1);
    EXPECT_EQ(host.order, (Names{"fire-lock", "confirm-shutdown"}));
    EXPECT_EQ(host.examined.at(0).at.time, (TimeOfDay{16, 30, 0}));
}

// A drill holds the bells due meanwhile for good, and the shutdown due meanwhile until it ends.
TEST_F(CheckDueJobTest, ASignalHoldsTheBellsDueMeanwhileAndTheShutdownUntilItEnds) {
    ShutdownSettings s;
    s.check[0] = 1;
    s.time = {"08:01", "", "", "", "", "", "", "", ""};
    checktime.SetShutdownSettings(s);
    Group({Job(1, "eight", "08:00"), Job(2, "after", "08:03")});
    BuildAt({7, 59, 58});
    checktime.Hold("演练 地震演练");
    EXPECT_FALSE(checktime.BellAt({kMonday, {8, 0, 0}, 0, 1}).has_value()) << "nothing is prepared meanwhile";
    RunSeconds(150);  // to 08:02:28, through the bell's and the shutdown's minutes
    EXPECT_EQ(Lines(), (Names{"08:00 eight held: 演练 地震演练"}));
    EXPECT_EQ(host.shutdownConfirmations, 0);
    checktime.Hold("");
    EXPECT_EQ(host.shutdownConfirmations, 1) << "the shutdown that waited is asked for once";
    RunSeconds(40);
    EXPECT_EQ(Played(), (Names{"after.mp3"})) << "the held bell never rings; the next one does";
    EXPECT_EQ(host.shutdownConfirmations, 1);
}

TEST_F(CheckDueJobTest, BellsLeftTodayCountsTheStartedJobsStillToCome) {
    Group({Job(1, "eight", "08:00"), Job(2, "nine", "09:00", "PAUSE"), Job(3, "exam", "10:00", "START", "2026-12-07"),
           Job(4, "other", "11:00", "START", "2026-12-09"), Job(5, "damaged", "ab:cd"),
           Job(6, "eight-too", "08:00")});  // one bell a minute
    BuildAt({7, 0, 0});
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{2, {8, 0, 0}}));
    EXPECT_EQ(BellsLeftText(host.bellsLeft.back()), "2 bells left today, next 08:00");
    RunSeconds(3600);
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{1, {10, 0, 0}}));
    EXPECT_EQ(BellsLeftText(host.bellsLeft.back()), "1 bell left today, next 10:00");
    RunSeconds(2 * 3600);
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{0, {}}));
    const std::size_t reports = host.bellsLeft.size();
    RunSeconds(3600);
    EXPECT_EQ(host.bellsLeft.size(), reports);  // reported on a change only
    RunSeconds(14 * 3600);                      // Tuesday: the dated job is not for today
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{1, {8, 0, 0}}));
    Group({Job(1, "eight", "08:00", "PAUSE")});  // all paused
    checktime.BuildScheduleIndex();
    EXPECT_EQ(host.bellsLeft.back(), (BellsLeft{0, {}}));
}

// A clock that reads a moment on the UTC time line as local time in the process's time zone, as the system does.
class ZoneClock final : public Clock {
public:
    explicit ZoneClock(std::int64_t epochSeconds) : seconds_(epochSeconds) {}
    LocalDateTime Now() const override { return LocalFromEpoch(seconds_); }
    void Advance(int seconds) { seconds_ += seconds; }

private:
    std::int64_t seconds_;
};

class DaylightSavingTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        oldTz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (oldTz_) {
            setenv("TZ", oldTz_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    // Runs the program's day from the UTC moment `start` for `seconds` ticks; returns the log lines.
    Names Run(std::int64_t start, int seconds, std::initializer_list<FixtureJob> jobs) {
        test::WriteAll(dir.path() / "default.dll", test::FixtureGroup(jobs));
        ZoneClock clock(start);
        Checktime checktime(dir.path(), clock, player, host);
        checktime.UpdateClock();
        checktime.BuildScheduleIndex();
        for (int i = 0; i < seconds; ++i) {
            clock.Advance(1);
            checktime.Tick();
            if (checktime.fireLock()) checktime.FireLockElapsed();
        }
        Names lines;
        for (const auto& e : host.examined)
            lines.push_back(HourMinuteText(e.setTime) + " " + e.name + " " + OutcomeName(e.outcome) +
                            (e.reason.empty() ? "" : ": " + e.reason) + " at " + StampText(e.at).substr(11, 8));
        return lines;
    }

    test::TempFolder dir;
    test::FakePlayer player;
    test::FakeSchedulerHost host;

private:
    std::optional<std::string> oldTz_;
};

TEST_F(DaylightSavingTest, AutumnsRepeatedHourRingsItsJobsOnce) {
    // 2026-10-25 01:59:58 CEST is 23:59:58 UTC the day before; at 01:00 UTC 03:00 CEST becomes 02:00 CET.
    const Names lines = Run(1792886398, 3 * 3600, {Job(1, "half-two", "02:30"), Job(2, "half-three", "03:30")});
    EXPECT_EQ(lines, (Names{"02:30 half-two fired at 02:30:00", "03:30 half-three fired at 03:30:00"}));
    EXPECT_EQ(player.calls.size(), 2u);
    EXPECT_EQ(host.jumps.size(), 1u);  // 02:59:59 back to 02:00:00
}

TEST_F(DaylightSavingTest, SpringsMissingHourIsLoggedAndTheMinuteItLandsInRings) {
    // 2026-03-29 01:59:58 CET is 00:59:58 UTC; at 01:00 UTC 02:00 CET becomes 03:00 CEST.
    const Names lines =
        Run(1774745998, 180, {Job(1, "half-two", "02:30"), Job(2, "three", "03:00"), Job(3, "three-one", "03:01")});
    EXPECT_EQ(lines, (Names{"02:30 half-two missed: clock jumped from 01:59:59 to 03:00:00 at 03:00:00",
                            "03:00 three fired at 03:00:00", "03:01 three-one fired at 03:01:00"}));
}

TEST(ScheduleIndex, EveryInsertionOrderGivesTheSameStableOrder) {
    // Random groups: the index must equal a stable sort of the file's times.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        test::TempFolder dir;
        std::vector<std::uint8_t> bytes;
        std::vector<std::pair<int, int>> expected;  // (minute, record)
        const int n = 1 + trial * 3;
        for (int k = 1; k <= n; ++k) {
            const int minute = static_cast<int>(rng() % 5) * 7;
            char t[16];
            std::snprintf(t, sizeof t, "10:%02d", minute);
            const auto r = test::FixtureRecord({static_cast<std::int16_t>(k), "n", t, "Everyday", "START", {}, {}});
            bytes.insert(bytes.end(), r.begin(), r.end());
            expected.emplace_back(minute, k);
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        test::WriteAll(dir / "default.dll", bytes);
        test::FakeClock clock{kMonday, {6, 0, 0}};
        test::FakePlayer player;
        test::FakeSchedulerHost host;
        Checktime c(dir.path(), clock, player, host);
        c.BuildScheduleIndex();
        for (int i = 1; i <= n; ++i)
            EXPECT_EQ(c.dueJobNos()[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i - 1)].second);
    }
}

// What the look-ahead is told a few seconds early must be what the tick then rings: the next bell is opened
// before its minute from this answer alone.
TEST_F(CheckDueJobTest, TheBellAFewSecondsAheadIsTheOneTheTickRings) {
    test::WriteAll(
        dir / "default.dll",
        test::FixtureGroup({{1, "paused", "08:00", "Everyday", "PAUSE", {"/m/p.mp3"}, {}},
                            {2, "started", "08:00", "Everyday", "START", {"/m/s.mp3"}, {}},
                            {3, "locked", "08:00", "Everyday", "START", {"/m/l.mp3"}, {}},
                            {4, "other day", "08:01", "2026-12-08", "START", {"/m/o.mp3"}, {}},
                            {5, "weekday song", "08:02", "Everyday", "START", {"/m/main.mp3", "/m/mon.mp3"}, {1, 1}},
                            {6, "midnight", "00:00", "Everyday", "START", {"/m/n.mp3"}, {}}}));
    BuildAt({7, 59, 0});
    struct Told {
        std::int64_t minute;
        std::optional<UpcomingBell> bell;
    };
    std::vector<Told> told;
    std::vector<std::pair<std::int64_t, std::string>> rung;  // minute, path
    for (int i = 0; i < 17 * 3600; ++i) {                    // to 00:00:59 the next day
        const std::size_t before = player.calls.size();
        RunSeconds(1);
        if (player.calls.size() != before) {
            rung.emplace_back(clock.Now().MinuteIndex(), player.fileName);
        }
        const LocalDateTime ahead = AddSeconds(clock.Now(), 5);
        told.push_back({ahead.MinuteIndex(), checktime.BellAt(ahead)});
    }
    // Every bell was told beforehand, and everything told rang in that minute.
    std::vector<std::pair<std::int64_t, std::string>> toldBells;
    for (const Told& t : told) {
        if (!t.bell) continue;
        const std::pair<std::int64_t, std::string> bell{t.minute, t.bell->path};
        if (toldBells.empty() || toldBells.back() != bell) toldBells.push_back(bell);
    }
    EXPECT_EQ(toldBells, rung);
    ASSERT_EQ(rung.size(), 3u);
    EXPECT_EQ(rung[0].second, "/m/s.mp3");
    EXPECT_EQ(rung[1].second, "/m/mon.mp3");
    EXPECT_EQ(rung[2].second, "/m/n.mp3");
    const auto started = std::find_if(told.begin(), told.end(), [](const Told& t) { return t.bell.has_value(); });
    ASSERT_NE(started, told.end());
    EXPECT_EQ(started->bell->jobNo, 2);
    EXPECT_EQ(host.examined.back().at.date, (CalendarDate{2026, 12, 8}));
}

TEST(AddSeconds, CrossesDaysMonthsAndLeapYears) {
    const LocalDateTime t = MakeLocalDateTime({2028, 2, 28}, {23, 59, 57}, 250);
    const LocalDateTime later = AddSeconds(t, 5);
    EXPECT_EQ(later.date, (CalendarDate{2028, 2, 29}));
    EXPECT_EQ(later.time.second, 2);
    EXPECT_EQ(later.millisecond, 250);
    EXPECT_EQ(later.weekday, 2);  // a Tuesday
    EXPECT_EQ(AddSeconds(MakeLocalDateTime({2026, 12, 31}, {23, 59, 59}), 1).date, (CalendarDate{2027, 1, 1}));
    EXPECT_EQ(AddSeconds(MakeLocalDateTime({2027, 1, 1}, {0, 0, 0}), -1).date, (CalendarDate{2026, 12, 31}));
}

}  // namespace
}  // namespace lingchao

namespace lingchao {
namespace {

// Today-only shifts move bells about within the day: a bell rings once a day whatever they do, and one moved into
// a minute already passed gets its line.
class TodayShiftTest : public CheckDueJobTest {
protected:
    void SetUp() override {
        checktime.SetDayPlanner([this](const CalendarDate& d) {
            PlanOfDay plan = ResolveDayPlan(dir.path(), CalendarRead{}, d);
            plan.rule.shiftMinutes = shift;
            plan.rule.shiftAfter = shiftAfter;
            return plan;
        });
    }
    void Shift(int minutes, TimeOfDay after) {
        shift = minutes;
        shiftAfter = after;
        checktime.BuildScheduleIndex();
    }
    int shift = 0;
    TimeOfDay shiftAfter;
};

TEST_F(TodayShiftTest, ABellMovedBackIntoAPassedMinuteIsLoggedMissedAndNeverRings) {
    Group({Job(1, "five", "08:05")});
    shift = 10;
    shiftAfter = {7, 59, 0};
    BuildAt({7, 58, 0});
    RunSeconds(8 * 60);  // 08:06: due at 08:15
    Shift(0, {});        // 恢复今日铃声
    EXPECT_EQ(Lines(), (Names{"08:05 five missed: today's change moved it to 08:05, which had passed"}));
    RunSeconds(15 * 60);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(host.examined.size(), 1u);
}

TEST_F(TodayShiftTest, ABellThatRangIsNotRungAgainWhenAShiftBringsItsMinuteRound) {
    Group({Job(1, "early", "07:55"), Job(2, "later", "08:30")});
    BuildAt({7, 54, 30});
    RunSeconds(60);  // 07:55 rings
    checktime.FireLockElapsed();
    clock.SetTime({8, 1, 0});
    Shift(15, {7, 50, 0});  // a shift whose reach goes back past the bell that rang: 07:55 would ring at 08:10
    RunSeconds(50 * 60);
    EXPECT_EQ(Played(), (Names{"early.mp3", "later.mp3"}));
    EXPECT_EQ(Lines(), (Names{"07:55 early fired", "07:55 early already-rang", "08:30 later fired"}));
}

}  // namespace
}  // namespace lingchao

namespace lingchao {
namespace {

TEST_F(CheckDueJobTest, AMinuteSkippedTwiceByJumpsHasOneMissedLine) {
    Group({Job(1, "eight", "08:00")});
    BuildAt({7, 59, 30});
    TickAt({8, 1, 0});   // over 08:00
    TickAt({7, 58, 0});  // set back before it
    TickAt({7, 59, 59});
    TickAt({8, 2, 0});  // and over it once more
    EXPECT_EQ(Lines(), (Names{"08:00 eight missed: clock jumped from 07:59:30 to 08:01:00"}));
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(CheckDueJobTest, AJumpOverMidnightLogsYesterdaysLastMinute) {
    Group({Job(1, "last", "23:59"), Job(2, "first", "00:00")});
    BuildAt({23, 58, 30});
    clock.Set({2026, 12, 8}, {0, 1, 0});
    checktime.Tick();
    EXPECT_EQ(Lines(), (Names{"23:59 last missed: clock jumped from 23:58:30 to 00:01:00",
                              "00:00 first missed: clock jumped from 23:58:30 to 00:01:00"}));
}

}  // namespace
}  // namespace lingchao
