// Real sound through the real player: the audio output is a bin that writes 16-bit stereo WAV files
// (one per item played), which the tests measure.
#include <gst/gst.h>

#include <gtest/gtest.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "player/gst_player.h"
#include "player/music_list.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using Clock = std::chrono::steady_clock;

constexpr const char* kCaps = "audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=44100,channels=2";

struct Sound {
    double seconds = 0;
    double rms = 0;  // of the left channel, full scale = 1
    double peak = 0;
    double frequency = 0;  // from zero crossings of the left channel
};

Sound Measure(const std::filesystem::path& wav) {
    Sound sound;
    if (!std::filesystem::exists(wav)) return sound;
    const std::vector<std::uint8_t> bytes = ReadAll(wav);
    // wavenc writes the data chunk's size only at the end of the stream: take the samples up to the file's end.
    std::size_t at = 12;
    while (at + 8 <= bytes.size() &&
           std::string(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 4) != "data") {
        const std::size_t size = bytes[at + 4] | (bytes[at + 5] << 8) | (bytes[at + 6] << 16) |
                                 (static_cast<std::size_t>(bytes[at + 7]) << 24);
        at += 8 + size + (size & 1);
    }
    if (at + 8 > bytes.size()) return sound;
    at += 8;
    const std::size_t frames = (bytes.size() - at) / 4;
    double sum = 0;
    int crossings = 0;
    int previous = 0;
    std::size_t firstCrossing = 0;
    std::size_t lastCrossing = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto left = static_cast<std::int16_t>(bytes[at + 4 * i] | (bytes[at + 4 * i + 1] << 8));
        const double v = left / 32768.0;
        sum += v * v;
        sound.peak = std::max(sound.peak, std::abs(v));
        const int sign = left > 200 ? 1 : (left < -200 ? -1 : previous);
        if (previous != 0 && sign != previous) {
            if (crossings++ == 0) firstCrossing = i;
            lastCrossing = i;
        }
        previous = sign;
    }
    sound.seconds = static_cast<double>(frames) / 44100.0;
    if (frames > 0) {
        sound.rms = std::sqrt(sum / static_cast<double>(frames));
        // Over the sounding part only: decoders add silence at the start.
        if (crossings > 1)
            sound.frequency = (crossings - 1) / 2.0 / (static_cast<double>(lastCrossing - firstCrossing) / 44100.0);
    }
    return sound;
}

void Pump(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool HasSox() { return std::system("command -v sox >/dev/null 2>&1") == 0; }

void Tone(const std::filesystem::path& file, double seconds, int frequency) {
    const std::string command = "sox -n -r 44100 -c 2 '" + file.string() + "' synth " + std::to_string(seconds) +
                                " sine " + std::to_string(frequency) + " vol 0.5 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void Encode(const std::string& launch) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(launch.c_str(), &error);
    ASSERT_NE(pipeline, nullptr) << (error != nullptr ? error->message : "");
    g_clear_error(&error);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ended = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message != nullptr) gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    ASSERT_TRUE(ended) << launch;
}

void WmaTone(const std::filesystem::path& file, int buffers, int frequency) {
    Encode(
        "audiotestsrc num-buffers=" + std::to_string(buffers) + " freq=" + std::to_string(frequency) +
        " volume=0.5 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! avenc_wmav2 ! asfmux ! filesink location=\"" +
        file.string() + "\"");
}

// Format 0, 96 ticks a quarter at the default 120 bpm: C, E, G as quarters, then the chord for a half.
void Melody(const std::filesystem::path& file) {
    std::vector<std::uint8_t> track = {0x00, 0xC0, 0x00};
    for (std::uint8_t note : {60, 64, 67}) {
        const std::vector<std::uint8_t> pair = {0x00, 0x90, note, 0x64, 0x60, 0x80, note, 0x40};
        track.insert(track.end(), pair.begin(), pair.end());
    }
    const std::vector<std::uint8_t> chord = {0x00, 0x90, 60,   0x64, 0x00, 0x90, 64,   0x64, 0x00, 0x90,
                                             67,   0x64, 0x81, 0x40, 0x80, 60,   0x40, 0x00, 0x80, 64,
                                             0x40, 0x00, 0x80, 67,   0x40, 0x00, 0xFF, 0x2F, 0x00};
    track.insert(track.end(), chord.begin(), chord.end());
    std::vector<std::uint8_t> smf = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 'M', 'T', 'r', 'k', 0, 0};
    smf.push_back(static_cast<std::uint8_t>(track.size() >> 8));
    smf.push_back(static_cast<std::uint8_t>(track.size()));
    smf.insert(smf.end(), track.begin(), track.end());
    WriteAll(file, smf);
}

