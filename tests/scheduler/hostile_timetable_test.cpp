// A timetable file that is not a timetable (a FIFO, a device, a folder, a file the user may not read, a file of
// gigabytes) never hangs the tick or fills the memory, and never turns into a silent empty day: the scheduler
// says why it has nothing to ring, and once the file is mended the next bell rings.

#include <gtest/gtest.h>

#include "scheduler/checktime.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/hostile_files.h"

namespace lingchao {
namespace {

constexpr CalendarDate kMonday{2026, 12, 7};

struct BadTimetable {
    const char* what;
    const char* reason;  // what the clock's warning must name
};

class HostileTimetable : public ::testing::TestWithParam<BadTimetable> {
protected:
    std::filesystem::path group() const { return dir / "default.dll"; }

    void MakeBad() {
        const std::string what = GetParam().what;
        std::filesystem::remove(group());
        if (what == "fifo") test::MakeFifo(group());
        if (what == "folder") std::filesystem::create_directory(group());
        if (what == "link to /dev/zero") std::filesystem::create_symlink("/dev/zero", group());
        if (what == "link to /dev/urandom") std::filesystem::create_symlink("/dev/urandom", group());
        if (what == "mode 000") {
            test::WriteNumberedGroup(group(), 3);
            std::filesystem::permissions(group(), std::filesystem::perms::none);
        }
    }

    void Mend() {
        std::filesystem::remove(group());
        // One job at 08:05, the minute after the bad file was met.
        test::WriteAll(group(), test::FixtureGroup({{1, "next", "08:05", "Everyday", "START", {"/m/next.mp3"}, {}}}));
    }

    void Tick(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.AdvanceSeconds(1);
            checktime.Tick();
        }
    }

    test::TempFolder dir;
    test::FakeClock clock{kMonday, {8, 0, 0}};
    test::FakePlayer player;
    test::FakeSchedulerHost host;
    Checktime checktime{dir.path(), clock, player, host};
};

TEST_P(HostileTimetable, IsAnEmptyIndexWithItsReasonAndTheNextBellRingsOnceMended) {
    MakeBad();
    std::optional<test::PermissionsApply> permissions(std::in_place);
    checktime.UpdateClock();
    checktime.BuildScheduleIndex();
    EXPECT_EQ(checktime.dueCount(), 0) << "blank records would ring at 00:00";
    const std::string& problem = checktime.timetableProblem();
    EXPECT_NE(problem.find("default.dll"), std::string::npos) << problem;
    EXPECT_NE(problem.find(GetParam().reason), std::string::npos) << problem;
    EXPECT_NE(problem.find("今天不会打铃"), std::string::npos) << problem;
    Tick(60);  // the tick goes on
    EXPECT_TRUE(player.calls.empty());
    permissions.reset();

    Mend();
    checktime.BuildScheduleIndex();
    EXPECT_EQ(checktime.timetableProblem(), "");
    Tick(4 * 60);
    EXPECT_EQ(player.calls, std::vector<std::string>{"FileName=/m/next.mp3"});
}

// Noticed at the next tick: the timetable's problem is told, no blank record is logged as a job, and the file
// mended is read again by itself.
TEST_P(HostileTimetable, MetAtTheMinuteOfABellItIsPassedOverAndTheTickGoesOn) {
    test::WriteAll(group(), test::FixtureGroup({{1, "a", "08:01", "Everyday", "START", {"/m/a.mp3"}, {}},
                                                {2, "b", "08:02", "Everyday", "START", {"/m/b.mp3"}, {}}}));
    checktime.UpdateClock();
    checktime.BuildScheduleIndex();
    MakeBad();
    {
        test::PermissionsApply permissions;
        Tick(90);  // 08:01 comes while the file is bad
    }
    EXPECT_TRUE(host.examined.empty());
    EXPECT_TRUE(player.calls.empty());
    EXPECT_NE(checktime.timetableProblem().find(GetParam().reason), std::string::npos);
    std::filesystem::remove_all(group());
    test::WriteAll(group(), test::FixtureGroup({{1, "a", "08:01", "Everyday", "START", {"/m/a.mp3"}, {}},
                                                {2, "b", "08:02", "Everyday", "START", {"/m/b.mp3"}, {}}}));
    Tick(60);
    EXPECT_EQ(player.calls, std::vector<std::string>{"FileName=/m/b.mp3"});
}

INSTANTIATE_TEST_SUITE_P(Files, HostileTimetable,
                         ::testing::Values(BadTimetable{"fifo", "不是普通文件"}, BadTimetable{"folder", "不是普通文件"},
                                           BadTimetable{"link to /dev/zero", "不是普通文件"},
                                           BadTimetable{"link to /dev/urandom", "不是普通文件"},
                                           BadTimetable{"mode 000", "没有读取权限"}),
                         [](const auto& row) {
                             std::string name;
                             for (const char c : std::string(row.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(HugeTimetable, OnlyItsFirstJobsAreUsedAndTheClockSaysSo) {
    test::TempFolder dir;
    test::WriteNumberedGroup(dir / "default.dll", 3);
    // 3 real jobs, then zeros up to 10 GB: sparse, it takes no disk space.
    std::filesystem::resize_file(dir / "default.dll", 10ull << 30);
    test::FakeClock clock{kMonday, {8, 0, 30}};
    test::FakePlayer player;
    test::FakeSchedulerHost host;
    Checktime checktime{dir.path(), clock, player, host};
    checktime.UpdateClock();
    checktime.BuildScheduleIndex();
    EXPECT_EQ(checktime.dueCount(), kMaxJobs);
    EXPECT_NE(checktime.timetableProblem().find("过大"), std::string::npos) << checktime.timetableProblem();
    EXPECT_NE(checktime.timetableProblem().find("10000"), std::string::npos) << checktime.timetableProblem();
    for (int i = 0; i < 60; ++i) {
        clock.AdvanceSeconds(1);
        checktime.Tick();
    }
    EXPECT_EQ(player.calls, std::vector<std::string>{"FileName=/m/J1.mp3"}) << "the good part is used";
}

}  // namespace
}  // namespace lingchao
