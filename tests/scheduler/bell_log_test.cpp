#include "scheduler/bell_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>

#include "support/hostile_files.h"
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
    const JobExamination bell = Exam(0, 12, JobOutcome::Fired);
    log.PlaybackFailed(MakeLocalDateTime({2026, 12, 7}, {10, 40, 7}, 506), "/music/第3首.mp3", "gone", &bell);
    const auto lines = Lines(dir / "bell-log.csv");
    ASSERT_EQ(lines.size(), 5u);
    // An entry of a bell's list that fails is written under that bell's job and minute.
    EXPECT_EQ(lines[4], "2026-12-07,10:40,2026-12-07 10:40:07.506,7506,4,上课,/music/第3首.mp3,playback-failed: gone");
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

// A folder that is not there: the bell goes on, nothing is made, and the reason is told (the clock shows it).
TEST(BellLog, AFolderThatIsNotThereIsToldAndNothingIsMade) {
    test::TempFolder dir;
    const auto gone = dir / "gone";
    BellLog log(gone);
    std::vector<std::string> told;
    log.SetProblemListener([&](const std::string& problem) { told.push_back(problem); });
    log.Examined(Exam(0, 0, JobOutcome::Fired));
    log.Examined(Exam(1, 0, JobOutcome::Locked));
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_NE(log.problem(), "");
    EXPECT_EQ(told.size(), 1u) << "told once, not at every line";
}

TEST(BellLog, APlantedLinkOrAFifoIsNeverWrittenToAndTheProblemIsToldOnceUntilMended) {
    test::TempFolder app, elsewhere;
    test::WriteAll(elsewhere / "victim", {'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink(elsewhere / "victim", app / "bell-log.csv");
    BellLog log(app.path());
    std::vector<std::string> told;
    log.SetProblemListener([&told](const std::string& problem) { told.push_back(problem); });
    log.Examined(Exam(0, 5, JobOutcome::Fired));
    log.Examined(Exam(1, 5, JobOutcome::Locked));
    EXPECT_EQ(test::ReadAll(elsewhere / "victim"), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("bell-log.csv"), std::string::npos) << told[0];
    EXPECT_NE(told[0].find("是一个链接"), std::string::npos) << told[0];

    std::filesystem::remove(app / "bell-log.csv");
    test::MakeFifo(app / "bell-log.csv");
    log.Examined(Exam(2, 5, JobOutcome::Locked));  // no reader: a plain open would wait here
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[1].find("不是普通文件"), std::string::npos) << told[1];

    std::filesystem::remove(app / "bell-log.csv");
    log.Examined(Exam(3, 5, JobOutcome::Locked));
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[2], "");
    EXPECT_EQ(Lines(app / "bell-log.csv").size(), 2u);
}

TEST(BellLog, AFiredBellWaitsForItsProofAndWhatCameMeanwhileFollowsIt) {
    test::TempFolder dir;
    {
        BellLog log(dir.path());
        log.AwaitProof(Exam(0, 4, JobOutcome::Fired));
        log.Examined(Exam(0, 4, JobOutcome::Locked, "眼保健操"));
        EXPECT_FALSE(std::filesystem::exists(dir / "bell-log.csv"));
        log.Proved({23, -6.02, "cap 100%", ""});
        log.AwaitProof(Exam(0, 9, JobOutcome::Fired, "下课"));
        log.Proved({std::nullopt, -std::numeric_limits<double>::infinity(), "fakesink",
                    "no sound output: played into fakesink"});
        log.AwaitProof(Exam(1, 0, JobOutcome::Fired, "放学"));
        log.PlaybackFailed(MakeLocalDateTime({2026, 12, 7}, {10, 40, 1}, 50), "/music/x.mp3", "gone");
    }  // the program ends before the last proof: its line is kept all the same
    const auto lines = Lines(dir / "bell-log.csv");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output");
    EXPECT_EQ(lines[1], "2026-12-07,10:40,2026-12-07 10:40:00.004,4,4,上课,/music/铃声.mp3,fired,23,-6.0,cap 100%");
    EXPECT_EQ(lines[2], "2026-12-07,10:40,2026-12-07 10:40:00.004,4,4,眼保健操,/music/铃声.mp3,locked");
    EXPECT_EQ(lines[3], "2026-12-07,10:40,2026-12-07 10:40:00.009,9,4,下课,/music/铃声.mp3,fired,,-inf,fakesink");
    EXPECT_EQ(lines[4],
              "2026-12-07,10:40,2026-12-07 10:40:00.009,9,4,下课,/music/铃声.mp3,"
              "silent: no sound output: played into fakesink");
    EXPECT_EQ(lines[5], "2026-12-07,10:40,2026-12-07 10:40:01.000,1000,4,放学,/music/铃声.mp3,fired");
    EXPECT_EQ(lines[6], "2026-12-07,,2026-12-07 10:40:01.050,,,,/music/x.mp3,playback-failed: gone");
}

TEST(BellLog, ALogBegunByAnOlderVersionIsSetAsideWhole) {
    test::TempFolder dir;
    const std::string old =
        "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome\n"
        "2026-12-04,10:40,2026-12-04 10:40:00.003,3,4,上课,/music/铃声.mp3,fired\n";
    std::ofstream(dir / "bell-log.csv") << old;
    BellLog log(dir.path());
    log.Examined(Exam(0, 12, JobOutcome::Paused));
    std::stringstream kept;
    kept << std::ifstream(dir / "bell-log.1.csv").rdbuf();
    EXPECT_EQ(kept.str(), old);
    const auto lines = Lines(dir / "bell-log.csv");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], BellLog::kHeader);
    log.Examined(Exam(1, 0, JobOutcome::Paused));
    EXPECT_EQ(Lines(dir / "bell-log.csv").size(), 3u);  // a log of its own is never set aside
}

}  // namespace
}  // namespace lingchao