bool OpenInThisProcess(const std::filesystem::path& file) {
    const std::filesystem::path wanted = std::filesystem::canonical(file);
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        if (std::filesystem::read_symlink(fd.path(), linkError) == wanted) return true;
    }
    return false;
}

class GstPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasSox()) GTEST_SKIP() << "sox is needed to make test media";
        std::filesystem::create_directories(out);
        std::filesystem::create_directories(music);
        WriteAll(music / "null.dll", {});
    }

    // Writes as fast as it decodes; `realTime` paces it by the clock, as a sound card would.
    void MakePlayer(bool realTime = false) {
        GstPlayerOptions options;
        options.nullMediaPath = NullMediaPath(folder.path());
        options.audioSink = std::string(kCaps) + " ! wavenc ! filesink sync=" + (realTime ? "true" : "false") +
                            " location=\"" + (out / "item-{n}.wav").string() + "\"";
        options.onFailure = [this](const std::string& path, const std::string& reason) {
            failures.push_back(path);
            reasons.push_back(reason);
        };
        player = std::make_unique<GstPlayer>(options);
        player->SetSoundProofHandler([this](const SoundProof& p) { proofs.push_back(p); });
        // Counted after the commands' handler ran, as the program sees it.
        player->SetEndOfStreamHandler([this] {
            ++ends;
            ended.push_back(player->FileName());
            EndOfStream(*player, NullMediaPath(folder.path()));
        });
    }

    Sound Item(int n) const { return Measure(out / ("item-" + std::to_string(n) + ".wav")); }
    bool Ended() const { return ends > 0; }
    // Whether `file` has ended; an end of what was loaded before it would have come first.
    bool EndedWith(const std::string& file) const { return std::find(ended.begin(), ended.end(), file) != ended.end(); }

    TempFolder folder;
    std::filesystem::path out = folder / "out";
    std::filesystem::path music = folder / "music";
    std::unique_ptr<GstPlayer> player;
    int ends = 0;
    std::vector<std::string> ended;     // the medium loaded at each end
    std::vector<std::string> failures;  // what the bell log would record
    std::vector<std::string> reasons;
    std::vector<SoundProof> proofs;
};

struct FormatCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    const char* file;
    double seconds;
};

class GstPlayerFormats : public GstPlayerTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(GstPlayerFormats, AToneIsHeardForItsLength) {
    const std::filesystem::path media = folder / GetParam().file;
    GetParam().make(media);
    MakePlayer();
    player->SetFileName(media.string());
    EXPECT_EQ(player->FileName(), media.string());
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    const Sound sound = Item(1);
    EXPECT_NEAR(sound.seconds, GetParam().seconds, 0.12);
    EXPECT_GT(sound.rms, 0.2);
    EXPECT_NEAR(sound.frequency, 880, 30);
    EXPECT_EQ(player->FileName(), NullMediaPath(folder.path()));
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
    // Measured, and a file is no loudspeaker.
    ASSERT_TRUE(WaitFor([this] { return !proofs.empty(); }));
    EXPECT_EQ(proofs.size(), 1u);
    EXPECT_NEAR(proofs[0].peakDbfs, -6.0, 0.6);
    EXPECT_NEAR(proofs[0].measuredSeconds, GetParam().seconds, 0.15);
    EXPECT_EQ(proofs[0].output, "filesink");
    EXPECT_FALSE(proofs[0].realOutput);
}

