#pragma once

#include <string>

#include "base/shutdown_requester.h"

namespace lingchao {

// systemd-logind: org.freedesktop.login1.Manager.PowerOff(false) on the system bus
// (DBUS_SYSTEM_BUS_ADDRESS is honoured). Needs a QCoreApplication.
class LogindShutdownRequester final : public ShutdownRequester {
public:
    explicit LogindShutdownRequester(int timeoutMs = 10000) : timeoutMs_(timeoutMs) {}
    void Prepare() override;
    ShutdownRequestResult Request() override;

private:
    int timeoutMs_;
};

// The reason shown for a D-Bus error name (e.g. "org.freedesktop.DBus.Error.ServiceUnknown").
std::string ShutdownRefusalReason(const std::string& errorName);

}  // namespace lingchao
