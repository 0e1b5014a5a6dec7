// The office page's server over loopback, with a fake program behind it that answers actions later from another
// thread: who may do what, sign-in and its lock, hostile and malformed requests, many clients at once, answers
// that come too late or after the client left, and what Start says when it cannot serve.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "web/web_server.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;

constexpr int kWaitMs = 60000;  // generous: the machine may be busy with other tests
const QByteArray kToken = "duty-token-for-the-test";

// Answers every action from a thread of its own; skipping the next bell and starting any signal but 地震演练 are
// refused. Held answers wait until the test lets them go.
class FakeBackend final : public WebBackend {
public:
    struct Seen {
        WebAction action;
        std::string who;
    };
    ~FakeBackend() override {
        for (std::thread& thread : threads_) thread.join();
    }
    QJsonObject Status() const override {
        return {{"date", "2026-12-08"},
                {"bells", QJsonArray{}},
                {"signal", QJsonValue::Null},
                {"signals", QJsonArray{QJsonObject{{"name", "地震演练"}, {"kind", "drill"}}}}};
    }
    QByteArray Metrics() const override { return "lingchao_bells_today 9\n"; }
    void Act(const WebAction& action, const std::string& who, std::function<void(std::string)> done) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back({action, who});
        if (hold_) {
            held_.push_back(std::move(done));
            return;
        }
        std::string why;
        if (action.kind == WebAction::Kind::SkipNext) why = "今天已经没有要响的铃声了";
        if (action.kind == WebAction::Kind::SignalStart && action.name != "地震演练") why = "正在进行「地震演练」";
        threads_.emplace_back([done = std::move(done), why] { done(why); });
    }
    std::vector<Seen> SeenSoFar() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    void Hold() { hold_ = true; }
    // The held answers, given from another thread.
    void Release() {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto& done : held_) threads_.emplace_back([done = std::move(done)] { done(""); });
        held_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Seen> seen_;
    std::vector<std::function<void(std::string)>> held_;
    std::vector<std::thread> threads_;
    bool hold_ = false;
};

struct Answer {
    int status = 0;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray Header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
        return {};
    }
    QJsonObject Json() const { return QJsonDocument::fromJson(body).object(); }
    QString Error() const { return Json().value("error").toString(); }
};

// Reads one answer from a raw connection: up to the end of its body, or until the server closes it.
QByteArray ReadAnswer(QTcpSocket& socket) {
    QByteArray data;
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = data.left(end).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const int length = at < 0 ? 0 : head.mid(at + 15, head.indexOf("\r\n", at) - at - 15).trimmed().toInt();
            if (data.size() >= end + 4 + length) break;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) break;
        socket.waitForReadyRead(100);
        data += socket.readAll();
    }
    return data;
}

class WebServerTest : public ::testing::Test {
protected:
    // PBKDF2 is slow on purpose: hashed once for all the tests.
    static void SetUpTestSuite() {
        hashes_ = new WebAccess::Hashes{
            HashSecret("duty-pass"), HashSecret("admin-pass"), HashToken(QString::fromLatin1(kToken)), {}};
    }
    static void TearDownTestSuite() { delete hashes_; }

    void SetUp() override {
        nam_.setProxy(QNetworkProxy::NoProxy);
        WebSettings settings;
        settings.port = 0;
        ASSERT_EQ(server_->Start(settings), "");
        ASSERT_NE(server_->Port(), 0);
    }

