#include "store/drill_plans.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/file_util.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DrillPlans, ShippedSignalsSurviveTheFileAndARewriteKeepsTheOldOne) {
    test::TempFolder dir;
    const auto file = dir / kDrillsFile;
    std::string failure;
    ASSERT_TRUE(WriteDrills(file, DefaultDrillSignals(), &failure)) << failure;
    const DrillsRead read = ReadDrills(file);
    EXPECT_TRUE(read.problems.empty()) << read.problems.front().why;
    EXPECT_EQ(read.plans, DefaultDrillSignals());
    const std::string first = Slurp(file);

    auto fewer = DefaultDrillSignals();
    fewer.pop_back();
    ASSERT_TRUE(WriteDrills(file, fewer, &failure)) << failure;
    EXPECT_EQ(Slurp(dir / "drills.csv.bak"), first);
    EXPECT_EQ(ReadDrills(file).plans, fewer);
    EXPECT_FALSE(std::filesystem::exists(ScratchPathFor(file)));

    // The national air-raid pattern, as the clock and the player will time it.
    const DrillSignal& raid = read.plans[2];
    EXPECT_EQ(raid.kind, DrillKind::Emergency);
    EXPECT_TRUE(raid.raiseVolume);
    EXPECT_EQ(raid.steps[0].repeat, (DrillRepeat{3, 36000, 24000, false}));
    EXPECT_EQ(raid.steps[1].repeat, (DrillRepeat{15, 6000, 6000, false}));
    EXPECT_EQ(raid.steps[2].repeat, (DrillRepeat{1, 180000, 0, false}));
    EXPECT_TRUE(raid.steps[2].advance.whenSoundEnds);
}

TEST(DrillPlans, EachBadLineIsNamedAndSpoilsOnlyItsOwnSignal) {
    const DrillsRead read = ParseDrills(
        "signal,kind,volume,sound,repeat,advance,label\n"
        "好,演练,,tone:长鸣,loop,120s or next,就地避险\n"  // 2: good
        "A,,,../../etc/passwd,once,next,x\n"               // 3: leaves the music folder
        "B,,,/etc/passwd,once,next,x\n"                    // 4
        "C,,,tone:汽笛,once,next,x\n"                      // 5: no such tone
        "D,,,tone:短鸣,twice,next,x\n"                     // 6: repeat
        "E,,,tone:短鸣,2x,soon,x\n"                        // 7: advance
        "F,,,tone:短鸣,loop,sound,x\n"                     // 8: a loop never ends by itself
        "G,,,tone:短鸣,3601s,next,x\n"                     // 9: over an hour
        "好,紧急,,tone:短鸣,2x,next,x\n"                   // 10: kind differs: 好 is spoiled
        "H,,,tone:短鸣,2x,next\n"                          // 11: six columns
        "好2,drill,,tone:短鸣,2x,next,x\n"                 // 12: good
        "好2,,,tone:解除,once,after-end,解除\n"            // 13: good
        "只有解除,drill,,tone:解除,once,after-end,解除\n"  // 14: nothing sounds before the end
        "I,,,tone:解除,once,after-end,解除\n"              // 15: good so far...
        "I,,,bells/上课铃.wav,2x,end,疏散\n"               // 16: ...but a step after the all-clear
        "# 注释,,,,,,\n"
        "\n");
    ASSERT_EQ(read.plans.size(), 1u);
    EXPECT_EQ(read.plans[0].name, "好2");
    ASSERT_EQ(read.plans[0].steps.size(), 2u);
    EXPECT_EQ(read.plans[0].steps[1].line, 13);
    std::vector<int> lines;
    for (const auto& p : read.problems) lines.push_back(p.line);
    // Each bad line, then each signal left out: 好 (line 2), 只有解除 (14) and I (15).
    EXPECT_EQ(lines, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 2, 14, 15}));
    EXPECT_NE(read.problems[2].why.find("tone:汽笛"), std::string::npos);
}

TEST(DrillPlans, RepeatAndAdvanceReadBackAsWritten) {
    for (const char* text : {"once", "3x", "36s on 24s off 3x", "180s", "loop", "6s on 6s off loop", "180s 2x"}) {
        const auto r = ParseRepeat(text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(RepeatText(*r), text);
    }
    for (const char* text : {"", "0x", "501x", "36s on 3x", "36s on 24s off", "1h", "3x loop", "3601s", "61min"})
        EXPECT_FALSE(ParseRepeat(text)) << text;
    EXPECT_EQ(*ParseRepeat("2min"), (DrillRepeat{1, 120000, 0, false}));
    for (const char* text : {"120s", "next", "120s or next", "sound", "end", "after-end"}) {
        const auto a = ParseAdvance(text);
        ASSERT_TRUE(a) << text;
        EXPECT_EQ(AdvanceText(*a), text);
    }
    EXPECT_EQ(AdvanceText(*ParseAdvance("next or 2min")), "120s or next");
    for (const char* text : {"", "later", "120s or 60s", "next or next", "0s"})
        EXPECT_FALSE(ParseAdvance(text)) << text;
}

TEST(DrillPlans, AFileThatCannotBeReadWholeIsNotUsedAtAll) {
    test::TempFolder dir;
    const auto file = dir / kDrillsFile;
    EXPECT_FALSE(ReadDrills(file).present);
    std::string text = EncodeDrills(DefaultDrillSignals());
    while (text.size() <= kDrillsMaxBytes) text += "# padding padding padding padding padding\n";
    ASSERT_TRUE(ReplaceFileAtomically(file, Bytes(text.begin(), text.end())));
    const DrillsRead read = ReadDrills(file);
    EXPECT_TRUE(read.present);
    EXPECT_TRUE(read.plans.empty());
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(ParseDrills("\xff\xfe garbage").problems.size(), 1u);
}

}  // namespace
}  // namespace lingchao
