#include "platform/logind_sleep_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "base/log.h"

namespace lingchao {

LogindSleepInhibitor::LogindSleepInhibitor(std::string who, int timeoutMs)
    : who_(std::move(who)), timeoutMs_(timeoutMs), calls_(std::make_unique<QObject>()) {}

LogindSleepInhibitor::~LogindSleepInhibitor() {
    calls_.reset();
    Release();
}

void LogindSleepInhibitor::Hold(const std::string& why) {
    wanted_ = why;
    if (why.empty()) {
        Release();
        return;
    }
    if (pending_ || (lock_.isValid() && heldWhy_ == why)) return;  // an answer on its way looks at wanted_ again
    Send();
}

void LogindSleepInhibitor::Release() {
    wanted_.clear();
    if (!lock_.isValid()) return;
    lock_ = QDBusUnixFileDescriptor();  // closing our descriptor ends the lock
    LogLine("sleep allowed again (was: " + heldWhy_ + ")");
    heldWhy_.clear();
}

void LogindSleepInhibitor::Send() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Failed((bus.lastError().isValid() ? bus.lastError().name() + QStringLiteral(": ") + bus.lastError().message()
                                          : QStringLiteral("no system bus"))
                   .toStdString());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QString::fromStdString(who_) << QString::fromStdString(wanted_)
         << QStringLiteral("block");
    sentWhy_ = wanted_;
    pending_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs_), calls_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, calls_.get(),
                     [this](QDBusPendingCallWatcher* w) { Answered(w); });
}

void LogindSleepInhibitor::Answered(QDBusPendingCallWatcher* watcher) {
    pending_ = false;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    QDBusUnixFileDescriptor lock;
    if (reply.isError()) {
        Failed((reply.error().name() + QStringLiteral(": ") + reply.error().message()).toStdString());
    } else {
        lock = reply.argumentAt<0>();
    }
    // The call holds a copy of the descriptor until it is gone: a lock let go here closes a moment later.
    watcher->deleteLater();
    if (lock.isValid() && !wanted_.empty()) {
        const bool first = !lock_.isValid();
        lock_ = lock;  // the old lock closes only now that the new one is held
        heldWhy_ = sentWhy_;
        failureLogged_ = false;
        if (first) LogLine("keeping the computer awake for the bells: " + heldWhy_);
    }
    // Released or changed while the call was on its way.
    if (!wanted_.empty() && wanted_ != heldWhy_ && lock.isValid()) Send();
}

void LogindSleepInhibitor::Failed(const std::string& error) {
    if (!failureLogged_) {
        LogLine("cannot keep the computer awake for the bells (" + error +
                "): it may go to sleep on its own before a bell");
    }
    failureLogged_ = true;
}

}  // namespace lingchao
