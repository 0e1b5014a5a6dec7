#include "platform/signal_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFileInfo>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "base/log.h"
#include "base/rate_limit.h"

namespace lingchao {
namespace {

const QString kService = QStringLiteral("net.lingchao.Bell");
const QString kPath = QStringLiteral("/net/lingchao/Bell");
const QString kInterface = QStringLiteral("net.lingchao.Signals");
const char* const kNoProgram = "没有正在运行的铃潮";

// Without an address and without the user's bus socket, libdbus would start a bus of its own that outlives us.
bool SessionBusConfigured() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' && QFileInfo::exists(QString::fromLocal8Bit(runtime) + "/bus");
}

// One request waiting for the bell's answer, which may come from any thread. Answered once; dropped unanswered
// (the program ending), it says so rather than leave the caller waiting. Counted while it waits.
class Pending final {
public:
    Pending(QDBusConnection bus, QDBusMessage request, std::shared_ptr<std::atomic<int>> waiting)
        : bus_(std::move(bus)), request_(std::move(request)), waiting_(std::move(waiting)) {}
    ~Pending() { Answer("铃潮没有处理这个请求"); }
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;

    void Answer(const std::string& why) {
        if (answered_.exchange(true)) return;
        --*waiting_;
        if (QCoreApplication::instance() != nullptr) bus_.send(request_.createReply(QString::fromStdString(why)));
    }

private:
    QDBusConnection bus_;
    QDBusMessage request_;
    std::shared_ptr<std::atomic<int>> waiting_;
    std::atomic<bool> answered_{false};
};

}  // namespace

// The object on the bus. A request is answered later, once the bell has; a flood is refused at once, not queued:
// eight at once and four a second are plenty for buttons and scripts, and a stuck bell gathers at most four.
class SignalBusService::Exported final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.lingchao.Signals")
public:
    explicit Exported(Hook hook) : hook_(std::move(hook)), limit_(kPerSecond, kBurst) {
        report_.setInterval(1000);
        connect(&report_, &QTimer::timeout, this, [this] { Report(RateLimit::Time::clock::now()); });
    }
    ~Exported() override { Report(RateLimit::Time::max()); }
    Exported(const Exported&) = delete;
    Exported& operator=(const Exported&) = delete;

public Q_SLOTS:
    Q_SCRIPTABLE QString Start(const QString& name) { return Take(SignalRequest::Start, name); }
    Q_SCRIPTABLE QString Next() { return Take(SignalRequest::Next, {}); }
    Q_SCRIPTABLE QString End() { return Take(SignalRequest::End, {}); }

private:
    static constexpr double kPerSecond = 4;
    static constexpr int kBurst = 8;
    static constexpr int kMaxWaiting = 4;

    QString Take(SignalRequest request, const QString& name) {
        if (!calledFromDBus()) return QStringLiteral("只接受会话总线上的请求");
        if (!limit_.Allow(RateLimit::Time::clock::now())) {
            if (!report_.isActive()) report_.start();
            return QStringLiteral("请求太多，已忽略");
        }
        if (*waiting_ >= kMaxWaiting) return QStringLiteral("铃潮正忙：之前的请求还没有回答");
        ++*waiting_;
        setDelayedReply(true);
        auto pending = std::make_shared<Pending>(connection(), message(), waiting_);
        hook_(request, name.toStdString(), [pending](const std::string& why) { pending->Answer(why); });
        return {};
    }

    void Report(RateLimit::Time now) {
        if (const std::uint64_t n = limit_.TakeDropped(now))
            LogLine("signals from the session bus: " + std::to_string(n) + " requests refused (too many)");
        if (limit_.pending() == 0) report_.stop();
    }

    Hook hook_;
    RateLimit limit_;
    QTimer report_;
    std::shared_ptr<std::atomic<int>> waiting_ = std::make_shared<std::atomic<int>>(0);
};

SignalBusService::SignalBusService(Hook hook) : exported_(std::make_unique<Exported>(std::move(hook))) {}

SignalBusService::~SignalBusService() {
    if (!registered_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(kService);
    bus.unregisterObject(kPath);
}

bool SignalBusService::Register() {
    QString why;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!SessionBusConfigured()) {
        why = QStringLiteral("no session bus");
    } else if (!bus.isConnected()) {
        why = QStringLiteral("no session bus: ") + bus.lastError().message();
    } else if (!bus.registerObject(kPath, exported_.get(), QDBusConnection::ExportScriptableSlots)) {
        why = QStringLiteral("cannot export ") + kPath;
    } else if (!bus.registerService(kService)) {
        why = kService + QStringLiteral(" is taken: ") + bus.lastError().message();
        bus.unregisterObject(kPath);
    } else {
        registered_ = true;
        return true;
    }
    LogLine("drills from the command line off: " + why.toStdString());
    return false;
}

SignalBusAnswer SignalBusCall(SignalRequest request, const std::string& name, std::string* why,
                              std::chrono::milliseconds timeout) {
    *why = kNoProgram;
    if (!SessionBusConfigured()) return SignalBusAnswer::NoProgram;
    // A connection of its own, so that a call from the program's own process still goes through the bus.
    const QString connectionName = QStringLiteral("lingchao-signal-client");
    struct Disconnect {
        QString name;
        ~Disconnect() { QDBusConnection::disconnectFromBus(name); }
    } disconnect{connectionName};
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    if (!bus.isConnected()) return SignalBusAnswer::NoProgram;

    const QString method = request == SignalRequest::Start  ? QStringLiteral("Start")
                           : request == SignalRequest::Next ? QStringLiteral("Next")
                                                            : QStringLiteral("End");
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    if (request == SignalRequest::Start) call << QString::fromStdString(name);
    call.setAutoStartService(false);  // never a copy started by the bus
    const QDBusMessage answer = bus.call(call, QDBus::BlockWithGui, static_cast<int>(timeout.count()));
    if (answer.type() == QDBusMessage::ReplyMessage) {
        if (answer.arguments().size() == 1 && answer.arguments().constFirst().userType() == QMetaType::QString) {
            *why = answer.arguments().constFirst().toString().toStdString();
            return why->empty() ? SignalBusAnswer::Taken : SignalBusAnswer::Refused;
        }
        *why = "铃潮的回答看不懂";
        return SignalBusAnswer::Refused;
    }
    const QString error = answer.errorName();
    if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return SignalBusAnswer::NoProgram;
    }
    if (error == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
        error == QStringLiteral("org.freedesktop.DBus.Error.Timeout")) {
        const auto seconds = std::chrono::duration<double>(timeout).count();
        *why = "铃潮没有在 " + QString::number(seconds, 'g', 3).toStdString() + " 秒内回答";
    } else {
        *why = "铃潮没有接受：" + answer.errorMessage().toStdString();
    }
    return SignalBusAnswer::Refused;
}

int RunSignalBusCommand(SignalRequest request, const std::string& name) {
    int argc = 1;
    std::string program = "lingchao";
    char* argv[] = {program.data(), nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) app = std::make_unique<QCoreApplication>(argc, argv);
    std::string why;
    if (SignalBusCall(request, name, &why) == SignalBusAnswer::Taken) return 0;
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
}

}  // namespace lingchao

#include "signal_bus.moc"
