#include "campus/campus_service.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <map>
#include <optional>
#include <utility>

#include "base/file_util.h"
#include "base/log.h"
#include "campus/campus_apply.h"
#include "campus/campus_status.h"
#include "platform/mosquitto_link.h"

namespace lingchao {

using SteadyTime = std::chrono::steady_clock::time_point;

namespace {

constexpr CampusFileKind kKinds[] = {CampusFileKind::Timetable, CampusFileKind::Calendar};
// Names a hostile client could invent without end: past this many, new ones are not listed.
constexpr std::size_t kMaxPeers = 1000;

int Index(CampusFileKind kind) { return kind == CampusFileKind::Timetable ? 0 : 1; }

std::string S(const QString& text) { return text.toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

QByteArray Sha256(const Bytes& bytes) {
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
        QCryptographicHash::Sha256);
}

qint64 AgoMs(SteadyTime now, SteadyTime then) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - then).count();
}

constexpr qint64 kSignalAgainMs = 30 * 1000;
constexpr qint64 kSignalStaleMs = 2 * 60 * 1000;

}  // namespace

// What the campus thread tells the windows' thread, under one lock.
struct CampusShared {
    struct Peer {
        std::optional<CampusStatus> status;
        bool online = false;
        SteadyTime heard{};  // its last message, its will included
        SteadyTime spoke{};  // its last status that said it is up
    };
    mutable std::mutex mutex;
    std::optional<CampusStatus> self;
    SteadyTime selfAt{};
    bool connected = false;
    bool told = false;  // the link has said how it stands
    QString why;        // why it is down
    std::chrono::steady_clock::duration cutOff{};
    std::map<QString, Peer> peers;
};

// The campus's work, on its thread: made, used and deleted there only.
class CampusCore final : public QObject {
public:
    CampusCore(const std::filesystem::path& appFolder, const CampusSettings& settings, WarningBoard& warnings,
               const CampusService::Hooks& hooks, const CampusService::Options& options,
               std::shared_ptr<CampusShared> shared)
        : appFolder_(appFolder),
          settings_(settings),
          warnings_(warnings),
          hooks_(hooks),
          options_(options),
          shared_(std::move(shared)),
          broker_(BrokerText(settings.host, settings.port)),
          statusTopic_(StatusTopic(settings.campus, settings.name)),
          statusPrefix_(StatusTopic(settings.campus, QString())) {}

    ~CampusCore() override {
        if (link_ && link_->IsConnected() && lastOwn_) {
            // Gone on purpose: the others see it at once, not after the broker's keep-alive runs out.
            CampusStatus bye = *lastOwn_;
            bye.online = false;
            bye.sent = QDateTime::currentDateTime();
            std::string ignored;
            link_->Publish(S(statusTopic_), EncodeStatus(bye).toStdString(), true, &ignored);
        }
        link_.reset();  // sends what is queued, then leaves; no hook comes after this
        LogLine("campus: left " + S(broker_));
    }

