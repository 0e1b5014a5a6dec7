#include "platform/logind_shutdown_requester.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace lingchao {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string ShutdownRefusalReason(const std::string& errorName) {
    if (EndsWith(errorName, ".Disconnected") || EndsWith(errorName, ".NoServer") ||
        EndsWith(errorName, ".FileNotFound")) {
        return "无法连接系统消息总线（本机没有运行系统 D-Bus 服务）";
    }
    if (EndsWith(errorName, ".ServiceUnknown") || EndsWith(errorName, ".NameHasNoOwner")) {
        return "找不到系统登录管理器（systemd-logind 未运行）";
    }
    if (EndsWith(errorName, ".AccessDenied") || EndsWith(errorName, ".InteractiveAuthorizationRequired") ||
        EndsWith(errorName, ".AuthFailed")) {
        return "当前用户没有关机的权限";
    }
    if (EndsWith(errorName, ".NoReply") || EndsWith(errorName, ".Timeout") || EndsWith(errorName, ".TimedOut")) {
        return "系统登录管理器没有应答";
    }
    if (EndsWith(errorName, ".OperationInProgress") || EndsWith(errorName, ".ShutdownInProgress")) {
        return "系统已在关机或重启中";
    }
    if (EndsWith(errorName, ".BlockedByInhibitor") || errorName.find("Inhibit") != std::string::npos) {
        return "有程序阻止了关机";
    }
    return "系统拒绝了关机请求";
}

void LogindShutdownRequester::Prepare() {
    // Connecting early means a missing bus costs nothing at the request; the result is examined there.
    static_cast<void>(QDBusConnection::systemBus().isConnected());
}

ShutdownRequestResult LogindShutdownRequester::Request() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString name = bus.lastError().isValid() ? bus.lastError().name()
                                                       : QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
        return {false, ShutdownRefusalReason(name.toStdString()),
                (name + QStringLiteral(": ") + bus.lastError().message()).toStdString()};
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("PowerOff"));
    call << false;  // not interactive: never wait for a password prompt nobody sees
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ReplyMessage) return {true, {}, {}};
    const std::string name = reply.errorName().toStdString();
    return {false, ShutdownRefusalReason(name), name + ": " + reply.errorMessage().toStdString()};
}

}  // namespace lingchao
