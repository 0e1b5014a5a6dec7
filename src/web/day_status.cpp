#include "web/day_status.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QTime>
#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/csv.h"
#include "base/file_util.h"
#include "scheduler/day_plan.h"
#include "store/timeparse.h"

namespace lingchao {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

qint64 EpochMs(const LocalDateTime& at) {
    const QDateTime local(QDate(at.date.year, at.date.month, at.date.day),
                          QTime(at.time.hour, at.time.minute, at.time.second, at.millisecond), Qt::LocalTime);
    return local.toMSecsSinceEpoch();
}

// One line of the bell log, by its columns.
struct LogLine {
    std::string date, setTime, actualStart, lateMs, jobNo, jobName, path, outcome, soundMs, peakDbfs, output;
};

constexpr std::uint64_t kLogCap = 2 * 1024 * 1024;
constexpr int kLogDays = 7;
constexpr std::size_t kMaxLogLines = 2000;
constexpr std::size_t kMaxMusic = 1000;

// The lines of `file` from `firstDate` on (dates compare as text: the log writes them as YYYY-MM-DD).
void ReadLog(const std::filesystem::path& file, const std::string& firstDate, std::vector<LogLine>& out) {
    const StoredFile read = ReadStoredFile(file, kLogCap);
    if (!read.usable()) return;
    const std::string_view text(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    std::size_t pos = 0;
    int lines = 0;
    bool badQuote = false;
    bool header = true;
    while (pos < text.size()) {
        std::vector<std::string> f = NextCsvRecord(text, pos, lines, badQuote);
        if (header) {
            header = false;
            continue;
        }
        if (f.size() < 8 || f[0] < firstDate) continue;
        f.resize(11);
        out.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]});
    }
}

// "rang", "missed", "silent", "held", "skipped" for a log outcome; "" for one that says nothing of a bell.
std::string BellOutcome(const std::string& outcome) {
    const auto is = [&](std::string_view word) { return outcome.rfind(word, 0) == 0; };
    if (is("fired")) return "rang";
    if (is("silent")) return "silent";
    if (is("missed")) return "missed";
    if (is("held")) return "held";
    // A standby's bell rung by the PC it stands by for is not this PC's to ring.
    if (is("skipped") || is("silenced-today") || is("holiday") || is("rest-day") || is("standby")) return "skipped";
    return {};
}

QJsonValue Number(const std::string& text) {
    if (text.empty()) return QJsonValue::Null;
    bool ok = false;
    const double value = QString::fromStdString(text).toDouble(&ok);
    return ok ? QJsonValue(value) : QJsonValue::Null;
}

}  // namespace

