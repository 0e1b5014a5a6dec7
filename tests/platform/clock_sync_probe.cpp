// Checks the clock's synchronisation once with the real watch (timedated asked over the system bus) and prints
// the clock's warning, or "in sync". The kernel's word is given: clock_sync_probe synced|unsynced
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstdio>
#include <cstring>

#include "platform/clock_sync.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool kernel = argc > 1 && std::strcmp(argv[1], "synced") == 0;
    lingchao::WarningBoard board;
    lingchao::ClockSyncWatch::Sources sources;
    sources.kernelSynced = [kernel] { return kernel; };
    sources.secondsSinceSync = [] { return std::optional<std::int64_t>(); };
    lingchao::ClockSyncWatch watch(board, sources);
    watch.CheckNow();
    const QDeadlineTimer deadline(15000);
    while (watch.Pending() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    const std::string text = board.TextOf("clock-sync");
    std::printf("%s\n", text.empty() ? "in sync" : text.c_str());
    return 0;
}
