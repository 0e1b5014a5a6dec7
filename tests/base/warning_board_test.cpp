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

}  // namespace
}  // namespace lingchao
