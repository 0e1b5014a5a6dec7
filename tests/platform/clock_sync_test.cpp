#include "platform/clock_sync.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/chrony_tracking.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

struct Row {
    bool kernel;
    std::optional<bool> ntp;
    std::optional<std::int64_t> since;
    const char* text;
};

TEST(ClockSyncWarning, NamesTheProblemAndHowLongSinceTheLastSyncWhereKnown) {
    const Row rows[] = {
        {true, std::nullopt, std::nullopt, ""},
        {true, true, 30, ""},
        {false, std::nullopt, std::nullopt, "系统时间未同步，铃声可能不准"},
        {true, false, std::nullopt, "系统时间未同步，铃声可能不准"},
        {false, true, 59, "系统时间未同步，铃声可能不准（上次同步：1 分钟前）"},
        {false, std::nullopt, 3599, "系统时间未同步，铃声可能不准（上次同步：59 分钟前）"},
        {true, false, 3 * 3600 + 100, "系统时间未同步，铃声可能不准（上次同步：3 小时前）"},
        {false, false, 5 * 86400, "系统时间未同步，铃声可能不准（上次同步：5 天前）"},
    };
    for (const Row& r : rows) EXPECT_EQ(ClockSyncWarning({r.kernel, r.ntp, r.since}), r.text);
}

TEST(ClockSyncWatch, PutsTheWarningOnTheBoardAndTakesItOffWhenTheClockSyncs) {
    WarningBoard board;
    std::vector<std::string> shown;
    board.SetListener([&](const std::string& text) { shown.push_back(text); });
    bool synced = false;
    std::int64_t since = 7200;
    ClockSyncWatch::Sources sources;
    sources.kernelSynced = [&] { return synced; };
    sources.secondsSinceSync = [&] { return std::optional<std::int64_t>(since); };
    sources.askTimedated = false;
    ClockSyncWatch watch(board, sources);

    testing::internal::CaptureStderr();
    watch.CheckNow();
    EXPECT_EQ(board.TextOf("clock-sync"), "系统时间未同步，铃声可能不准（上次同步：2 小时前）");
    since = 3 * 3600;
    watch.CheckNow();
    watch.CheckNow();
    EXPECT_EQ(board.TextOf("clock-sync"), "系统时间未同步，铃声可能不准（上次同步：3 小时前）");
    synced = true;
    watch.CheckNow();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(board.Empty());
    EXPECT_EQ(shown.size(), 3u);  // set, its age changed, cleared
    // Headless the log is all there is: one line when the warning comes, one when it goes.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(log.find("not synchronised"), std::string::npos) << log;
    EXPECT_NE(log.find("warning cleared (clock-sync)"), std::string::npos) << log;
}

TEST(ClockSyncWatch, TheBoardsRecheckEndsTheWarningSoonAfterTheClockSyncs) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    WarningBoard board;
    std::atomic<bool> synced{false};
    std::atomic<int> reads{0};
    ClockSyncWatch::Sources sources;
    sources.kernelSynced = [&] { return ++reads, synced.load(); };
    sources.askTimedated = false;
    {
        ClockSyncWatch watch(board, sources);
        watch.Start();  // once a minute: only the re-check can be quick
        ASSERT_FALSE(board.Empty());
        synced = true;
        std::thread([&] { board.RecheckUp(); }).join();  // the bell's tick, on its own thread
        EXPECT_FALSE(board.Empty()) << "the board must be told on the watch's thread";
        QElapsedTimer waited;
        waited.start();
        while (!board.Empty() && waited.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_TRUE(board.Empty());
        const int cleared = reads;
        board.RecheckUp();  // nothing up: nothing looked at
        EXPECT_EQ(reads, cleared);
        synced = false;
        watch.CheckNow();
    }
    // The watch gone, its re-check goes with it; its last word stays.
    const int gone = reads;
    board.RecheckUp();
    EXPECT_EQ(reads, gone);
    EXPECT_FALSE(board.Empty());
}

// What chrony says of the clock's offset, read from `chronyc -c tracking`: a fake chronyc first on PATH.
TEST(ChronyOffset, ReadsTheSystemTimeLineAsMillisecondsAheadAndNothingWhenChronyCannotTell) {
    EXPECT_EQ(ParseChronyTracking("C0A80101,192.168.1.1,3,1796716800.123,0.012500000,0.000001,0.0001,-12.3,0.001,"
                                  "0.01,0.0005,0.0002,64.5,Normal\n"),
              std::optional<double>(-12.5))
        << "12.5 ms slow";
    EXPECT_EQ(ParseChronyTracking("C0A80101,x,3,1.0,-0.000250000,0,0,0,0,0,0,0,64,Normal"),
              std::optional<double>(0.25));
    EXPECT_EQ(ParseChronyTracking("00000000,,0,0.0,0.0,0,0,0,0,0,0,0,0,Not synchronised"), std::nullopt);
    EXPECT_EQ(ParseChronyTracking("506 Cannot talk to daemon"), std::nullopt);
    EXPECT_EQ(ParseChronyTracking("C0A80101,x,3,1.0,nan,0,0,0,0,0,0,0,64,Normal"), std::nullopt);

    test::TempFolder bin;
    const auto fake = [&](const std::string& script) {
        std::ofstream(bin / "chronyc") << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(bin / "chronyc", std::filesystem::perms::owner_all);
    };
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (bin.path().string() + ":" + path).c_str(), 1);
    fake(R"([ "$*" = "-c -n tracking" ] && echo C0A80101,x,3,1.0,-0.003,0,0,0,0,0,0,0,64,Normal)");
    EXPECT_EQ(ChronyOffsetMs(std::chrono::seconds(60)), std::optional<double>(3.0));
    fake("echo '506 Cannot talk to daemon'; exit 1");
    EXPECT_EQ(ChronyOffsetMs(std::chrono::seconds(60)), std::nullopt);
    fake("exec sleep 30");
    EXPECT_EQ(ChronyOffsetMs(std::chrono::milliseconds(200)), std::nullopt) << "a hung chronyc is given up";
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace lingchao
