#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "base/file_util.h"
#include "store/drill_plans.h"

namespace lingchao {

// What the PCs of a campus say to each other, as JSON, under "lingchao/<campus>/". A message is read only after
// its raw size was checked: what the broker hands over may come from anyone on the network.
inline constexpr qsizetype kMaxCampusMessageBytes = 2 * 1024 * 1024;
inline constexpr std::uint64_t kMaxTimetableBytes = 1024 * 1024;
inline constexpr std::uint64_t kMaxCalendarBytes = 1024 * 1024;
// Versions stay where every JSON reader holds an integer exactly.
inline constexpr std::uint64_t kMaxCampusVersion = (std::uint64_t{1} << 53) - 1;

QString TimetableTopic(const QString& campus);                  // lingchao/<campus>/timetable
QString CalendarTopic(const QString& campus);                   // lingchao/<campus>/calendar
QString TodayTopic(const QString& campus);                      // lingchao/<campus>/today: today's changes
QString StatusTopic(const QString& campus, const QString& pc);  // lingchao/<campus>/status/<pc>
QString StatusTopicFilter(const QString& campus);               // lingchao/<campus>/status/+
QString SignalTopic(const QString& campus);                     // lingchao/<campus>/signal: the main's drill

enum class CampusFileKind { Timetable, Calendar };
const char* CampusFileKindName(CampusFileKind kind);  // "timetable", "calendar"

// A whole file as the main sends it: {"kind","version","sha256","bytes","data" (base64),"from","sent"}.
struct CampusFileMessage {
    CampusFileKind kind = CampusFileKind::Timetable;
    std::uint64_t version = 0;  // 1..kMaxCampusVersion, higher on every publish of the main
    Bytes data;
    QString from;  // the sending PC's name
    QDateTime sent;
};

// The JSON of a message; empty, with the reason, for one no PC would take (over its cap, a version out of range,
// a bad name, no time).
QByteArray EncodeFileMessage(const CampusFileMessage& message, QString* why = nullptr);

struct CampusFileDecode {
    std::optional<CampusFileMessage> message;
    QString why;  // in Chinese, when there is no message
};

// Takes a file only when every field reads, the size, base64, length and SHA-256 agree, the version is newer than
// `appliedVersion`, and the bytes are what the kind says: a timetable the store reads as whole job records, a
// calendar with its header.
CampusFileDecode DecodeFileMessage(const QByteArray& raw, CampusFileKind kind, std::uint64_t appliedVersion);

// Why `bytes` are no file of that kind ("" when they are one). A timetable is whole job records, each a job the
// program wrote (state START or PAUSE) or a gap writing past the end left (blank state), at least one job unless
// it is empty. A calendar has its header. Neither is over its cap.
QString CampusFileProblem(CampusFileKind kind, const Bytes& bytes);

struct CampusLastBell {
    QString time;     // "08:00"
    QString name;     // the job's name
    QString outcome;  // as the bell log says it
    double soundMs = 0;
    double peak = 0;
    QString date;       // "2026-12-07": with the time, the minute a standby knows was rung
    double lateMs = 0;  // from the start of its minute to its start
};

// What each PC says of itself on its status topic.
struct CampusStatus {
    QString pc;
    QString version;  // the program's
    bool online = false;
    bool clockSynced = false;
    std::optional<double> offsetMs;  // unknown: null
    QString output;                  // the sound output's health, as text
    QStringList warnings;
    std::optional<CampusLastBell> lastBell;
    QDateTime sent;
};

QByteArray EncodeStatus(const CampusStatus& status);
// Unknown fields are left alone (a newer program may add some); a missing or mistyped known one is refused,
// except offset_ms and last_bell, which may be null or left out.
std::optional<CampusStatus> DecodeStatus(const QByteArray& raw, QString* why = nullptr);

// The drill or emergency signal the main sounds, sent whenever it changes and every 30 s while it sounds (so a
// follower can tell a signal still sounding from the last word of a main that died during one).
struct CampusSignal {
    bool running = false;
    QString signal;  // its name in drills.csv
    int step = 0;    // 1-based
    int steps = 0;
    bool ending = false;  // 结束 was pressed: the all-clear sounds
    QString from;         // the main's name
    QDateTime sent;
};

// From and to the bell's own account of a signal.
CampusSignal CampusSignalOf(const SignalState& state);
SignalState SignalStateOf(const CampusSignal& signal);

QByteArray EncodeSignal(const CampusSignal& signal);
// Refused (none, with the reason) unless every field reads and the name is one drills.csv could hold.
std::optional<CampusSignal> DecodeSignal(const QByteArray& raw, QString* why = nullptr);

}  // namespace lingchao
