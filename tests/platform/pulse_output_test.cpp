// The output monitor against a private PulseAudio: each warning appears when the output is spoiled, by the
// server's own report of the change, and clears when it is mended.
#include "platform/pulse_output.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "support/private_pulse.h"

namespace lingchao {
namespace {

using Steady = std::chrono::steady_clock;

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pulse.problem().empty()) GTEST_SKIP() << pulse.problem();
        monitor.SetListener([this](const SoundOutputState& s) {
            last = s;
            ++readings;
        });
    }

    // Waits (pumping Qt's events) until the last reading gives `warning`; the reading must come by itself.
    ::testing::AssertionResult Reads(const std::string& warning, int after = -1) {
        const auto end = Steady::now() + std::chrono::seconds(20);
        while (Steady::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (last && readings > after && SoundOutputWarning(*last) == warning) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return ::testing::AssertionFailure()
               << "wanted \"" << warning << "\", last reading: "
               << (last ? "\"" + SoundOutputWarning(*last) + "\" " + SoundOutputText(*last) : "none");
    }

    test::PrivatePulse pulse;
    PulseOutputMonitor monitor;
    std::optional<SoundOutputState> last;
    int readings = 0;
};

TEST_F(PulseOutputTest, EachWarningAppearsAndClearsWhenMended) {
    monitor.Check();
    ASSERT_TRUE(Reads(""));
    EXPECT_EQ(last->sinkName, "cap");
    EXPECT_EQ(SoundOutputText(*last), "cap 100%");

    // Spoiled and mended behind the program's back: the server tells, no Check needed.
    ASSERT_TRUE(pulse.Pactl("set-sink-mute cap 1"));
    EXPECT_TRUE(Reads("声音已静音"));
    EXPECT_EQ(SoundOutputText(*last), "cap 100% muted");
    ASSERT_TRUE(pulse.Pactl("set-sink-mute cap 0"));
    EXPECT_TRUE(Reads(""));

    ASSERT_TRUE(pulse.Pactl("set-sink-volume cap 5%"));
    EXPECT_TRUE(Reads("音量过低：5%"));
    // Checking again reads the output; it never turns the user's volume back up.
    const int before = readings;
    monitor.Check();
    EXPECT_TRUE(Reads("音量过低：5%", before));
    ASSERT_TRUE(pulse.Pactl("set-sink-volume cap 100%"));
    EXPECT_TRUE(Reads(""));
}

TEST_F(PulseOutputTest, NoServerWarnsAndAServerThatComesBackClearsAtTheNextCheck) {
    monitor.Check();
    ASSERT_TRUE(Reads(""));
    pulse.Stop();
    EXPECT_TRUE(Reads("没有声音输出"));  // the connection's end is news of its own
    const int before = readings;
    monitor.Check();
    EXPECT_TRUE(Reads("没有声音输出", before));

    pulse.Start();
    ASSERT_TRUE(pulse.problem().empty()) << pulse.problem();
    monitor.Check();
    EXPECT_TRUE(Reads(""));
    EXPECT_EQ(last->sinkName, "cap");
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
