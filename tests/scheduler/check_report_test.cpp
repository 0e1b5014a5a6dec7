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

// Monday 2026-12-07, 06:30.
Report RunCheck(const std::filesystem::path& folder, MediaProbe& probe, std::vector<std::string> other = {}) {
    std::ostringstream out;
    CheckInput input{folder, MakeLocalDateTime({2026, 12, 7}, {6, 30, 0}), &probe, std::move(other)};
    const bool ok = WriteCheckReport(out, input);
    return {ok, out.str()};
}

bool Has(const Report& r, const std::string& text) { return r.text.find(text) != std::string::npos; }

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
    void Calendar(const std::string& lines) {
        const std::string text = "first_date,last_date,kind,argument,note\n" + lines;
        test::WriteAll(dir / "calendar.csv", std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    test::TempFolder dir;
};

TEST_F(CheckReportTest, ListsEachDaysBellsInRingingOrder) {
    FakeProbe probe;
    const Report r = RunCheck(dir.path(), probe);
    EXPECT_TRUE(r.ok) << r.text;
    // The second job of a minute is held back by the fire lock; job 6 plays its Monday song today only.
    EXPECT_TRUE(Has(r,
                    "today, Monday 2026-12-07: 3 bells\n"
                    "  07:50  job 2 \"A\"  /m/a.wav\n"
                    "  08:00  job 1 \"B\"  /m/b.wav\n"
                    "  10:00  job 6 \"上课\"  /m/mon.wav\n"
                    "tomorrow, Tuesday 2026-12-08: 4 bells\n"))
        << r.text;
    EXPECT_TRUE(Has(r, "  09:30  job 4 \"Exam\"  /m/exam.wav\n  10:00  job 6 \"上课\"  /m/main.wav\n")) << r.text;
    EXPECT_FALSE(Has(r, "problems")) << r.text;
    EXPECT_TRUE(Has(r, "ok: every bell of today can play")) << r.text;
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
        {"", {"sound output: 声音已静音"}, false, "problems today:\n  sound output: 声音已静音\n"},
    };
    for (const auto& row : rows) {
        FakeProbe probe;
        if (*row.bad != '\0') probe.bad[row.bad] = "文件不存在";
        const Report r = RunCheck(dir.path(), probe, row.other);
        EXPECT_EQ(r.ok, row.ok) << r.text;
        EXPECT_TRUE(Has(r, row.expected)) << r.text;
        EXPECT_TRUE(Has(r, row.ok ? "ok: every bell" : "NOT OK: 1 problem with today's bells")) << r.text;
    }
}

TEST_F(CheckReportTest, FollowsTheSchoolCalendar) {
    FakeProbe probe;
    probe.bad["/m/mon.wav"] = "文件不存在";
    // A holiday today: nothing rings, so nothing can fail; tomorrow's group file is missing.
    Calendar("2026-12-07,2026-12-07,holiday,,校庆\n2026-12-08,2026-12-08,group,考试.sav,\n");
    Report r = RunCheck(dir.path(), probe);
    EXPECT_TRUE(r.ok) << r.text;
    EXPECT_TRUE(Has(r, "today, Monday 2026-12-07: no bells\n  今天（周一）：放假（校庆），不响铃\n")) << r.text;
    EXPECT_TRUE(Has(r, "tomorrow, Tuesday 2026-12-08: no bells\n")) << r.text;
    EXPECT_TRUE(Has(r, "problems tomorrow:\n  明天（周二）的任务组《考试》无法使用：文件不存在")) << r.text;

    // Today-only changes: job 1 skipped, so the other job of its minute rings; the bells after 07:55 ten minutes
    // later; a bad line.
    Calendar("2026-12-07,2026-12-07,today-skip,08:00 1,\n2026-12-07,2026-12-07,today-shift,10 07:55,\nbad line\n");
    probe.bad.clear();
    r = RunCheck(dir.path(), probe);
    EXPECT_FALSE(r.ok) << r.text;
    EXPECT_TRUE(Has(r,
                    "今天已推迟 10 分钟\n"
                    "  已跳过 08:00 B\n"
                    "  07:50  job 2 \"A\"  /m/a.wav\n"
                    "  08:10  job 1 \"B\"  /m/b.wav  (skipped today)\n"
                    "  08:10  job 5 \"Same\"  /m/c.wav  (set 08:00, moved today)\n"
                    "  10:10  job 6 \"上课\"  /m/mon.wav  (set 10:00, moved today)\n"))
        << r.text;
    EXPECT_TRUE(Has(r, "problems today:\n  校历第 4 行")) << r.text;
}

TEST(CheckReport, DamagedStartedJobsAreProblems) {
    test::TempFolder dir;
    test::WriteAll(dir / "default.dll", test::FixtureGroup({{1, "T", "8x:00", "Everyday", "START", {"/m/a.wav"}, {}},
                                                            {2, "D", "08:00", "someday", "START", {"/m/a.wav"}, {}},
                                                            {3, "Q", "8x:00", "Everyday", "PAUSE", {"/m/a.wav"}, {}}}));
    FakeProbe probe;
    const Report r = RunCheck(dir.path(), probe);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(Has(r, "job 1 \"T\" never rings: its time is unreadable")) << r.text;
    EXPECT_TRUE(Has(r, "job 2 \"D\" never rings: its date is unreadable")) << r.text;
    EXPECT_FALSE(Has(r, "\"Q\"")) << r.text;
}

TEST(CheckReport, NoTimetableHasNoBellsAndNothingWrong) {
    test::TempFolder dir;
    FakeProbe probe;
    const Report r = RunCheck(dir / "nonexistent", probe);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(Has(r, "today, Monday 2026-12-07: no bells\ntomorrow, Tuesday 2026-12-08: no bells\nok:")) << r.text;
}

}  // namespace
}  // namespace lingchao
