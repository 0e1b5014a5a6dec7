#include "platform/clock_sync.h"

#include <sys/stat.h>
#include <sys/timex.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <ctime>

#include "base/log.h"

namespace lingchao {
namespace {

std::string Ago(std::int64_t seconds) {
    if (seconds < 3600) return std::to_string(std::max<std::int64_t>(1, seconds / 60)) + " 分钟前";
    if (seconds < 2 * 86400) return std::to_string(seconds / 3600) + " 小时前";
    return std::to_string(seconds / 86400) + " 天前";
}

}  // namespace

std::string ClockSyncWarning(const ClockSyncReading& r) {
    if (r.kernelSynced && r.ntpSynchronized.value_or(true)) return {};
    std::string text = "系统时间未同步，铃声可能不准";
    if (r.secondsSinceSync && *r.secondsSinceSync >= 0) text += "（上次同步：" + Ago(*r.secondsSinceSync) + "）";
    return text;
}

ClockSyncWatch::Sources ClockSyncWatch::SystemSources() {
    Sources s;
    s.kernelSynced = [] {
        timex tx{};  // modes 0: only reads
        const int state = adjtimex(&tx);
        return state != -1 && state != TIME_ERROR && (tx.status & STA_UNSYNC) == 0;
    };
    s.secondsSinceSync = []() -> std::optional<std::int64_t> {
        // systemd-timesyncd touches this at every successful sync; other time daemons leave no such mark.
        struct stat st {};
        if (stat("/run/systemd/timesync/synchronized", &st) != 0) return std::nullopt;
        return static_cast<std::int64_t>(std::time(nullptr)) - st.st_mtim.tv_sec;
    };
    return s;
}

ClockSyncWatch::ClockSyncWatch(WarningBoard& board, Sources sources, QObject* parent)
    : QObject(parent), board_(board), sources_(std::move(sources)) {
    connect(&timer_, &QTimer::timeout, this, &ClockSyncWatch::CheckNow);
    // A clock that syncs tells nobody: while warned, the kernel's word (one system call) is looked at from the
    // bell's tick, and a change read here in full.
    board_.SetRecheck("clock-sync",
                      [kernel = sources_.kernelSynced, shown = kernelShown_, self = QPointer<ClockSyncWatch>(this)] {
                          if (!kernel || kernel() == shown->load()) return;
                          QMetaObject::invokeMethod(
                              QCoreApplication::instance(),
                              [self] {
                                  if (self) self->CheckNow();
                              },
                              Qt::QueuedConnection);
                      });
}

ClockSyncWatch::~ClockSyncWatch() { board_.SetRecheck("clock-sync", nullptr); }

void ClockSyncWatch::Start(int intervalMs) {
    timer_.start(intervalMs);
    CheckNow();
}

void ClockSyncWatch::CheckNow() {
    reading_.kernelSynced = sources_.kernelSynced ? sources_.kernelSynced() : true;
    reading_.secondsSinceSync = sources_.secondsSinceSync ? sources_.secondsSinceSync() : std::nullopt;
    kernelShown_->store(reading_.kernelSynced);
    Show();
    AskTimedated();
}

void ClockSyncWatch::AskTimedated() {
    if (!sources_.askTimedated || pending_) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        reading_.ntpSynchronized.reset();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.timedate1") << QStringLiteral("NTPSynchronized");
    pending_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        pending_ = false;
        const QDBusPendingReply<QDBusVariant> reply = *w;
        if (reply.isError()) {
            reading_.ntpSynchronized.reset();  // no timedated: the kernel's word alone
        } else {
            reading_.ntpSynchronized = reply.value().variant().toBool();
        }
        w->deleteLater();
        Show();
    });
}

void ClockSyncWatch::Show() {
    const std::string text = ClockSyncWarning(reading_);
    const bool warn = !text.empty();
    if (warn && !warned_) {
        LogLine("warning (clock-sync): the system clock is not synchronised (kernel " +
                std::string(reading_.kernelSynced ? "synchronised" : "unsynchronised") + ", timedated " +
                (reading_.ntpSynchronized ? (*reading_.ntpSynchronized ? "synchronised" : "unsynchronised")
                                          : "not asked or absent") +
                "): " + text);
    }
    warned_ = warn;
    // The time since the last sync changes as it goes on: logged once above, not at every change.
    board_.Set("clock-sync", text, warn);
}

}  // namespace lingchao
