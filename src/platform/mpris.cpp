#include "platform/mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <cstdlib>

#include "base/log.h"
#include "base/rate_limit.h"

namespace lingchao {
namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.lingchao");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QString StatusText(NowPlaying::Status status) {
    switch (status) {
        case NowPlaying::Status::Playing:
            return QStringLiteral("Playing");
        case NowPlaying::Status::Paused:
            return QStringLiteral("Paused");
        case NowPlaying::Status::Stopped:
            break;
    }
    return QStringLiteral("Stopped");
}

QVariantMap MetadataOf(const NowPlaying& now) {
    QVariantMap map;
    if (now.path.empty()) {
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(QStringLiteral("/lingchao/medium/%1").arg(now.serial))));
    map.insert(QStringLiteral("xesam:title"), QString::fromStdString(now.title));
    map.insert(QStringLiteral("xesam:url"),
               QString::fromLatin1(QUrl::fromLocalFile(QString::fromStdString(now.path)).toEncoded()));
    if (!now.list.empty()) map.insert(QStringLiteral("xesam:album"), QString::fromStdString(now.list));
    return map;
}

// Every remote command passes here first: a few at once and about ten a second are plenty for a hand on a media
// key or a phone; the rest of a flood is dropped, not queued, so it cannot keep the player or the bell busy, and
// is logged once.
class RemoteGate final : public QObject {
public:
    explicit RemoteGate(QObject* parent) : QObject(parent), limit_(kPerSecond, kBurst) {
        report_.setInterval(1000);
        connect(&report_, &QTimer::timeout, this, [this] { Report(RateLimit::Time::clock::now()); });
    }
    ~RemoteGate() override { Report(RateLimit::Time::max()); }

    bool Admit() {
        if (limit_.Allow(RateLimit::Time::clock::now())) return true;
        if (!report_.isActive()) report_.start();
        return false;
    }

private:
    static constexpr double kPerSecond = 10;
    static constexpr int kBurst = 5;

    void Report(RateLimit::Time now) {
        if (const std::uint64_t n = limit_.TakeDropped(now))
            LogLine("media controls: " + std::to_string(n) + " remote commands dropped (too many)");
        if (limit_.pending() == 0) report_.stop();
    }

    RateLimit limit_;
    QTimer report_;
};

// org.mpris.MediaPlayer2: who the player is.
class RootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    RootAdaptor(MprisService* service, RemoteGate* gate)
        : QDBusAbstractAdaptor(service), service_(service), gate_(gate) {}
    // Quitting asks the user first; a remote must not end the bells.
    bool CanQuit() const { return false; }
    bool CanRaise() const { return static_cast<bool>(service_->commands().raise); }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("铃潮"); }
    QString DesktopEntry() const { return QStringLiteral("lingchao"); }
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise() {
        if (gate_->Admit() && service_->commands().raise) service_->commands().raise();
    }
    void Quit() { gate_->Admit(); }

private:
    MprisService* service_;
    RemoteGate* gate_;
};

// org.mpris.MediaPlayer2.Player: what plays, and the play, pause and stop commands.
class PlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ No)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPlay)
    Q_PROPERTY(bool CanSeek READ No)
    Q_PROPERTY(bool CanControl READ Yes)
public:
    PlayerAdaptor(MprisService* service, RemoteGate* gate)
        : QDBusAbstractAdaptor(service), service_(service), gate_(gate) {}
    QString PlaybackStatus() const { return StatusText(service_->now().status); }
    double Rate() const { return 1.0; }
    void SetRate(double) { gate_->Admit(); }
    QVariantMap Metadata() const { return MetadataOf(service_->now()); }
    // The volume belongs to the sound settings, not to a remote.
    double Volume() const { return 1.0; }
    void SetVolume(double) { gate_->Admit(); }
    qlonglong Position() const { return 0; }
    bool No() const { return false; }
    bool Yes() const { return true; }
    bool CanPlay() const { return !service_->now().path.empty(); }

public Q_SLOTS:
    void Play() {
        if (gate_->Admit()) service_->commands().play();
    }
    void Pause() {
        if (gate_->Admit()) service_->commands().pause();
    }
    void PlayPause() {
        if (!gate_->Admit()) return;
        if (service_->now().status == NowPlaying::Status::Playing) {
            service_->commands().pause();
        } else {
            service_->commands().play();
        }
    }
    void Stop() {
        if (gate_->Admit()) service_->commands().stop();
    }
    // Taken and ignored, but counted like the others: a flood of them is a flood all the same.
    void Next() { gate_->Admit(); }
    void Previous() { gate_->Admit(); }
    void Seek(qlonglong) { gate_->Admit(); }
    void SetPosition(const QDBusObjectPath&, qlonglong) { gate_->Admit(); }
    void OpenUri(const QString&) { gate_->Admit(); }

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisService* service_;
    RemoteGate* gate_;
};

// Without an address and without the user's bus socket, libdbus would start a bus of its own that outlives us.
bool SessionBusConfigured() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' && QFileInfo::exists(QString::fromLocal8Bit(runtime) + "/bus");
}

}  // namespace

MprisService::MprisService(Commands commands, QObject* parent) : QObject(parent), commands_(std::move(commands)) {
    auto* gate = new RemoteGate(this);
    new RootAdaptor(this, gate);
    new PlayerAdaptor(this, gate);
}

MprisService::~MprisService() {
    if (!registered_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(kService);
    bus.unregisterObject(kPath);
}

bool MprisService::Register(QString* why) {
    if (!SessionBusConfigured()) {
        *why = QStringLiteral("no session bus");
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("no session bus: ") + bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(kPath, this)) {
        *why = QStringLiteral("cannot export ") + kPath;
        return false;
    }
    if (!bus.registerService(kService)) {
        *why = kService + QStringLiteral(" is taken: ") + bus.lastError().message();
        bus.unregisterObject(kPath);
        return false;
    }
    registered_ = true;
    return true;
}

void MprisService::Update(const NowPlaying& now) {
    const NowPlaying before = now_;
    now_ = now;
    if (!registered_) return;
    QVariantMap changed;
    if (before.status != now.status) changed.insert(QStringLiteral("PlaybackStatus"), StatusText(now.status));
    if (before.path != now.path || before.title != now.title || before.list != now.list ||
        before.serial != now.serial) {
        changed.insert(QStringLiteral("Metadata"), MetadataOf(now));
    }
    if (before.path.empty() != now.path.empty()) {
        changed.insert(QStringLiteral("CanPlay"), !now.path.empty());
        changed.insert(QStringLiteral("CanPause"), !now.path.empty());
    }
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace lingchao

#include "mpris.moc"
