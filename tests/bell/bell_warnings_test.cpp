#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "bell/bell.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/running_clock.h"
#include "support/temp_folder.h"

// Warnings whose cause can mend by itself go by themselves: the bell looks again while they are up, and only then.
namespace lingchao {
namespace {

using std::chrono::steady_clock;

// Answers each reading later, as the sound server does, with whatever the test has made the output.
class FakeOutput final : public SoundOutputMonitor {
public:
    void Check() override {
        ++checks;
        QTimer::singleShot(0, [this] {
            if (listener_) listener_(state);
        });
    }
    void SetListener(std::function<void(const SoundOutputState&)> listener) override { listener_ = listener; }

    SoundOutputState state;  // no sound server
    int checks = 0;

private:
    std::function<void(const SoundOutputState&)> listener_;
};

// Rings into nothing; the test tells what was heard of it.
class ProvedPlayer final : public MediaPlayer {
public:
    void SetFileName(const std::string& path) override { fileName = path; }
    std::string FileName() const override { return fileName; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}
    void SetSoundProofHandler(std::function<void(const SoundProof&)> handler) override { prove = handler; }

    std::string fileName;
    std::function<void(const SoundProof&)> prove;
};

class NoInhibitor final : public SleepInhibitor {
public:
    void Hold(const std::string&) override {}
    void Release() override {}
};

SoundOutputState Fit() {
    SoundOutputState s;
    s.server = true;
    s.sinkName = "cap";
    s.volumePercent = 100;
    return s;
}

class BellWarningsTest : public ::testing::Test {
protected:
    void StartBell(TimeOfDay start) {
        auto output = std::make_unique<FakeOutput>();
        output_ = output.get();
        Bell::Parts parts;
        parts.appFolder = dir.path();
        parts.clock = std::make_unique<test::RunningClock>(start);
        parts.makePlayer = [this](auto) {
            auto player = std::make_unique<ProvedPlayer>();
            player_ = player.get();
            return player;
        };
        parts.probe = std::make_unique<test::FakeProbe>();
        parts.inhibitor = std::make_unique<NoInhibitor>();
        parts.soundOutput = std::move(output);
        parts.warnings = &warnings;
        bell_ = std::make_unique<Bell>(std::move(parts), Bell::Outlets{});
        bell_->Start();
    }
    // Runs the bell's events until `done` or for `limit`, far beyond what any load makes it take.
    template <typename Done>
    bool RunUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(40)) {
        const auto end = steady_clock::now() + limit;
        while (!done() && steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done();
    }
    void RingEightInto(SoundProof proof) {
        ASSERT_TRUE(RunUntil([&] { return player_->fileName == "/m/eight.wav"; })) << "the bell did not ring";
        proof.requested = steady_clock::now();
        if (proof.soundStart) proof.soundStart = proof.requested + std::chrono::milliseconds(50);
        player_->prove(proof);
        ASSERT_TRUE(RunUntil([&] { return !warnings.TextOf("silent-bell").empty(); }));
    }

    test::TempFolder dir;
    WarningBoard warnings;
    FakeOutput* output_ = nullptr;
    ProvedPlayer* player_ = nullptr;
    std::unique_ptr<Bell> bell_;
};

TEST_F(BellWarningsTest, AnOutputThatComesBackEndsItsWarningsAndAFitOneIsNotAskedAgain) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}}}));
    StartBell({7, 59, 57});
    ASSERT_TRUE(RunUntil([&] { return warnings.TextOf("sound-output") == "没有声音输出"; }));
    SoundProof intoNothing;  // played, but into a stand-in for an output
    intoNothing.output = "fakesink";
    RingEightInto(intoNothing);
    EXPECT_EQ(warnings.TextOf("silent-bell"), "铃声没有响：08:00 eight（没有声音输出）");

    // The sound server is gone and tells nothing: the bell asks again by itself while the warning is up.
    const int asked = output_->checks;
    ASSERT_TRUE(RunUntil([&] { return output_->checks > asked; })) << "an unfit output was not read again";
    output_->state = Fit();
    const auto back = steady_clock::now();
    ASSERT_TRUE(RunUntil([&] { return warnings.Empty(); })) << warnings.Text();
    // Measured, not asserted: a loaded machine may take longer than the program's own few seconds.
    std::cout << "warnings cleared "
              << std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - back).count()
              << " ms after the output came back\n";

    // Fit, no bell ahead: the output is not read again.
    const int idle = output_->checks;
    RunUntil([] { return false; }, std::chrono::seconds(6));
    EXPECT_EQ(output_->checks, idle);
}

