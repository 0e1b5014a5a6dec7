#include "bell/signal_runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <fstream>

#include "support/fakes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;

bool TurnEventsUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (!done() && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Answers later on this thread, as the server's answers come.
class FakeVolume final : public OutputVolumeControl {
public:
    void RaiseToFull(std::function<void(const SavedVolume&)> noteBefore,
                     std::function<void(std::optional<SavedVolume>, std::string)> done) override {
        ++raises;
        noteBefore(user);
        if (answer) QTimer::singleShot(0, [this, done] { done(user, ""); });
    }
    void Restore(const SavedVolume& saved, std::function<void(std::string)> done) override {
        restored.push_back(saved);
        QTimer::singleShot(0, [done] { done(""); });
    }
    SavedVolume user{"cap", {26214, 26214}, true};  // 40 %, muted
    bool answer = true;                             // false: the program dies before the server's answer
    int raises = 0;
    std::vector<SavedVolume> restored;
};

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), {}};
}

DrillStep Step(std::string sound, DrillRepeat repeat, DrillAdvance advance, std::string label) {
    return {std::move(sound), repeat, advance, std::move(label), 0};
}

class SignalRunnerTest : public ::testing::Test {
protected:
    std::unique_ptr<SignalRunner> Make() {
        SignalRunner::Parts parts;
        parts.makePlayer = [this] {
            auto player = std::make_unique<test::FakePlayer>();
            fake = player.get();
            return player;
        };
        parts.soundFile = [](const std::string& sound, std::string* why) -> std::string {
            if (sound.starts_with("tone:")) return "/t/" + sound.substr(5) + ".wav";
            *why = "文件不存在";
            return {};
        };
        parts.volume = &volume;
        parts.appFolder = dir.path();
        parts.clock = &clock;
        parts.log = &log;
        parts.warnings = &warnings;
        parts.hold = [this](const std::string& reason) { holds.push_back(reason); };
        return std::make_unique<SignalRunner>(std::move(parts));
    }
    std::vector<std::string> Played() const {
        std::vector<std::string> out;
        for (const auto& c : fake->calls)
            if (c.starts_with("FileName=/t/")) out.push_back(c.substr(12, c.size() - 16));
        return out;
    }
    // The bell log's signal lines, each by its first word ("signal-step").
    std::vector<std::string> Outcomes() const {
        std::ifstream in(log.Path());
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) {
            const auto at = line.find(",signal-");
            if (at != std::string::npos) out.push_back(line.substr(at + 1, line.find_first_of(" :", at) - at - 1));
        }
        return out;
    }
    std::string LogText() const {
        std::ifstream in(log.Path());
        return {std::istreambuf_iterator<char>(in), {}};
    }

    test::TempFolder dir;
    test::FakeClock clock{{2026, 12, 7}, {10, 0, 0}};
    BellLog log{dir.path()};
    WarningBoard warnings;
    FakeVolume volume;
    std::vector<std::string> holds;
    test::FakePlayer* fake = nullptr;
};

