#pragma once

#include <QString>
#include <filesystem>
#include <optional>

#include "base/warning_board.h"
#include "campus/campus_message.h"

namespace lingchao {

// A PC not heard for this long is offline, whatever its last status said.
inline constexpr qint64 kCampusSilentMs = 90 * 1000;
// A bell later than this, or a clock further off than this, is a worry on the PC's row.
inline constexpr double kCampusLateMs = 1000;
inline constexpr double kCampusOffsetMs = 50;

// The newest bell of bell-log.csv (of bell-log.1.csv while the newer file has none): the last line of a job that
// fired or was missed, with the "silent" line that may follow it. Only the files' last 64 KB are read. sound_ms is
// -1 and peak -200 dBFS where the log has no proof (digital silence is -200 too).
std::optional<CampusLastBell> ReadLastBell(const std::filesystem::path& appFolder);

// This PC as it stands: the program's version, the warnings on the clock's mark, the clock's synchronisation (the
// board's "clock-sync" key; the offset is unknown here), the sound output ("正常" or its warning) and the last bell.
// The sender fills in pc, online and sent.
CampusStatus OwnCampusStatus(const std::filesystem::path& appFolder, const WarningBoard& warnings);

// Why a PC's row is red, its reasons joined by "；"; "" when none. `online`: its last status said so (no will
// since); `heardAgoMs`: since its last message, -1 for never.
QString CampusPeerProblem(const std::optional<CampusStatus>& status, bool online, qint64 heardAgoMs);

}  // namespace lingchao