    Answer Ask(const QByteArray& method, const QString& path, const QByteArray& body = {},
               const std::vector<std::pair<QByteArray, QByteArray>>& headers = {}) {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_->Port()).arg(path)));
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        for (const auto& [name, value] : headers) request.setRawHeader(name, value);
        QNetworkReply* reply = nam_.sendCustomRequest(request, method, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        answer.headers = reply->rawHeaderPairs();
        reply->deleteLater();
        return answer;
    }

    // Signs in; the cookie's value and the CSRF token.
    std::pair<QByteArray, QByteArray> SignIn(const char* role, const char* password) {
        const Answer answer =
            Ask("POST", "/api/login", QJsonDocument(QJsonObject{{"role", role}, {"password", password}}).toJson());
        EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
        const QByteArray cookie = answer.Header("Set-Cookie");
        const QByteArray value = cookie.split(';').first().split('=').last();
        return {"lingchao_session=" + value, answer.Json().value("csrf").toString().toLatin1()};
    }

    QByteArray Raw(const QByteArray& request) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server_->Port());
        EXPECT_TRUE(socket.waitForConnected(kWaitMs));
        socket.write(request);
        return ReadAnswer(socket);
    }

    static WebAccess::Hashes* hashes_;
    FakeBackend backend_;
    WebAccess access_{*hashes_};
    std::unique_ptr<WebServer> server_ = std::make_unique<WebServer>(backend_, access_);
    QNetworkAccessManager nam_;
};
WebAccess::Hashes* WebServerTest::hashes_ = nullptr;

const std::vector<std::pair<QString, QByteArray>> kActions = {
    {"/api/actions/ring", R"({"job":3})"},
    {"/api/actions/stop", ""},
    {"/api/actions/silence-today", "{}"},
    {"/api/actions/skip-next", "{}"},
    {"/api/actions/delay-today", R"({"minutes":10})"},
    {"/api/actions/restore-today", "{}"},
};

TEST_F(WebServerTest, ActionsNeedASessionWithItsCsrfTokenOrABearerToken) {
    for (const auto& [path, body] : kActions) EXPECT_EQ(Ask("POST", path, body).status, 401) << path.toStdString();
    EXPECT_EQ(Ask("GET", "/api/status").status, 401);
    EXPECT_EQ(Ask("GET", "/metrics").status, 401);
    EXPECT_EQ(Ask("POST", "/api/actions/stop", "", {{"Authorization", "Bearer not-the-token"}}).status, 401);
    EXPECT_TRUE(backend_.SeenSoFar().empty());

    const Answer login = Ask("POST", "/api/login", R"({"role":"duty","password":"duty-pass"})");
    ASSERT_EQ(login.status, 200) << login.body.toStdString();
    EXPECT_EQ(login.Json().value("role"), "duty");
    const QByteArray setCookie = login.Header("Set-Cookie");
    EXPECT_TRUE(setCookie.startsWith("lingchao_session=")) << setCookie.toStdString();
    for (const char* part : {"; HttpOnly", "; SameSite=Strict", "; Path=/", "; Max-Age=43200"})
        EXPECT_TRUE(setCookie.contains(part)) << setCookie.toStdString();
    EXPECT_FALSE(setCookie.contains("Secure")) << "plain HTTP";
    const auto [cookie, csrf] = SignIn("duty", "duty-pass");
    ASSERT_FALSE(csrf.isEmpty());

    for (const auto& [path, body] : kActions) {
        EXPECT_EQ(Ask("POST", path, body, {{"Cookie", cookie}}).status, 403) << path.toStdString();
        EXPECT_EQ(Ask("POST", path, body, {{"Cookie", cookie}, {"X-CSRF-Token", csrf + "x"}}).status, 403);
    }
    EXPECT_TRUE(backend_.SeenSoFar().empty()) << "no action without the CSRF token";
    for (const auto& [path, body] : kActions) {
        const Answer answer = Ask("POST", path, body, {{"Cookie", cookie}, {"X-CSRF-Token", csrf}});
        if (path.endsWith("skip-next")) {
            // The program's refusal reaches the page word for word.
            EXPECT_EQ(answer.status, 409);
            EXPECT_EQ(answer.Error(), "今天已经没有要响的铃声了");
        } else {
            EXPECT_EQ(answer.status, 200) << path.toStdString() << answer.body.toStdString();
            EXPECT_EQ(answer.Json().value("ok"), true);
        }
    }
    const auto seen = backend_.SeenSoFar();
    ASSERT_EQ(seen.size(), kActions.size());
    EXPECT_EQ(seen[0].action.kind, WebAction::Kind::Ring);
    EXPECT_EQ(seen[0].action.job, 3);
    EXPECT_EQ(seen[4].action.kind, WebAction::Kind::DelayToday);
    EXPECT_EQ(seen[4].action.minutes, 10);
    EXPECT_EQ(seen[0].who, "127.0.0.1 值班");

    // A token needs neither a session nor a CSRF token.
    const Answer byToken =
        Ask("POST", "/api/actions/ring", R"({"file":"a.wav"})", {{"Authorization", "Bearer " + kToken}});
    EXPECT_EQ(byToken.status, 200) << byToken.body.toStdString();
    EXPECT_EQ(backend_.SeenSoFar().back().action.file, "a.wav");

    const Answer status = Ask("GET", "/api/status", {}, {{"Cookie", cookie}});
    EXPECT_EQ(status.status, 200);
    EXPECT_EQ(status.Json().value("role"), "duty");
    EXPECT_EQ(status.Json().value("date"), "2026-12-08");
    const Answer metrics = Ask("GET", "/metrics", {}, {{"Authorization", "Bearer " + kToken}});
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.body, "lingchao_bells_today 9\n");
    EXPECT_EQ(metrics.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");

    EXPECT_EQ(Ask("POST", "/api/logout", {}, {{"Cookie", cookie}}).status, 200);
    EXPECT_EQ(Ask("GET", "/api/status", {}, {{"Cookie", cookie}}).status, 401) << "signed out";
    const auto admin = SignIn("admin", "admin-pass");
    EXPECT_EQ(Ask("GET", "/api/status", {}, {{"Cookie", admin.first}}).Json().value("role"), "admin");
}