    QString Start() {
        CampusStatus will;
        will.pc = settings_.name;
        will.sent = QDateTime::currentDateTime();
        MosquittoLinkOptions o;
        o.host = S(settings_.host);
        o.port = settings_.port;
        o.clientId = S(QStringLiteral("lingchao-") + settings_.campus + u'-' + settings_.name);
        o.userName = S(settings_.user);
        o.password = S(settings_.password);
        o.caFile = S(settings_.caFile);
        o.certFile = S(settings_.certFile);
        o.keyFile = S(settings_.keyFile);
        o.willTopic = S(statusTopic_);
        o.willPayload = EncodeStatus(will).toStdString();
        o.reconnectLast = options_.reconnectLast;
        o.maxIncomingBytes = static_cast<std::size_t>(kMaxCampusMessageBytes);
        o.now = options_.steadyNow;
        MessageLink::Hooks hooks;
        hooks.message = [this](const std::string& topic, const std::string& payload, bool) {
            QMetaObject::invokeMethod(
                this, [this, topic, raw = QByteArray::fromStdString(payload)] { OnMessage(topic, raw); },
                Qt::QueuedConnection);
        };
        hooks.state = [this](bool connected, const std::string& why) {
            QMetaObject::invokeMethod(
                this, [this, connected, why] { OnState(connected, Q(why)); }, Qt::QueuedConnection);
        };
        hooks.dropped = [this](const std::string& topic, const std::string& why) {
            QMetaObject::invokeMethod(
                this, [this, topic, why] { OnDropped(topic, Q(why)); }, Qt::QueuedConnection);
        };
        link_ = std::make_unique<MosquittoLink>(std::move(o), std::move(hooks));
        std::string why;
        bool subscribed = link_->Subscribe(S(StatusTopicFilter(settings_.campus)), &why);
        if (settings_.role != CampusRole::Main) {
            subscribed = subscribed && link_->Subscribe(S(TimetableTopic(settings_.campus)), &why) &&
                         link_->Subscribe(S(CalendarTopic(settings_.campus)), &why) &&
                         link_->Subscribe(S(SignalTopic(settings_.campus)), &why);
        }
        if (!subscribed || !link_->Start(&why)) {
            link_.reset();
            return Q(why);
        }
        auto* tick = new QTimer(this);
        tick->callOnTimeout(this, [this] { Tick(); });
        tick->start(options_.tick);
        auto* status = new QTimer(this);
        status->callOnTimeout(this, [this] { PublishStatus(); });
        status->start(options_.statusEvery);
        PublishStatus();  // this PC's row, before the broker answers
        LogLine("campus: " + S(settings_.name) + " (" + S(CampusRoleText(settings_)) + ") of campus " +
                S(settings_.campus) + ", connecting to " + S(broker_));
        return {};
    }

private:
    struct Published {
        std::string stamp;   // the file as last looked at
        QByteArray sha;      // what was last sent this run
        QByteArray payload;  // and the message, sent again at each connect
        QString unfit;       // why the file as it is cannot be sent
    };

    bool Connected() const { return link_ && link_->IsConnected(); }
    QString FileName(CampusFileKind kind) const { return Q(CampusTarget(appFolder_, kind).filename().string()); }

