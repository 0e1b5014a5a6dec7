#include "base/text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lingchao {
namespace {

std::string Lines(int from, int to, const std::string& word = "问题") {
    std::string out;
    for (int i = from; i <= to; ++i) out += (out.empty() ? "" : "\n") + word + std::to_string(i);
    return out;
}

struct CapCase {
    const char* what;
    std::string text;
    std::size_t maxLines;
    std::string want;
};

class CapLinesTest : public ::testing::TestWithParam<CapCase> {};

TEST_P(CapLinesTest, ShowsTheFirstLinesAndCountsTheRest) {
    const CapCase& c = GetParam();
    const std::string capped = CapLines(c.text, c.maxLines);
    EXPECT_EQ(capped, c.want) << c.what;
    EXPECT_EQ(CapLines(capped, c.maxLines), capped) << c.what << ": capping again changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CapLinesTest,
    ::testing::Values(
        CapCase{"empty", "", 20, ""}, CapCase{"within the cap", "a\nb\n", 20, "a\nb\n"},
        CapCase{"one line more than the cap is shown, not replaced by a note", Lines(1, 21), 20, Lines(1, 21)},
        CapCase{"over the cap", Lines(1, 25), 20, Lines(1, 20) + "\n……另有 5 条"},
        CapCase{"blank lines left out are not counted, nor kept at the end", "a\n\nb\n\nc\n\nd\n", 2, "a\n……另有 3 条"},
        CapCase{"only blank lines left out", "a\nb\n\n\n\n", 2, "a\nb"},
        CapCase{"no line at all", Lines(1, 3), 0, "……另有 3 条"},
        CapCase{"a long line is clipped", std::string(300, 'x') + "\nb", 20, std::string(199, 'x') + "…\nb"}),
    [](const auto& row) { return "row" + std::to_string(row.index); });

TEST(CapLines, AHugeListIsCappedWholeCharactersAndAll) {
    const std::string capped = CapLines(Lines(1, 200000, std::string(250, 'x') + "国"), kShownProblemLines);
    EXPECT_EQ(std::count(capped.begin(), capped.end(), '\n'), 20);
    EXPECT_TRUE(capped.starts_with(std::string(199, 'x') + "…\n"));
    EXPECT_TRUE(capped.ends_with("…\n……另有 199980 条"));
    EXPECT_EQ(CapLines("国庆节快乐\n国庆", 5, 4), "国庆节…\n国庆");
}

}  // namespace
}  // namespace lingchao
