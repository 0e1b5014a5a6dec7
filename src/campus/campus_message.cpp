#include "campus/campus_message.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <limits>
#include <string_view>

#include "base/text.h"
#include "campus/campus_settings.h"
#include "scheduler/calendar.h"
#include "store/group_file.h"

namespace lingchao {
namespace {

QString Topic(const QString& campus, const QString& leaf) { return QStringLiteral("lingchao/") + campus + u'/' + leaf; }

QString Sent(const QDateTime& when) { return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs); }

QDateTime ReadSent(const QJsonValue& value) {
    return value.isString() ? QDateTime::fromString(value.toString(), Qt::ISODateWithMs) : QDateTime();
}

QByteArray Sha256Hex(const Bytes& bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex();
}

QString Megabytes(std::uint64_t bytes) { return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" MB"); }

std::uint64_t CapOf(CampusFileKind kind) {
    return kind == CampusFileKind::Timetable ? kMaxTimetableBytes : kMaxCalendarBytes;
}

// An integer from 0 to `max`; nullopt for anything else (a fraction, a negative, text).
std::optional<std::uint64_t> Whole(const QJsonValue& value, std::uint64_t max) {
    if (!value.isDouble()) return std::nullopt;
    const qint64 n = value.toInteger(-1);
    if (n < 0 || static_cast<std::uint64_t>(n) > max) return std::nullopt;
    return static_cast<std::uint64_t>(n);
}

bool IsLowerHex(const QString& text, qsizetype length) {
    if (text.size() != length) return false;
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    }
    return true;
}

QString TimetableFileProblem(const Bytes& bytes) {
    if (bytes.size() % JobRecordLength != 0) {
        return QStringLiteral("不是任务表：长度 ") + QString::number(bytes.size()) +
               QStringLiteral(" 字节不是整条任务记录（每条 ") + QString::number(JobRecordLength) +
               QStringLiteral(" 字节）");
    }
    if (bytes.size() > kMaxGroupBytes) {
        return QStringLiteral("不是任务表：超过 ") + QString::number(kMaxJobs) + QStringLiteral(" 条任务");
    }
    const int n = JobCountFromLength(bytes.size());
    int jobs = 0;
    for (int k = 1; k <= n; ++k) {
        const JobRecord record = DecodeJobRecord(RecordFrom(bytes, k));  // the view below points into it
        const std::string_view state = Trim(record.JobState);
        if (state == "START" || state == "PAUSE") {
            ++jobs;
        } else if (!state.empty()) {
            // A gap left by writing past the end has a blank state; anything else is no record the program wrote.
            return QStringLiteral("不是任务表：第 ") + QString::number(k) + QStringLiteral(" 条记录的状态无法识别");
        }
    }
    if (n > 0 && jobs == 0) return QStringLiteral("不是任务表：没有一条任务");
    return {};
}

