// How late the bell rings and sounds while the windows' thread is held up, beside the same minutes with it idle:
// the bell on its own thread with the real GStreamer player (to a clocked fakesink), a school clock that runs with
// the machine's from a few seconds before 08:00, a bell every minute, and, in the busy run, the program's main
// thread spinning for 10 s around each minute (as a huge .ics, a flood of calls or a stuck dialog would).
// Prints the median and worst late_ms and sound_ms of the bell log for each run.
// Usage: bench_busy_windows <bell.wav>   environment: BENCH_MINUTES (default 3)
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "bell/bell_thread.h"
#include "player/gst_media_probe.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "store/group_file.h"
#include "store/job_record.h"

namespace {

using namespace lingchao;
using std::chrono::steady_clock;

// School time running with the machine's, its seconds beginning when the machine's do (the tick is aligned to
// the machine's seconds): only the date and the hour differ.
class RunningClock final : public Clock {
public:
    explicit RunningClock(TimeOfDay start) : start_(MakeLocalDateTime({2026, 12, 7}, start)) {
        using std::chrono::system_clock;
        began_ = std::chrono::floor<std::chrono::seconds>(system_clock::now());
    }
    LocalDateTime Now() const override {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now() - began_).count();
        const LocalDateTime t = AddSeconds(start_, static_cast<int>(ms / 1000));
        return MakeLocalDateTime(t.date, t.time, static_cast<int>(ms % 1000));
    }

private:
    LocalDateTime start_;
    std::chrono::system_clock::time_point began_;
};

class NoInhibitor final : public SleepInhibitor {
public:
    void Hold(const std::string&) override {}
    void Release() override {}
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

struct Figures {
    std::vector<long> late, sound;
};

Figures ReadLog(const std::filesystem::path& log) {
    Figures f;
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream s(line);
        for (std::string cell; std::getline(s, cell, ',');) cells.push_back(cell);
        if (cells.size() < 9 || cells[7] != "fired") continue;
        f.late.push_back(std::atol(cells[3].c_str()));
        if (!cells[8].empty()) f.sound.push_back(std::atol(cells[8].c_str()));
    }
    return f;
}

std::string Describe(std::vector<long> v) {
    if (v.empty()) return "none";
    std::sort(v.begin(), v.end());
    return "median " + std::to_string(v[v.size() / 2]) + " ms, worst " + std::to_string(v.back()) + " ms (" +
           std::to_string(v.size()) + ")";
}

Figures Run(QCoreApplication& app, const std::string& wav, int minutes, bool busy) {
    const auto folder = std::filesystem::temp_directory_path() / ("lingchao-bench-busy-" + std::to_string(busy));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "music");
    WriteTimetable(folder, wav, minutes);
    WarningBoard warnings;
    constexpr int kLeadIn = 8;  // seconds before 08:00 at the start
    {
        BellThread bell([&] {
            Bell::Parts parts;
            parts.appFolder = folder;
            parts.clock = std::make_unique<RunningClock>(TimeOfDay{7, 59, 60 - kLeadIn});
            parts.makePlayer = [&](std::function<void(const std::string&, const std::string&)> failed) {
                return CreatePlayer({NullMediaPath(folder), "fakesink sync=true", nullptr, std::move(failed)});
            };
            parts.probe = std::make_unique<GstMediaProbe>();
            parts.inhibitor = std::make_unique<NoInhibitor>();
            parts.warnings = &warnings;
            return std::make_unique<Bell>(std::move(parts), Bell::Outlets{});
        });
        bell.Post([](Bell& b) { b.Start(); });
        QTimer spin;
        if (busy) {
            // From 5 s before each minute to 5 s after it, nothing of this thread's runs.
            const auto work = [] {
                const auto until = steady_clock::now() + std::chrono::seconds(10);
                while (steady_clock::now() < until) {
                }
            };
            spin.setInterval(60000);
            QObject::connect(&spin, &QTimer::timeout, work);
            QTimer::singleShot((kLeadIn - 5) * 1000, [&spin, work] {
                spin.start();
                work();
            });
        }
        QTimer::singleShot((kLeadIn + minutes * 60 + 15) * 1000, &app, &QCoreApplication::quit);
        app.exec();
    }
    Figures f = ReadLog(folder / "bell-log.csv");
    std::filesystem::remove_all(folder);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <bell.wav>\n", argv[0]);
        return 2;
    }
    InitPlayerBackend(&argc, &argv);
    const int minutes = std::getenv("BENCH_MINUTES") ? std::atoi(std::getenv("BENCH_MINUTES")) : 3;
    const std::string wav = std::filesystem::absolute(argv[1]).string();
    const Figures idle = Run(app, wav, minutes, false);
    const Figures busy = Run(app, wav, minutes, true);
    std::printf("windows' thread idle: late %s; sound %s\n", Describe(idle.late).c_str(), Describe(idle.sound).c_str());
    std::printf("windows' thread busy 10 s around each minute: late %s; sound %s\n", Describe(busy.late).c_str(),
                Describe(busy.sound).c_str());
    return idle.late.size() == static_cast<std::size_t>(minutes) && busy.late.size() == idle.late.size() ? 0 : 1;
}
