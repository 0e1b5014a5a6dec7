// Bell latency: from the tick that sets the player's FileName to the first audio buffer at the output, over
// repeated firings, per format and output. Then the idle cost of a process holding the player.
// Usage: bench_player [firings=20] [idle-seconds=10]

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "player/gst_player.h"
#include "player/player_backend.h"
#include "player/player_commands.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void Pump(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

void Put16(std::ofstream& out, int v) { out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>((v >> 8) & 0xFF)); }
void Put32(std::ofstream& out, std::uint32_t v) {
    Put16(out, static_cast<int>(v & 0xFFFF));
    Put16(out, static_cast<int>(v >> 16));
}

// 16-bit stereo 44.1 kHz square-ish tone; its content does not matter for timing.
void WriteWav(const fs::path& file, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    std::ofstream out(file, std::ios::binary);
    out.write("RIFF", 4);
    Put32(out, 36 + frames * 4);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 2);
    Put32(out, 44100);
    Put32(out, 44100 * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, frames * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const int v = (i / 50) % 2 == 0 ? 8000 : -8000;
        Put16(out, v);
        Put16(out, v);
    }
}

void WriteMidi(const fs::path& file) {
    const unsigned char smf[] = {'M', 'T',  'h',  'd',  0,   0,    0,    6,    0,    0,   0,    1,
                                 0,   0x60, 'M',  'T',  'r', 'k',  0,    0,    0,    12,  0x00, 0x90,
                                 60,  0x64, 0x60, 0x80, 60,  0x40, 0x00, 0xFF, 0x2F, 0x00};
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(smf), sizeof smf);
}

struct Figures {
    double median = 0;
    double worst = 0;
    int missed = 0;
};

Figures Fire(const std::string& sink, const std::string& media, const std::string& nullMedia, int firings) {
    std::atomic<long long> firstBufferAt{0};
    lingchao::GstPlayerOptions options;
    options.nullMediaPath = nullMedia;
    options.audioSink = sink;
    options.onFirstBuffer = [&firstBufferAt] {
        if (firstBufferAt.load() == 0) {
            firstBufferAt =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
        }
    };
    lingchao::GstPlayer player(options);
    lingchao::ConnectEndOfStream(player, nullMedia);
    std::vector<double> ms;
    Figures figures;
    for (int i = 0; i < firings; ++i) {
        firstBufferAt = 0;
        const auto tick = Clock::now();
        player.SetFileName(media);  // the tick of a job's minute
        const auto deadline = tick + std::chrono::seconds(3);
        while (firstBufferAt.load() == 0 && Clock::now() < deadline) Pump(std::chrono::milliseconds(1));
        if (firstBufferAt.load() == 0) {
            ++figures.missed;
        } else {
            const long long start =
                std::chrono::duration_cast<std::chrono::microseconds>(tick.time_since_epoch()).count();
            ms.push_back(static_cast<double>(firstBufferAt.load() - start) / 1000.0);
        }
        Pump(std::chrono::milliseconds(150));
        lingchao::StopSequence(player, nullMedia);
        Pump(std::chrono::milliseconds(50));
    }
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        figures.median = ms[ms.size() / 2];
        figures.worst = ms.back();
    }
    return figures;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE) / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int firings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    const auto initStart = Clock::now();
    if (!lingchao::InitPlayerBackend(&argc, &argv)) return 1;
    std::printf("gst_init and registry: %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - initStart).count());

    const fs::path folder = fs::temp_directory_path() / ("lingchao-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "music");
    std::ofstream(folder / "music" / "null.dll").close();
    const std::string nullMedia = lingchao::NullMediaPath(folder);
    WriteWav(folder / "bell.wav", 3);
    WriteMidi(folder / "bell.mid");
    std::vector<std::pair<std::string, fs::path>> media = {{"WAV", folder / "bell.wav"}, {"MIDI", folder / "bell.mid"}};
    const std::string mp3 = (folder / "bell.mp3").string();
    if (std::system(("sox -q '" + (folder / "bell.wav").string() + "' '" + mp3 + "' 2>/dev/null").c_str()) == 0) {
        media.emplace_back("MP3", mp3);
    }

    // Idle: the program between bells, with the null media file loaded.
    {
        auto player = lingchao::CreatePlayer({nullMedia, {}, {}, {}});
        player->SetFileName(nullMedia);
        Pump(std::chrono::milliseconds(200));
        const double cpu0 = CpuSeconds();
        const auto t0 = Clock::now();
        QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("idle with the player loaded, %.1f s: CPU %.3f%%, resident %ld KiB\n", wall,
                    100.0 * (CpuSeconds() - cpu0) / wall, ResidentKiB());
    }
    std::printf("bell latency, tick -> first buffer at the output, %d firings each (ms):\n", firings);
    for (const char* sink : {"", "fakesink sync=true"}) {
        for (const auto& [kind, path] : media) {
            const Figures f = Fire(sink, path.string(), nullMedia, firings);
            std::printf("  %-4s  %-28s median %7.1f  worst %7.1f%s\n", kind.c_str(),
                        *sink != '\0' ? sink : "(default output)", f.median, f.worst,
                        f.missed > 0 ? ("  missed " + std::to_string(f.missed)).c_str() : "");
        }
    }

    fs::remove_all(folder);
    return 0;
}