    void OnState(bool connected, const QString& why) {
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->connected = connected;
            shared_->told = true;
            shared_->why = why;
            if (connected) shared_->cutOff = {};
        }
        if (!connected) {
            LogLine("campus: not connected to " + S(broker_) + ": " + S(why));
            return;
        }
        LogLine("campus: connected to " + S(broker_));
        connectedAt_ = options_.steadyNow();
        if (cutWarned_) {
            cutWarned_ = false;
            warnings_.Clear("campus");
        }
        PublishStatus();
        if (settings_.role == CampusRole::Main) {
            // The broker may have lost its retained copies (restarted without persistence): sent again, the same
            // version, which followers that have it pass over.
            for (const CampusFileKind kind : kKinds) {
                const Published& p = published_[Index(kind)];
                std::string failure;
                if (!p.payload.isEmpty() &&
                    !link_->Publish(S(TopicOf(kind)), p.payload.toStdString(), true, &failure)) {
                    LogLine("campus: " + S(FileName(kind)) + " could not be sent again: " + failure);
                }
            }
            CheckFiles(true);
            CheckSignal(true);
        }
    }

    QString TopicOf(CampusFileKind kind) const {
        return kind == CampusFileKind::Timetable ? TimetableTopic(settings_.campus) : CalendarTopic(settings_.campus);
    }

    void OnMessage(const std::string& topic, const QByteArray& raw) {
        const QString t = Q(topic);
        if (t.startsWith(statusPrefix_)) return TakeStatus(t.mid(statusPrefix_.size()), raw);
        if (settings_.role == CampusRole::Main) return;
        if (t == SignalTopic(settings_.campus)) return TakeSignal(raw);
        for (const CampusFileKind kind : kKinds) {
            if (t == TopicOf(kind)) return TakeFile(kind, raw);
        }
    }

    void OnDropped(const std::string& topic, const QString& why) {
        const QString t = Q(topic);
        for (const CampusFileKind kind : kKinds) {
            if (t == TopicOf(kind) && settings_.role != CampusRole::Main) return Refuse(kind, why);
        }
        LogOnce("campus: dropped a message on " + topic + ": " + S(why));
    }

    void Tick() {
        const auto cutOff = link_ ? link_->CutOffFor() : std::chrono::steady_clock::duration{};
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->cutOff = cutOff;
        }
        if (!Connected() && cutOff >= options_.warnAfter) {
            QString why;
            {
                const std::lock_guard lock(shared_->mutex);
                why = shared_->why.isEmpty() ? QStringLiteral("尚未连接上") : shared_->why;
            }
            const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(cutOff).count();
            if (!cutWarned_) {
                LogLine("campus: cut off from " + S(broker_) + " for " + std::to_string(minutes) +
                        " minutes: " + S(why));
            }
            cutWarned_ = true;
            // Its minutes go up while it lasts; logged once, above.
            warnings_.Set(
                "campus",
                S(QStringLiteral("与校园服务器 %1 断开已 %2 分钟：%3").arg(broker_, QString::number(minutes), why)),
                true);
        }
        CheckFiles(false);
        CheckSignal(false);
        if (Connected() && warnings_.Text() != statusWarnings_) PublishStatus();
        WatchStandby();
    }

    // A main sends each file whose content changed since it last sent it; one a follower would refuse is held
    // back with the reason on the clock.
    void CheckFiles(bool force) {
        if (settings_.role != CampusRole::Main || !Connected()) return;
        for (const CampusFileKind kind : kKinds) {
            Published& p = published_[Index(kind)];
            const auto path = CampusTarget(appFolder_, kind);
            const std::string stamp = FileStamp(path);
            if (!force && stamp == p.stamp) continue;
            p.stamp = stamp;
            const std::uint64_t cap = kind == CampusFileKind::Timetable ? kMaxTimetableBytes : kMaxCalendarBytes;
            const StoredFile stored = ReadStoredFile(path, cap + 1);
            if (stored.problem == ReadProblem::Missing) {
                // Nothing to send: the followers keep the copy they have.
                SetUnfit(kind, {});
                continue;
            }
            if (!stored.usable()) {
                SetUnfit(kind, Q(ReadProblemText(stored.problem)));
                continue;
            }
            const QByteArray sha = Sha256(stored.bytes);
            if (sha == p.sha) {
                SetUnfit(kind, {});
                continue;
            }
            if (const QString problem = CampusFileProblem(kind, stored.bytes); !problem.isEmpty()) {
                SetUnfit(kind, problem);
                continue;
            }
            PublishFile(kind, stored.bytes, sha);
        }
    }

    void PublishFile(CampusFileKind kind, const Bytes& bytes, const QByteArray& sha) {
        Published& p = published_[Index(kind)];
        const auto retry = [&](const QString& why) {
            SetUnfit(kind, why);
            p.stamp.clear();  // tried again at the next tick
        };
        QString why;
        std::optional<CampusState> state = ReadCampusState(appFolder_, &why);
        if (!state) return retry(why);
        // Above whatever this folder sent or took before: a main restored from a backup still goes up.
        const std::uint64_t floor = std::max(state->published.Of(kind), state->applied.Of(kind));
        const std::uint64_t version =
            std::max<std::uint64_t>(static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch()), floor + 1);
        CampusFileMessage message{kind, version, bytes, settings_.name, QDateTime::currentDateTime()};
        const QByteArray payload = EncodeFileMessage(message, &why);
        if (payload.isEmpty()) return retry(why);
        // Recorded before it goes: a version once sent is never sent again with other content.
        state->published.Of(kind) = version;
        if (!WriteCampusState(appFolder_, *state, &why)) return retry(QStringLiteral("无法记下发布的版本：") + why);
        std::string failure;
        if (!link_->Publish(S(TopicOf(kind)), payload.toStdString(), true, &failure)) return retry(Q(failure));
        p.sha = sha;
        p.payload = payload;
        SetUnfit(kind, {});
        LogLine("campus: sent " + S(FileName(kind)) + " version " + std::to_string(version) + " (" +
                std::to_string(bytes.size()) + " bytes)");
    }

    // A main sends its signal when it changes, at every connect, and every 30 s while it sounds.
    void CheckSignal(bool force) {
        if (settings_.role != CampusRole::Main || !hooks_.signalNow || !Connected()) return;
        CampusSignal now = hooks_.signalNow();
        const QString key =
            now.running ? QStringLiteral("%1/%2/%3").arg(now.signal).arg(now.step).arg(now.ending) : QString();
        const SteadyTime at = options_.steadyNow();
        const bool again = now.running && AgoMs(at, signalSentAt_) >= kSignalAgainMs;
        if (!force && key == signalKey_ && !again) return;
        now.from = settings_.name;
        now.sent = QDateTime::currentDateTime();
        std::string failure;
        if (!link_->Publish(S(SignalTopic(settings_.campus)), EncodeSignal(now).toStdString(), true, &failure)) {
            LogOnce("campus: the signal could not be sent: " + failure);
            return;
        }
        if (key != signalKey_) {
            LogLine(now.running ? "campus: sent the signal " + S(now.signal) + " step " + std::to_string(now.step) +
                                      (now.ending ? " (ending)" : "")
                                : std::string("campus: sent that no signal sounds"));
        }
        signalKey_ = key;
        signalSentAt_ = at;
    }

    // The main's signal, followed here: by a follower always, by a standby only while it rings in its PC's
    // place (else both would sound in one building). One sounding but not said again for two minutes is the
    // last word of a main that went during it: not started anew.
    void TakeSignal(const QByteArray& raw) {
        QString why;
        std::optional<CampusSignal> s = DecodeSignal(raw, &why);
        if (!s) return LogOnce("campus: refused the main's signal: " + S(why));
        if (settings_.role == CampusRole::Standby && !takingOver_) return;
        if (s->running && s->sent.msecsTo(QDateTime::currentDateTime()) > kSignalStaleMs) {
            return LogOnce("campus: the main's signal " + S(s->signal) + " was last said at " +
                           S(s->sent.toString(Qt::ISODate)) + ": not followed");
        }
        if (hooks_.mainSignal) hooks_.mainSignal(*s);
    }

    void SetUnfit(CampusFileKind kind, const QString& why) {
        published_[Index(kind)].unfit = why;
        QStringList parts;
        for (const CampusFileKind k : kKinds) {
            const QString& unfit = published_[Index(k)].unfit;
            if (!unfit.isEmpty()) parts << FileName(k) + QStringLiteral(" 没有发布到校园：") + unfit;
        }
        warnings_.Set("campus-publish", S(parts.join(QStringLiteral("；"))));
    }

    void TakeFile(CampusFileKind kind, const QByteArray& raw) {
        QString why;
        const std::optional<CampusApplied> applied = ReadCampusApplied(appFolder_, &why);
        if (!applied) return Refuse(kind, why);
        const std::uint64_t have = applied->Of(kind);
        if (have > 0) {
            // The broker hands its retained copy over again at every connect: the same version with the same
            // bytes is no news.
            const CampusFileDecode same = DecodeFileMessage(raw, kind, have - 1);
            if (same.message && same.message->version == have) {
                const auto current = ReadFileBytes(CampusTarget(appFolder_, kind), kMaxCampusMessageBytes);
                if (current && *current == same.message->data) return;
            }
        }
        if (!ReceiveCampusFile(appFolder_, raw, kind, std::time(nullptr), &why)) return Refuse(kind, why);
        if (!refused_[Index(kind)].isEmpty()) {
            refused_[Index(kind)].clear();
            ShowRefusals();
        }
        if (hooks_.applied) hooks_.applied(kind);
    }

    void Refuse(CampusFileKind kind, const QString& why) {
        QString& refused = refused_[Index(kind)];
        const QString text = FileName(kind) + QStringLiteral("：") + why;
        if (text == refused) return;
        refused = text;
        LogLine("campus: refused " + S(FileName(kind)) + " from the broker: " + S(why));
        ShowRefusals();
    }

    void ShowRefusals() {
        QStringList parts;
        for (const QString& refused : refused_) {
            if (!refused.isEmpty()) parts << refused;
        }
        warnings_.Set("campus-sync", parts.isEmpty() ? "" : S(QStringLiteral("校园同步被拒绝：") + parts.join(u'；')),
                      true);
    }

    void PublishStatus() {
        CampusStatus s = hooks_.status ? hooks_.status() : OwnCampusStatus(appFolder_, warnings_);
        s.pc = settings_.name;
        s.online = true;
        s.sent = QDateTime::currentDateTime();
        statusWarnings_ = warnings_.Text();
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->self = s;
            shared_->selfAt = options_.steadyNow();
        }
        lastOwn_ = s;
        if (!Connected()) return;
        std::string failure;
        if (!link_->Publish(S(statusTopic_), EncodeStatus(s).toStdString(), true, &failure)) {
            LogOnce("campus: this PC's status could not be sent: " + failure);
        }
    }

    void TakeStatus(const QString& pc, const QByteArray& raw) {
        if (pc == settings_.name || !IsCampusName(pc)) return;  // this PC's own row is kept here
        const SteadyTime now = options_.steadyNow();
        std::optional<CampusLastBell> rang;
        {
            const std::lock_guard lock(shared_->mutex);
            if (raw.isEmpty()) {
                // Its retained status was removed at the broker: a PC taken out of the campus.
                shared_->peers.erase(pc);
                return;
            }
            QString why;
            std::optional<CampusStatus> s = DecodeStatus(raw, &why);
            if (s && s->pc != pc) why = QStringLiteral("状态里的名称与主题不符");
            if (!s || !why.isEmpty()) {
                LogOnce("campus: refused the status of " + S(pc) + ": " + S(why));
                return;
            }
            if (!shared_->peers.contains(pc) && shared_->peers.size() >= kMaxPeers) {
                LogOnce("campus: more than " + std::to_string(kMaxPeers) + " PCs, " + S(pc) + " not listed");
                return;
            }
            CampusShared::Peer& peer = shared_->peers[pc];
            if (!s->online && !s->lastBell && peer.status) {
                // A will says only that it went: what it last said of itself still stands.
                CampusStatus kept = *peer.status;
                kept.online = false;
                kept.sent = s->sent;
                s = kept;
            }
            if (peer.online != s->online) LogLine("campus: " + S(pc) + (s->online ? " is online" : " went offline"));
            peer.status = s;
            peer.online = s->online;
            peer.heard = now;
            if (s->online) peer.spoke = now;
            if (settings_.role == CampusRole::Standby && pc == settings_.standbyFor && s->lastBell) rang = s->lastBell;
        }
        if (rang && (rang->date != lastRang_.date || rang->time != lastRang_.time)) {
            lastRang_ = *rang;
            if (hooks_.peerRang) hooks_.peerRang(pc, *rang);
        }
        WatchStandby();
    }

    // The standby takes over when the PC it stands by for is gone (its will, or no status at all since this PC
    // connected) and nothing saying it is up came for 90 s while this PC was connected. A will alone is not
    // enough: a broker that shuts down sends every client's will before it closes, so a standby would ring
    // beside a PC that is still ringing. Cut off itself, a standby cannot tell, and judges again once back.
    void WatchStandby() {
        if (settings_.role != CampusRole::Standby || !Connected()) return;
        const SteadyTime now = options_.steadyNow();
        bool offline = false;
        {
            const std::lock_guard lock(shared_->mutex);
            const auto found = shared_->peers.find(settings_.standbyFor);
            const bool gone = found == shared_->peers.end() || !found->second.online;
            const SteadyTime since =
                found == shared_->peers.end() ? connectedAt_ : std::max(found->second.spoke, connectedAt_);
            offline = gone && AgoMs(now, since) > kCampusSilentMs;
        }
        if (offline == takingOver_) return;
        takingOver_ = offline;
        LogLine("campus: " + S(settings_.standbyFor) +
                (offline ? " is offline: this standby takes over" : " is back: this standby stands by again"));
        if (hooks_.takeOver) hooks_.takeOver(offline, settings_.standbyFor);
    }

    // A line that a flood would repeat: logged only when it differs from the last one of its kind.
    void LogOnce(const std::string& line) {
        if (line == lastLogged_) return;
        lastLogged_ = line;
        LogLine(line);
    }

    const std::filesystem::path appFolder_;
    const CampusSettings settings_;
    WarningBoard& warnings_;
    const CampusService::Hooks hooks_;
    const CampusService::Options options_;
    const std::shared_ptr<CampusShared> shared_;
    const QString broker_;
    const QString statusTopic_;
    const QString statusPrefix_;  // "lingchao/<campus>/status/"
    std::unique_ptr<MessageLink> link_;
    SteadyTime connectedAt_{};
    bool cutWarned_ = false;
    Published published_[2];
    QString refused_[2];  // why the last file of each kind was refused, until one applies
    std::string statusWarnings_;
    std::optional<CampusStatus> lastOwn_;
    CampusLastBell lastRang_;
    bool takingOver_ = false;
    std::string lastLogged_;
    QString signalKey_;  // the signal as last sent: "" none
    SteadyTime signalSentAt_{};
};

