#include "scheduler/checktime.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(CheckDueJobTest, SecondJobOfTheMinuteIsPassedOverByTheLock) {
    Group({Job(1, "first", "08:00"), Job(2, "second", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(3);
    EXPECT_EQ(Played(), (Names{"first.mp3"}));
    EXPECT_EQ(Outcomes(), (std::vector<JobOutcome>{JobOutcome::Fired, JobOutcome::Locked, JobOutcome::Locked}));
}

TEST_F(CheckDueJobTest, PausedJobBeforeAStartedOneInTheSameMinute) {
    Group({Job(1, "paused", "08:00", "PAUSE"), Job(2, "started", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(host.examined.at(0).outcome, JobOutcome::Paused);
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"started.mp3"}));
}

TEST_F(CheckDueJobTest, StateMustBeExactlyStart) {
    Group({Job(1, "lower", "08:00", "start")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(CheckDueJobTest, SingleJobWrapsToItselfAndIsLockedForTheRestOfTheMinute) {
    Group({Job(1, "only", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(60);
    EXPECT_EQ(Played(), (Names{"only.mp3"}));
    EXPECT_EQ(host.examined.size(), 60u);
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

TEST_F(CheckDueJobTest, StoppingThePlayerDoesNotUnlockTheMinute) {
    Group({Job(1, "a", "08:00"), Job(2, "b", "08:00")});
    BuildAt({7, 59, 59});
    RunSeconds(1);
    player.Stop();
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"a.mp3"}));
}

TEST_F(CheckDueJobTest, ClearedGroupWithoutRebuildFiresNothing) {
    Group({Job(1, "a", "08:00"), Job(2, "b", "08:01")});
    BuildAt({7, 59, 0});
    std::filesystem::remove(dir / "default.dll");
    RunSeconds(180);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(host.examined.size(), 2u);
    EXPECT_EQ(host.examined[0].outcome, JobOutcome::Paused);
}

TEST_F(CheckDueJobTest, RebuildWithTheFileGoneKeepsTheOldCountAndFiresNothing) {
    Group({Job(1, "a", "08:00")});
    BuildAt({7, 0, 0});
    std::filesystem::remove(dir / "default.dll");
    BuildAt({7, 0, 0});
    EXPECT_EQ(checktime.dueCount(), 1);
    EXPECT_EQ(std::filesystem::file_size(dir / "default.dll"), 0u);
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

TEST_F(CheckDueJobTest, MinutePassedWithoutATickIsNotRungLateAndTheDayGoesOn) {
    Group({Job(1, "eight", "08:00"), Job(2, "eight-one", "08:01"), Job(3, "eight-five", "08:05")});
    BuildAt({7, 59, 58});
    TickAt({8, 1, 30});  // asleep through 08:00
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(checktime.dueCursor(), 3);  // as a rebuild would: after the current minute
    EXPECT_EQ(host.resumedAt, (std::vector<int>{3}));
    clock.SetTime({8, 4, 58});
    RunSeconds(3);
    EXPECT_EQ(Played(), (Names{"eight-five.mp3"}));
}

TEST_F(CheckDueJobTest, ClockSetBackFindsTheJobsAheadAgain) {
    Group({Job(1, "nine-thirty", "09:30"), Job(2, "ten-thirty", "10:30")});
    BuildAt({10, 0, 0});
    EXPECT_EQ(checktime.dueCursor(), 2);
    TickAt({9, 0, 0});
    EXPECT_EQ(checktime.dueCursor(), 1);
    clock.SetTime({9, 29, 59});
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"nine-thirty.mp3"}));
}

TEST_F(CheckDueJobTest, JumpThatMissesNoScheduledMinuteKeepsTheCursor) {
    Group({Job(1, "nine", "09:00"), Job(2, "noon", "12:00")});
    BuildAt({9, 30, 0});
    TickAt({11, 59, 59});  // a long jump, but 12:00 lies ahead
    EXPECT_TRUE(host.resumedAt.empty());
    RunSeconds(1);
    EXPECT_EQ(Played(), (Names{"noon.mp3"}));
}

TEST_F(CheckDueJobTest, JobsLeftOverFromABusyMinuteDoNotBlockTheNextMinute) {
    std::vector<std::uint8_t> bytes;
    for (int k = 1; k <= 62; ++k) {
        const auto r =
            test::FixtureRecord(Job(static_cast<std::int16_t>(k), "m" + std::to_string(k), "08:00", "PAUSE"));
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    const auto last = test::FixtureRecord(Job(63, "next", "08:01"));
    bytes.insert(bytes.end(), last.begin(), last.end());
    test::WriteAll(dir / "default.dll", bytes);
    BuildAt({7, 59, 59});
    RunSeconds(61);  // 60 ticks in 08:00 examine 60 of the 62; the 08:01 tick must still ring "next"
    EXPECT_EQ(Played(), (Names{"next.mp3"}));
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

}  // namespace
}  // namespace lingchao
