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
        if (const auto it = byName.find(path); it != byName.end()) return it->second;
        return {};
    }
    std::map<std::string, std::string> bad;
    std::map<std::string, std::vector<MusicProblem>> byName;  // notes of music found by name
};

struct Report {
    bool ok = false;
    std::string text;
};

// Monday 2026-12-07, 06:30 unless told.
Report RunCheck(const std::filesystem::path& folder, MediaProbe& probe, std::vector<std::string> other = {},
                TimeOfDay at = {6, 30, 0}) {
    std::ostringstream out;
    CheckInput input{folder, MakeLocalDateTime({2026, 12, 7}, at), &probe, std::move(other)};
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
    EXPECT_TRUE(Has(r, "ok: every bell of today and tomorrow can play")) << r.text;
}

// The bells whose minute has passed carry what the running program logged of them: the report and the bell log
// never disagree about a bell a today-only change moved into the past.
TEST_F(CheckReportTest, PassedBellsCarryTheirOutcomeFromTheBellLog) {
    const std::string log =
        "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output\n"
        "2026-12-07,07:50,2026-12-07 07:50:00.004,4,2,A,/m/a.wav,fired,20,-3.0,cap 100%\n"
        "2026-12-07,07:50,2026-12-07 07:50:07.506,7506,2,A,/m/x.wav,playback-failed: gone\n"
        "2026-12-07,08:00,2026-12-07 08:06:00.100,360100,1,\"B, \"\"late\"\"\",/m/b.wav,"
        "\"missed: today's change moved it to 08:00, which had passed\"\n"
        "2026-12-06,10:00,2026-12-06 10:00:00.004,4,6,x,/m/main.wav,fired,20,-3.0,cap 100%\n";
    test::WriteAll(dir / "bell-log.csv", std::vector<std::uint8_t>(log.begin(), log.end()));
    FakeProbe probe;
    const Report r = RunCheck(dir.path(), probe, {}, {8, 6, 30});
    EXPECT_TRUE(Has(r, "  07:50  job 2 \"A\"  /m/a.wav  [fired]\n")) << r.text;
    EXPECT_TRUE(
        Has(r, "  08:00  job 1 \"B\"  /m/b.wav  [missed: today's change moved it to 08:00, which had passed]\n"))
        << r.text;
    EXPECT_TRUE(Has(r, "  10:00  job 6 \"上课\"  /m/mon.wav\n"))
        << "yesterday's line is not today's, and 10:00 is to come";
}

TEST_F(CheckReportTest, FailsOnlyForProblemsOfBellsStillToRingTodayOrTomorrow) {
    struct Row {
        const char* name;
        const char* bad;
        std::vector<std::string> other;
        TimeOfDay at;
        bool ok;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"today's Monday song",
         "/m/mon.wav",
         {},
         {6, 30, 0},
         false,
         "problems today:\n  job 6 \"上课\" cannot play \"/m/mon.wav\": 文件不存在\nNOT OK: 1 problem with bells "
         "still"},
        {"its bell has rung",
         "/m/mon.wav",
         {},
         {10, 0, 30},
         true,
         "  job 6 \"上课\" cannot play \"/m/mon.wav\": 文件不存在  (no bell of it left today)\nok: no bell still"},
        {"tomorrow's song",
         "/m/main.wav",
         {},
         {6, 30, 0},
         false,
         "problems tomorrow:\n  job 6 \"上课\" cannot play \"/m/main.wav\": 文件不存在\nNOT OK: 1 problem"},
        {"the exam rings tomorrow only",
         "/m/exam.wav",
         {},
         {23, 0, 0},
         false,
         "10:00  job 6 \"上课\"  /m/main.wav\nproblems tomorrow:\n  job 4 \"Exam\" cannot play"},
        {"the output, late in the day",
         "",
         {"sound output: 声音已静音"},
         {23, 0, 0},
         false,
         "problems today:\n  sound output: 声音已静音\nNOT OK: 1 problem"},
        {"a paused job", "/m/p.wav", {}, {6, 30, 0}, true, "ok: every bell of today and tomorrow can play"},
    };
    for (const auto& row : rows) {
        FakeProbe probe;
        if (*row.bad != '\0') probe.bad[row.bad] = "文件不存在";
        const Report r = RunCheck(dir.path(), probe, row.other, row.at);
        EXPECT_EQ(r.ok, row.ok) << row.name << "\n" << r.text;
        EXPECT_TRUE(Has(r, row.expected)) << row.name << "\n" << r.text;
        EXPECT_EQ(Has(r, "problems today:\n  job 4"), false) << row.name << ": another day's job\n" << r.text;
    }

    // A muted output on a holiday before another holiday harms no bell: told, and all is well.
    Calendar("2026-12-07,2026-12-08,holiday,,校庆\n");
    FakeProbe probe;
    const Report r = RunCheck(dir.path(), probe, {"sound output: 声音已静音"});
    EXPECT_TRUE(r.ok) << r.text;
    EXPECT_TRUE(Has(r, "  sound output: 声音已静音  (no bell left today or tomorrow)\nok: no bell still")) << r.text;
}

