// What the player proves of a bell's sound, heard through a private PulseAudio whose only sink is a null sink:
// when the sound reached the output, how loud it was, which output took it, and why a bell was not heard.
#include <gst/gst.h>

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "player/gst_player.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "support/private_pulse.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using Steady = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = Steady::now() + timeout;
    while (!done()) {
        if (Steady::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Sox(const std::string& args) {
    const std::string command = "sox -n -r 44100 -c 2 " + args + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// 880 Hz at -6 dBFS, starting at its peak: a recording shows whether the very first sample was played.
std::vector<std::int16_t> Cosine(int frames) {
    std::vector<std::int16_t> out;
    for (int k = 0; k < frames; ++k) out.push_back(static_cast<std::int16_t>(16384 * std::cos(2 * M_PI * 880 * k / 44100)));
    return out;
}

void WriteWav(const std::filesystem::path& file, const std::vector<std::int16_t>& mono) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&bytes](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto data = static_cast<std::uint32_t>(mono.size() * 4);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put(36 + data, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put(data, 4);
    for (const std::int16_t v : mono) put(static_cast<std::uint16_t>(v), 2), put(static_cast<std::uint16_t>(v), 2);
    test::WriteAll(file, bytes);
}

// Where in `played` (left channel of a recording) the first sound begins, and how far the following samples
// stray from `bell`'s first ones.
struct Onset {
    std::optional<std::size_t> at;
    int worst = 0;
};
Onset FindOnset(const std::vector<std::int16_t>& recording, const std::vector<std::int16_t>& bell) {
    Onset onset;
    for (std::size_t i = 0; i < recording.size() / 2; ++i) {
        if (std::abs(recording[2 * i]) > 100) {
            onset.at = i;
            break;
        }
    }
    if (!onset.at) return onset;
    for (std::size_t k = 0; k < 1000 && 2 * (*onset.at + k) < recording.size(); ++k) {
        onset.worst = std::max(onset.worst, std::abs(recording[2 * (*onset.at + k)] - bell[k]));
    }
    return onset;
}

class SoundProofTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is needed to make test media";
        if (!pulse.problem().empty()) GTEST_SKIP() << pulse.problem();
        test::WriteAll(folder / "null.dll", {});
    }

    void MakePlayer(const std::string& audioSink = "") {
        GstPlayerOptions options;
        options.nullMediaPath = (folder / "null.dll").string();
        options.audioSink = audioSink;
        player = std::make_unique<GstPlayer>(options);
        player->SetSoundProofHandler([this](const SoundProof& p) { proofs.push_back(p); });
        player->SetEndOfStreamHandler([this] { EndOfStream(*player, (folder / "null.dll").string()); });
    }

    // Plays `file` as a bell would and returns its proof.
    SoundProof Ring(const std::filesystem::path& file) {
        const std::size_t before = proofs.size();
        player->SetFileName(file.string());
        EXPECT_TRUE(WaitFor([&] { return proofs.size() > before; })) << "no proof of sound";
        return proofs.size() > before ? proofs.back() : SoundProof{};
    }

    test::PrivatePulse pulse;
    test::TempFolder folder;
    std::unique_ptr<GstPlayer> player;
    std::vector<SoundProof> proofs;
};

TEST_F(SoundProofTest, AToneAtMinusSixDbfsIsHeardAtItsLevelOnTheServersSink) {
    Sox("'" + (folder / "tone.wav").string() + "' synth 1.5 sine 880 vol 0.5");
    MakePlayer();
    const SoundProof proof = Ring(folder / "tone.wav");
    EXPECT_EQ(proof.fileName, (folder / "tone.wav").string());
    ASSERT_TRUE(proof.soundStart.has_value());
    EXPECT_GE(*proof.soundStart, proof.requested);
    EXPECT_NEAR(proof.peakDbfs, -6.0, 0.5);
    EXPECT_NEAR(proof.measuredSeconds, 1.5, 0.15);  // the whole tone: it is shorter than 10 s
    EXPECT_EQ(proof.output, "cap");
    EXPECT_TRUE(proof.realOutput);
    EXPECT_EQ(proof.problem, "");
    EXPECT_EQ(JudgeSilence(proof, nullptr).reason, "");
}

TEST_F(SoundProofTest, ABellIsHeardFromItsFirstSample) {
    const std::vector<std::int16_t> bell = Cosine(44100);
    WriteWav(folder / "cosine.wav", bell);
    MakePlayer();
    pulse.StartRecording();
    const SoundProof proof = Ring(folder / "cosine.wav");
    ASSERT_TRUE(WaitFor([&] { return player->state() == GstPlayer::State::Empty; }));
    const Onset onset = FindOnset(pulse.StopRecording(), bell);
    ASSERT_TRUE(onset.at.has_value()) << "nothing heard";
    EXPECT_LE(onset.worst, 2) << "the bell did not begin with its first sample";
    EXPECT_TRUE(proof.soundStart.has_value());
}

TEST_F(SoundProofTest, ALongBellIsProvedAfterItsFirstTenSeconds) {
    Sox("'" + (folder / "long.wav").string() + "' synth 14 sine 440 vol 0.25");
    MakePlayer();
    const SoundProof proof = Ring(folder / "long.wav");
    EXPECT_GE(proof.measuredSeconds, 10.0);
    EXPECT_LT(proof.measuredSeconds, 11.0);
    EXPECT_NEAR(proof.peakDbfs, -12.0, 0.5);
    EXPECT_EQ(player->state(), GstPlayer::State::Playing);  // the proof does not end the bell
}

struct SilentCase {
    const char* name;
    const char* sox;        // how the file is made ("" for none)
    const char* audioSink;  // "" for the sound server
    const char* reason;     // start of the reason
};

class SilentBells : public SoundProofTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentBells, AreToldWithTheirReason) {
    const std::filesystem::path file = folder / "bell.wav";
    if (*GetParam().sox != '\0') Sox("'" + file.string() + "' " + GetParam().sox);
    MakePlayer(GetParam().audioSink);
    const SoundProof proof = Ring(file);
    const Silence silence = JudgeSilence(proof, nullptr);
    EXPECT_TRUE(silence.reason.starts_with(GetParam().reason)) << silence.reason;
    EXPECT_FALSE(silence.text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SilentBells,
    ::testing::Values(SilentCase{"DigitalSilence", "synth 1 sine 880 vol 0", "", "peak -inf dBFS is under -50 dBFS"},
                      SilentCase{"Whisper", "synth 1 sine 880 vol 0.001", "", "peak -60.0 dBFS is under -50 dBFS"},
                      SilentCase{"NoSoundOutput", "synth 1 sine 880 vol 0.5", "fakesink sync=true",
                                 "no sound output: played into fakesink"},
                      SilentCase{"MissingFile", "", "", "not played: "}),
    [](const ::testing::TestParamInfo<SilentCase>& row) { return std::string(row.param.name); });

TEST_F(SoundProofTest, AMutedOutputSilencesAnotherwiseGoodBell) {
    Sox("'" + (folder / "tone.wav").string() + "' synth 0.5 sine 880 vol 0.5");
    MakePlayer();
    const SoundProof proof = Ring(folder / "tone.wav");
    SoundOutputState muted;
    muted.server = true;
    muted.sinkName = "cap";
    muted.volumePercent = 100;
    muted.muted = true;
    EXPECT_EQ(JudgeSilence(proof, &muted).reason, "the output is muted");
}

TEST_F(SoundProofTest, EachMediumStartedHasOneProofAndStoppingEndsIt) {
    Sox("'" + (folder / "long.wav").string() + "' synth 8 sine 440 vol 0.5");
    MakePlayer();
    player->SetFileName((folder / "long.wav").string());
    ASSERT_TRUE(WaitFor([&] { return player->state() == GstPlayer::State::Playing; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCoreApplication::processEvents();
    player->Stop();
    ASSERT_TRUE(WaitFor([&] { return proofs.size() == 1; }));
    EXPECT_TRUE(proofs[0].soundStart.has_value());
    EXPECT_LT(proofs[0].measuredSeconds, 8.0);
    player->SetFileName((folder / "null.dll").string());  // releasing starts nothing: no proof
    player->Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCoreApplication::processEvents();
    EXPECT_EQ(proofs.size(), 1u);
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (!lingchao::InitPlayerBackend(&argc, &argv)) {
        std::fprintf(stderr, "GStreamer is not usable\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    gst_deinit();
    return result;
}
