#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <memory>
#include <string>

#include "base/sleep_inhibitor.h"

class QDBusPendingCallWatcher;

namespace lingchao {

// systemd-logind's inhibitor lock: Inhibit("sleep", who, why, "block") on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS is honoured) returns a file descriptor, and the lock lasts while it is open.
// Calls are asynchronous, so a slow or absent login manager never holds up a tick. Needs a QCoreApplication.
class LogindSleepInhibitor final : public SleepInhibitor {
public:
    explicit LogindSleepInhibitor(std::string who = "铃潮", int timeoutMs = 10000);
    ~LogindSleepInhibitor() override;

    void Hold(const std::string& why) override;
    void Release() override;

    // The reason of the lock held now, "" when none is.
    const std::string& HeldReason() const { return heldWhy_; }
    // A request is on its way to the login manager.
    bool Pending() const { return pending_; }

private:
    void Send();
    void Answered(QDBusPendingCallWatcher* watcher);
    void Failed(const std::string& error);

    std::string who_;
    int timeoutMs_;
    std::string wanted_;  // the reason asked for, "" for none
    std::string sentWhy_;
    std::string heldWhy_;
    QDBusUnixFileDescriptor lock_;
    bool pending_ = false;
    bool failureLogged_ = false;
    // Owns the calls in flight: destroyed first, so no answer arrives at a destroyed inhibitor.
    std::unique_ptr<QObject> calls_;
};

}  // namespace lingchao