QJsonObject BuildDayStatus(const std::filesystem::path& appFolder, const LocalDateTime& now,
                           const std::string& warningsText) {
    QJsonObject status;
    const std::string date = DateText(now.date);
    status["now"] =
        Q(date + "T" + HourMinuteText(now.time)) + QString::asprintf(":%02d.%03d", now.time.second, now.millisecond);
    status["now_ms"] = static_cast<double>(EpochMs(now));
    status["date"] = Q(date);
    status["weekday"] = Q(WeekdayName(now.weekday));

    const DayBells today = BellsOfDate(appFolder, now.date);
    status["plan"] = Q(PlanLine(today.plan, today.bells, now));
    status["changes"] = Q(TodayChangesLine(today.plan, today.bells));

    // Seven days of the log, the older file first so that the newest lines come last before reversing.
    CalendarDate first = now.date;
    {
        QDate d = QDate(now.date.year, now.date.month, now.date.day).addDays(-(kLogDays - 1));
        first = {d.year(), d.month(), d.day()};
    }
    std::vector<LogLine> log;
    ReadLog(appFolder / "bell-log.1.csv", DateText(first), log);
    ReadLog(appFolder / "bell-log.csv", DateText(first), log);

    // Today's outcome of each bell by its set time and job: the last line about it wins (a "silent" line
    // follows its "fired" one).
    std::map<std::pair<std::string, std::string>, const LogLine*> outcomes;
    for (const LogLine& line : log) {
        if (line.date == date && !BellOutcome(line.outcome).empty()) outcomes[{line.setTime, line.jobNo}] = &line;
    }
    const std::optional<PlanBell> next = NextBell(today.bells, now.time);
    // A day silenced after some bells rang still lists them: what rang this morning, and what will not now.
    std::vector<PlanBell> listed = today.bells;
    if (today.plan.rule.silenced) {
        PlanOfDay unsilenced = today.plan;
        unsilenced.rule.silenced = false;
        listed = PlanBells(unsilenced);
        for (PlanBell& bell : listed) bell.skipped = true;
    }
    QJsonArray bells;
    QJsonArray jobs;
    for (const PlanBell& bell : listed) {
        QJsonObject b;
        b["time"] = Q(HourMinuteText(bell.ringTime));
        b["name"] = Q(bell.name);
        b["job"] = bell.jobNo;
        const auto found = outcomes.find({HourMinuteText(bell.setTime), std::to_string(bell.jobNo)});
        std::string outcome;
        if (found != outcomes.end()) {
            outcome = BellOutcome(found->second->outcome);
            if (outcome == "rang") {
                b["sound_ms"] = Number(found->second->soundMs);
                b["peak_dbfs"] = Number(found->second->peakDbfs);
            }
        } else if (bell.skipped) {
            outcome = "skipped";
        } else if (bell.ringTime.Seconds() / 60 >= now.time.Seconds() / 60) {
            outcome = "coming";  // its minute has not passed (the tick of this minute may still be on its way)
        } else {
            outcome = "missed";  // past, and no line says it rang: the program was not running
        }
        b["outcome"] = Q(outcome);
        bells.append(b);
        if (!bell.skipped) {
            jobs.append(
                QJsonObject{{"job", bell.jobNo}, {"time", Q(HourMinuteText(bell.setTime))}, {"name", Q(bell.name)}});
        }
    }
    status["bells"] = bells;
    status["jobs"] = jobs;
    if (next) {
        LocalDateTime at = now;
        at.time = next->ringTime;
        at.time.second = 0;
        at.millisecond = 0;
        status["next"] = QJsonObject{{"time", Q(HourMinuteText(next->ringTime))},
                                     {"name", Q(next->name)},
                                     {"at_ms", static_cast<double>(EpochMs(at))}};
    } else {
        status["next"] = QJsonValue::Null;
    }

    QJsonArray warnings;
    for (const QString& part : Q(warningsText).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        warnings.append(part.trimmed());
    }
    status["warnings"] = warnings;

    QJsonArray lines;
    const std::size_t from = log.size() > kMaxLogLines ? log.size() - kMaxLogLines : 0;
    for (std::size_t i = log.size(); i-- > from;) {
        const LogLine& l = log[i];
        lines.append(QJsonObject{{"date", Q(l.date)},
                                 {"time", Q(l.setTime)},
                                 {"name", Q(l.jobName)},
                                 {"outcome", Q(l.outcome)},
                                 {"late_ms", Number(l.lateMs)},
                                 {"sound_ms", Number(l.soundMs)},
                                 {"peak_dbfs", Number(l.peakDbfs)}});
    }
    status["log"] = lines;

    // The files 立即响铃 may play: regular files of the music folder, by name.
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(appFolder / "music", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name == "null.dll" || name.empty() || name[0] == '.' || !it->is_regular_file(error)) continue;
        names.push_back(name);
        if (names.size() >= kMaxMusic) break;
    }
    std::sort(names.begin(), names.end());
    QJsonArray music;
    for (const std::string& name : names) music.append(Q(name));
    status["music"] = music;
    return status;
}

QByteArray StatusMetrics(const QJsonObject& status) {
    int total = 0;
    int rang = 0;
    QJsonObject last;
    for (const QJsonValue& value : status["bells"].toArray()) {
        const QJsonObject bell = value.toObject();
        if (bell["outcome"].toString() != "skipped") ++total;
        if (bell["outcome"].toString() == "rang") {
            ++rang;
            last = bell;
        }
    }
    double lateMs = -1;
    for (const QJsonValue& value : status["log"].toArray()) {
        const QJsonObject line = value.toObject();
        if (line["date"] == status["date"] && line["outcome"].toString().startsWith("fired")) {
            lateMs = line["late_ms"].toDouble(-1);
            break;  // newest first
        }
    }
    QByteArray out;
    const auto metric = [&out](const char* name, const char* help, double value) {
        out += QByteArray("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + " " +
               QByteArray::number(value, 'g', 12) + "\n";
    };
    metric("lingchao_bells_today", "Bells today's plan rings, skipped ones left out.", total);
    metric("lingchao_bells_rung_today", "Bells of today that rang so far.", rang);
    metric("lingchao_last_bell_late_ms", "Lateness of the last bell rung today (-1: none yet).", lateMs);
    metric("lingchao_last_bell_sound_ms", "From the minute to the last bell's first sound (-1: none yet).",
           last.isEmpty() ? -1 : last["sound_ms"].toDouble(-1));
    metric("lingchao_warnings", "Warnings on the clock's mark.", status["warnings"].toArray().size());
    return out;
}

}  // namespace lingchao
