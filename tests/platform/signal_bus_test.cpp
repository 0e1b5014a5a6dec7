#include "platform/signal_bus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <vector>

namespace lingchao {
namespace {

using namespace std::chrono_literals;

using Reply = SignalBusService::Reply;

// Answers as the bell would: later, from the event loop; only 地震演练 is a signal, and none is running.
SignalBusService::Hook LaterHook(std::vector<std::string>* started) {
    return [started](SignalRequest request, const std::string& name, const Reply& reply) {
        if (request == SignalRequest::Start) {
            if (started != nullptr) started->push_back(name);
            const std::string why = name == "地震演练" ? "" : "没有叫“" + name + "”的信号";
            QTimer::singleShot(50, [reply, why] { reply(why); });
        } else if (request == SignalRequest::Next) {
            QTimer::singleShot(0, [reply] { reply("没有正在进行的信号"); });
        } else {
            reply(name);  // 结束 is taken only when the name it gets is empty
        }
    };
}

TEST(SignalBus, AnswersGivenLaterReachTheCallerTakenOrRefusedWithTheReason) {
    std::vector<std::string> started;
    SignalBusService service(LaterHook(&started));
    ASSERT_TRUE(service.Register());
    std::string why = "stale";
    EXPECT_EQ(SignalBusCall(SignalRequest::Start, "地震演练", &why), SignalBusAnswer::Taken);
    EXPECT_EQ(why, "");
    EXPECT_EQ(SignalBusCall(SignalRequest::Start, "火灾", &why), SignalBusAnswer::Refused);
    EXPECT_EQ(why, "没有叫“火灾”的信号");
    EXPECT_EQ(started, (std::vector<std::string>{"地震演练", "火灾"}));
    EXPECT_EQ(SignalBusCall(SignalRequest::Next, "", &why), SignalBusAnswer::Refused);
    EXPECT_EQ(why, "没有正在进行的信号");
    // 结束 takes no name: the hook is given none even when the caller passes one.
    EXPECT_EQ(SignalBusCall(SignalRequest::End, "火灾", &why), SignalBusAnswer::Taken);
}

TEST(SignalBus, TheCommandLineExitsZeroWhenTakenAndOneWithTheReasonWhenNot) {
    SignalBusService service(LaterHook(nullptr));
    ASSERT_TRUE(service.Register());
    EXPECT_EQ(RunSignalBusCommand(SignalRequest::Start, "地震演练"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunSignalBusCommand(SignalRequest::Start, "火灾"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "没有叫“火灾”的信号\n");
    EXPECT_EQ(RunSignalBusCommand(SignalRequest::End, ""), 0);
}

TEST(SignalBus, WithoutARunningCopyOrABusNothingIsTakenAndNoneIsStarted) {
    std::string why;
    EXPECT_EQ(SignalBusCall(SignalRequest::Start, "地震演练", &why), SignalBusAnswer::NoProgram);
    EXPECT_EQ(why, "没有正在运行的铃潮");
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunSignalBusCommand(SignalRequest::End, ""), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "没有正在运行的铃潮\n");
    // The running copy's name on the bus must not start a program: nothing is activated, the name stays free.
    EXPECT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("net.lingchao.Bell")));

    // No bus at all: neither side starts one of its own.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QTemporaryDir runtime;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    EXPECT_EQ(SignalBusCall(SignalRequest::End, "", &why), SignalBusAnswer::NoProgram);
    EXPECT_EQ(why, "没有正在运行的铃潮");
    SignalBusService service(LaterHook(nullptr));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(service.Register());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("drills from the command line off: no session bus"),
              std::string::npos);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    EXPECT_TRUE(QDir(runtime.path()).isEmpty());
}

TEST(SignalBus, ANameTakenByAnotherIsLoggedOnceAndTheOtherKeepsIt) {
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    ASSERT_TRUE(other.registerService(QStringLiteral("net.lingchao.Bell")));
    {
        std::vector<std::string> started;
        SignalBusService service(LaterHook(&started));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(service.Register());
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("drills from the command line off: net.lingchao.Bell is taken"), std::string::npos) << log;
        EXPECT_EQ(log.find('\n'), log.size() - 1) << log;
    }
    EXPECT_EQ(QDBusConnection::sessionBus().interface()->serviceOwner(QStringLiteral("net.lingchao.Bell")).value(),
              other.baseService());
    // Released by a call the daemon answers: a disconnect alone frees the name later, and the next test needs it.
    EXPECT_TRUE(other.unregisterService(QStringLiteral("net.lingchao.Bell")));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