INSTANTIATE_TEST_SUITE_P(Media, GstPlayerFormats,
                         ::testing::Values(FormatCase{"Wav", [](const auto& f) { Tone(f, 1.0, 880); }, "tone.wav", 1.0},
                                           FormatCase{"Mp3", [](const auto& f) { Tone(f, 1.0, 880); }, "tone.mp3", 1.0},
                                           FormatCase{"Wma", [](const auto& f) { WmaTone(f, 43, 880); }, "tone.wma",
                                                      43 * 1024 / 44100.0}),
                         [](const ::testing::TestParamInfo<FormatCase>& row) { return std::string(row.param.name); });

TEST_F(GstPlayerTest, AMidiFileIsHeard) {
    Melody(folder / "melody.mid");
    MakePlayer();
    player->SetFileName((folder / "melody.mid").string());
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    const Sound sound = Item(1);
    EXPECT_GT(sound.seconds, 2.0);
    EXPECT_GT(sound.peak, 0.1) << "MIDI too quiet";
    EXPECT_GT(sound.rms, 0.01);
}

TEST_F(GstPlayerTest, AMusicListPlaysItsEntriesInOrderAndEndsOnce) {
    Tone(music / "低音.wav", 0.6, 440);
    Tone(folder / "high.wav", 0.4, 880);
    const std::string list = (music / "课间.m3u").string();
    ASSERT_TRUE(WriteMusicList(list, {"#EXTM3U", "#EXTINF:1,低音", "低音.wav", "", (music / "gone.wav").string(),
                                      (folder / "high.wav").string()}));
    ASSERT_TRUE(WriteMusicList((music / "bad.m3u").string(), {"gone1.wav"}));
    MakePlayer();
    player->SetFileName(list);
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    EXPECT_EQ(player->FileName(), NullMediaPath(folder.path()));
    // A list of nothing playable ends at once and writes no item. The player's ends reach this thread's event
    // loop in the order they were posted: any later end or item of the first list would have come before its end.
    const std::string bad = (music / "bad.m3u").string();
    player->SetFileName(bad);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(bad); }));
    EXPECT_EQ(ended, (std::vector<std::string>{list, bad}));
    EXPECT_NEAR(Item(1).frequency, 440, 20);
    EXPECT_NEAR(Item(1).seconds, 0.6, 0.05);
    EXPECT_NEAR(Item(2).frequency, 880, 30);
    EXPECT_NEAR(Item(2).seconds, 0.4, 0.05);
    EXPECT_FALSE(std::filesystem::exists(out / "item-3.wav"));
}

TEST_F(GstPlayerTest, PauseThenPlayGoesOnFromTheSamePlace) {
    Tone(folder / "tone.wav", 1.5, 880);
    MakePlayer(true);
    const auto start = Clock::now();
    player->SetFileName((folder / "tone.wav").string());
    Pump(std::chrono::milliseconds(600));
    player->Pause();
    EXPECT_EQ(player->state(), GstPlayer::State::Paused);
    Pump(std::chrono::milliseconds(1000));
    player->Play();
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(wall, 2.4) << "did not halt while paused";
    EXPECT_NEAR(Item(1).seconds, 1.5, 0.1) << "restarted or skipped instead of resuming";
    EXPECT_FALSE(std::filesystem::exists(out / "item-2.wav"));
}

