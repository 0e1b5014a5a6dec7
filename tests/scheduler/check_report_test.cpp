#include "scheduler/check_report.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

class FakeProbe final : public MediaProbe {
public:
    std::vector<MusicProblem> Check(const std::string& path) override {
        if (const auto it = bad.find(path); it != bad.end()) return {{0, "", path, it->second}};
        return {};
    }
    std::map<std::string, std::string> bad;
};

struct Report {
    bool ok = false;
    std::string text;
};

Report RunCheck(const std::filesystem::path& group, CalendarDate date, MediaProbe& probe,
                std::vector<std::string> other = {}) {
    std::ostringstream out;
    CheckInput input{group, MakeLocalDateTime(date, {6, 30, 0}), &probe, std::move(other)};
    const bool ok = WriteCheckReport(out, input);
    return {ok, out.str()};
}

// Monday 2026-12-07 and Tuesday 2026-12-08.
class CheckReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteAll(
            dir / "default.dll",
            test::FixtureGroup(
                {{1, "B", "08:00", "Everyday", "START", {"/m/b.wav"}, {}},
                 {2, "A", "07:50", "Everyday", "START", {"/m/a.wav"}, {}},
                 {3, "P", "09:00", "Everyday", "PAUSE", {"/m/p.wav"}, {}},
                 {4, "Exam", "09:30", "2026-12-08", "START", {"/m/exam.wav"}, {}},
                 {5, "Same", "08:00", "Everyday", "START", {"/m/c.wav"}, {}},
                 {6, test::kGbkShangKe, "10:00", "Everyday", "START", {"/m/main.wav", "/m/mon.wav"}, {1, 1}}}));
    }
    test::TempFolder dir;
};

TEST_F(CheckReportTest, ListsEachDaysBellsInRingingOrder) {
    const DayPlan monday = BellsOfDay(dir / "default.dll", {2026, 12, 7});
    ASSERT_EQ(monday.bells.size(), 4u);
    EXPECT_EQ(monday.bells[0].jobNo, 2);
    EXPECT_EQ(monday.bells[1].jobNo, 1);
    EXPECT_EQ(monday.bells[1].lockedBy, 0);
    // Two jobs in one minute: the first in the file rings, the other is passed over.
    EXPECT_EQ(monday.bells[2].jobNo, 5);
    EXPECT_EQ(monday.bells[2].lockedBy, 1);
    EXPECT_EQ(monday.bells[3].name, "上课");
    EXPECT_EQ(monday.bells[3].path, "/m/mon.wav");

    const DayPlan tuesday = BellsOfDay(dir / "default.dll", {2026, 12, 8});
    ASSERT_EQ(tuesday.bells.size(), 5u);
    EXPECT_EQ(tuesday.bells[3].jobNo, 4);
    EXPECT_EQ(tuesday.bells[4].path, "/m/main.wav");

    FakeProbe probe;
    const Report r = RunCheck(dir / "default.dll", {2026, 12, 7}, probe);
    EXPECT_TRUE(r.ok) << r.text;
    EXPECT_NE(r.text.find("today, Monday 2026-12-07: 4 bells\n  07:50  job 2 \"A\"  /m/a.wav\n"), std::string::npos)
        << r.text;
    EXPECT_NE(r.text.find("tomorrow, Tuesday 2026-12-08: 5 bells"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("09:30  job 4 \"Exam\"  /m/exam.wav"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("(passed over: job 1 rings in this minute)"), std::string::npos) << r.text;
    EXPECT_EQ(r.text.find("problems"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("ok: every bell of today can play"), std::string::npos) << r.text;
}

TEST_F(CheckReportTest, TodaysProblemsFailTomorrowsOnlyWarn) {
    struct Row {
        const char* bad;
        std::vector<std::string> other;
        bool ok;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"/m/mon.wav", {}, false, "problems today:\n  job 6 \"上课\" cannot play \"/m/mon.wav\": 文件不存在\n"},
        {"/m/main.wav", {}, true, "problems tomorrow:\n  job 6 \"上课\" cannot play \"/m/main.wav\": 文件不存在\n"},
        {"", {"sound output: muted"}, false, "problems today:\n  sound output: muted\n"},
    };
    for (const auto& row : rows) {
        FakeProbe probe;
        if (*row.bad != '\0') probe.bad[row.bad] = "文件不存在";
        const Report r = RunCheck(dir / "default.dll", {2026, 12, 7}, probe, row.other);
        EXPECT_EQ(r.ok, row.ok) << r.text;
        EXPECT_NE(r.text.find(row.expected), std::string::npos) << r.text;
        EXPECT_NE(r.text.find(row.ok ? "ok: every bell" : "NOT OK: 1 problem with today's bells"), std::string::npos)
            << r.text;
    }
}

TEST(CheckReport, DamagedStartedJobsAreProblems) {
    test::TempFolder dir;
    test::WriteAll(dir / "default.dll", test::FixtureGroup({{1, "T", "8x:00", "Everyday", "START", {"/m/a.wav"}, {}},
                                                            {2, "D", "08:00", "someday", "START", {"/m/a.wav"}, {}},
                                                            {3, "Q", "8x:00", "Everyday", "PAUSE", {"/m/a.wav"}, {}}}));
    FakeProbe probe;
    const Report r = RunCheck(dir / "default.dll", {2026, 12, 7}, probe);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.text.find("job 1 \"T\" never rings: its time is unreadable"), std::string::npos) << r.text;
    EXPECT_NE(r.text.find("job 2 \"D\" never rings: its date is unreadable"), std::string::npos) << r.text;
    EXPECT_EQ(r.text.find("\"Q\""), std::string::npos) << r.text;
}

TEST(CheckReport, NoTimetableHasNoBellsAndNothingWrong) {
    FakeProbe probe;
    const Report r = RunCheck("/nonexistent/default.dll", {2026, 12, 31}, probe);
    EXPECT_TRUE(r.ok);
    EXPECT_NE(r.text.find("today, Thursday 2026-12-31: no bells\ntomorrow, Friday 2027-01-01: no bells\n"),
              std::string::npos)
        << r.text;
}

TEST(CheckReport, NextDayCrossesMonthsYearsAndLeapDays) {
    struct Row {
        CalendarDate from, to;
    };
    for (const auto& [from, to] : std::vector<Row>{{{2026, 12, 7}, {2026, 12, 8}},
                                                   {{2026, 4, 30}, {2026, 5, 1}},
                                                   {{2026, 12, 31}, {2027, 1, 1}},
                                                   {{2028, 2, 28}, {2028, 2, 29}},
                                                   {{2027, 2, 28}, {2027, 3, 1}},
                                                   {{2100, 2, 28}, {2100, 3, 1}},
                                                   {{2000, 2, 29}, {2000, 3, 1}}}) {
        EXPECT_EQ(NextDay(from), to) << DateText(from);
    }
}

}  // namespace
}  // namespace lingchao
