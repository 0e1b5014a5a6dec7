// How soon a bell's sound starts at a sound server's sink, from the start of its minute (the tick that sets the
// player's medium): its first buffer there and the pipeline playing, as the bell log's sound_ms counts it.
// For each format the firings alternate between a medium opened on the tick and one prepared (prerolled) a few
// seconds ahead, so both columns see the same machine. Run it against a quiet sound server: sound_start.sh
// starts a private PulseAudio with a null sink.
// Usage: bench_sound_start [firings=30]

#include <unistd.h>
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "player/gst_player.h"
#include "player/player_backend.h"
#include "player/player_commands.h"

namespace {

using Steady = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = Steady::now() + timeout;
    while (!done()) {
        if (Steady::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return true;
}

void Pump(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

void WriteMidi(const fs::path& file) {
    const unsigned char smf[] = {'M', 'T',  'h',  'd',  0,   0,    0,    6,    0,    0,   0,    1,
                                 0,   0x60, 'M',  'T',  'r', 'k',  0,    0,    0,    12,  0x00, 0x90,
                                 60,  0x64, 0x60, 0x80, 60,  0x40, 0x00, 0xFF, 0x2F, 0x00};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(smf), sizeof smf);
}

struct Series {
    std::vector<double> ms;
    int missed = 0;
    std::string Text() const {
        if (ms.empty()) return "no sound";
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        char text[96];
        std::snprintf(text, sizeof text, "median %6.1f  worst %6.1f%s", sorted[sorted.size() / 2], sorted.back(),
                      missed > 0 ? ("  missed " + std::to_string(missed)).c_str() : "");
        return text;
    }
};

class Bench {
public:
    explicit Bench(const std::string& nullMedia) : nullMedia_(nullMedia) {
        lingchao::GstPlayerOptions options;
        options.nullMediaPath = nullMedia;
        player_ = std::make_unique<lingchao::GstPlayer>(options);
        player_->SetSoundProofHandler([this](const lingchao::SoundProof& p) { proof_ = p; });
        lingchao::ConnectEndOfStream(*player_, nullMedia);
    }

    // One bell: prepared ahead or not, then set on its "minute"; adds the milliseconds to its sound to `series`.
    void Fire(const std::string& media, bool prepare, Series& series) {
        if (prepare) {
            player_->Prepare(media);
            // The program prepares five seconds ahead; here the firing waits until the medium waits decoded in
            // front of the output.
            PumpUntil([&] { return player_->PreparedAndWaiting(); }, std::chrono::seconds(5));
            Pump(std::chrono::milliseconds(100));
        }
        proof_.reset();
        const Steady::time_point minute = Steady::now();
        player_->SetFileName(media);
        Pump(std::chrono::milliseconds(300));
        lingchao::StopSequence(*player_, nullMedia_);
        if (!PumpUntil([&] { return proof_.has_value(); }, std::chrono::seconds(5)) || !proof_->soundStart) {
            ++series.missed;
        } else {
            series.ms.push_back(std::chrono::duration<double, std::milli>(*proof_->soundStart - minute).count());
        }
        if (proof_) output_ = proof_->output;
        Pump(std::chrono::milliseconds(100));
    }

    const std::string& output() const { return output_; }

private:
    std::string output_;
    std::string nullMedia_;
    std::unique_ptr<lingchao::GstPlayer> player_;
    std::optional<lingchao::SoundProof> proof_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int firings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    if (!lingchao::InitPlayerBackend(&argc, &argv)) return 1;

    const fs::path folder = fs::temp_directory_path() / ("lingchao-sound-start-" + std::to_string(getpid()));
    fs::create_directories(folder / "music");
    std::ofstream(folder / "music" / "null.dll").close();
    const std::string nullMedia = lingchao::NullMediaPath(folder);
    const std::string wav = (folder / "bell.wav").string(), mp3 = (folder / "bell.mp3").string();
    WriteMidi(folder / "bell.mid");
    std::vector<std::pair<std::string, std::string>> media;
    if (std::system(("sox -q -n -r 44100 -c 2 '" + wav + "' synth 2 sine 880 vol 0.5 2>/dev/null").c_str()) == 0) {
        media.emplace_back("WAV", wav);
        if (std::system(("sox -q '" + wav + "' '" + mp3 + "' 2>/dev/null").c_str()) == 0)
            media.emplace_back("MP3", mp3);
    } else {
        std::printf("sox is missing: no WAV or MP3\n");
    }
    media.emplace_back("MIDI", (folder / "bell.mid").string());

    Bench bench(nullMedia);
    std::printf("minute start -> sound start at the sink (first buffer there, playing), %d firings each (ms):\n",
                firings);
    std::printf("  %-5s %-40s %s\n", "", "opened on the tick", "prepared ahead");
    for (const auto& [kind, path] : media) {
        Series cold, prepared;
        bench.Fire(path, false, cold);  // the first opening of a format loads its plugins: not counted
        cold = Series{};
        if (kind == media.front().first) std::printf("  (output: %s)\n", bench.output().c_str());
        for (int i = 0; i < firings; ++i) {
            bench.Fire(path, false, cold);
            bench.Fire(path, true, prepared);
        }
        std::printf("  %-5s %-40s %s\n", kind.c_str(), cold.Text().c_str(), prepared.Text().c_str());
        std::fflush(stdout);
    }
    fs::remove_all(folder);
    return 0;
}