TEST_F(GstPlayerTest, StopClosesTheFileAndPlayStartsAgain) {
    const std::filesystem::path tone = folder / "long.wav";
    Tone(tone, 5, 440);
    Tone(folder / "short.wav", 0.3, 880);
    Tone(folder / "second.wav", 1, 880);
    MakePlayer(true);
    player->SetFileName(tone.string());
    ASSERT_TRUE(WaitFor([this] { return Item(1).seconds > 0.05; })) << "never sounded";
    EXPECT_TRUE(OpenInThisProcess(tone));
    player->Stop();
    EXPECT_FALSE(OpenInThisProcess(tone));
    EXPECT_EQ(player->FileName(), tone.string());
    EXPECT_EQ(player->state(), GstPlayer::State::Idle);
    const double stoppedAt = Item(1).seconds;
    EXPECT_LT(stoppedAt, 4.0);  // well before the end of the 5 s tone, however slow the machine
    {
        // Another player's second of tone, paced by the clock as this one was, played to its end: sound that went
        // on after Stop would have been written meanwhile, more than the file's write buffer holds.
        GstPlayerOptions options;
        options.audioSink =
            std::string(kCaps) + " ! wavenc ! filesink sync=true location=\"" + (folder / "other.wav").string() + "\"";
        GstPlayer other(options);
        bool otherEnded = false;
        other.SetEndOfStreamHandler([&otherEnded] { otherEnded = true; });
        other.SetFileName((folder / "second.wav").string());
        ASSERT_TRUE(WaitFor([&otherEnded] { return otherEnded; }));
    }
    EXPECT_EQ(Item(1).seconds, stoppedAt) << "sound went on after Stop";

    player->Play();
    ASSERT_TRUE(WaitFor([this] { return Item(2).seconds > 0.05; })) << "Play did not start it again";
    EXPECT_TRUE(OpenInThisProcess(tone));
    // The menu's stop: released, and Play then has nothing to play.
    StopSequence(*player, NullMediaPath(folder.path()));
    EXPECT_FALSE(OpenInThisProcess(tone));
    player->Play();
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
    // The next medium played is the third item and the first to end.
    const std::string next = (folder / "short.wav").string();
    player->SetFileName(next);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(next); }));
    EXPECT_EQ(ended, std::vector<std::string>{next});
    EXPECT_NEAR(Item(3).frequency, 880, 30);
    EXPECT_FALSE(std::filesystem::exists(out / "item-4.wav"));
}

// A prepared medium waits in front of its output until it is set: nothing of it is written before, the very
// pipeline prepared plays it (item 1, no second one built), one dropped unplayed or started ahead of an instant
// and stopped before it leaves its output empty, and a prepared file that cannot play is told once, when it is set.
TEST_F(GstPlayerTest, APreparedMediumWaitsInFrontOfItsOutputUntilItIsSet) {
    Tone(folder / "bell.wav", 0.5, 880);
    Tone(folder / "other.wav", 0.3, 440);
    WriteAll(folder / "fake.mp3", std::vector<std::uint8_t>(4096, 0x5A));
    const std::string bell = (folder / "bell.wav").string(), other = (folder / "other.wav").string();
    MakePlayer(true);  // the output keeps time: one started ahead waits for its instant
    player->Prepare(bell);
    ASSERT_TRUE(WaitFor([this] { return player->PreparedAndWaiting(); }));
    EXPECT_EQ(Item(1).seconds, 0.0) << "the prepared medium reached its output before it was set";
    // Set without being started ahead: opened anew, whole, on an output of its own.
    player->SetFileName(bell);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(bell); }));
    EXPECT_EQ(Item(1).seconds, 0.0) << "the held pipeline was let through";
    EXPECT_NEAR(Item(2).seconds, 0.5, 0.05);
    EXPECT_NEAR(Item(2).frequency, 880, 30);

    player->Prepare(bell);
    ASSERT_TRUE(WaitFor([this] { return player->PreparedAndWaiting(); }));
    player->SetFileName(other);
    EXPECT_FALSE(player->PreparedAndWaiting());
    ASSERT_TRUE(WaitFor([&] { return EndedWith(other); }));
    EXPECT_EQ(Item(3).seconds, 0.0) << "a prepared medium dropped unplayed was heard";
    EXPECT_NEAR(Item(4).frequency, 440, 30);

    // Started ahead of an instant, then stopped before it: it never reaches its output.
    player->Prepare(bell);
    ASSERT_TRUE(WaitFor([this] { return player->PreparedAndWaiting(); }));
    player->StartPreparedAt(bell, Clock::now() + std::chrono::seconds(5));
    player->Stop();
    EXPECT_FALSE(player->PreparedAndWaiting());
    player->SetFileName(other);
    ASSERT_TRUE(WaitFor([&] { return ended.size() == 3; }));
    EXPECT_EQ(Item(5).seconds, 0.0) << "a bell stopped before its instant was heard";
    EXPECT_NEAR(Item(6).frequency, 440, 30);

    player->Prepare((folder / "fake.mp3").string());
    player->SetFileName((folder / "fake.mp3").string());
    ASSERT_TRUE(WaitFor([this] { return !failures.empty(); }));
    ASSERT_TRUE(WaitFor([this] { return proofs.size() == 4; }));
    EXPECT_EQ(failures, std::vector<std::string>{(folder / "fake.mp3").string()});
    EXPECT_FALSE(proofs.back().soundStart.has_value());
}