TEST_F(CheckReportTest, ABellFoundByNameNamesTheFileThatPlays) {
    FakeProbe probe;
    probe.byName["/m/a.wav"] = {{0, "", "/m/a.wav", "按文件名找到", "/here/music/a.wav", 2}};
    std::vector<MusicProblem> entries;
    for (int i = 0; i < 7; ++i) {
        const std::string n = std::to_string(i);
        entries.push_back({0, "", "D:\\铃声\\" + n + ".wav", "按文件名找到", "/here/music/" + n + ".wav"});
    }
    probe.byName["/m/b.wav"] = entries;  // as if a list: its entries found by name
    const Report r = RunCheck(dir.path(), probe);
    EXPECT_TRUE(r.ok) << r.text;
    EXPECT_TRUE(Has(r,
                    "  07:50  job 2 \"A\"  /m/a.wav\n"
                    "      plays \"/here/music/a.wav\" (found by name, the first of 2 files of that name)\n"
                    "  08:00  job 1 \"B\"  /m/b.wav\n"
                    "      entry \"D:\\铃声\\0.wav\" plays \"/here/music/0.wav\" (found by name)\n"))
        << r.text;
    EXPECT_TRUE(Has(r, "4.wav\" (found by name)\n      and 2 more entries found by name\n  10:00")) << r.text;
}

TEST_F(CheckReportTest, FollowsTheSchoolCalendar) {
    FakeProbe probe;
    probe.bad["/m/mon.wav"] = "文件不存在";
    // A holiday today: nothing rings, so nothing can fail; tomorrow's group file is missing, which fails.
    Calendar("2026-12-07,2026-12-07,holiday,,校庆\n2026-12-08,2026-12-08,group,考试.sav,\n");
    Report r = RunCheck(dir.path(), probe);
    EXPECT_FALSE(r.ok) << r.text;
    EXPECT_TRUE(Has(r, "today, Monday 2026-12-07: no bells\n  今天（周一）：放假（校庆），不响铃\n")) << r.text;
    EXPECT_TRUE(Has(r, "tomorrow, Tuesday 2026-12-08: no bells\n")) << r.text;
    EXPECT_TRUE(Has(r, "problems tomorrow:\n  明天（周二）的任务组《考试》无法使用：文件不存在")) << r.text;

    // Today-only changes: job 1 skipped, so the other job of its minute rings; the bells after 07:55 ten minutes
    // later; a bad line. The skipped bell goes by its set time, as the line above names it.
    Calendar("2026-12-07,2026-12-07,today-skip,08:00 1,\n2026-12-07,2026-12-07,today-shift,10 07:55,\nbad line\n");
    probe.bad.clear();
    r = RunCheck(dir.path(), probe);
    EXPECT_FALSE(r.ok) << r.text;
    EXPECT_TRUE(Has(r,
                    "今天已推迟 10 分钟\n"
                    "  已跳过 08:00 B\n"
                    "  07:50  job 2 \"A\"  /m/a.wav\n"
                    "  08:00  job 1 \"B\"  /m/b.wav  (skipped today, would have rung 08:10)\n"
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
