// How close to its minute's start a bell sounds: the bell on its own thread with the real GStreamer player to the
// sound server's sink (pulsesink; precise_start.sh gives it a private PulseAudio with a null sink), a school clock
// that runs with the machine's from a few seconds before 08:00, and a bell every minute. Prints the median and
// worst late_ms and sound_ms of the bell log and, measured to the microsecond from each minute's start, where the
// time goes: until the tick hands the medium to the player, the player's own call (it takes over the bell it was
// told to start at the minute's instant, 200 ms ahead), and from its return to the sound: the first buffer at the
// sink with the pipeline playing, or the instant the sink was told to play it, whichever is later (negative: the
// sound began before the tick's call).
// Usage: bench_precise_start <bell.wav>   environment: BENCH_MINUTES (default 10)
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bell/bell_thread.h"
#include "player/gst_media_probe.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "store/group_file.h"
#include "store/job_record.h"

namespace {

using namespace lingchao;
using Steady = std::chrono::steady_clock;
using std::chrono::system_clock;

// School time running with the machine's, its seconds beginning when the machine's do: only the date and the
// hour differ, so a school minute begins at a known machine second.
class RunningClock final : public Clock {
public:
    RunningClock(TimeOfDay start, system_clock::time_point began)
        : start_(MakeLocalDateTime({2026, 12, 7}, start)), began_(began) {}
    LocalDateTime Now() const override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(system_clock::now() - began_).count();
        const LocalDateTime t = AddSeconds(start_, static_cast<int>(ms / 1000));
        return MakeLocalDateTime(t.date, t.time, static_cast<int>(ms % 1000));
    }

private:
    LocalDateTime start_;
    system_clock::time_point began_;
};

class NoInhibitor final : public SleepInhibitor {
public:
    void Hold(const std::string&) override {}
    void Release() override {}
};

// When each bell's medium went to the player and when the player's call returned; when each medium the player
// was asked for sounded.
struct Handovers {
    std::mutex mutex;
    std::vector<std::pair<Steady::time_point, Steady::time_point>> calls;
    std::vector<std::pair<Steady::time_point, Steady::time_point>> sounds;  // asked, sounded
};

// The real player, with its SetFileName timed for the bells (not for the null media that ends each).
class TimedPlayer final : public MediaPlayer {
public:
    TimedPlayer(std::unique_ptr<MediaPlayer> inner, std::string nullMedia, Handovers& handovers)
        : inner_(std::move(inner)), nullMedia_(std::move(nullMedia)), handovers_(handovers) {}
    void SetFileName(const std::string& path) override {
        const Steady::time_point called = Steady::now();
        inner_->SetFileName(path);
        if (path == nullMedia_) return;
        const Steady::time_point returned = Steady::now();
        std::lock_guard lock(handovers_.mutex);
        handovers_.calls.emplace_back(called, returned);
    }
    std::string FileName() const override { return inner_->FileName(); }
    void Play() override { inner_->Play(); }
    void Pause() override { inner_->Pause(); }
    void Stop() override { inner_->Stop(); }
    void SetEndOfStreamHandler(std::function<void()> handler) override {
        inner_->SetEndOfStreamHandler(std::move(handler));
    }
    void Prepare(const std::string& path) override { inner_->Prepare(path); }
    void StartPreparedAt(const std::string& path, Steady::time_point at) override { inner_->StartPreparedAt(path, at); }
    void SetSoundProofHandler(std::function<void(const SoundProof&)> handler) override {
        inner_->SetSoundProofHandler([this, handler = std::move(handler)](const SoundProof& proof) {
            if (proof.soundStart) {
                std::lock_guard lock(handovers_.mutex);
                handovers_.sounds.emplace_back(proof.requested, *proof.soundStart);
            }
            handler(proof);
        });
    }

private:
    std::unique_ptr<MediaPlayer> inner_;
    std::string nullMedia_;
    Handovers& handovers_;
};

void WriteTimetable(const std::filesystem::path& folder, const std::string& wav, int minutes) {
    GroupFile group(folder / "default.dll");
    for (int m = 0; m < minutes; ++m) {
        JobRecord r = BlankJobRecord();
        r.JobNo = static_cast<std::int16_t>(m + 1);
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d", 8 + m / 60, m % 60);
        r.JobName = "bell";
        r.JobTime = time;
        r.JobDate = "Everyday";
        r.JobState = "START";
        r.JobMusic[0] = wav;
        group.Write(m + 1, r);
    }
}

