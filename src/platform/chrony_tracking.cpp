#include "platform/chrony_tracking.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <cmath>

namespace lingchao {

std::optional<double> ParseChronyTracking(const std::string& csv) {
    // One line: reference id, its name, stratum, reference time, system time, last offset, RMS offset, frequency,
    // residual frequency, skew, root delay, root dispersion, update interval, leap status.
    const QStringList fields = QString::fromStdString(csv).trimmed().split(u',');
    if (fields.size() < 14 || fields.first().isEmpty()) return std::nullopt;
    // A reference id of 0 and this leap status: chrony has no source to say how far off the clock is.
    if (fields[0].toULongLong(nullptr, 16) == 0 || fields[13] == QLatin1String("Not synchronised")) return std::nullopt;
    bool ok = false;
    const double correction = fields[4].toDouble(&ok);  // seconds, positive when the clock is slow
    if (!ok || !std::isfinite(correction) || std::abs(correction) > 1e6) return std::nullopt;
    return -correction * 1000.0;
}

std::optional<double> ChronyOffsetMs(std::chrono::milliseconds timeout) {
    const QString chronyc = QStandardPaths::findExecutable(QStringLiteral("chronyc"));
    if (chronyc.isEmpty()) return std::nullopt;
    QProcess process;
    // -n: no name lookups, which could take longer than the answer.
    process.start(chronyc, {QStringLiteral("-c"), QStringLiteral("-n"), QStringLiteral("tracking")});
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    return ParseChronyTracking(process.readAllStandardOutput().left(4096).toStdString());
}

}  // namespace lingchao