TEST_F(WebServerTest, OnlyAdminStartsStepsOrEndsASignalAndOnlyAdminIsOfferedThePlans) {
    const std::vector<std::pair<QString, QByteArray>> signalActions = {
        {"/api/actions/signal-start", R"({"name":"地震演练"})"},
        {"/api/actions/signal-next", "{}"},
        {"/api/actions/signal-end", "{}"},
    };
    const auto [dutyCookie, dutyCsrf] = SignIn("duty", "duty-pass");
    for (const auto& [path, body] : signalActions) {
        for (const auto& headers :
             {std::vector<std::pair<QByteArray, QByteArray>>{{"Cookie", dutyCookie}, {"X-CSRF-Token", dutyCsrf}},
              {{"Authorization", "Bearer " + kToken}}}) {
            const Answer answer = Ask("POST", path, body, headers);
            EXPECT_EQ(answer.status, 403) << path.toStdString();
            EXPECT_TRUE(answer.Error().contains("管理")) << answer.Error().toStdString();
        }
    }
    EXPECT_TRUE(backend_.SeenSoFar().empty());
    const QJsonObject dutyStatus = Ask("GET", "/api/status", {}, {{"Cookie", dutyCookie}}).Json();
    EXPECT_FALSE(dutyStatus.contains("signals")) << "值班 is not offered what it may not start";
    EXPECT_TRUE(dutyStatus.contains("signal")) << "but sees the one sounding";

    const auto [cookie, csrf] = SignIn("admin", "admin-pass");
    const std::vector<std::pair<QByteArray, QByteArray>> admin = {{"Cookie", cookie}, {"X-CSRF-Token", csrf}};
    EXPECT_EQ(Ask("POST", "/api/actions/signal-start", R"({"name":"地震演练"})", {{"Cookie", cookie}}).status, 403)
        << "admin needs the CSRF token like any action";
    for (const char* body : {"{}", R"({"name":""})", R"({"name":3})", "{\"name\":\"a\\nb\"}"}) {
        const Answer answer = Ask("POST", "/api/actions/signal-start", body, admin);
        EXPECT_EQ(answer.status, 400) << body;
    }
    EXPECT_TRUE(backend_.SeenSoFar().empty());

    for (const auto& [path, body] : signalActions) {
        const Answer answer = Ask("POST", path, body, admin);
        EXPECT_EQ(answer.status, 200) << path.toStdString() << answer.body.toStdString();
    }
    const Answer refused = Ask("POST", "/api/actions/signal-start", R"({"name":"防空警报"})", admin);
    EXPECT_EQ(refused.status, 409);
    EXPECT_EQ(refused.Error(), "正在进行「地震演练」");
    const auto seen = backend_.SeenSoFar();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].action.kind, WebAction::Kind::SignalStart);
    EXPECT_EQ(seen[0].action.name, "地震演练");
    EXPECT_EQ(seen[0].who, "127.0.0.1 管理");
    EXPECT_EQ(seen[1].action.kind, WebAction::Kind::SignalNext);
    EXPECT_EQ(seen[2].action.kind, WebAction::Kind::SignalEnd);
    EXPECT_EQ(seen[3].action.name, "防空警报");
    const QJsonArray plans = Ask("GET", "/api/status", {}, {{"Cookie", cookie}}).Json().value("signals").toArray();
    ASSERT_EQ(plans.size(), 1);
    EXPECT_EQ(plans[0].toObject().value("name"), "地震演练");
}

