// Raising the output for an emergency signal against a private PulseAudio: the user's volume and mute are read,
// raised to full, and put back as they were, also from the saved text a crashed program leaves behind.
#include "platform/pulse_volume.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>

#include "support/private_pulse.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using Steady = std::chrono::steady_clock;
using namespace std::string_literals;
const std::string kNoServer = "没有声音服务器（PulseAudio/PipeWire）";

// What `pactl ARGS` prints.
std::string PactlOut(const std::string& args) {
    std::string out;
    if (FILE* pipe = popen(("pactl " + args + " 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// The raw channel volumes of "cap" as pactl reports them ("front-left: 26214 /  40% / ...").
std::vector<std::uint32_t> CapVolumes() {
    const std::string text = PactlOut("get-sink-volume cap");
    std::vector<std::uint32_t> volumes;
    const std::regex channel(R"(: (\d+) / +\d+%)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), channel); it != std::sregex_iterator(); ++it) {
        volumes.push_back(static_cast<std::uint32_t>(std::stoul((*it)[1])));
    }
    return volumes;
}

bool CapMuted() { return PactlOut("get-sink-mute cap").find("yes") != std::string::npos; }

// Pumps Qt's events until `answered` holds (far beyond need: the machine may be loaded).
bool WaitFor(const std::function<bool()>& answered) {
    const auto end = Steady::now() + std::chrono::seconds(20);
    while (!answered() && Steady::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return answered();
}

struct Raised {
    int answers = 0;
    std::optional<SavedVolume> before;
    std::string why;
    std::optional<SavedVolume> noted;  // what the note was given, on libpulse's thread
    int answersWhenNoted = -1;
};

Raised Raise(PulseVolumeControl& control) {
    Raised r;
    control.RaiseToFull(
        [&r](const SavedVolume& before) {
            r.noted = before;
            r.answersWhenNoted = r.answers;
        },
        [&r](std::optional<SavedVolume> before, std::string why) {
            ++r.answers;
            r.before = std::move(before);
            r.why = std::move(why);
        });
    EXPECT_EQ(r.answers, 0) << "answered from within the call";
    EXPECT_TRUE(WaitFor([&r] { return r.answers > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(r.answers, 1);
    return r;
}

std::string Restore(PulseVolumeControl& control, const SavedVolume& saved) {
    int answers = 0;
    std::string why = "(no answer)";
    control.Restore(saved, [&](std::string w) {
        ++answers;
        why = std::move(w);
    });
    EXPECT_EQ(answers, 0) << "answered from within the call";
    EXPECT_TRUE(WaitFor([&answers] { return answers > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(answers, 1);
    return why;
}

class PulseVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pulse.problem().empty()) GTEST_SKIP() << pulse.problem();
        ASSERT_TRUE(pulse.Pactl("set-sink-volume cap 40%"));
        ASSERT_TRUE(pulse.Pactl("set-sink-mute cap 1"));
        user = CapVolumes();
        ASSERT_EQ(user.size(), 2U);
        ASSERT_TRUE(CapMuted());
    }

    test::PrivatePulse pulse;
    std::vector<std::uint32_t> user;  // the user's 40 %, as the server keeps it
};

TEST_F(PulseVolumeTest, RaisesToFullAndPutsTheUsersVolumeBack) {
    PulseVolumeControl control;
    const Raised raised = Raise(control);
    ASSERT_TRUE(raised.before) << raised.why;
    EXPECT_EQ(raised.why, "");
    EXPECT_EQ(*raised.before, (SavedVolume{"cap", user, true}));
    EXPECT_EQ(raised.noted, raised.before);
    EXPECT_EQ(raised.answersWhenNoted, 0) << "noted only with the answer: a kill in between loses the volume";
    EXPECT_EQ(CapVolumes(), (std::vector<std::uint32_t>{65536, 65536}));
    EXPECT_FALSE(CapMuted());

    EXPECT_EQ(Restore(control, *raised.before), "");
    EXPECT_EQ(CapVolumes(), user);
    EXPECT_TRUE(CapMuted());
}

TEST_F(PulseVolumeTest, ASavedStateReadBackAfterACrashRestoresToo) {
    std::string file;
    {
        PulseVolumeControl control;
        const Raised raised = Raise(control);
        ASSERT_TRUE(raised.before) << raised.why;
        file = EncodeSavedVolume(*raised.before);
    }  // the program dies with the volume raised
    ASSERT_FALSE(CapMuted());
    const std::optional<SavedVolume> saved = DecodeSavedVolume(file);
    ASSERT_TRUE(saved) << file;
    PulseVolumeControl next;
    EXPECT_EQ(Restore(next, *saved), "");
    EXPECT_EQ(CapVolumes(), user);
    EXPECT_TRUE(CapMuted());
}

TEST_F(PulseVolumeTest, RestoreGoesOnlyToTheNamedSinkAndFitsItsChannels) {
    PulseVolumeControl control;
    EXPECT_EQ(Restore(control, {"gone", {65536, 65536}, false}), "声音输出 gone 已不在");
    EXPECT_EQ(CapVolumes(), user);  // the default sink is not a stand-in
    EXPECT_TRUE(CapMuted());

    // Saved from a mono sink of the same name: each of the two channels gets it.
    EXPECT_EQ(Restore(control, {"cap", {13107}, false}), "");
    EXPECT_EQ(CapVolumes(), (std::vector<std::uint32_t>{13107, 13107}));
    EXPECT_FALSE(CapMuted());
}

TEST_F(PulseVolumeTest, NoServerIsAnAnswerWithTheReasonAndAServerBackWorksAgain) {
    PulseVolumeControl control;
    pulse.Stop();
    const Raised raised = Raise(control);
    EXPECT_FALSE(raised.before);
    EXPECT_EQ(raised.why, kNoServer);
    EXPECT_FALSE(raised.noted) << "nothing read, nothing to put back";
    EXPECT_EQ(Restore(control, {"cap", user, true}), kNoServer);

    pulse.Start();
    ASSERT_TRUE(pulse.problem().empty()) << pulse.problem();
    ASSERT_TRUE(pulse.Pactl("set-sink-volume cap 40%"));
    const Raised again = Raise(control);
    ASSERT_TRUE(again.before) << again.why;
    EXPECT_EQ(again.before->channels, user);
    EXPECT_EQ(raised.answers, 1);  // the failed request said nothing more
}

TEST_F(PulseVolumeTest, AServerThatNeverAnswersCountsAsNone) {
    // A socket that takes connections into its queue and never speaks.
    test::TempFolder folder;
    const std::string path = (folder / "silent").string();
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    const std::string real = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

    PulseVolumeControl control;
    const Raised raised = Raise(control);
    EXPECT_FALSE(raised.before);
    EXPECT_EQ(raised.why, kNoServer);
    close(listener);
    setenv("PULSE_SERVER", real.c_str(), 1);
    EXPECT_EQ(CapVolumes(), user);
    EXPECT_TRUE(CapMuted());
}

TEST(SavedVolumeText, RoundTripsAndRefusesAnythingElse) {
    for (const SavedVolume& saved : {SavedVolume{"cap", {26214, 26214}, true},
                                     SavedVolume{"alsa_output.pci-0000_00_1f.3.analog-stereo", {0}, false},
                                     SavedVolume{"扬声器 (USB)", std::vector<std::uint32_t>(32, 0x7fffffff), false}}) {
        const std::string text = EncodeSavedVolume(saved);
        EXPECT_EQ(DecodeSavedVolume(text), saved) << text;
    }
    EXPECT_EQ(EncodeSavedVolume({"cap", {65536, 65536}, false}), "sink=cap\nchannels=65536,65536\nmuted=0\n");
    EXPECT_EQ(DecodeSavedVolume("sink=cap\nchannels=1\nmuted=1"), (SavedVolume{"cap", {1}, true}));  // cut short

    std::string many = "0";
    for (int i = 1; i < 33; ++i) many += ",0";
    const std::string hostile[] = {
        "",
        "\n",
        "sink=cap\nchannels=1\n",                    // a key missing
        "sink=cap\nchannels=1\nmuted=0\nextra=1\n",  // one too many
        "channels=1\nsink=cap\nmuted=0\n",           // out of order
        "sink=cap\nsink=cap\nmuted=0\n",             // twice
        "sink=\nchannels=1\nmuted=0\n",              // no name
        "sink=ca\tp\nchannels=1\nmuted=0\n",         // control characters in the name
        "sink=cap\r\nchannels=1\nmuted=0\n",
        "sink=c\x7fp\nchannels=1\nmuted=0\n",
        "sink=\xff\xfe\nchannels=1\nmuted=0\n",        // not UTF-8
        "sink=cap\nchannels=\nmuted=0\n",              // no channel
        "sink=cap\nchannels=" + many + "\nmuted=0\n",  // 33 channels
        "sink=cap\nchannels=2147483648\nmuted=0\n",    // beyond the server's largest volume
        "sink=cap\nchannels=99999999999999999999\nmuted=0\n",
        "sink=cap\nchannels=-1\nmuted=0\n",
        "sink=cap\nchannels=+1\nmuted=0\n",
        "sink=cap\nchannels= 1\nmuted=0\n",
        "sink=cap\nchannels=1,,2\nmuted=0\n",
        "sink=cap\nchannels=1,\nmuted=0\n",
        "sink=cap\nchannels=0x10\nmuted=0\n",
        "sink=cap\nchannels=1\nmuted=2\n",
        "sink=cap\nchannels=1\nmuted=\n",
        "sink=cap\nchannels=1\nmuted=0\n\n",
        "sink=" + std::string(5000, 'a') + "\nchannels=1\nmuted=0\n",  // far too long
        "sink=c\0p\nchannels=1\nmuted=0\n"s,
    };
    for (const std::string& text : hostile) EXPECT_FALSE(DecodeSavedVolume(text)) << text;
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