TEST_F(GstPlayerTest, TheNullMediaFileReleasesThePreviousMedium) {
    const std::filesystem::path tone = folder / "long.wav";
    Tone(tone, 5, 440);
    Tone(folder / "short.wav", 0.3, 880);
    MakePlayer(true);
    player->SetFileName(tone.string());
    ASSERT_TRUE(WaitFor([&] { return OpenInThisProcess(tone) && Item(1).seconds > 0.05; }));
    player->SetFileName(NullMediaPath(folder.path()));
    EXPECT_FALSE(OpenInThisProcess(tone));
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
    player->Play();
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
    // The next medium played is the second item and the first to end.
    const std::string next = (folder / "short.wav").string();
    player->SetFileName(next);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(next); }));
    EXPECT_EQ(ended, std::vector<std::string>{next});
    EXPECT_NEAR(Item(2).frequency, 880, 30);
    EXPECT_FALSE(std::filesystem::exists(out / "item-3.wav"));
}

TEST_F(GstPlayerTest, AnyEmptyFileReleasesLikeTheNullMediaFile) {
    const std::filesystem::path tone = folder / "long.wav";
    Tone(tone, 5, 440);
    WriteAll(folder / "other-null.dll", {});
    player = std::make_unique<GstPlayer>(GstPlayerOptions{
        {},
        std::string(kCaps) + " ! wavenc ! filesink sync=true location=\"" + (out / "item-{n}.wav").string() + "\"",
        {},
        {}});
    player->SetFileName(tone.string());
    ASSERT_TRUE(WaitFor([&] { return OpenInThisProcess(tone) && Item(1).seconds > 0.05; }));
    player->SetFileName((folder / "other-null.dll").string());
    EXPECT_FALSE(OpenInThisProcess(tone));
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
}

TEST_F(GstPlayerTest, PlayWithNothingLoadedDoesNothing) {
    Tone(folder / "short.wav", 0.3, 880);
    MakePlayer();
    player->Play();
    player->Pause();
    player->Stop();
    EXPECT_EQ(player->FileName(), "");
    EXPECT_EQ(player->state(), GstPlayer::State::Empty);
    // The first medium played after them is the first item and the first to end.
    const std::string next = (folder / "short.wav").string();
    player->SetFileName(next);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(next); }));
    EXPECT_EQ(ended, std::vector<std::string>{next});
    EXPECT_NEAR(Item(1).frequency, 880, 30);
    EXPECT_FALSE(std::filesystem::exists(out / "item-2.wav"));
}

TEST_F(GstPlayerTest, AWindowsStylePathIsPlayedWithSlashes) {
    std::filesystem::create_directories(folder / "铃声");
    Tone(folder / "铃声" / "上课.wav", 0.3, 880);
    const std::string windowsStyle = folder.path().string() + "\\铃声\\上课.wav";
    MakePlayer();
    player->SetFileName(windowsStyle);
    EXPECT_EQ(player->FileName(), windowsStyle);
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    EXPECT_NEAR(Item(1).seconds, 0.3, 0.05);
}

