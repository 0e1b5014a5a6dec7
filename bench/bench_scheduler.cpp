// Index build, idle tick and remove costs of the scheduler and the job store.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scheduler/checktime.h"
#include "store/group_file.h"
#include "store/jilu.h"

namespace {

using namespace lingchao;

class IdleHost final : public SchedulerHost {
public:
    void ShowClock(const std::string&, const std::string&) override {}
    void StartFireLockTimer() override {}
    void ConfirmShutdown() override {}
    void JobExamined(const JobExamination&) override {}
};

class SilentPlayer final : public MediaPlayer {
public:
    void SetFileName(const std::string& p) override { name_ = p; }
    std::string FileName() const override { return name_; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}

private:
    std::string name_;
};

class FixedClock final : public Clock {
public:
    LocalDateTime Now() const override { return MakeLocalDateTime({2026, 12, 7}, {6, 0, 0}); }
};

std::filesystem::path MakeGroup(int jobs) {
    char pattern[] = "/tmp/lingchao-bench-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    Bytes content;
    for (int k = 1; k <= jobs; ++k) {
        JobRecord r = BlankJobRecord();
        r.JobNo = static_cast<std::int16_t>(k);
        r.JobName = "任务" + std::to_string(k);
        const int minute = (k * 37) % 1440;
        char t[16];
        std::snprintf(t, sizeof t, "%02d:%02d", minute / 60, minute % 60);
        r.JobTime = t;
        r.JobDate = "Everyday";
        r.JobState = "START";
        r.JobMusic[0] = "/music/bell.mp3";
        PutRecord(content, k, EncodeJobRecord(r));
    }
    ReplaceFileAtomically(dir / "default.dll", content);
    return dir;
}

void BM_BuildScheduleIndex(benchmark::State& state) {
    const auto dir = MakeGroup(static_cast<int>(state.range(0)));
    FixedClock clock;
    SilentPlayer player;
    IdleHost host;
    Checktime c(dir, clock, player, host);
    for (auto _ : state) c.BuildScheduleIndex();
    state.SetComplexityN(state.range(0));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BuildScheduleIndex)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_TickNothingDue(benchmark::State& state) {
    const auto dir = MakeGroup(100);
    FixedClock clock;
    SilentPlayer player;
    IdleHost host;
    Checktime c(dir, clock, player, host);
    c.BuildScheduleIndex();
    for (auto _ : state) c.Tick();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TickNothingDue);

void BM_RemoveJobFrom1000(benchmark::State& state) {
    const auto dir = MakeGroup(1000);
    const Bytes original = *ReadFileBytes(dir / "default.dll");
    Jilu jilu(dir, nullptr, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        ReplaceFileAtomically(dir / "default.dll", original);
        state.ResumeTiming();
        jilu.DeleteJobRecord(kDefaultGroup, 500, 1000);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RemoveJobFrom1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