TEST_F(WebServerTest, TheSixthWrongPasswordLocksTheAddressEvenAgainstTheRightOne) {
    const QByteArray wrong = R"({"role":"duty","password":"guess"})";
    for (int i = 0; i < 5; ++i) {
        const Answer answer = Ask("POST", "/api/login", wrong);
        EXPECT_EQ(answer.status, 401) << i;
        EXPECT_EQ(answer.Error(), "密码不正确");
    }
    const int sixth = Ask("POST", "/api/login", wrong).status;
    EXPECT_TRUE(sixth == 401 || sixth == 429) << sixth;
    const Answer right = Ask("POST", "/api/login", R"({"role":"duty","password":"duty-pass"})");
    EXPECT_EQ(right.status, 429);
    EXPECT_EQ(right.Error(), "尝试次数过多，请一分钟后再试");
    EXPECT_TRUE(right.Header("Set-Cookie").isEmpty());
}

TEST_F(WebServerTest, PagesComeFromTheProgramWithTheirTypesAndNothingElseIsServed) {
    for (const auto& [path, file, type] : std::vector<std::tuple<QString, QString, QByteArray>>{
             {"/", ":/web/index.html", "text/html; charset=utf-8"},
             {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
             {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
             {"/icon.svg", ":/web/icon.svg", "image/svg+xml"}}) {
        QFile resource(file);
        ASSERT_TRUE(resource.open(QIODevice::ReadOnly)) << file.toStdString();
        const Answer answer = Ask("GET", path);
        EXPECT_EQ(answer.status, 200) << path.toStdString();
        EXPECT_EQ(answer.body, resource.readAll());
        EXPECT_EQ(answer.Header("Content-Type"), type);
        EXPECT_EQ(answer.Header("Cache-Control"), "no-store");
        EXPECT_EQ(answer.Header("Content-Security-Policy"), "default-src 'self'");
        EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(answer.Header("X-Frame-Options"), "DENY");
        EXPECT_EQ(answer.Header("Referrer-Policy"), "no-referrer");
    }
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/..%2f..%2fetc%2fpasswd",
                             "/web/index.html", "/index.html/", "/api/actions/../../etc/passwd"}) {
        const QByteArray answer = Raw("GET " + QByteArray(path) + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 404")) << path << "\n" << answer.toStdString();
        EXPECT_FALSE(answer.contains("root:")) << path;
    }
}

TEST_F(WebServerTest, BadRequestsAreRefusedWithAReasonAndReachNothing) {
    const QByteArray token = "Bearer " + kToken;
    const Answer unknown = Ask("GET", "/nothing-here");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_FALSE(unknown.Error().isEmpty());
    EXPECT_EQ(Ask("POST", "/api/actions/explode", "{}", {{"Authorization", token}}).status, 404);
    const Answer getLogin = Ask("GET", "/api/login");
    EXPECT_EQ(getLogin.status, 405);
    EXPECT_EQ(getLogin.Header("Allow"), "POST");
    EXPECT_EQ(Ask("POST", "/").Header("Allow"), "GET");
    EXPECT_EQ(Ask("DELETE", "/api/status").status, 405);

    for (const auto& [path, body] :
         std::vector<std::pair<QString, QByteArray>>{{"/api/login", "{not json"},
                                                     {"/api/login", R"({"role":"janitor","password":"x"})"},
                                                     {"/api/login", R"({"role":"duty","password":12345})"},
                                                     {"/api/actions/ring", "{}"},
                                                     {"/api/actions/ring", R"({"job":"3"})"},
                                                     {"/api/actions/ring", R"({"job":3,"file":"a.wav"})"},
                                                     {"/api/actions/ring", R"({"job":2.5})"},
                                                     {"/api/actions/ring", R"({"file":"../../etc/passwd"})"},
                                                     {"/api/actions/delay-today", R"({"minutes":0})"},
                                                     {"/api/actions/delay-today", R"({"minutes":121})"},
                                                     {"/api/actions/delay-today", R"({"minutes":"10"})"},
                                                     {"/api/actions/stop", "[1,2]"}}) {
        const Answer answer = Ask("POST", path, body, {{"Authorization", token}});
        EXPECT_EQ(answer.status, 400) << path.toStdString() << " " << body.toStdString();
        EXPECT_FALSE(answer.Error().isEmpty()) << body.toStdString();
    }
    const Answer large =
        Ask("POST", "/api/actions/stop", "{\"x\":\"" + QByteArray(100 * 1024, 'a') + "\"}", {{"Authorization", token}});
    EXPECT_EQ(large.status, 413);
    EXPECT_FALSE(large.Error().isEmpty());
    EXPECT_TRUE(backend_.SeenSoFar().empty());

    // Not HTTP at all: the connection ends, and the server goes on serving.
    QTcpSocket garbage;
    garbage.connectToHost(QHostAddress::LocalHost, server_->Port());
    ASSERT_TRUE(garbage.waitForConnected(kWaitMs));
    static const char kHello[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 \r\n\r\n";
    garbage.write(QByteArray(kHello, sizeof kHello - 1));
    EXPECT_TRUE(garbage.state() == QAbstractSocket::UnconnectedState || garbage.waitForDisconnected(kWaitMs));
    EXPECT_EQ(Ask("GET", "/api/status", {}, {{"Authorization", token}}).status, 200);
}

TEST_F(WebServerTest, AConnectionSendingMoreThanItMayWithoutEndingItsRequestIsClosed) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server_->Port());
    ASSERT_TRUE(socket.waitForConnected(kWaitMs));
    socket.write("POST /api/actions/stop HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\n");
    const QByteArray chunk(64 * 1024, 'a');
    qint64 sent = 0;
    const QDeadlineTimer deadline(kWaitMs);
    while (socket.state() == QAbstractSocket::ConnectedState && sent < 64 * 1024 * 1024 && !deadline.hasExpired()) {
        if (socket.bytesToWrite() < 1024 * 1024) sent += socket.write(chunk);
        socket.waitForBytesWritten(100);
        socket.waitForReadyRead(1);
    }
    EXPECT_NE(socket.state(), QAbstractSocket::ConnectedState) << "still open after " << sent << " bytes";
    EXPECT_LT(sent, 64 * 1024 * 1024);
    EXPECT_TRUE(backend_.SeenSoFar().empty());
}

