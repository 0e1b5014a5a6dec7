#pragma once

#include <QString>
#include <ctime>
#include <filesystem>
#include <optional>

#include "campus/campus_message.h"

namespace lingchao {

// The versions applied here, kept across restarts so that an older file sent again is still refused.
inline constexpr const char* kCampusStateFile = "campus-state.ini";

struct CampusApplied {
    std::uint64_t timetable = 0;  // 0: none yet
    std::uint64_t calendar = 0;
    std::uint64_t Of(CampusFileKind kind) const { return kind == CampusFileKind::Timetable ? timetable : calendar; }
    std::uint64_t& Of(CampusFileKind kind) { return kind == CampusFileKind::Timetable ? timetable : calendar; }
};

// The whole state file: its [applied] section, and the [published] one a main keeps of what it last sent, so that
// a main reinstalled or restored from a backup still sends higher versions than its followers hold.
struct CampusState {
    CampusApplied applied;
    CampusApplied published;
};

// A missing file is nothing applied yet; a file that cannot be read, or holds a version that does not read, is
// nullopt with the reason: guessing 0 would let every older file in again.
std::optional<CampusApplied> ReadCampusApplied(const std::filesystem::path& appFolder, QString* why = nullptr);
std::optional<CampusState> ReadCampusState(const std::filesystem::path& appFolder, QString* why = nullptr);
// Replaces the state file whole (scratch file and rename); [published] is written only when it holds a version.
bool WriteCampusState(const std::filesystem::path& appFolder, const CampusState& state, QString* why = nullptr);

// The file a kind replaces: default.dll or calendar.csv in the application folder.
std::filesystem::path CampusTarget(const std::filesystem::path& appFolder, CampusFileKind kind);

// Replaces the kind's file with the message's bytes, whole or not at all: the current file is first kept in a
// dated folder of backup/ (`now` names it), the new one goes through a scratch file and a rename, then its version
// is recorded. A version not newer than the recorded one, or bytes that are no such file, change nothing. On any
// failure the file is as it was, byte for byte, and `why` says why in Chinese.
bool ApplyCampusFile(const std::filesystem::path& appFolder, const CampusFileMessage& message, std::time_t now,
                     QString* why = nullptr);

// What a follower does with a message of the timetable or calendar topic: decode it against the version applied
// here, then apply it.
bool ReceiveCampusFile(const std::filesystem::path& appFolder, const QByteArray& raw, CampusFileKind kind,
                       std::time_t now, QString* why = nullptr);

}  // namespace lingchao
