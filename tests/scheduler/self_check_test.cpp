#include "scheduler/self_check.h"

#include <gtest/gtest.h>

#include <map>

#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

// Knows which paths are bad; records what it was asked.
class FakeProbe final : public MediaProbe {
public:
    std::vector<MusicProblem> Check(const std::string& path) override {
        asked.push_back(path);
        if (const auto it = bad.find(path); it != bad.end()) return {{0, "", path, it->second}};
        return {};
    }
    std::map<std::string, std::string> bad;
    std::vector<std::string> asked;
};

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
    EXPECT_EQ(probe.asked, (std::vector<std::string>{"/m/a.wav", "/m/wed.wav"}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].jobNo, 3);
    EXPECT_EQ(problems[0].jobName, "上课");
    EXPECT_EQ(problems[0].reason, "文件不存在");
    EXPECT_EQ(problems[1].jobNo, 4);
    EXPECT_EQ(problems[1].reason, "没有设置音乐");
    const std::string text = ProblemsText(problems);
    EXPECT_NE(text.find("任务3 上课：文件不存在 /m/wed.wav"), std::string::npos) << text;
    // On Thursday job 3 plays its main music, which is fine.
    probe.asked.clear();
    EXPECT_EQ(CheckTodaysMusic(dir / "default.dll", 4, probe).size(), 1u);
}

TEST(SelfCheck, NoProblemsGiveNoText) {
    EXPECT_EQ(ProblemsText({}), "");
    FakeProbe probe;
    EXPECT_TRUE(CheckTodaysMusic("/nonexistent/default.dll", 1, probe).empty());
}

}  // namespace
}  // namespace lingchao
