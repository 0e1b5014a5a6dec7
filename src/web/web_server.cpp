#include "web/web_server.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/log.h"

// Outside any namespace, as Q_INIT_RESOURCE wants: the page is compiled into a static library, whose resource
// object the linker would leave out unless something refers to it.
static void InitPageResources() { Q_INIT_RESOURCE(page); }

namespace lingchao {

// Shared with the program's answers, which may come from any thread and after the server is gone.
struct ServerLink {
    std::mutex mutex;
    HttpServer* server = nullptr;  // null once stopped
};

namespace {

using Code = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;
using Clock = std::chrono::steady_clock;

constexpr qsizetype kMaxBody = 64 * 1024;
// A connection that has sent this much without completing a request is answered 413 and closed: Qt keeps every
// byte of a request until it is complete, so this bounds what one connection can make it hold.
constexpr qint64 kMaxUnfinished = 1024 * 1024;
constexpr int kMaxConnections = 256;
constexpr std::size_t kMaxWaitingActions = 32;
constexpr std::size_t kMaxWaitingSignIns = 16;
constexpr int kSignInThreads = 2;
constexpr auto kSweepEvery = std::chrono::seconds(5);
constexpr auto kIdleFor = std::chrono::seconds(30);        // nothing received: the connection is closed
constexpr auto kRequestWithin = std::chrono::seconds(60);  // a request trickled in slower than this: closed
constexpr qint64 kMaxPemSize = 1024 * 1024;
constexpr int kMaxPasswordLength = 1024;
constexpr int kMaxFileNameLength = 255;
constexpr int kMaxSignalNameLength = 100;
const QByteArray kCookieName = "lingchao_session";
const QByteArray kSessionCookieTail = "; HttpOnly; SameSite=Strict; Path=/";

struct Reply {
    Code status = Code::Ok;
    QByteArray type;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

Reply JsonReply(const QJsonObject& object, Code status = Code::Ok) {
    return {status, "application/json; charset=utf-8", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

Reply Error(Code status, const QString& why) { return JsonReply({{QStringLiteral("error"), why}}, status); }

Reply Ok() { return JsonReply({{QStringLiteral("ok"), true}}); }

// Every answer: nothing is cached (the status changes by the second), nothing is framed or sniffed, and the page
// runs only its own files.
void Send(QHttpServerResponder& responder, const QPointer<QTcpSocket>& socket, const Reply& reply, bool close) {
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) return;
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("Content-Security-Policy", "default-src 'self'");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    for (const auto& [name, value] : reply.headers) responder.writeHeader(name, value);
    if (close) responder.writeHeader("Connection", "close");
    responder.writeBody(reply.body);
    if (close) socket->disconnectFromHost();
}

QString AddressText(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : address.toString();
}

QString RoleText(WebRole role) { return role == WebRole::Admin ? QStringLiteral("管理") : QStringLiteral("值班"); }
QString RoleName(WebRole role) { return role == WebRole::Admin ? QStringLiteral("admin") : QStringLiteral("duty"); }

enum class Page { Index, Style, Script, Icon, Login, Logout, Status, Metrics, Action };

struct Route {
    Page page;
    Method method;
    WebAction::Kind kind = WebAction::Kind::Stop;  // Action only
    bool adminOnly = false;
};

// The only paths served: nothing of a request's path ever reaches the file system.
std::optional<Route> FindRoute(const QString& path) {
    static const std::map<QString, Route> kRoutes = {
        {QStringLiteral("/"), {Page::Index, Method::Get}},
        {QStringLiteral("/style.css"), {Page::Style, Method::Get}},
        {QStringLiteral("/app.js"), {Page::Script, Method::Get}},
        {QStringLiteral("/icon.svg"), {Page::Icon, Method::Get}},
        {QStringLiteral("/api/login"), {Page::Login, Method::Post}},
        {QStringLiteral("/api/logout"), {Page::Logout, Method::Post}},
        {QStringLiteral("/api/status"), {Page::Status, Method::Get}},
        {QStringLiteral("/metrics"), {Page::Metrics, Method::Get}},
        {QStringLiteral("/api/actions/ring"), {Page::Action, Method::Post, WebAction::Kind::Ring}},
        {QStringLiteral("/api/actions/stop"), {Page::Action, Method::Post, WebAction::Kind::Stop}},
        {QStringLiteral("/api/actions/silence-today"), {Page::Action, Method::Post, WebAction::Kind::SilenceToday}},
        {QStringLiteral("/api/actions/skip-next"), {Page::Action, Method::Post, WebAction::Kind::SkipNext}},
        {QStringLiteral("/api/actions/delay-today"), {Page::Action, Method::Post, WebAction::Kind::DelayToday}},
        {QStringLiteral("/api/actions/restore-today"), {Page::Action, Method::Post, WebAction::Kind::RestoreToday}},
        {QStringLiteral("/api/actions/signal-start"), {Page::Action, Method::Post, WebAction::Kind::SignalStart, true}},
        {QStringLiteral("/api/actions/signal-next"), {Page::Action, Method::Post, WebAction::Kind::SignalNext, true}},
        {QStringLiteral("/api/actions/signal-end"), {Page::Action, Method::Post, WebAction::Kind::SignalEnd, true}},
    };
    const auto it = kRoutes.find(path);
    if (it == kRoutes.end()) return std::nullopt;
    return it->second;
}

// For the log.
std::string ActionText(const WebAction& action) {
    switch (action.kind) {
        case WebAction::Kind::Ring:
            return action.job > 0 ? "ring job " + std::to_string(action.job) : "ring \"" + action.file + "\"";
        case WebAction::Kind::Stop:
            return "stop";
        case WebAction::Kind::SilenceToday:
            return "silence today";
        case WebAction::Kind::SkipNext:
            return "skip the next bell";
        case WebAction::Kind::DelayToday:
            return "delay today by " + std::to_string(action.minutes) + " minutes";
        case WebAction::Kind::RestoreToday:
            return "restore today";
        case WebAction::Kind::SignalStart:
            return "start the signal \"" + action.name + "\"";
        case WebAction::Kind::SignalNext:
            return "the signal's next step";
        case WebAction::Kind::SignalEnd:
            return "end the signal";
    }
    return {};
}

// The body as a JSON object; an empty body reads as {} when `emptyIsObject`.
std::optional<QJsonObject> ObjectOf(const QByteArray& body, bool emptyIsObject) {
    if (body.trimmed().isEmpty() && emptyIsObject) return QJsonObject();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    return document.object();
}

// A JSON number that is a whole number within [low, high].
std::optional<int> WholeIn(const QJsonValue& value, int low, int high) {
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < low || number > high) return std::nullopt;
    return static_cast<int>(number);
}

// A music file is named as the status lists it, never as a path.
bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxFileNameLength || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control) return false;
    return true;
}

// The action a request's body describes; the reason for a 400 in `why` when it describes none.
std::optional<WebAction> ActionOf(WebAction::Kind kind, const QByteArray& body, QString* why) {
    const auto object = ObjectOf(body, true);
    if (!object) {
        *why = QStringLiteral("请求内容不是有效的 JSON 对象");
        return std::nullopt;
    }
    WebAction action;
    action.kind = kind;
    if (kind == WebAction::Kind::Ring) {
        const bool hasJob = object->contains(QStringLiteral("job"));
        const bool hasFile = object->contains(QStringLiteral("file"));
        if (hasJob == hasFile) {
            *why = QStringLiteral("立即响铃需要 job（节目编号）或 file（音乐文件名）之一");
            return std::nullopt;
        }
        if (hasJob) {
            const auto job = WholeIn(object->value(QStringLiteral("job")), 1, 1000000);
            if (!job) {
                *why = QStringLiteral("job 应为正整数");
                return std::nullopt;
            }
            action.job = *job;
        } else {
            const QJsonValue file = object->value(QStringLiteral("file"));
            if (!file.isString() || !IsPlainFileName(file.toString())) {
                *why = QStringLiteral("file 应为音乐列表中的文件名");
                return std::nullopt;
            }
            action.file = file.toString().toStdString();
        }
    } else if (kind == WebAction::Kind::DelayToday) {
        const auto minutes = WholeIn(object->value(QStringLiteral("minutes")), 1, 120);
        if (!minutes) {
            *why = QStringLiteral("minutes 应为 1 到 120 之间的整数");
            return std::nullopt;
        }
        action.minutes = *minutes;
    } else if (kind == WebAction::Kind::SignalStart) {
        // Named as the status lists it; whether such a plan exists is the program's to say.
        const QJsonValue name = object->value(QStringLiteral("name"));
        const QString text = name.toString();
        const bool control =
            std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
        if (!name.isString() || text.trimmed().isEmpty() || text.size() > kMaxSignalNameLength || control) {
            *why = QStringLiteral("name 应为预案列表中的名称");
            return std::nullopt;
        }
        action.name = text.toStdString();
    }
    return action;
}

// Compares all of both, so that the time taken tells nothing about how much of a guess was right.
bool SameToken(const QByteArray& a, const QByteArray& b) {
    if (a.isEmpty() || a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QByteArray CookieValue(const QByteArray& header, const QByteArray& name) {
    for (const QByteArray& part : header.split(';')) {
        const QByteArray pair = part.trimmed();
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && pair.left(equals).trimmed() == name) return pair.mid(equals + 1).trimmed();
    }
    return {};
}

QByteArray Resource(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads a PEM file of at most kMaxPemSize bytes; "" in `why` when read.
QByteArray ReadPem(const QString& path, const QString& what, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("无法读取%1 %2：%3").arg(what, path, file.errorString());
        return {};
    }
    QByteArray data = file.read(kMaxPemSize + 1);
    if (data.size() > kMaxPemSize) {
        *why = QStringLiteral("%1 %2 过大，不像 PEM 文件").arg(what, path);
        return {};
    }
    return data;
}

std::optional<QSslConfiguration> TlsFrom(const QString& certificatePath, const QString& keyPath, QString* why) {
    if (!QSslSocket::supportsSsl()) {
        *why = QStringLiteral("这台电脑缺少 TLS 支持（OpenSSL），不能使用 HTTPS");
        return std::nullopt;
    }
    const QString certificateWhat = QStringLiteral("证书文件");
    const QString keyWhat = QStringLiteral("私钥文件");
    const QByteArray certificateData = ReadPem(certificatePath, certificateWhat, why);
    if (!why->isEmpty()) return std::nullopt;
    const QByteArray keyData = ReadPem(keyPath, keyWhat, why);
    if (!why->isEmpty()) return std::nullopt;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateData, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        *why = QStringLiteral("%1 %2 中没有 PEM 格式的证书").arg(certificateWhat, certificatePath);
        return std::nullopt;
    }
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(keyData, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) break;
    }
    if (key.isNull()) {
        *why = QStringLiteral("%1 %2 不是可用的 PEM 私钥（带密码的私钥不能使用）").arg(keyWhat, keyPath);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

// This PC's first private IPv4 address on an interface that is up, where the school's phones can reach it.
QString PageHost(bool network) {
    if (network) {
        for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
            const auto flags = interface.flags();
            if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
                flags.testFlag(QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
                const QHostAddress ip = entry.ip();
                if (ip.protocol() != QAbstractSocket::IPv4Protocol) continue;
                if (ip.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
                    ip.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
                    ip.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16))
                    return ip.toString();
            }
        }
    }
    return QStringLiteral("127.0.0.1");
}

