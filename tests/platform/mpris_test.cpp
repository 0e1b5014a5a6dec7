#include "platform/mpris.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaClassInfo>
#include <QThread>

namespace lingchao {
namespace {

QObject* Adaptor(MprisService& service, const char* interface) {
    for (auto* adaptor : service.findChildren<QDBusAbstractAdaptor*>()) {
        const QMetaObject* meta = adaptor->metaObject();
        const int at = meta->indexOfClassInfo("D-Bus Interface");
        if (at >= 0 && qstrcmp(meta->classInfo(at).value(), interface) == 0) return adaptor;
    }
    return nullptr;
}

TEST(MprisService, AFloodOfRemoteCommandsRunsOnlyAFewAndLaterCommandsRunAgain) {
    int runs = 0;
    MprisService service({[&] { ++runs; }, [&] { ++runs; }, [&] { ++runs; }, [&] { ++runs; }});
    QObject* player = Adaptor(service, "org.mpris.MediaPlayer2.Player");
    QObject* root = Adaptor(service, "org.mpris.MediaPlayer2");
    ASSERT_TRUE(player != nullptr && root != nullptr);

    // Every command the service takes, a property set too, as fast as a remote can send them.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 300000; ++i) {
        const char* command[] = {"Play", "PlayPause", "Pause", "Stop"};
        if (i % 6 < 4) QMetaObject::invokeMethod(player, command[i % 6]);
        if (i % 6 == 4) QMetaObject::invokeMethod(root, "Raise");
        if (i % 6 == 5) player->setProperty("Volume", 0.5);
    }
    // A burst of five and ten a second, for the time the flood took however loaded the machine.
    EXPECT_GE(runs, 1);
    EXPECT_LE(runs, 5 + static_cast<int>(clock.elapsed() / 100) + 1);

    // Once it has stopped, a command a while later runs.
    const int before = runs;
    for (QDeadlineTimer deadline(20000); runs == before && !deadline.hasExpired();) {
        QThread::msleep(200);
        QCoreApplication::processEvents();
        QMetaObject::invokeMethod(player, "Play");
    }
    EXPECT_EQ(runs, before + 1);
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