TEST_F(SignalRunnerTest, StepsSoundInOrderWhileTheBellsAreHeldAndTheAllClearFollowsTheEnd) {
    auto runner = Make();
    const DrillSignal drill{
        "地震演练",
        DrillKind::Drill,
        false,
        {Step("tone:a", {2, 50, 50, false}, {std::nullopt, true}, "就地避险"),
         Step("tone:b", {1, 0, 0, true}, {std::nullopt, true}, "疏散"), Step("tone:d", {}, {100, false}, "清点"),
         Step("tone:c", {}, {std::nullopt, false, false, true}, "解除")}};
    ASSERT_EQ(runner->Start(drill, "this PC"), "");
    EXPECT_EQ(holds, (std::vector<std::string>{"演练 地震演练"}));
    EXPECT_NE(runner->Start(drill, "command line"), "") << "one signal at a time";
    EXPECT_TRUE(runner->state().waitsForNext);
    ASSERT_TRUE(TurnEventsUntil([&] { return std::count(fake->calls.begin(), fake->calls.end(), "Stop") == 2; }));
    EXPECT_EQ(Played(), (std::vector<std::string>{"a", "a"})) << "two soundings, then quiet until 下一步";
    ASSERT_EQ(runner->Next(), "");
    for (int ends = 0; ends < 2; ++ends) {  // a looping sound starts again each time it ends
        fake->endOfStream();
        ASSERT_TRUE(TurnEventsUntil([&] { return Played().size() == static_cast<std::size_t>(4 + ends); }));
    }
    EXPECT_EQ(runner->state().label, "疏散");
    ASSERT_EQ(runner->Next(), "");
    EXPECT_NE(runner->Next(), "") << "this step waits for its time, not for 下一步";
    // Its time runs out: no step is left before the end, so the all-clear sounds.
    ASSERT_TRUE(TurnEventsUntil([&] { return runner->state().ending; }));
    EXPECT_TRUE(runner->running());
    EXPECT_EQ(holds.size(), 1u) << "the bells stay held through the all-clear";
    fake->endOfStream();
    EXPECT_FALSE(runner->running());
    EXPECT_EQ(Played(), (std::vector<std::string>{"a", "a", "b", "b", "b", "d", "c"}));
    EXPECT_EQ(holds, (std::vector<std::string>{"演练 地震演练", ""}));
    EXPECT_EQ(Outcomes(), (std::vector<std::string>{"signal-start", "signal-step", "signal-next", "signal-step",
                                                    "signal-next", "signal-step", "signal-end-step", "signal-end"}));
    EXPECT_FALSE(std::filesystem::exists(dir / SignalRunner::kRunningFile));
}

TEST_F(SignalRunnerTest, ATimedStepOpensTheNextStepsSoundBeforeItEndsAndTheEndClosesIt) {
    auto runner = Make();
    const DrillSignal drill{"防空警报",
                            DrillKind::Emergency,
                            false,
                            {Step("tone:a", {1, 0, 0, true}, {4500, false}, "预先警报"),
                             Step("tone:b", {1, 0, 0, true}, {std::nullopt, true}, "空袭警报")}};
    ASSERT_EQ(runner->Start(drill, "this PC"), "");
    ASSERT_TRUE(TurnEventsUntil([&] { return runner->state().step == 2; }));
    const auto at = [&](const std::string& call) {
        return std::find(fake->calls.begin(), fake->calls.end(), call) - fake->calls.begin();
    };
    EXPECT_LT(at("Prepare=/t/b.wav"), at("FileName=/t/b.wav")) << testing::PrintToString(fake->calls);
    ASSERT_EQ(runner->End(), "");
    EXPECT_EQ(fake->calls.back(), "Prepare=") << "nothing is left open once it is over";
}

TEST_F(SignalRunnerTest, AnEmergencyRaisesTheVolumeAndGivesItBackAfterTheEndOrAfterACrash) {
    const DrillSignal alarm{"紧急集合", DrillKind::Emergency, true, {Step("tone:集合", {1, 0, 0, true}, {}, "集合")}};
    {
        auto runner = Make();
        ASSERT_EQ(runner->Start(alarm, "command line"), "");
        ASSERT_TRUE(TurnEventsUntil([&] { return std::filesystem::exists(dir / SignalRunner::kVolumeFile); }));
        EXPECT_TRUE(std::filesystem::exists(dir / SignalRunner::kRunningFile));
        ASSERT_EQ(runner->End(), "");
        EXPECT_FALSE(runner->running()) << "no all-clear: 结束 ends it";
        ASSERT_TRUE(TurnEventsUntil([&] { return !std::filesystem::exists(dir / SignalRunner::kVolumeFile); }));
        EXPECT_EQ(volume.restored, (std::vector<SavedVolume>{volume.user}));
    }
    // Killed once the volume was raised, before the server's answer came: the volume was noted before the raise;
    // the next start puts it back and tells what happened.
    {
        volume.answer = false;
        auto runner = Make();
        ASSERT_EQ(runner->Start(alarm, "this PC"), "");
        ASSERT_TRUE(std::filesystem::exists(dir / SignalRunner::kVolumeFile));
        const std::string runningNote = Slurp(dir / SignalRunner::kRunningFile);
        runner.reset();  // as a kill would leave it:
        std::ofstream(dir / SignalRunner::kRunningFile) << runningNote;
        volume.answer = true;
    }
    volume.restored.clear();
    auto after = Make();
    after->RecoverAfterCrash();
    ASSERT_TRUE(TurnEventsUntil([&] { return !std::filesystem::exists(dir / SignalRunner::kVolumeFile); }));
    EXPECT_EQ(volume.restored, (std::vector<SavedVolume>{volume.user}));
    EXPECT_FALSE(std::filesystem::exists(dir / SignalRunner::kRunningFile));
    EXPECT_NE(LogText().find("紧急集合,,signal-end: ended abnormally"), std::string::npos) << LogText();
}