TEST_F(BellWarningsTest, ANearlySilentFileIsNotMendedByAFitOutput) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}}}));
    StartBell({7, 59, 58});
    output_->state = Fit();
    SoundProof quiet;
    quiet.realOutput = true;
    quiet.output = "cap";
    quiet.soundStart = steady_clock::time_point{};
    quiet.measuredSeconds = 10;  // peak -inf: digital silence
    RingEightInto(quiet);
    const int asked = output_->checks;
    bell_->MusicFolderChanged();  // a self-check, and with it a reading of the output
    ASSERT_TRUE(RunUntil([&] { return output_->checks > asked; }));
    RunUntil([] { return false; }, std::chrono::seconds(1));
    EXPECT_EQ(warnings.TextOf("silent-bell"), "铃声没有响：08:00 eight（铃声几乎无声）");
}

TEST_F(BellWarningsTest, FilesMendedFromOutsideEndTheirWarnings) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}}}));
    // exit.dll cannot be read (a folder in its place); tomorrow's group is missing.
    std::filesystem::create_directories(dir / "exit.dll");
    std::filesystem::create_directories(dir / "job");
    const std::string calendar = "first_date,last_date,kind,argument,note\n2026-12-08,2026-12-08,group,考试.sav,\n";
    test::WriteAll(dir / "calendar.csv", std::vector<std::uint8_t>(calendar.begin(), calendar.end()));
    // A drills file with a damaged line: its plan is gone until the line is mended.
    const std::string drills = "signal,kind,volume,sound,repeat,advance,label\n火灾,drill,,tone:警报,loop,soon,疏散\n";
    test::WriteAll(dir / "drills.csv", std::vector<std::uint8_t>(drills.begin(), drills.end()));
    StartBell({7, 0, 0});
    ASSERT_FALSE(warnings.TextOf("shutdown-settings").empty());
    ASSERT_FALSE(warnings.TextOf("tomorrow").empty());
    EXPECT_NE(warnings.TextOf("drills").find("drills.csv 第 2 行"), std::string::npos) << warnings.TextOf("drills");
    EXPECT_NE(bell_->StartSignal("火灾", "this PC"), "");

    std::filesystem::remove(dir / "exit.dll");
    test::WriteAll(dir / "exit.dll", std::vector<std::uint8_t>(63, ' '));
    test::WriteAll(dir / "job/考试.sav",
                   test::FixtureGroup({{1, "exam", "08:30", "Everyday", "START", {"/m/exam.wav"}, {}}}));
    EXPECT_TRUE(RunUntil([&] { return warnings.TextOf("shutdown-settings").empty(); }));
    EXPECT_TRUE(RunUntil([&] { return warnings.TextOf("tomorrow").empty(); }));
    const std::string mended = "signal,kind,volume,sound,repeat,advance,label\n火灾,drill,,tone:警报,loop,end,疏散\n";
    test::WriteAll(dir / "drills.csv", std::vector<std::uint8_t>(mended.begin(), mended.end()));
    EXPECT_TRUE(RunUntil([&] { return warnings.TextOf("drills").empty(); }));
}

TEST_F(BellWarningsTest, TheShippedPlansAreWrittenOnceForTheSchoolToEdit) {
    StartBell({7, 0, 0});
    EXPECT_EQ(ReadDrills(dir / "drills.csv").plans, DefaultDrillSignals());
    EXPECT_TRUE(warnings.TextOf("drills").empty());
    const std::string own = "signal,kind,volume,sound,repeat,advance,label\n演练,drill,,tone:短鸣,3x,end,\n";
    test::WriteAll(dir / "drills.csv", std::vector<std::uint8_t>(own.begin(), own.end()));
    bell_.reset();
    StartBell({7, 0, 0});
    ASSERT_EQ(bell_->SignalPlans().size(), 1u) << "a school's own file is never written over";
}

}  // namespace
}  // namespace lingchao