CampusService::CampusService(std::filesystem::path appFolder, CampusSettings settings, WarningBoard& warnings,
                             Hooks hooks, Options options)
    : appFolder_(std::move(appFolder)),
      settings_(std::move(settings)),
      warnings_(warnings),
      hooks_(std::move(hooks)),
      options_(std::move(options)),
      shared_(std::make_shared<CampusShared>()) {}

CampusService::~CampusService() {
    if (!thread_) return;
    QMetaObject::invokeMethod(
        home_,
        [this] {
            delete core_;
            core_ = nullptr;
        },
        Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete home_;  // its thread is over: nothing more is delivered to it
    for (const char* key : {"campus", "campus-sync", "campus-publish"}) warnings_.Clear(key);
}

QString CampusService::Start() {
    if (thread_) return {};
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("campus"));
    home_ = new QObject;
    home_->moveToThread(thread_.get());
    thread_->start();
    QString why;
    QMetaObject::invokeMethod(
        home_,
        [&] {
            core_ = new CampusCore(appFolder_, settings_, warnings_, hooks_, options_, shared_);
            why = core_->Start();
            if (!why.isEmpty()) {
                delete core_;
                core_ = nullptr;
            }
        },
        Qt::BlockingQueuedConnection);
    if (why.isEmpty()) return {};
    thread_->quit();
    thread_->wait();
    delete home_;
    home_ = nullptr;
    thread_.reset();
    const QString broker = BrokerText(settings_.host, settings_.port);
    LogLine("campus: the link to " + S(broker) + " cannot start: " + S(why));
    warnings_.Set("campus", S(QStringLiteral("无法连接校园服务器 %1：%2").arg(broker, why)), true);
    return why;
}