// Shows every accepted connection to `watch` before the HTTP server takes it, so that the watch's own handlers
// on the socket run before the server's. While `room` says no, connections are left waiting: in Qt's own queue,
// then in the listen queue, rather than refused. A busy program may not have seen yet that many of its
// connections were closed by their clients, and those that wait are served a moment later.
template <class Base>
class WatchedServer final : public Base {
public:
    WatchedServer(std::function<bool()> room, std::function<void(QTcpSocket*)> watch)
        : room_(std::move(room)), watch_(std::move(watch)) {}

    QTcpSocket* nextPendingConnection() override {
        if (!room_()) return nullptr;
        QTcpSocket* socket = Base::nextPendingConnection();
        if (socket == nullptr) return nullptr;
        watch_(socket);
        if (socket->bytesAvailable() > 0) {
            // Its request came while it waited, and was told to nobody: told again once the server listens.
            QMetaObject::invokeMethod(
                socket,
                [target = QPointer<QTcpSocket>(socket)] {
                    if (target) Q_EMIT target->readyRead();
                },
                Qt::QueuedConnection);
        }
        return socket;
    }

    // There is room again: the HTTP server is told of what waits in Qt's queue, or it would wait for the next
    // client to connect. Put back in the queue, a connection is announced again (the signal a TLS server's
    // clients are taken on), and newConnection is what a plain one's are taken on.
    void Resume() {
        if (!Base::hasPendingConnections() || !room_()) return;
        Base::addPendingConnection(Base::nextPendingConnection());
        Q_EMIT Base::newConnection();
    }

private:
    std::function<bool()> room_;
    std::function<void(QTcpSocket*)> watch_;
};

}  // namespace

