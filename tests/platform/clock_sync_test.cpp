#include "platform/clock_sync.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <thread>

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

}  // namespace
}  // namespace lingchao