CampusView CampusService::View() const {
    CampusView view;
    view.on = true;
    view.role = CampusRoleText(settings_);
    const QString broker = BrokerText(settings_.host, settings_.port);
    const SteadyTime now = options_.steadyNow();
    const std::lock_guard lock(shared_->mutex);
    if (shared_->connected) {
        view.link = QStringLiteral("已连接 ") + broker;
    } else if (!shared_->told) {
        view.link = QStringLiteral("正在连接 ") + broker;
    } else {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(shared_->cutOff).count();
        view.link =
            QStringLiteral("与 %1 断开%2：%3")
                .arg(broker, minutes < 1 ? QStringLiteral("不到 1 分钟") : QStringLiteral(" %1 分钟").arg(minutes),
                     shared_->why);
    }
    CampusPeer self;
    self.name = settings_.name;
    self.status = shared_->self;
    self.online = shared_->connected;
    self.heardAgoMs = shared_->self ? AgoMs(now, shared_->selfAt) : -1;
    // This PC is judged on what it would send; offline here means cut off from the broker.
    self.problem = CampusPeerProblem(self.status, self.online, self.status ? 0 : -1);
    view.peers.push_back(self);
    for (const auto& [name, peer] : shared_->peers) {
        CampusPeer row;
        row.name = name;
        row.status = peer.status;
        row.heardAgoMs = AgoMs(now, peer.heard);
        row.online = peer.online && row.heardAgoMs <= kCampusSilentMs;
        row.problem = CampusPeerProblem(peer.status, peer.online, row.heardAgoMs);
        view.peers.push_back(row);
    }
    return view;
}