QString CalendarFileProblem(const Bytes& bytes) {
    const CalendarRead read =
        ParseCalendar(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    // The reader names line 1 only when the header is missing: then this is no calendar of ours.
    for (const CalendarProblem& problem : read.problems) {
        if (problem.line == 1) return QStringLiteral("不是校历：缺少表头 ") + QString::fromLatin1(kCalendarHeader);
    }
    return {};
}

CampusFileDecode Refused(const QString& why) { return {std::nullopt, why}; }

QString Missing(const char* field) {
    return QStringLiteral("缺少字段 ") + QString::fromLatin1(field) + QStringLiteral(" 或其类型不对");
}

// Parses a message of at most the cap; the reason when it is no JSON object.
std::optional<QJsonObject> ObjectOf(const QByteArray& raw, QString* why) {
    if (raw.size() > kMaxCampusMessageBytes) {
        *why = QStringLiteral("消息过大（") + QString::number(raw.size()) + QStringLiteral(" 字节，上限 ") +
               Megabytes(kMaxCampusMessageBytes) + QStringLiteral("）");
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(raw, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = QStringLiteral("不是 JSON 对象");
        return std::nullopt;
    }
    return document.object();
}

}  // namespace

QString TimetableTopic(const QString& campus) { return Topic(campus, QStringLiteral("timetable")); }
QString CalendarTopic(const QString& campus) { return Topic(campus, QStringLiteral("calendar")); }
QString TodayTopic(const QString& campus) { return Topic(campus, QStringLiteral("today")); }
QString StatusTopic(const QString& campus, const QString& pc) { return Topic(campus, QStringLiteral("status/") + pc); }
QString SignalTopic(const QString& campus) { return Topic(campus, QStringLiteral("signal")); }
QString StatusTopicFilter(const QString& campus) { return Topic(campus, QStringLiteral("status/+")); }

const char* CampusFileKindName(CampusFileKind kind) {
    return kind == CampusFileKind::Timetable ? "timetable" : "calendar";
}

QString CampusFileProblem(CampusFileKind kind, const Bytes& bytes) {
    if (bytes.size() > CapOf(kind)) {
        return QStringLiteral("文件过大（上限 ") + Megabytes(CapOf(kind)) + QStringLiteral("）");
    }
    return kind == CampusFileKind::Timetable ? TimetableFileProblem(bytes) : CalendarFileProblem(bytes);
}

QByteArray EncodeFileMessage(const CampusFileMessage& message, QString* why) {
    const auto refuse = [why](const QString& reason) {
        if (why != nullptr) *why = reason;
        return QByteArray();
    };
    if (message.version < 1 || message.version > kMaxCampusVersion) return refuse(QStringLiteral("版本号超出范围"));
    if (message.data.size() > CapOf(message.kind)) {
        return refuse(QStringLiteral("文件过大（上限 ") + Megabytes(CapOf(message.kind)) + QStringLiteral("）"));
    }
    if (!IsCampusName(message.from)) return refuse(QStringLiteral("本机名称不能用于校园网"));
    if (!message.sent.isValid()) return refuse(QStringLiteral("发送时间无效"));
    const QByteArray data(reinterpret_cast<const char*>(message.data.data()),
                          static_cast<qsizetype>(message.data.size()));
    QJsonObject object;
    object["kind"] = QString::fromLatin1(CampusFileKindName(message.kind));
    object["version"] = static_cast<qint64>(message.version);
    object["sha256"] = QString::fromLatin1(Sha256Hex(message.data));
    object["bytes"] = static_cast<qint64>(message.data.size());
    object["data"] = QString::fromLatin1(data.toBase64());
    object["from"] = message.from;
    object["sent"] = Sent(message.sent);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

CampusFileDecode DecodeFileMessage(const QByteArray& raw, CampusFileKind kind, std::uint64_t appliedVersion) {
    QString why;
    const std::optional<QJsonObject> object = ObjectOf(raw, &why);
    if (!object) return Refused(why);
    const QJsonObject& o = *object;
    const QString expected = QString::fromLatin1(CampusFileKindName(kind));
    if (!o.value("kind").isString()) return Refused(Missing("kind"));
    if (o.value("kind").toString() != expected) {
        return Refused(QStringLiteral("类型不对：应为 ") + expected + QStringLiteral("，收到 ") +
                       o.value("kind").toString().left(32));
    }
    const auto version = Whole(o.value("version"), kMaxCampusVersion);
    if (!version || *version == 0) return Refused(Missing("version"));
    const auto declared = Whole(o.value("bytes"), std::numeric_limits<qint64>::max());
    if (!declared) return Refused(Missing("bytes"));
    const QString sha = o.value("sha256").toString().toLower();
    if (!IsLowerHex(sha, 64)) return Refused(Missing("sha256"));
    if (!o.value("data").isString()) return Refused(Missing("data"));
    const QString from = o.value("from").toString();
    if (!IsCampusName(from)) return Refused(Missing("from"));
    const QDateTime sent = ReadSent(o.value("sent"));
    if (!sent.isValid()) return Refused(Missing("sent"));

    if (*version <= appliedVersion) {
        return Refused(QStringLiteral("版本 ") + QString::number(*version) + QStringLiteral(" 不比已采用的版本 ") +
                       QString::number(appliedVersion) + QStringLiteral(" 新"));
    }
    const std::uint64_t cap = CapOf(kind);
    const QString text = o.value("data").toString();
    // Base64 of `cap` bytes is at most this long: a longer text is refused before it is decoded.
    if (*declared > cap || static_cast<std::uint64_t>(text.size()) > (cap + 2) / 3 * 4) {
        return Refused(QStringLiteral("文件过大（上限 ") + Megabytes(cap) + QStringLiteral("）"));
    }
    const auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return Refused(QStringLiteral("base64 数据无效"));
    if (static_cast<std::uint64_t>(decoded.decoded.size()) != *declared) {
        return Refused(QStringLiteral("长度不符：应为 ") + QString::number(*declared) + QStringLiteral(" 字节，实为 ") +
                       QString::number(decoded.decoded.size()) + QStringLiteral(" 字节"));
    }
    CampusFileMessage message;
    message.kind = kind;
    message.version = *version;
    message.data.assign(decoded.decoded.begin(), decoded.decoded.end());
    message.from = from;
    message.sent = sent;
    if (Sha256Hex(message.data) != sha.toLatin1()) return Refused(QStringLiteral("SHA-256 校验不符"));
    why = CampusFileProblem(kind, message.data);
    if (!why.isEmpty()) return Refused(why);
    return {std::move(message), {}};
}

QByteArray EncodeStatus(const CampusStatus& status) {
    QJsonObject object;
    object["pc"] = status.pc;
    object["version"] = status.version;
    object["online"] = status.online;
    object["clock_synced"] = status.clockSynced;
    object["offset_ms"] = status.offsetMs ? QJsonValue(*status.offsetMs) : QJsonValue(QJsonValue::Null);
    object["output"] = status.output;
    object["warnings"] = QJsonArray::fromStringList(status.warnings);
    if (status.lastBell) {
        const CampusLastBell& bell = *status.lastBell;
        object["last_bell"] =
            QJsonObject{{"time", bell.time}, {"name", bell.name}, {"outcome", bell.outcome}, {"sound_ms", bell.soundMs},
                        {"peak", bell.peak}, {"date", bell.date}, {"late_ms", bell.lateMs}};
    } else {
        object["last_bell"] = QJsonValue(QJsonValue::Null);
    }
    object["sent"] = Sent(status.sent);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<CampusStatus> DecodeStatus(const QByteArray& raw, QString* why) {
    QString reason;
    const auto refuse = [why](const QString& text) {
        if (why != nullptr) *why = text;
        return std::nullopt;
    };
    const std::optional<QJsonObject> object = ObjectOf(raw, &reason);
    if (!object) return refuse(reason);
    const QJsonObject& o = *object;
    CampusStatus s;
    s.pc = o.value("pc").toString();
    if (!IsCampusName(s.pc)) return refuse(Missing("pc"));
    if (!o.value("version").isString()) return refuse(Missing("version"));
    s.version = o.value("version").toString();
    if (!o.value("online").isBool()) return refuse(Missing("online"));
    s.online = o.value("online").toBool();
    if (!o.value("clock_synced").isBool()) return refuse(Missing("clock_synced"));
    s.clockSynced = o.value("clock_synced").toBool();
    const QJsonValue offset = o.value("offset_ms");
    if (offset.isDouble()) {
        s.offsetMs = offset.toDouble();
    } else if (!offset.isNull() && !offset.isUndefined()) {
        return refuse(Missing("offset_ms"));
    }
    if (!o.value("output").isString()) return refuse(Missing("output"));
    s.output = o.value("output").toString();
    if (!o.value("warnings").isArray()) return refuse(Missing("warnings"));
    for (const QJsonValue& warning : o.value("warnings").toArray()) {
        if (!warning.isString()) return refuse(Missing("warnings"));
        s.warnings << warning.toString();
    }
    const QJsonValue last = o.value("last_bell");
    if (last.isObject()) {
        const QJsonObject b = last.toObject();
        if (!b.value("time").isString() || !b.value("name").isString() || !b.value("outcome").isString() ||
            !b.value("sound_ms").isDouble() || !b.value("peak").isDouble() || !b.value("date").isString() ||
            !b.value("late_ms").isDouble()) {
            return refuse(Missing("last_bell"));
        }
        s.lastBell =
            CampusLastBell{b.value("time").toString(),     b.value("name").toString(), b.value("outcome").toString(),
                           b.value("sound_ms").toDouble(), b.value("peak").toDouble(), b.value("date").toString(),
                           b.value("late_ms").toDouble()};
    } else if (!last.isNull() && !last.isUndefined()) {
        return refuse(Missing("last_bell"));
    }
    s.sent = ReadSent(o.value("sent"));
    if (!s.sent.isValid()) return refuse(Missing("sent"));
    return s;
}

CampusSignal CampusSignalOf(const SignalState& state) {
    CampusSignal s;
    s.running = state.running;
    s.signal = QString::fromStdString(state.signal);
    s.step = state.step;
    s.steps = state.steps;
    s.ending = state.ending;
    return s;
}

SignalState SignalStateOf(const CampusSignal& signal) {
    SignalState s;
    s.running = signal.running;
    s.signal = signal.signal.toStdString();
    s.step = signal.step;
    s.steps = signal.steps;
    s.ending = signal.ending;
    return s;
}

QByteArray EncodeSignal(const CampusSignal& signal) {
    const QJsonObject object{{"running", signal.running}, {"signal", signal.signal}, {"step", signal.step},
                             {"steps", signal.steps},     {"ending", signal.ending}, {"from", signal.from},
                             {"sent", Sent(signal.sent)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<CampusSignal> DecodeSignal(const QByteArray& raw, QString* why) {
    QString reason;
    const auto refuse = [why](const QString& text) {
        if (why != nullptr) *why = text;
        return std::nullopt;
    };
    const std::optional<QJsonObject> object = ObjectOf(raw, &reason);
    if (!object) return refuse(reason);
    const QJsonObject& o = *object;
    CampusSignal s;
    if (!o.value("running").isBool()) return refuse(Missing("running"));
    s.running = o.value("running").toBool();
    if (!o.value("ending").isBool()) return refuse(Missing("ending"));
    s.ending = o.value("ending").toBool();
    s.signal = o.value("signal").toString();
    const bool control =
        std::any_of(s.signal.begin(), s.signal.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (!o.value("signal").isString() || s.signal.size() > 100 || control ||
        (s.running && s.signal.trimmed().isEmpty())) {
        return refuse(Missing("signal"));
    }
    const auto step = Whole(o.value("step"), 1000);
    const auto steps = Whole(o.value("steps"), 1000);
    if (!step) return refuse(Missing("step"));
    if (!steps) return refuse(Missing("steps"));
    s.step = static_cast<int>(*step);
    s.steps = static_cast<int>(*steps);
    s.from = o.value("from").toString();
    if (!IsCampusName(s.from)) return refuse(Missing("from"));
    s.sent = ReadSent(o.value("sent"));
    if (!s.sent.isValid()) return refuse(Missing("sent"));
    return s;
}

}  // namespace lingchao
