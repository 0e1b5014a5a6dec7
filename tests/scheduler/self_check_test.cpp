#include "scheduler/self_check.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FakeProbe;

TEST(SelfCheck, ChecksTodaysMusicOfStartedJobsOnly) {
    test::TempFolder dir;
    test::WriteAll(
        dir / "default.dll",
        test::FixtureGroup(
            {{1, "A", "08:00", "Everyday", "START", {"/m/a.wav"}, {}},
             {2, "B", "09:00", "Everyday", "PAUSE", {"/m/paused.wav"}, {}},
             {3, test::kGbkShangKe, "10:00", "Everyday", "START", {"/m/main.wav", "", "", "/m/wed.wav"}, {1, 0, 0, 1}},
             {4, "D", "11:00", "Everyday", "START", {""}, {}}}));
    FakeProbe probe;
    probe.bad["/m/wed.wav"] = "文件不存在";
    const auto problems = CheckTodaysMusic(dir / "default.dll", 3, probe);
    EXPECT_EQ(probe.Asked(), (std::vector<std::string>{"/m/a.wav", "/m/wed.wav"}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].jobNo, 3);
    EXPECT_EQ(problems[0].jobName, "上课");
    EXPECT_EQ(problems[0].reason, "文件不存在");
    EXPECT_EQ(problems[1].jobNo, 4);
    EXPECT_EQ(problems[1].reason, "没有设置音乐");
    const std::string text = ProblemsText(problems);
    EXPECT_NE(text.find("任务3 上课：文件不存在 /m/wed.wav"), std::string::npos) << text;
    // On Thursday job 3 plays its main music, which is fine.
    EXPECT_EQ(CheckTodaysMusic(dir / "default.dll", 4, probe).size(), 1u);
}

TEST(SelfCheck, NoProblemsGiveNoText) {
    EXPECT_EQ(ProblemsText({}), "");
    FakeProbe probe;
    EXPECT_TRUE(CheckTodaysMusic("/nonexistent/default.dll", 1, probe).empty());
}

// A whole school's day ringing one music list: the list is checked once per pass, not once per job, and each job
// still gets its own line.
TEST(SelfCheck, MusicThatManyJobsNameIsCheckedOncePerPass) {
    test::TempFolder dir;
    std::vector<std::uint8_t> group;
    for (std::int16_t k = 1; k <= 60; ++k) {
        const std::string music = k % 3 == 0 ? "/m/a.wav" : "/m/old.m3u";
        const auto r = test::FixtureRecord({k, "J" + std::to_string(k), "08:00", "Everyday", "START", {music}, {}});
        group.insert(group.end(), r.begin(), r.end());
    }
    test::WriteAll(dir / "default.dll", group);
    FakeProbe probe;
    probe.bad["/m/old.m3u"] = "文件不存在";
    for (int pass = 1; pass <= 2; ++pass) {
        const auto problems = CheckTodaysMusic(dir / "default.dll", 1, probe);
        ASSERT_EQ(problems.size(), 40u);
        EXPECT_EQ(problems[2].jobNo, 4);
        EXPECT_EQ(problems[2].jobName, "J4");
        EXPECT_EQ(problems.back().jobNo, 59);
    }
    EXPECT_EQ(probe.Asked(), (std::vector<std::string>{"/m/old.m3u", "/m/a.wav", "/m/old.m3u", "/m/a.wav"}));

    CancelToken cancel;
    cancel.Cancel();
    EXPECT_FALSE(CheckTodaysMusic(dir / "default.dll", 1, probe, cancel).has_value())
        << "a cancelled pass says nothing";
    EXPECT_EQ(probe.Asked().size(), 4u);
}

}  // namespace
}  // namespace lingchao