std::unique_ptr<CampusService> StartCampus(const std::filesystem::path& appFolder, WarningBoard& warnings,
                                           CampusService::Hooks hooks) {
    const CampusSettingsRead read = ReadCampusSettings(appFolder);
    if (!read.settings.enabled) {
        warnings.Clear("campus");
        return nullptr;
    }
    if (!read.problems.empty()) {
        const QString problems = read.problems.join(QStringLiteral("；"));
        LogLine("campus: not started, lingchao.ini [campus] has problems: " + S(problems));
        warnings.Set("campus", S(QStringLiteral("校园设置有误，没有连接校园服务器：") + problems), true);
        return nullptr;
    }
    warnings.Clear("campus");
    auto service = std::make_unique<CampusService>(appFolder, read.settings, warnings, std::move(hooks));
    if (!service->Start().isEmpty()) return nullptr;  // its warning says why
    return service;
}

QString CampusRoleText(const CampusSettings& settings) {
    switch (settings.role) {
        case CampusRole::Main:
            return QStringLiteral("主控");
        case CampusRole::Standby:
            return QStringLiteral("备用（") + settings.standbyFor + QStringLiteral("）");
        case CampusRole::Follower:
            break;
    }
    return QStringLiteral("分控");
}

}  // namespace lingchao