class HttpServer final : public QAbstractHttpServer {
public:
    HttpServer(WebBackend& backend, WebAccess& access, std::shared_ptr<ServerLink> link,
               std::chrono::milliseconds actionTimeout, bool allowOutside, bool secure)
        : backend_(backend),
          access_(access),
          link_(std::move(link)),
          actionTimeout_(actionTimeout),
          allowOutside_(allowOutside),
          secure_(secure),
          index_(Resource(QStringLiteral(":/web/index.html"))),
          style_(Resource(QStringLiteral(":/web/style.css"))),
          script_(Resource(QStringLiteral(":/web/app.js"))),
          icon_(Resource(QStringLiteral(":/web/icon.svg"))) {
        signIns_.setMaxThreadCount(kSignInThreads);
    }

    ~HttpServer() override { Close(); }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // "" when listening on `address`, else why not.
    QString Listen(const QHostAddress& address, int port, const std::optional<QSslConfiguration>& tls) {
        if (port < 0 || port > 65535) return QStringLiteral("端口 %1 不在 1 到 65535 之间").arg(port);
        auto room = [this] { return Room(); };
        auto watch = [this](QTcpSocket* socket) { Watch(socket); };
        QTcpServer* server = nullptr;
        if (tls) {
            auto* sslServer = new WatchedServer<QSslServer>(room, watch);
            sslServer->setSslConfiguration(*tls);
            server = sslServer;
            resume_ = [sslServer] { sslServer->Resume(); };
        } else {
            auto* tcpServer = new WatchedServer<QTcpServer>(room, watch);
            server = tcpServer;
            resume_ = [tcpServer] { tcpServer->Resume(); };
        }
        server->setListenBacklogSize(kMaxConnections);
        if (!server->listen(address, static_cast<quint16>(port))) {
            QString why;
            if (server->serverError() == QAbstractSocket::AddressInUseError)
                why = QStringLiteral("端口 %1 已被其他程序占用").arg(port);
            else if (server->serverError() == QAbstractSocket::SocketAccessError)
                why = QStringLiteral("没有权限使用端口 %1").arg(port);
            else
                why = QStringLiteral("不能在端口 %1 上监听：%2").arg(port).arg(server->errorString());
            delete server;
            resume_ = nullptr;
            return why;
        }
        bind(server);
        port_ = server->serverPort();
        sweep_ = new QTimer(this);
        connect(sweep_, &QTimer::timeout, this, [this] { Sweep(); });
        sweep_->start(kSweepEvery);
        return {};
    }

