#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <filesystem>
#include <string>

#include "scheduler/clock.h"

namespace lingchao {

// The office page's view of today, read afresh from the program's files (the calendar, the timetable in force,
// bell-log.csv and bell-log.1.csv, the music folder): the JSON of GET /api/status less "role", as WebBackend
// describes it. Never touches the bell; every file is read capped.
QJsonObject BuildDayStatus(const std::filesystem::path& appFolder, const LocalDateTime& now,
                           const std::string& warningsText);

// GET /metrics from a status: bells today and rung so far, the last rung bell's lateness and sound_ms, warnings.
QByteArray StatusMetrics(const QJsonObject& status);

}  // namespace lingchao
