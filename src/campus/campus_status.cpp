#include "campus/campus_status.h"

#include <QStringList>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "base/csv.h"
#include "base/file_util.h"
#include "platform/chrony_tracking.h"

namespace lingchao {
namespace {

constexpr std::uint64_t kTailBytes = 64 * 1024;
constexpr double kNoPeak = -200;

bool Starts(const std::string& text, std::string_view word) { return text.rfind(word, 0) == 0; }

double Number(const std::string& text, double otherwise) {
    if (text == "-inf") return kNoPeak;
    bool ok = false;
    const double value = QString::fromStdString(text).toDouble(&ok);
    return ok && std::isfinite(value) ? value : otherwise;
}

std::optional<CampusLastBell> LastBellOf(const std::filesystem::path& file) {
    const std::optional<std::uint64_t> size = FileLength(file);
    if (!size || *size == 0) return std::nullopt;
    const std::uint64_t offset = *size > kTailBytes ? *size - kTailBytes : 0;
    const std::optional<Bytes> bytes = ReadFileRange(file, offset, kTailBytes);
    if (!bytes) return std::nullopt;
    std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    // A tail starts inside a line: from the next one on.
    if (offset > 0) text.remove_prefix(std::min(text.size(), text.find('\n') + 1));
    std::optional<CampusLastBell> last;
    std::string lastKey;
    std::size_t pos = 0;
    int lines = 0;
    bool badQuote = false;
    while (pos < text.size()) {
        const std::vector<std::string> f = NextCsvRecord(text, pos, lines, badQuote);
        // date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output; a signal's or
        // a stray playback failure's line has no job number.
        if (f.size() < 8 || f[4].empty() || f[4] == "job_no") continue;
        const std::string key = f[0] + ',' + f[1] + ',' + f[4];
        const std::string& outcome = f[7];
        if (Starts(outcome, "fired") || Starts(outcome, "missed")) {
            last = CampusLastBell{QString::fromStdString(f[1]),
                                  QString::fromStdString(f[5]),
                                  QString::fromStdString(outcome),
                                  f.size() > 8 ? Number(f[8], -1) : -1,
                                  f.size() > 9 ? Number(f[9], kNoPeak) : kNoPeak,
                                  QString::fromStdString(f[0]),
                                  Number(f[3], 0)};
            lastKey = key;
        } else if (Starts(outcome, "silent") && last && key == lastKey) {
            last->outcome = QString::fromStdString(outcome);
        }
    }
    return last;
}

QString Seconds(double ms) { return QString::number(ms / 1000.0, 'f', 1); }

}  // namespace

std::optional<CampusLastBell> ReadLastBell(const std::filesystem::path& appFolder) {
    if (auto last = LastBellOf(appFolder / "bell-log.csv")) return last;
    return LastBellOf(appFolder / "bell-log.1.csv");
}

CampusStatus OwnCampusStatus(const std::filesystem::path& appFolder, const WarningBoard& warnings) {
    CampusStatus s;
    s.version =
        QStringLiteral("%1.%2.%3").arg(LINGCHAO_VERSION_MAJOR).arg(LINGCHAO_VERSION_MINOR).arg(LINGCHAO_VERSION_PATCH);
    for (const QString& part : QString::fromStdString(warnings.Text()).split(QStringLiteral("\n\n"))) {
        if (!part.trimmed().isEmpty()) s.warnings << part.trimmed();
    }
    s.clockSynced = warnings.TextOf("clock-sync").empty();
    s.offsetMs = ChronyOffsetMs();
    const std::string output = warnings.TextOf("sound-output");
    s.output = output.empty() ? QStringLiteral("正常") : QString::fromStdString(output);
    s.lastBell = ReadLastBell(appFolder);
    return s;
}

QString CampusPeerProblem(const std::optional<CampusStatus>& status, bool online, qint64 heardAgoMs) {
    QStringList problems;
    if (!status || heardAgoMs < 0) {
        problems << QStringLiteral("离线：从未收到它的状态");
    } else if (!online) {
        problems << QStringLiteral("离线");
    } else if (heardAgoMs > kCampusSilentMs) {
        problems << QStringLiteral("离线：%1 秒没有消息").arg(heardAgoMs / 1000);
    }
    if (status && status->lastBell) {
        const CampusLastBell& bell = *status->lastBell;
        if (bell.outcome.startsWith(QStringLiteral("silent"))) {
            problems << QStringLiteral("上一个铃声（%1）没有声音").arg(bell.time);
        } else if (bell.outcome.startsWith(QStringLiteral("missed"))) {
            problems << QStringLiteral("上一个铃声（%1）没有响").arg(bell.time);
        } else if (bell.lateMs > kCampusLateMs) {
            problems << QStringLiteral("上一个铃声（%1）晚了 %2 秒").arg(bell.time, Seconds(bell.lateMs));
        }
    }
    if (status && !status->clockSynced) {
        problems << QStringLiteral("时钟未同步");
    } else if (status && status->offsetMs && std::abs(*status->offsetMs) > kCampusOffsetMs) {
        problems << QStringLiteral("时钟偏差 %1 毫秒").arg(std::llround(*status->offsetMs));
    }
    return problems.join(QStringLiteral("；"));
}

}  // namespace lingchao