    quint16 Port() const { return port_; }

    // The program's answer to action `id`: "" taken, else why not; none when it did not answer in time.
    void FinishAction(quint64 id, const std::optional<std::string>& why) {
        const auto it = later_.find(id);
        if (it == later_.end()) return;  // given up on already
        const int seconds = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(actionTimeout_).count());
        std::string outcome;
        Reply reply;
        if (!why) {
            outcome = "no answer within " + std::to_string(seconds) + " s";
            reply =
                Error(Code::GatewayTimeout, QStringLiteral("程序没有在 %1 秒内回答，不知道是否已执行").arg(seconds));
        } else if (why->empty()) {
            outcome = "done";
            reply = Ok();
        } else {
            outcome = "refused: " + *why;
            reply = Error(Code::Conflict, QString::fromStdString(*why));
        }
        LogLine("web action by " + it->second.who + ": " + it->second.what + ": " + outcome);
        Deliver(it, reply);
    }

    void FinishSignIn(quint64 id, const WebAccess::SignIn& signIn, WebRole role, const QHostAddress& from) {
        const auto it = later_.find(id);
        if (it == later_.end()) return;
        Reply reply;
        std::string refused;
        switch (signIn.result) {
            case WebAccess::SignIn::Result::Ok: {
                reply = JsonReply({{QStringLiteral("csrf"), QString::fromLatin1(signIn.csrf)},
                                   {QStringLiteral("role"), RoleName(role)}});
                const auto life = std::chrono::duration_cast<std::chrono::seconds>(WebAccess::kSessionLife);
                reply.headers.emplace_back("Set-Cookie", kCookieName + "=" + signIn.cookie + kSessionCookieTail +
                                                             "; Max-Age=" + QByteArray::number(life.count()) +
                                                             (secure_ ? "; Secure" : ""));
                break;
            }
            case WebAccess::SignIn::Result::Wrong:
                // WebAccess logs each wrong password itself, with the address and the role.
                reply = Error(Code::Unauthorized, QStringLiteral("密码不正确"));
                break;
            case WebAccess::SignIn::Result::Locked:
                refused = "locked after too many wrong passwords";
                reply = Error(Code::TooManyRequests, QStringLiteral("尝试次数过多，请一分钟后再试"));
                break;
            case WebAccess::SignIn::Result::NoPassword:
                refused = "no password is set for the role";
                reply = Error(Code::Forbidden, QStringLiteral("%1没有设置密码，不能登录").arg(RoleText(role)));
                break;
        }
        if (!refused.empty())
            LogLine("web sign-in refused: " + AddressText(from).toStdString() + " " + RoleName(role).toStdString() +
                    ": " + refused);
        Deliver(it, reply);
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        const auto connection = connections_.find(socket);
        if (connection != connections_.end()) {
            connection->second.unfinished = 0;
            connection->second.lastData = Clock::now();
        }
        const bool close = request.value("connection").trimmed().toLower() == "close";
        QHttpServerResponder responder = makeResponder(request, socket);
        if (auto reply = Respond(request, socket, responder, close)) Send(responder, socket, *reply, close);
        return true;
    }

    // Never reached: every request is answered in handleRequest.
    void missingHandler(const QHttpServerRequest& /*request*/, QTcpSocket* /*socket*/) override {}

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        qint64 unfinished = 0;  // bytes received since the last complete request
        Clock::time_point lastData, requestStart;
        int waiting = 0;  // its requests answered later
        bool refused = false;
    };
    // A request answered later: an action the program answers, or a sign-in checked off this thread.
    struct Later {
        enum class Kind { Action, SignIn } kind;
        std::unique_ptr<QHttpServerResponder> responder;
        QPointer<QTcpSocket> socket;  // gone when the client left meanwhile: the answer is dropped
        bool close = false;
        std::string who, what;  // Action: for the log
    };
    using LaterMap = std::map<quint64, Later>;
    struct Caller {
        WebRole role = WebRole::Duty;
        bool bySession = false;
        QByteArray csrf;
    };

    bool Room() {
        if (connections_.size() >= kMaxConnections) Prune();
        return connections_.size() < kMaxConnections;
    }

    void Watch(QTcpSocket* socket) {
        const auto now = Clock::now();
        connections_[socket] = Connection{socket, 0, now, now, 0, false};
        connect(socket, &QIODevice::readyRead, this, [this, socket] { Received(socket); });
        connect(socket, &QObject::destroyed, this, [this, socket] {
            connections_.erase(socket);
            if (resume_) resume_();
        });
    }

    // Runs before the HTTP server reads what arrived, while it is still counted as available.
    void Received(QTcpSocket* socket) {
        const auto it = connections_.find(socket);
        if (it == connections_.end()) return;
        Connection& connection = it->second;
        const auto now = Clock::now();
        if (connection.unfinished == 0) connection.requestStart = now;
        connection.lastData = now;
        connection.unfinished += socket->bytesAvailable();
        if (connection.unfinished <= kMaxUnfinished || connection.refused) return;
        connection.refused = true;
        // After the server's own handler has run, which still reads what is there now.
        QMetaObject::invokeMethod(
            this,
            [target = QPointer<QTcpSocket>(socket)] {
                if (!target || target->state() != QAbstractSocket::ConnectedState) return;
                const QByteArray body =
                    QJsonDocument(QJsonObject{{QStringLiteral("error"), QStringLiteral("请求内容过大（最多 64 KB）")}})
                        .toJson(QJsonDocument::Compact);
                target->write(
                    "HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json; charset=utf-8\r\n"
                    "Cache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\n\r\n" + body);
                target->disconnectFromHost();
            },
            Qt::QueuedConnection);
    }

    void Prune() {
        for (auto it = connections_.begin(); it != connections_.end();)
            it = it->second.socket ? std::next(it) : connections_.erase(it);
    }

    // Closes connections that went quiet, trickle a request in, or were refused and linger.
    void Sweep() {
        Prune();
        const auto now = Clock::now();
        std::vector<QTcpSocket*> stale;
        for (const auto& [socket, connection] : connections_) {
            if (connection.waiting > 0) continue;
            const bool idle = now - connection.lastData > kIdleFor;
            const bool slow = connection.unfinished > 0 && now - connection.requestStart > kRequestWithin;
            const bool lingering = connection.refused && now - connection.lastData > kSweepEvery;
            if (idle || slow || lingering) stale.push_back(socket);
        }
        for (QTcpSocket* socket : stale) {
            socket->abort();
            socket->deleteLater();
        }
    }

    void Close() {
        if (sweep_ != nullptr) sweep_->stop();
        signIns_.clear();  // those not begun; the ones running end soon and find the server gone
        for (auto& [socket, connection] : connections_) {
            if (!connection.socket) continue;
            disconnect(socket, nullptr, this, nullptr);
            socket->abort();
        }
        connections_.clear();
        later_.clear();
        const QList<QTcpServer*> servers = this->servers();
        for (QTcpServer* server : servers) delete server;  // and the connections it accepted, its children
    }

    quint64 Defer(Later::Kind kind, QHttpServerResponder& responder, QTcpSocket* socket, bool close) {
        const quint64 id = nextId_++;
        later_.emplace(
            id, Later{kind, std::make_unique<QHttpServerResponder>(std::move(responder)), socket, close, {}, {}});
        const auto connection = connections_.find(socket);
        if (connection != connections_.end()) ++connection->second.waiting;
        return id;
    }

    void Deliver(LaterMap::iterator it, const Reply& reply) {
        Later later = std::move(it->second);
        later_.erase(it);
        if (!later.socket) return;
        const auto connection = connections_.find(later.socket.data());
        if (connection != connections_.end()) {
            --connection->second.waiting;
            connection->second.lastData = Clock::now();
        }
        Send(*later.responder, later.socket, reply, later.close);
    }

    std::size_t Waiting(Later::Kind kind) const {
        return static_cast<std::size_t>(std::count_if(later_.begin(), later_.end(),
                                                      [kind](const auto& entry) { return entry.second.kind == kind; }));
    }

    std::optional<Caller> CallerOf(const QHttpServerRequest& request) const {
        const QByteArray authorization = request.value("authorization").trimmed();
        if (!authorization.isEmpty()) {
            static const QByteArray kBearer = "bearer ";
            if (!authorization.toLower().startsWith(kBearer)) return std::nullopt;
            const auto role = access_.TokenRole(authorization.mid(kBearer.size()).trimmed());
            if (!role) return std::nullopt;
            return Caller{*role, false, {}};
        }
        const QByteArray cookie = CookieValue(request.value("cookie"), kCookieName);
        if (cookie.isEmpty()) return std::nullopt;
        const auto session = access_.SessionOf(cookie);
        if (!session) return std::nullopt;
        return Caller{session->role, true, session->csrf};
    }

    // The answer, or none when it comes later (the responder is then taken).
    std::optional<Reply> Respond(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponder& responder,
                                 bool close) {
        const QHostAddress from = request.remoteAddress();
        if (!allowOutside_ && !IsLocalNetworkAddress(from))
            return Error(Code::Forbidden, QStringLiteral("只接受本机和学校内部网络的访问"));
        bool lengthRead = false;
        const qlonglong length = request.value("content-length").trimmed().toLongLong(&lengthRead);
        if ((lengthRead && length > kMaxBody) || request.body().size() > kMaxBody)
            return Error(Code::PayloadTooLarge, QStringLiteral("请求内容过大（最多 64 KB）"));
        const auto route = FindRoute(request.url().path());
        if (!route) return Error(Code::NotFound, QStringLiteral("没有这个页面"));
        if (request.method() != route->method) {
            Reply reply = Error(Code::MethodNotAllowed, QStringLiteral("这个地址不接受这种请求方法"));
            reply.headers.emplace_back("Allow", route->method == Method::Get ? "GET" : "POST");
            return reply;
        }
        switch (route->page) {
            case Page::Index:
                return FileReply(index_, "text/html; charset=utf-8");
            case Page::Style:
                return FileReply(style_, "text/css; charset=utf-8");
            case Page::Script:
                return FileReply(script_, "text/javascript; charset=utf-8");
            case Page::Icon:
                return FileReply(icon_, "image/svg+xml");
            case Page::Login:
                return SignIn(request, socket, responder, close);
            case Page::Logout: {
                // Ending a session needs no CSRF token: the worst a forged one does is sign someone out.
                const QByteArray cookie = CookieValue(request.value("cookie"), kCookieName);
                if (!cookie.isEmpty()) access_.SignOut(cookie);
                Reply reply = Ok();
                reply.headers.emplace_back(
                    "Set-Cookie", kCookieName + "=" + kSessionCookieTail + "; Max-Age=0" + (secure_ ? "; Secure" : ""));
                return reply;
            }
            case Page::Status: {
                const auto caller = CallerOf(request);
                if (!caller) return Error(Code::Unauthorized, QStringLiteral("请先登录"));
                QJsonObject status = backend_.Status();
                // What 值班 may not start is not offered to it; the signal sounding is everybody's to see.
                if (caller->role != WebRole::Admin) status.remove(QStringLiteral("signals"));
                status.insert(QStringLiteral("role"), RoleName(caller->role));
                return JsonReply(status);
            }
            case Page::Metrics: {
                // A session or a token: a monitoring server asks with a token; the counts are nobody else's
                // business.
                if (!CallerOf(request)) return Error(Code::Unauthorized, QStringLiteral("请先登录或提供令牌"));
                return Reply{Code::Ok, "text/plain; version=0.0.4; charset=utf-8", backend_.Metrics(), {}};
            }
            case Page::Action:
                return Act(request, socket, responder, close, *route);
        }
        return Error(Code::NotFound, QStringLiteral("没有这个页面"));
    }

    static Reply FileReply(const QByteArray& content, const QByteArray& type) {
        if (content.isEmpty()) return Error(Code::InternalServerError, QStringLiteral("程序中缺少网页文件"));
        return Reply{Code::Ok, type, content, {}};
    }

    // The password is checked on a thread of the pool: its hash is slow on purpose, and the server's thread
    // answers everyone else meanwhile.
    std::optional<Reply> SignIn(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponder& responder,
                                bool close) {
        const auto object = ObjectOf(request.body(), false);
        if (!object) return Error(Code::BadRequest, QStringLiteral("请求内容不是有效的 JSON 对象"));
        const QJsonValue roleValue = object->value(QStringLiteral("role"));
        const QJsonValue passwordValue = object->value(QStringLiteral("password"));
        std::optional<WebRole> role;
        if (roleValue == QJsonValue(QStringLiteral("duty"))) role = WebRole::Duty;
        if (roleValue == QJsonValue(QStringLiteral("admin"))) role = WebRole::Admin;
        if (!role) return Error(Code::BadRequest, QStringLiteral("role 应为 \"duty\" 或 \"admin\""));
        if (!passwordValue.isString() || passwordValue.toString().size() > kMaxPasswordLength)
            return Error(Code::BadRequest, QStringLiteral("password 应为文字"));
        if (Waiting(Later::Kind::SignIn) >= kMaxWaitingSignIns)
            return Error(Code::ServiceUnavailable, QStringLiteral("登录的人太多，请稍后再试"));

        const quint64 id = Defer(Later::Kind::SignIn, responder, socket, close);
        signIns_.start([link = link_, &access = access_, id, from = request.remoteAddress(), role = *role,
                        password = passwordValue.toString()] {
            const WebAccess::SignIn signIn = access.SignInWith(from, role, password);
            const std::lock_guard<std::mutex> lock(link->mutex);
            if (link->server == nullptr) return;
            QMetaObject::invokeMethod(
                link->server,
                [server = link->server, id, signIn, role, from] { server->FinishSignIn(id, signIn, role, from); },
                Qt::QueuedConnection);
        });
        return std::nullopt;
    }

    std::optional<Reply> Act(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponder& responder,
                             bool close, const Route& route) {
        const auto caller = CallerOf(request);
        if (!caller) return Error(Code::Unauthorized, QStringLiteral("请先登录"));
        const QString address = AddressText(request.remoteAddress());
        if (caller->bySession && !SameToken(request.value("x-csrf-token"), caller->csrf)) {
            LogLine("web action refused: " + address.toStdString() + " " + RoleName(caller->role).toStdString() + ": " +
                    request.url().path().toStdString() + " without its session's CSRF token");
            return Error(Code::Forbidden, QStringLiteral("请求缺少有效的 CSRF 令牌，请刷新页面后重试"));
        }
        if (route.adminOnly && caller->role != WebRole::Admin) {
            LogLine("web action refused: " + address.toStdString() + " " + RoleName(caller->role).toStdString() + ": " +
                    request.url().path().toStdString() + " is for admin only");
            return Error(Code::Forbidden, QStringLiteral("只有管理身份可以启动、推进或结束紧急信号和演练"));
        }
        QString why;
        const auto action = ActionOf(route.kind, request.body(), &why);
        if (!action) return Error(Code::BadRequest, why);
        if (Waiting(Later::Kind::Action) >= kMaxWaitingActions)
            return Error(Code::ServiceUnavailable, QStringLiteral("同时进行的操作太多，请稍后再试"));

        const quint64 id = Defer(Later::Kind::Action, responder, socket, close);
        Later& later = later_.at(id);
        later.who = address.toStdString() + " " + RoleName(caller->role).toStdString();
        later.what = ActionText(*action);
        QTimer::singleShot(actionTimeout_, this, [this, id] { FinishAction(id, std::nullopt); });
        const QString who = address + QLatin1Char(' ') + RoleText(caller->role);
        backend_.Act(*action, who.toStdString(), [link = link_, id](const std::string& reason) {
            // Back to the server's thread; a server stopped meanwhile takes nothing.
            const std::lock_guard<std::mutex> lock(link->mutex);
            if (link->server == nullptr) return;
            QMetaObject::invokeMethod(
                link->server, [server = link->server, id, reason] { server->FinishAction(id, reason); },
                Qt::QueuedConnection);
        });
        return std::nullopt;
    }

    WebBackend& backend_;
    WebAccess& access_;
    std::shared_ptr<ServerLink> link_;
    std::chrono::milliseconds actionTimeout_;
    bool allowOutside_;
    bool secure_;
    QByteArray index_, style_, script_, icon_;
    quint16 port_ = 0;
    std::function<void()> resume_;  // hands over the connections that waited for room
    QTimer* sweep_ = nullptr;
    std::unordered_map<QTcpSocket*, Connection> connections_;
    LaterMap later_;
    quint64 nextId_ = 1;
    QThreadPool signIns_;  // last: destroyed first, waiting for the checks still running
};

