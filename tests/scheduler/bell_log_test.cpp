#include "scheduler/bell_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/temp_folder.h"

namespace lingchao {
namespace {

std::vector<std::string> Lines(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

JobExamination Exam(int second, int ms, JobOutcome outcome, const std::string& name = "上课") {
    JobExamination e;
    e.at = MakeLocalDateTime({2026, 12, 7}, {10, 40, second}, ms);
    e.setTime = {10, 40, 0};
    e.jobNo = 4;
    e.name = name;
    e.path = "/music/铃声.mp3";
    e.outcome = outcome;
    return e;
}

TEST(BellLog, EveryExaminedJobIsALineWithItsLateness) {
    test::TempFolder dir;
    BellLog log(dir.path());
    log.Examined(Exam(0, 12, JobOutcome::Fired));
    log.Examined(Exam(1, 12, JobOutcome::Locked, "考试,第二节"));
    log.PlaybackFailed(MakeLocalDateTime({2026, 12, 7}, {10, 40, 0}, 40), "/music/x.mp3", "no such file");
    const auto lines = Lines(dir / "bell-log.csv");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], BellLog::kHeader);
    EXPECT_EQ(lines[1], "2026-12-07,10:40,2026-12-07 10:40:00.012,12,4,上课,/music/铃声.mp3,fired");
    EXPECT_EQ(lines[2], "2026-12-07,10:40,2026-12-07 10:40:01.012,1012,4,\"考试,第二节\",/music/铃声.mp3,locked");
    EXPECT_EQ(lines[3], "2026-12-07,,2026-12-07 10:40:00.040,,,,/music/x.mp3,playback-failed: no such file");
}

TEST(BellLog, MissedJobOfTheDayBeforeHasItsOwnDateItsLatenessAndItsReason) {
    test::TempFolder dir;
    BellLog log(dir.path());
    JobExamination e = Exam(0, 5, JobOutcome::Missed);
    e.at = MakeLocalDateTime({2026, 12, 8}, {7, 45, 0}, 5);
    e.date = {2026, 12, 7};
    e.setTime = {17, 30, 0};
    e.reason = "clock jumped from 17:00:00 to 07:45:00";
    log.Examined(e);
    EXPECT_EQ(Lines(dir / "bell-log.csv").at(1),
              "2026-12-07,17:30,2026-12-08 07:45:00.005,51300005,4,上课,/music/铃声.mp3,"
              "missed: clock jumped from 17:00:00 to 07:45:00");
}

TEST(BellLog, RotatesWhenFullSoItStaysBounded) {
    test::TempFolder dir;
    BellLog log(dir.path(), 2000);
    for (int i = 0; i < 200; ++i) log.Examined(Exam(i % 60, i % 1000, JobOutcome::Fired));
    EXPECT_LE(std::filesystem::file_size(dir / "bell-log.csv"), 2100u);
    EXPECT_LE(std::filesystem::file_size(dir / "bell-log.1.csv"), 2100u);
    EXPECT_EQ(Lines(dir / "bell-log.csv").front(), BellLog::kHeader);
    EXPECT_EQ(Lines(dir / "bell-log.csv").back().substr(0, 10), "2026-12-07");
}

TEST(BellLog, UnwritableFolderIsSilentlySkipped) {
    BellLog log("/nonexistent/folder");
    log.Examined(Exam(0, 0, JobOutcome::Fired));  // must not throw or crash
    SUCCEED();
}

}  // namespace
}  // namespace lingchao
