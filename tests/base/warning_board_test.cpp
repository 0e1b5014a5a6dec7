#include "base/warning_board.h"

#include <gtest/gtest.h>

#include <vector>

namespace lingchao {
namespace {

TEST(WarningBoard, ShowsEverySourceInTheOrderItFirstSpokeAndTellsOnlyChanges) {
    WarningBoard board;
    std::vector<std::string> shown;
    board.SetListener([&](const std::string& text) { shown.push_back(text); });

    board.Set("self-check", "今日有铃声无法播放：\n1 上课");
    board.Set("sound-output", "声音已静音");
    board.Set("self-check", "今日有铃声无法播放：\n1 上课");  // same text: nothing to tell
    EXPECT_EQ(board.Text(), "今日有铃声无法播放：\n1 上课\n\n声音已静音");

    board.Set("self-check", "今日有铃声无法播放：\n2 下课");  // a changed text keeps its place
    EXPECT_EQ(board.Text(), "今日有铃声无法播放：\n2 下课\n\n声音已静音");
    board.Clear("self-check");
    board.Clear("never-set");
    EXPECT_EQ(board.Text(), "声音已静音");
    EXPECT_EQ(board.TextOf("sound-output"), "声音已静音");
    board.Clear("sound-output");
    EXPECT_TRUE(board.Empty());

    EXPECT_EQ(shown,
              (std::vector<std::string>{"今日有铃声无法播放：\n1 上课", "今日有铃声无法播放：\n1 上课\n\n声音已静音",
                                        "今日有铃声无法播放：\n2 下课\n\n声音已静音", "声音已静音", ""}));
}

TEST(WarningBoard, UrgentOutweighsAdviceAndEveryClearingIsLogged) {
    WarningBoard board;
    EXPECT_EQ(board.Level(), WarningLevel::None);
    testing::internal::CaptureStderr();
    board.Set("clock-sync", "系统时间未同步，铃声可能不准", true);
    board.Set("found-by-name", "已按文件名找到", true);
    EXPECT_EQ(board.Level(), WarningLevel::Advice);
    board.Set("sound-output", "声音已静音");
    EXPECT_EQ(board.Level(), WarningLevel::Urgent);
    board.Set("a-source-not-yet-weighed", "x");
    board.Clear("sound-output");
    EXPECT_EQ(board.Level(), WarningLevel::Urgent);  // unknown keys are never played down
    board.Clear("a-source-not-yet-weighed");
    EXPECT_EQ(board.Level(), WarningLevel::Advice);
    board.Set("found-by-name", "", true);  // logged in detail by its source when set, yet its end is told here
    board.Clear("clock-sync");
    EXPECT_EQ(board.Level(), WarningLevel::None);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.find("warning (clock-sync)"), std::string::npos) << log;
    for (const char* line : {"warning (sound-output): 声音已静音", "warning cleared (sound-output)",
                             "warning cleared (found-by-name)", "warning cleared (clock-sync)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    for (const char* urgent : {"self-check", "silent-bell", "timetable", "save-failed", "bell-log", "calendar"})
        EXPECT_EQ(WarningBoard::LevelOf(urgent), WarningLevel::Urgent) << urgent;
}

TEST(WarningBoard, RunsTheRechecksOfTheKeysUpOnly) {
    WarningBoard board;
    std::vector<std::string> looked;
    board.SetRecheck("clock-sync", [&] { looked.push_back("clock-sync"); });
    // A re-check may set its key itself: it runs outside the board's lock.
    board.SetRecheck("sound-output", [&] {
        looked.push_back("sound-output");
        board.Clear("sound-output");
    });
    board.RecheckUp();
    board.Set("sound-output", "没有声音输出");
    board.Set("clock-sync", "系统时间未同步");
    board.RecheckUp();
    board.RecheckUp();
    board.SetRecheck("clock-sync", nullptr);
    board.RecheckUp();
    EXPECT_EQ(looked, (std::vector<std::string>{"sound-output", "clock-sync", "clock-sync"}));
}

}  // namespace
}  // namespace lingchao
