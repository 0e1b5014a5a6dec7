// A stand-in for systemd-logind on a private bus: fake_logind accept|deny|late <record file>
// Each PowerOff call is appended to the record file; "ready" on stdout once the name is owned. "late" accepts
// only after 20 s, well inside D-Bus's default 25 s timeout: a caller that gives up sooner set its own timeout.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <cstdio>

class FakeManager final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    FakeManager(QString mode, QString record) : mode_(std::move(mode)), record_(std::move(record)) {}

public slots:
    void PowerOff(bool interactive) {
        QFile f(record_);
        if (f.open(QIODevice::Append)) {
            f.write(QByteArray("PowerOff interactive=") + (interactive ? "true" : "false") + "\n");
        }
        if (mode_ == QLatin1String("deny")) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Permission denied"));
        } else if (mode_ == QLatin1String("late")) {
            setDelayedReply(true);
            QTimer::singleShot(20000, this, [reply = message().createReply(), bus = connection()]() mutable {
                bus.send(reply);
            });
        }
    }

private:
    QString mode_;
    QString record_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    QDBusConnection bus = QDBusConnection::systemBus();
    FakeManager manager(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake_logind: cannot register: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_logind.moc"