TEST(SignalBus, ACopyThatDoesNotAnswerIsGivenUpAndAStuckOneGathersNoQueue) {
    std::vector<Reply> held;
    // Starts are held unanswered; an end is dropped unanswered.
    SignalBusService service([&held](SignalRequest request, const std::string&, const Reply& reply) {
        if (request == SignalRequest::Start) held.push_back(reply);
    });
    ASSERT_TRUE(service.Register());
    std::string why;
    EXPECT_EQ(SignalBusCall(SignalRequest::Start, "地震演练", &why, 300ms), SignalBusAnswer::Refused);
    EXPECT_EQ(why, "铃潮没有在 0.3 秒内回答");
    // A late answer to a caller that has gone is harmless.
    held.front()("");

    // Requests the bell never answers are held up to a few; later ones are refused at once, however long it takes.
    bool busy = false;
    for (QDeadlineTimer deadline(30000); !busy && !deadline.hasExpired();) {
        SignalBusCall(SignalRequest::Start, "地震演练", &why, 300ms);
        busy = why == "铃潮正忙：之前的请求还没有回答";
        QThread::msleep(50);  // pace only: tokens come back at four a second
    }
    EXPECT_TRUE(busy) << why;
    EXPECT_LE(held.size(), 5U);
    // Once the held requests are let go, each caller gone, new ones reach the bell again.
    const std::size_t before = held.size();
    held.clear();
    for (QDeadlineTimer deadline(30000); held.empty() && !deadline.hasExpired(); QThread::msleep(50))
        SignalBusCall(SignalRequest::Start, "地震演练", &why, 300ms);
    EXPECT_EQ(held.size(), 1U);
    EXPECT_GE(before, 4U);
    // A request dropped unanswered (the program ending) is answered at once, not left to time out.
    held.clear();
    bool dropped = false;
    for (QDeadlineTimer deadline(30000); !dropped && !deadline.hasExpired(); QThread::msleep(50))
        dropped = SignalBusCall(SignalRequest::End, "", &why, 20s) == SignalBusAnswer::Refused &&
                  why == "铃潮没有处理这个请求";
    EXPECT_TRUE(dropped) << why;
}

TEST(SignalBus, AFloodOfRequestsReachesTheBellOnlyAFewTimesAndIsRefusedAtOnce) {
    int runs = 0;
    SignalBusService service([&runs](SignalRequest, const std::string&, const Reply& reply) {
        ++runs;
        reply("");
    });
    ASSERT_TRUE(service.Register());
    QDBusConnection flood = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("flood"));
    QElapsedTimer clock;
    clock.start();
    std::vector<QDBusPendingCall> calls;
    for (int i = 0; i < 300; ++i) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("net.lingchao.Bell"), QStringLiteral("/net/lingchao/Bell"),
                                           QStringLiteral("net.lingchao.Signals"), QStringLiteral("Start"));
        call << QStringLiteral("地震演练");
        calls.push_back(flood.asyncCall(call, 60000));
    }
    const auto allFinished = [&calls] {
        return std::all_of(calls.begin(), calls.end(), [](const QDBusPendingCall& c) { return c.isFinished(); });
    };
    for (QDeadlineTimer deadline(60000); !allFinished() && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(allFinished());
    // A burst of eight and four a second, for the time the flood took however loaded the machine.
    EXPECT_GE(runs, 1);
    EXPECT_LE(runs, 8 + static_cast<int>(clock.elapsed() / 250) + 1);
    int refused = 0;
    for (const QDBusPendingCall& call : calls) {
        const QDBusPendingReply<QString> reply(call);
        ASSERT_TRUE(reply.isValid()) << reply.error().message().toStdString();
        if (reply.value() == QStringLiteral("请求太多，已忽略")) ++refused;
    }
    EXPECT_EQ(refused + runs, 300);
    QDBusConnection::disconnectFromBus(QStringLiteral("flood"));
}

}  // namespace
}  // namespace lingchao

// A private session bus for the whole run, on a socket of its own, stopped at the end; the caller's is never used.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        std::puts("SKIP: dbus-daemon missing");
        return 77;
    }
    QTemporaryDir folder;
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--address=unix:path=") + folder.path() + "/bus",
                                                 QStringLiteral("--print-address=1")});
    QByteArray address;
    while (!address.contains('\n') && daemon.waitForReadyRead(30000)) address += daemon.readAllStandardOutput();
    if (!address.contains('\n')) {
        std::fprintf(stderr, "dbus-daemon did not start: %s\n", daemon.readAllStandardError().constData());
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    daemon.terminate();
    daemon.waitForFinished(30000);
    return result;
}
