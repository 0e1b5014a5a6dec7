#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "bell/runtime.h"
#include "platform/precise_wake.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

constexpr CalendarDate kMonday{2026, 12, 7};

// Runs the event loop until `done`, for a minute at most: far beyond any load.
bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
    const auto end = steady_clock::now() + limit;
    while (!done()) {
        if (steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void Spin(std::chrono::milliseconds duration) {
    Until([] { return false; }, duration);
}

// The timerfd itself: an arming comes due once, a new arming replaces the one pending, and a cancel drops even an
// expiry that is waiting to be handled.
TEST(PreciseWakeTest, ComesDueOnceReplacedByANewArmingAndNeverAfterACancel) {
    PreciseWake wake;
    int due = 0;
    wake.SetHandler([&] { ++due; });
    wake.Arm(30ms);
    wake.Arm(60ms);
    ASSERT_TRUE(Until([&] { return due > 0; }));
    EXPECT_FALSE(wake.IsArmed());
    wake.Arm(1ms);
    std::this_thread::sleep_for(50ms);  // it expires while the event loop is not running
    wake.Cancel();
    Spin(300ms);
    EXPECT_EQ(due, 1);
    wake.Arm(0us);  // a delay already over comes due at once
    ASSERT_TRUE(Until([&] { return due == 2; }));
    Spin(100ms);
    EXPECT_EQ(due, 2);
}

class FakeWake final : public WakeTimer {
public:
    void SetHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void Arm(std::chrono::microseconds delay) override { armed = delay; }
    void Cancel() override { armed.reset(); }
    bool IsArmed() const override { return armed.has_value(); }
    void Fire() {
        armed.reset();
        handler_();
    }
    std::optional<std::chrono::microseconds> armed;

private:
    std::function<void()> handler_;
};

// Records what the runtime asks of its player, with the instants it is told to start a bell at.
class SchedulingPlayer final : public MediaPlayer {
public:
    void SetFileName(const std::string& path) override { calls.push_back("FileName=" + (fileName = path)); }
    std::string FileName() const override { return fileName; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}
    void StartPreparedAt(const std::string& path, steady_clock::time_point at) override {
        calls.push_back("StartAt=" + path);
        startAt = at;
    }
    std::string fileName;
    std::vector<std::string> calls;
    steady_clock::time_point startAt;
};

class NoInhibitor final : public SleepInhibitor {
public:
    void Hold(const std::string&) override {}
    void Release() override {}
};

class PreciseStartTest : public ::testing::Test {
protected:
    PreciseStartTest() {
        Runtime::Hooks hooks;
        hooks.afterTick = [this] { ++ticks; };
        runtime.SetHooks(std::move(hooks));
        runtime.OnJobFired([this](const std::string&, const std::string&) { ++fired; });
    }

    void Group(const std::string& oneState) {
        test::WriteAll(dir / "default.dll",
                       test::FixtureGroup({{1, "eight", "08:00", "Everyday", "START", {"/m/eight.wav"}, {}},
                                           {2, "one", "08:01", "Everyday", oneState, {"/m/one.wav"}, {}}}));
    }

    // Sets the clock, then lets the regular tick (real seconds) see it.
    void TickAt(TimeOfDay t, int ms) {
        clock.Set(kMonday, t, ms);
        const int before = ticks;
        ASSERT_TRUE(Until([&] { return ticks > before; }));
    }

    long Rang() const {
        return std::count_if(player.calls.begin(), player.calls.end(),
                             [](const std::string& c) { return c.starts_with("FileName="); });
    }

    test::TempFolder dir;
    test::FakeClock clock{kMonday, {7, 59, 50}};
    SchedulingPlayer player;
    NoInhibitor inhibitor;
    std::unique_ptr<FakeWake> made = std::make_unique<FakeWake>();
    FakeWake& wake = *made;
    Runtime runtime{dir.path(), player, clock, inhibitor, std::move(made)};
    int ticks = 0;
    int fired = 0;
};

// Armed, as the clock reads, for the moment the coming bell is handed to the player ahead of its minute, and again
// when the clock is set; that wake tells the player the minute's instant and arms the tick that rings the bell then
// and there; the regular tick of the same second after it rings nothing more.
TEST_F(PreciseStartTest, TheWakeRingsTheBellAtItsMinuteAndTheRegularTickAfterItDoesNothing) {
    Group("START");
    runtime.Start();
    TickAt({7, 59, 50}, 0);
    EXPECT_FALSE(wake.IsArmed()) << "no bell within five seconds";
    TickAt({7, 59, 56}, 250);
    ASSERT_TRUE(wake.armed);
    EXPECT_EQ(*wake.armed, 3750ms - Runtime::kStartLead);
    TickAt({7, 59, 58}, 900);  // the clock was set forward
    ASSERT_TRUE(wake.armed);
    EXPECT_EQ(*wake.armed, 1100ms - Runtime::kStartLead);

    clock.Set(kMonday, {7, 59, 59}, 850);
    const steady_clock::time_point before = steady_clock::now();
    wake.Fire();
    const steady_clock::time_point after = steady_clock::now();
    ASSERT_EQ(player.calls.back(), "StartAt=/m/eight.wav");
    // The minute's instant, 150 ms on, never before it.
    EXPECT_GE(player.startAt, before + 150ms);
    EXPECT_LE(player.startAt, after + 150ms);
    ASSERT_TRUE(wake.armed);
    // The tick: never before the minute's start, and less than a millisecond after it.
    EXPECT_GE(*wake.armed, 150ms);
    EXPECT_LT(*wake.armed, 151ms);
    EXPECT_EQ(Rang(), 0);

    clock.Set(kMonday, {8, 0, 0}, 0);
    wake.Fire();
    EXPECT_EQ(player.fileName, "/m/eight.wav");
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(wake.IsArmed());
    TickAt({8, 0, 0}, 3);
    EXPECT_EQ(Rang(), 1);
    EXPECT_EQ(fired, 1);

    // 08:01's bell paused before its minute: the wake is called off.
    TickAt({8, 0, 57}, 0);
    EXPECT_TRUE(wake.IsArmed());
    Group("PAUSE");
    TickAt({8, 0, 58}, 0);
    EXPECT_FALSE(wake.IsArmed());
    // Paused after the wake was armed: the player is not told to start it, and the wake is called off.
    Group("START");
    TickAt({8, 0, 59}, 0);
    ASSERT_TRUE(wake.IsArmed());
    Group("PAUSE");
    clock.Set(kMonday, {8, 0, 59}, 800);
    wake.Fire();
    EXPECT_EQ(std::count(player.calls.begin(), player.calls.end(), "StartAt=/m/one.wav"), 0);
    EXPECT_FALSE(wake.IsArmed());
}

}  // namespace
}  // namespace lingchao