WebServer::WebServer(WebBackend& backend, WebAccess& access, std::chrono::milliseconds actionTimeout)
    : backend_(backend), access_(access), actionTimeout_(actionTimeout) {
    InitPageResources();
}

WebServer::~WebServer() { Stop(); }

QString WebServer::Start(const WebSettings& settings) {
    Stop();
    std::optional<QSslConfiguration> tls;
    if (!settings.certificate.isEmpty() && !settings.key.isEmpty()) {
        QString why;
        tls = TlsFrom(settings.certificate, settings.key, &why);
        if (!tls) return why;
    }
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("web"));
    home_ = new QObject;
    home_->moveToThread(thread_.get());
    thread_->start();
    link_ = std::make_shared<ServerLink>();
    const QHostAddress address = settings.network ? QHostAddress(QHostAddress::Any) : QHostAddress::LocalHost;
    QString why;
    QMetaObject::invokeMethod(
        home_,
        [&] {
            auto server = std::make_unique<HttpServer>(backend_, access_, link_, actionTimeout_, settings.allowOutside,
                                                       tls.has_value());
            why = server->Listen(address, settings.port, tls);
            if (!why.isEmpty()) return;
            port_ = server->Port();
            server_ = server.release();
            const std::lock_guard<std::mutex> lock(link_->mutex);
            link_->server = server_;
        },
        Qt::BlockingQueuedConnection);
    if (!why.isEmpty()) {
        Stop();
        return why;
    }
    address_ = QStringLiteral("%1://%2:%3/")
                   .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), PageHost(settings.network))
                   .arg(port_);
    return {};
}

void WebServer::Stop() {
    if (!thread_) return;
    if (link_) {
        const std::lock_guard<std::mutex> lock(link_->mutex);
        link_->server = nullptr;
    }
    QMetaObject::invokeMethod(
        home_,
        [this] {
            delete server_;
            server_ = nullptr;
        },
        Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete home_;  // its thread is over: nothing can be delivered to it any more
    home_ = nullptr;
    thread_.reset();
    link_.reset();
    port_ = 0;
    address_.clear();
}

}  // namespace lingchao