TEST_F(SignalRunnerTest, ASignalWhoseSoundIsMissingDoesNotStartAndHoldsNothing) {
    auto runner = Make();
    const DrillSignal bad{"火灾", DrillKind::Drill, false, {Step("gone.wav", {}, {std::nullopt, true}, "")}};
    const std::string why = runner->Start(bad, "this PC");
    EXPECT_NE(why.find("文件不存在"), std::string::npos) << why;
    EXPECT_FALSE(runner->running());
    EXPECT_TRUE(holds.empty());
    EXPECT_EQ(fake, nullptr) << "no player is made for a signal that does not start";
    EXPECT_TRUE(Outcomes().empty());
}

// Following the campus main's signal: started once, 下一步 passed on only where this PC waits for it, ended with
// the main, and a signal of this PC's own never touched.
TEST(SignalFollow, StartsMovesOnAndEndsWithTheMainButLeavesAPcsOwnSignalAlone) {
    const auto state = [](bool running, const std::string& name, int step, bool waits = false, bool ending = false) {
        SignalState s;
        s.running = running;
        s.signal = name;
        s.step = step;
        s.waitsForNext = waits;
        s.ending = ending;
        return s;
    };
    const SignalState none;
    const SignalState main = state(true, "地震演练", 2);
    EXPECT_EQ(FollowOf(main, none, ""), SignalFollow::Start);
    EXPECT_EQ(FollowOf(main, none, "地震演练"), SignalFollow::Nothing) << "ended here already: not again";
    EXPECT_EQ(FollowOf(main, state(true, "地震演练", 1, true), "地震演练"), SignalFollow::Next);
    EXPECT_EQ(FollowOf(main, state(true, "地震演练", 1, false), "地震演练"), SignalFollow::Nothing) << "timed here";
    EXPECT_EQ(FollowOf(main, state(true, "地震演练", 2, true), "地震演练"), SignalFollow::Nothing);
    EXPECT_EQ(FollowOf(main, state(true, "紧急集合", 1), ""), SignalFollow::Busy);
    EXPECT_EQ(FollowOf(main, state(true, "地震演练", 1, true), ""), SignalFollow::Busy) << "started here by hand";

    const SignalState ended = state(true, "地震演练", 2, false, true);
    EXPECT_EQ(FollowOf(ended, state(true, "地震演练", 2), "地震演练"), SignalFollow::End);
    EXPECT_EQ(FollowOf(none, state(true, "地震演练", 2), "地震演练"), SignalFollow::End);
    EXPECT_EQ(FollowOf(ended, state(true, "地震演练", 2, false, true), "地震演练"), SignalFollow::Nothing);
    EXPECT_EQ(FollowOf(none, state(true, "紧急集合", 1), ""), SignalFollow::Nothing) << "this PC's own goes on";
}

}  // namespace
}  // namespace lingchao
