// A stand-in for systemd-logind on a private bus: fake_logind accept|deny|late <record file>
// Each PowerOff call is appended to the record file; "ready" on stdout once the name is owned. "late" accepts
// only after 20 s, well inside D-Bus's default 25 s timeout: a caller that gives up sooner set its own timeout.
// Inhibit hands out one end of a pipe, as logind does with a FIFO: the lock lasts until every copy of that end
// is closed. Each lock taken and released is recorded ("deny" refuses locks too).
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
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
            QTimer::singleShot(20000, this,
                               [reply = message().createReply(), bus = connection()]() mutable { bus.send(reply); });
        }
    }

    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode) {
        Record("Inhibit what=" + what + " who=" + who + " why=" + why + " mode=" + mode);
        int ends[2];
        if (mode_ == QLatin1String("deny") || pipe2(ends, O_CLOEXEC) != 0) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Permission denied"));
            return {};
        }
        auto* watch = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(watch, &QSocketNotifier::activated, this, [this, watch, why, fd = ends[0]] {
            char c;
            if (read(fd, &c, 1) > 0) return;
            Record("Released why=" + why);
            watch->setEnabled(false);
            watch->deleteLater();
            close(fd);
        });
        QDBusUnixFileDescriptor handed(ends[1]);  // a copy: ours closes now, the caller's is the lock
        close(ends[1]);
        return handed;
    }

private:
    void Record(const QString& line) {
        QFile f(record_);
        if (f.open(QIODevice::Append)) f.write(line.toUtf8() + "\n");
    }

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
