#include "bell/bell_thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/running_clock.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using std::chrono::steady_clock;

// Written on the bell's thread, read on the test's.
struct Heard {
    std::mutex mutex;
    std::vector<std::string> files;
    std::vector<std::string> Files() {
        std::lock_guard lock(mutex);
        return files;
    }
};

class HeardPlayer final : public MediaPlayer {
public:
    explicit HeardPlayer(Heard& heard) : heard_(heard) {}
    void SetFileName(const std::string& path) override {
        std::lock_guard lock(heard_.mutex);
        heard_.files.push_back(path);
    }
    std::string FileName() const override { return {}; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}

private:
    Heard& heard_;
};

class NoInhibitor final : public SleepInhibitor {
public:
    void Hold(const std::string&) override {}
    void Release() override {}
};

// A check of today's music that takes as long as it is let: a stop must not wait for it.
class EndlessProbe final : public MediaProbe {
public:
    std::vector<MusicProblem> Check(const std::string&) override { return {}; }
    std::optional<Findings> CheckAll(const std::vector<std::string>&, const CancelToken& cancel) override {
        started = true;
        while (!cancel.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::nullopt;
    }
    std::atomic<bool> started{false};
};

class BellThreadTest : public ::testing::Test {
protected:
    std::unique_ptr<BellThread> StartBell(TimeOfDay start, std::unique_ptr<MediaProbe> probe) {
        auto bell = std::make_unique<BellThread>([&, start, p = probe.release()]() mutable {
            Bell::Parts parts;
            parts.appFolder = dir.path();
            parts.clock = std::make_unique<test::RunningClock>(start);
            parts.makePlayer = [this](auto) { return std::make_unique<HeardPlayer>(heard); };
            parts.probe.reset(p);
            parts.inhibitor = std::make_unique<NoInhibitor>();
            parts.warnings = &warnings;
            return std::make_unique<Bell>(std::move(parts), Bell::Outlets{});
        });
        bell->Post([](Bell& b) { b.Start(); });
        return bell;
    }

    test::TempFolder dir;
    WarningBoard warnings;
    Heard heard;
};

// The windows' thread held up (a huge file parsed, a flood of calls, a modal box) around the minute: the bell
// rings in its minute all the same, while the windows' thread is still busy.
TEST_F(BellThreadTest, RingsOnTheMinuteWhileTheWindowsThreadIsBusy) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}}}));
    auto bell = StartBell({7, 59, 58}, std::make_unique<test::FakeProbe>());
    // This thread handles no event until the bell has rung (or for a minute, far beyond any load).
    const auto limit = steady_clock::now() + std::chrono::seconds(60);
    while (heard.Files().empty() && steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(heard.Files(), std::vector<std::string>{"/m/eight.wav"}) << "the bell waited for the windows' thread";
    QCoreApplication::processEvents();
}

// A stop while today's music is being checked ends the bell at once and lets go of the thread.
TEST_F(BellThreadTest, StopsPromptlyWhileTheMusicCheckRuns) {
    test::WriteAll(dir / "default.dll",
                   test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}}}));
    auto probe = std::make_unique<EndlessProbe>();
    EndlessProbe* running = probe.get();
    auto bell = StartBell({7, 0, 0}, std::move(probe));
    const auto waitUntil = steady_clock::now() + std::chrono::seconds(60);
    while (!running->started && steady_clock::now() < waitUntil)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(running->started);
    const auto before = steady_clock::now();
    bell.reset();
    // Without cancelling, the check would hold the program for ever; a loaded machine still ends in far less.
    EXPECT_LT(steady_clock::now() - before, std::chrono::seconds(10));
}

}  // namespace
}  // namespace lingchao
