#include "scheduler/bell_preparer.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using Calls = std::vector<std::string>;

constexpr CalendarDate kMonday{2026, 12, 7};

test::FixtureJob Job(std::int16_t no, const std::string& name, const std::string& time,
                     const std::string& state = "START") {
    return {no, name, time, "Everyday", state, {"/m/" + name + ".wav"}, {}};
}

class BellPreparerTest : public ::testing::Test {
protected:
    void Group(std::initializer_list<test::FixtureJob> jobs) {
        test::WriteAll(dir / "default.dll", test::FixtureGroup(jobs));
    }

    void Start(TimeOfDay t) {
        clock.Set(kMonday, t);
        checktime.UpdateClock();
        checktime.BuildScheduleIndex();
    }

    // The program's tick: the scheduler, then the preparer.
    void TickAt(TimeOfDay t, CalendarDate d = kMonday) {
        clock.Set(d, t);
        checktime.Tick();
        preparer.AfterTick(clock.Now());
    }

    // Ticks once a second from `from` to `to`, both included, running `at(second)` before each tick.
    void TickThrough(TimeOfDay from, TimeOfDay to, const std::function<void(int)>& at = nullptr) {
        const int first = from.hour * 3600 + from.minute * 60 + from.second;
        const int last = to.hour * 3600 + to.minute * 60 + to.second;
        for (int s = first; s <= last; ++s) {
            if (at) at(s);
            TickAt({s / 3600, (s / 60) % 60, s % 60});
        }
    }

    test::TempFolder dir;
    test::FakeClock clock{kMonday, {7, 0, 0}};
    test::FakePlayer player;
    test::FakeSchedulerHost host;
    Checktime checktime{dir.path(), clock, player, host};
    BellPreparer preparer{checktime, player, 5};
};

TEST_F(BellPreparerTest, TheBellIsPreparedFiveSecondsAheadAndTakenOnItsMinuteAndNothingElseHappensAllHour) {
    Group({Job(1, "A", "08:00")});
    Start({7, 30, 0});
    TickThrough({7, 30, 1}, {7, 59, 54});
    EXPECT_TRUE(player.calls.empty());
    TickAt({7, 59, 55});
    EXPECT_EQ(player.calls, (Calls{"Prepare=/m/A.wav"}));
    TickThrough({7, 59, 56}, {8, 30, 0});
    EXPECT_EQ(player.calls, (Calls{"Prepare=/m/A.wav", "FileName=/m/A.wav", "Prepare="}));
}

// The wake at a bell's minute ticks at its instant and the regular tick follows a few milliseconds later: a
// second ticked twice rings, logs and prepares as one ticked once, and is no jump of the clock.
TEST_F(BellPreparerTest, ASecondTickedTwiceRingsLogsAndPreparesAsOnce) {
    Group({Job(1, "A", "08:00"), Job(2, "B", "08:00"), Job(3, "C", "08:01", "PAUSE")});
    Start({7, 59, 50});
    for (int s = 7 * 3600 + 59 * 60 + 51; s <= 8 * 3600 + 70; ++s) {
        for (const int ms : {0, 3}) {
            clock.Set(kMonday, {s / 3600, (s / 60) % 60, s % 60}, ms);
            checktime.Tick();
            preparer.AfterTick(clock.Now());
        }
    }
    EXPECT_EQ(player.calls, (Calls{"Prepare=/m/A.wav", "FileName=/m/A.wav", "Prepare="}));
    Calls lines;
    for (const JobExamination& e : host.examined) lines.push_back(e.name + " " + OutcomeName(e.outcome));
    EXPECT_EQ(lines, (Calls{"A fired", "B locked", "C paused"}));
    EXPECT_EQ(host.lockTimerStarts, 1);
    EXPECT_TRUE(host.jumps.empty());
}

struct LastSeconds {
    const char* name;
    // Done to the group at 07:59:59, before its tick: what the 08:00 minute rings then.
    std::vector<test::FixtureJob> group;
    Calls calls;
};

class WhatTheMinuteRings : public BellPreparerTest, public ::testing::WithParamInterface<LastSeconds> {};

TEST_P(WhatTheMinuteRings, IsWhatIsPreparedLast) {
    Group({Job(1, "A", "08:00"), Job(2, "B", "08:00")});
    Start({7, 59, 50});
    TickThrough({7, 59, 51}, {8, 0, 30}, [this](int s) {
        if (s == 7 * 3600 + 59 * 60 + 59) {
            std::vector<std::uint8_t> bytes;
            for (const test::FixtureJob& job : GetParam().group) {
                const auto record = test::FixtureRecord(job);
                bytes.insert(bytes.end(), record.begin(), record.end());
            }
            test::WriteAll(dir / "default.dll", bytes);
        }
    });
    EXPECT_EQ(player.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WhatTheMinuteRings,
    ::testing::Values(LastSeconds{"Unchanged",
                                  {Job(1, "A", "08:00"), Job(2, "B", "08:00")},
                                  {"Prepare=/m/A.wav", "FileName=/m/A.wav", "Prepare="}},
                      // The first job paused: the second of the minute rings and is prepared in its place.
                      LastSeconds{"FirstPaused",
                                  {Job(1, "A", "08:00", "PAUSE"), Job(2, "B", "08:00")},
                                  {"Prepare=/m/A.wav", "Prepare=/m/B.wav", "FileName=/m/B.wav", "Prepare="}},
                      LastSeconds{"BothPaused",
                                  {Job(1, "A", "08:00", "PAUSE"), Job(2, "B", "08:00", "PAUSE")},
                                  {"Prepare=/m/A.wav", "Prepare="}},
                      // Its music changed meanwhile: the new music is prepared.
                      LastSeconds{"MusicChanged",
                                  {{1, "A", "08:00", "Everyday", "START", {"/m/A2.wav"}, {}}, Job(2, "B", "08:00")},
                                  {"Prepare=/m/A.wav", "Prepare=/m/A2.wav", "FileName=/m/A2.wav", "Prepare="}}),
    [](const ::testing::TestParamInfo<LastSeconds>& row) { return std::string(row.param.name); });

TEST_F(BellPreparerTest, AClockThatJumpsOverTheMinuteOrBackDropsWhatWasPrepared) {
    Group({Job(1, "A", "08:00"), Job(2, "B", "09:00")});
    Start({7, 59, 54});
    TickAt({7, 59, 56});
    TickAt({8, 3, 0});  // the 08:00 bell is missed, not rung late
    EXPECT_EQ(player.calls, (Calls{"Prepare=/m/A.wav", "Prepare="}));
    TickAt({8, 59, 57});
    TickAt({7, 10, 0});  // back: 09:00 is an hour away again
    EXPECT_EQ(player.calls, (Calls{"Prepare=/m/A.wav", "Prepare=", "Prepare=/m/B.wav", "Prepare="}));
}

}  // namespace
}  // namespace lingchao
