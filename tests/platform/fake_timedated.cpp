// A stand-in for systemd-timedated on a private bus: fake_timedated true|false
// Answers the property NTPSynchronized; "ready" on stdout once the name is owned.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <cstdio>
#include <cstring>

class FakeTimedated final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
    Q_PROPERTY(bool NTPSynchronized READ NTPSynchronized)
public:
    explicit FakeTimedated(bool synced) : synced_(synced) {}
    bool NTPSynchronized() const { return synced_; }

private:
    bool synced_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    QDBusConnection bus = QDBusConnection::systemBus();
    FakeTimedated timedated(std::strcmp(argv[1], "true") == 0);
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &timedated,
                            QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.freedesktop.timedate1"))) {
        std::fprintf(stderr, "fake_timedated: cannot register: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_timedated.moc"