// late_ms and sound_ms of the fired bells.
std::pair<std::vector<double>, std::vector<double>> ReadLog(const std::filesystem::path& log) {
    std::vector<double> late, sound;
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) cells.push_back(cell);
        if (cells.size() < 9 || cells[7] != "fired") continue;
        late.push_back(std::atof(cells[3].c_str()));
        if (!cells[8].empty()) sound.push_back(std::atof(cells[8].c_str()));
    }
    return {late, sound};
}

std::string Describe(std::vector<double> v, const char* format) {
    if (v.empty()) return "none";
    std::sort(v.begin(), v.end());
    char text[96];
    std::snprintf(text, sizeof text, format, v[v.size() / 2], v.back());
    return text + (" (" + std::to_string(v.size()) + ")");
}

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <bell.wav>\n", argv[0]);
        return 2;
    }
    InitPlayerBackend(&argc, &argv);
    const int minutes = std::max(1, std::getenv("BENCH_MINUTES") ? std::atoi(std::getenv("BENCH_MINUTES")) : 10);
    const std::string wav = std::filesystem::absolute(argv[1]).string();
    const auto folder = std::filesystem::temp_directory_path() / "lingchao-bench-precise-start";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "music");
    WriteTimetable(folder, wav, minutes);

    constexpr int kLeadIn = 8;  // seconds before 08:00 at the start
    const auto began = std::chrono::floor<std::chrono::seconds>(system_clock::now());
    // The same instants on the steady clock, which the player's times are on.
    const Steady::time_point beganSteady = Steady::now() - (system_clock::now() - began);
    const auto minuteStart = [&](int m) { return beganSteady + std::chrono::seconds(kLeadIn + 60 * m); };
    WarningBoard warnings;
    Handovers handovers;
    {
        BellThread bell([&] {
            Bell::Parts parts;
            parts.appFolder = folder;
            parts.clock = std::make_unique<RunningClock>(TimeOfDay{7, 59, 60 - kLeadIn}, began);
            parts.makePlayer = [&](std::function<void(const std::string&, const std::string&)> failed) {
                return std::make_unique<TimedPlayer>(
                    CreatePlayer({NullMediaPath(folder), "", nullptr, std::move(failed)}), NullMediaPath(folder),
                    handovers);
            };
            parts.probe = std::make_unique<GstMediaProbe>();
            parts.inhibitor = std::make_unique<NoInhibitor>();
            parts.warnings = &warnings;
            return std::make_unique<Bell>(std::move(parts), Bell::Outlets{});
        });
        bell.Post([](Bell& b) { b.Start(); });
        QTimer::singleShot((kLeadIn + minutes * 60 + 15) * 1000, &app, &QCoreApplication::quit);
        app.exec();
    }
    const auto [late, sound] = ReadLog(folder / "bell-log.csv");
    std::vector<double> toCall, call, toSound, whole;
    for (const auto& [called, returned] : handovers.calls) {
        // The minute whose bell it was: the one begun last before the call.
        const int m = static_cast<int>(std::chrono::floor<std::chrono::minutes>(called - minuteStart(0)).count());
        toCall.push_back(Ms(called - minuteStart(m)));
        call.push_back(Ms(returned - called));
        // Its sound: the one asked for within the call.
        for (const auto& [asked, sounded] : handovers.sounds) {
            if (asked < called || asked > returned) continue;
            toSound.push_back(Ms(sounded - returned));
            whole.push_back(Ms(sounded - minuteStart(m)));
        }
    }
    std::printf("bell log: late_ms %s; sound_ms %s\n", Describe(late, "median %.0f ms, worst %.0f ms").c_str(),
                Describe(sound, "median %.0f ms, worst %.0f ms").c_str());
    const char* const us = "median %.3f ms, worst %.3f ms";
    std::printf("from the minute's start to the medium handed to the player: %s\n", Describe(toCall, us).c_str());
    std::printf("the player's SetFileName (taking over the bell started ahead): %s\n", Describe(call, us).c_str());
    std::printf("from its return to the sound (first buffer at the sink, playing, on its instant): %s\n",
                Describe(toSound, us).c_str());
    std::printf("from the minute's start to the sound: %s\n", Describe(whole, us).c_str());
    std::filesystem::remove_all(folder);
    return late.size() == static_cast<std::size_t>(minutes) ? 0 : 1;
}