// Beyond the server's 256 connections, held here by clients that say nothing, the others wait their turn and are
// answered once the first go: none is refused.
TEST_F(WebServerTest, TwoHundredClientsAskingAtOnceAreAllAnsweredEvenBeyondTheConnectionCap) {
    constexpr int kClients = 200;
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 256; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, server_->Port());
    }
    QTimer::singleShot(500, [&idle] { idle.clear(); });
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> answers(kClients);
    int done = 0;
    QEventLoop loop;
    for (int i = 0; i < kClients; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = socket.get();
        QObject::connect(raw, &QTcpSocket::readyRead, [raw, &answers, i] { answers[i] += raw->readAll(); });
        QObject::connect(raw, &QTcpSocket::disconnected, [&, raw, i] {
            answers[i] += raw->readAll();
            if (++done == kClients) loop.quit();
        });
        raw->connectToHost(QHostAddress::LocalHost, server_->Port());
        raw->write("GET /api/status HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
                   "\r\nConnection: close\r\n\r\n");
        sockets.push_back(std::move(socket));
    }
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    if (done < kClients) loop.exec();
    int answered = 0;
    for (const QByteArray& answer : answers) answered += answer.startsWith("HTTP/1.1 200") ? 1 : 0;
    EXPECT_EQ(answered, kClients);
}