class GstPlayerUnplayable : public GstPlayerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(GstPlayerUnplayable, PlaysNothingAndThePlayerStillWorks) {
    const std::string kind = GetParam();
    WriteAll(folder / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteAll(folder / "fake.mp3", std::vector<std::uint8_t>(4096, 0x5A));
    WriteAll(music / "empty.m3u", {});
    std::string path;
    if (kind == "missing") path = (folder / "none.wav").string();
    if (kind == "empty") path = "";
    if (kind == "folder") path = folder.path().string();
    if (kind == "text") path = (folder / "notes.txt").string();
    if (kind == "garbage") path = (folder / "fake.mp3").string();
    if (kind == "uri") path = "file://" + (folder / "notes.txt").string();
    if (kind == "pipeline") path = "audiotestsrc ! autoaudiosink";
    if (kind == "emptylist") path = (music / "empty.m3u").string();
    if (kind == "missinglist") path = (music / "none.m3u").string();
    // Never opened: a plain open of a FIFO would wait for a writer for good, reading /dev/zero would never end.
    if (kind == "fifo") test::MakeFifo(path = (music / "fifo.wav").string());
    if (kind == "fifolist") test::MakeFifo(path = (music / "fifo.m3u").string());
    if (kind == "device") std::filesystem::create_symlink("/dev/zero", path = (music / "zero.wav").string());
    if (kind == "devicelist") std::filesystem::create_symlink("/dev/zero", path = (music / "zero.m3u").string());
    MakePlayer();
    EXPECT_NO_THROW(player->SetFileName(path));
    EXPECT_EQ(player->FileName(), path);
    EXPECT_TRUE(WaitFor([this] { return !failures.empty(); })) << "a failure the bell log never hears of";
    EXPECT_NO_THROW(player->Play());
    EXPECT_NE(player->state(), GstPlayer::State::Playing);
    ASSERT_TRUE(WaitFor([this] { return !proofs.empty(); }));
    EXPECT_FALSE(proofs[0].problem.empty());
    EXPECT_FALSE(proofs[0].soundStart.has_value());

    // The next medium is heard in the last item written and is the first to end: whatever the unplayable one
    // wrote before it is silence.
    Tone(folder / "ok.wav", 0.3, 880);
    const std::string next = (folder / "ok.wav").string();
    player->SetFileName(next);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(next); }));
    EXPECT_EQ(ended, std::vector<std::string>{next});
    int last = 1;
    while (std::filesystem::exists(out / ("item-" + std::to_string(last + 1) + ".wav"))) ++last;
    EXPECT_GT(Item(last).rms, 0.2);
    for (int n = 1; n < last; ++n) EXPECT_EQ(Item(n).rms, 0.0) << "item " << n;
}

INSTANTIATE_TEST_SUITE_P(Paths, GstPlayerUnplayable,
                         ::testing::Values("missing", "empty", "folder", "text", "garbage", "uri", "pipeline",
                                           "emptylist", "missinglist", "fifo", "fifolist", "device", "devicelist"));

TEST_F(GstPlayerTest, AHugeListOfBrokenEntriesIsToldInTwoLinesPerBell) {
    // A million lines of files that do not exist, and one that plays: only the list's first part is read.
    std::string text;
    for (int i = 0; i < 1000000; ++i) text += "gone" + std::to_string(i) + ".wav\r\n";
    const std::string list = (music / "huge.m3u").string();
    WriteAll(list, std::vector<std::uint8_t>(text.begin(), text.end()));
    MakePlayer();
    for (int bell = 1; bell <= 2; ++bell) {
        ends = 0;
        player->SetFileName(list);
        ASSERT_TRUE(WaitFor([this] { return Ended(); }, std::chrono::seconds(60)));
    }
    ASSERT_EQ(reasons.size(), 4u) << "one line for the first failure and one summary, per bell";
    EXPECT_EQ(failures[0], "gone0.wav");
    EXPECT_EQ(reasons[1], "and 9,999 more entries failed");
    EXPECT_EQ(failures[1], list);
    EXPECT_EQ(reasons[3], "and 9,999 more entries failed");
}

TEST_F(GstPlayerTest, AListWhoseEntriesAllFailStillEndsOnce) {
    const std::string list = (music / "bad.m3u").string();
    const std::string next = (music / "next.m3u").string();
    ASSERT_TRUE(WriteMusicList(list, {"gone1.wav", "gone2.wav"}));
    ASSERT_TRUE(WriteMusicList(next, {"gone3.wav"}));
    MakePlayer();
    player->SetFileName(list);
    ASSERT_TRUE(WaitFor([this] { return Ended(); }));
    EXPECT_EQ(player->FileName(), NullMediaPath(folder.path()));
    // The player's ends reach this thread's event loop in the order they were posted: a second end of the first
    // list would come before the end of the list set after it.
    player->SetFileName(next);
    ASSERT_TRUE(WaitFor([&] { return EndedWith(next); }));
    EXPECT_EQ(ended, (std::vector<std::string>{list, next}));
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    // No sound server is needed: every player here writes to files.
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