TEST_F(WebServerTest, AnActionUnansweredInTimeIs504AndALateAnswerOrALeftClientHarmsNothing) {
    server_ = std::make_unique<WebServer>(backend_, access_, 500ms);
    WebSettings settings;
    settings.port = 0;
    ASSERT_EQ(server_->Start(settings), "");
    backend_.Hold();
    const std::pair<QByteArray, QByteArray> token{"Authorization", "Bearer " + kToken};

    const Answer late = Ask("POST", "/api/actions/stop", "", {token});
    EXPECT_EQ(late.status, 504);
    EXPECT_FALSE(late.Error().isEmpty());

    // The client leaves before the program answers.
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server_->Port());
        ASSERT_TRUE(socket.waitForConnected(kWaitMs));
        socket.write("POST /api/actions/restore-today HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
                     "\r\nContent-Length: 0\r\n\r\n");
        const QDeadlineTimer deadline(kWaitMs);
        while (backend_.SeenSoFar().size() < 2 && !deadline.hasExpired()) socket.waitForReadyRead(10);
        ASSERT_EQ(backend_.SeenSoFar().size(), 2u);
    }
    backend_.Release();
    EXPECT_EQ(Ask("GET", "/api/status", {}, {token}).status, 200);
    // Answers still to come when the server stops are dropped.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server_->Port());
    ASSERT_TRUE(socket.waitForConnected(kWaitMs));
    socket.write("POST /api/actions/stop HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
                 "\r\nContent-Length: 0\r\n\r\n");
    const QDeadlineTimer deadline(kWaitMs);
    while (backend_.SeenSoFar().size() < 3 && !deadline.hasExpired()) socket.waitForReadyRead(10);
    server_->Stop();
    backend_.Release();
}

TEST_F(WebServerTest, StartSaysWhyItCannotServe) {
    WebServer second(backend_, access_);
    WebSettings settings;
    settings.port = server_->Port();
    const QString taken = second.Start(settings);
    EXPECT_TRUE(taken.contains(QString::number(server_->Port()))) << taken.toStdString();
    EXPECT_FALSE(second.Running());
    EXPECT_EQ(server_->Address(), QStringLiteral("http://127.0.0.1:%1/").arg(server_->Port()));

    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.pem"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("-----BEGIN CERTIFICATE-----\nnot a certificate\n-----END CERTIFICATE-----\n");
    bad.close();
    settings.port = 0;
    settings.certificate = bad.fileName();
    settings.key = bad.fileName();
    EXPECT_FALSE(second.Start(settings).isEmpty());
    EXPECT_FALSE(second.Running());
    settings.certificate = dir.filePath("missing.pem");
    EXPECT_TRUE(second.Start(settings).contains("missing.pem"));
    EXPECT_FALSE(second.Running());
}

TEST_F(WebServerTest, WithACertificateItServesHttpsAndTheCookieIsSecure) {
    QTemporaryDir dir;
    const QString certificate = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                              "-keyout", key, "-out", certificate});
    if (!openssl.waitForFinished(kWaitMs) || openssl.exitCode() != 0)
        GTEST_SKIP() << "no openssl to make a certificate";
    WebSettings settings;
    settings.port = 0;
    settings.certificate = certificate;
    settings.key = key;
    ASSERT_EQ(server_->Start(settings), "");
    EXPECT_TRUE(server_->Address().startsWith("https://127.0.0.1:"));

    QNetworkRequest request(QUrl(QStringLiteral("https://127.0.0.1:%1/api/login").arg(server_->Port())));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = nam_.post(request, QByteArray(R"({"role":"duty","password":"duty-pass"})"));
    reply->ignoreSslErrors();
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200)
        << reply->errorString().toStdString();
    EXPECT_TRUE(reply->rawHeader("Set-Cookie").contains("; Secure")) << reply->rawHeader("Set-Cookie").toStdString();
    reply->deleteLater();
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
