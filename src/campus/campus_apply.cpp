#include "campus/campus_apply.h"

#include <string>
#include <string_view>

#include "base/backup_folder.h"
#include "base/log.h"
#include "base/text.h"
#include "scheduler/calendar.h"
#include "store/jilu.h"

namespace lingchao {
namespace {

// The state file is a few lines the program writes itself; anything larger is not it.
constexpr std::uint64_t kMaxStateBytes = 64 * 1024;

bool Fail(QString* why, const QString& reason) {
    if (why != nullptr) *why = reason;
    return false;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::optional<std::uint64_t> Version(std::string_view text) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > kMaxCampusVersion) return std::nullopt;
    return value;
}

std::string StateText(const CampusState& state) {
    std::string text =
        "# The campus files applied here, by version: an older one is refused.\n[applied]\n"
        "timetable=" +
        std::to_string(state.applied.timetable) + "\ncalendar=" + std::to_string(state.applied.calendar) + "\n";
    if (state.published.timetable != 0 || state.published.calendar != 0) {
        text += "# What this PC sent as the main: its next version goes above these.\n[published]\ntimetable=" +
                std::to_string(state.published.timetable) + "\ncalendar=" + std::to_string(state.published.calendar) +
                "\n";
    }
    return text;
}

}  // namespace

std::optional<CampusState> ReadCampusState(const std::filesystem::path& appFolder, QString* why) {
    const auto file = appFolder / kCampusStateFile;
    const StoredFile stored = ReadStoredFile(file, kMaxStateBytes);
    if (stored.problem == ReadProblem::Missing) return CampusState{};
    const QString damaged = QStringLiteral("无法读取 ") + QString::fromLatin1(kCampusStateFile) + QStringLiteral("：");
    if (!stored.whole()) {
        Fail(why, damaged + Q(ReadProblemText(stored.problem)));
        return std::nullopt;
    }
    CampusState state;
    // Keys before any section are applied versions, as the first state files had them.
    CampusApplied* section = &state.applied;
    const std::string_view text(reinterpret_cast<const char*>(stored.bytes.data()), stored.bytes.size());
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            section = line == "[applied]" ? &state.applied : line == "[published]" ? &state.published : nullptr;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (section == nullptr || line.empty() || line[0] == '#' || equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        if (key != "timetable" && key != "calendar") continue;
        const auto version = Version(Trim(line.substr(equals + 1)));
        if (!version) {
            Fail(why, damaged + QStringLiteral("版本号“") + Q(std::string(key)) + QStringLiteral("”无法识别"));
            return std::nullopt;
        }
        (key == "timetable" ? section->timetable : section->calendar) = *version;
    }
    return state;
}

std::optional<CampusApplied> ReadCampusApplied(const std::filesystem::path& appFolder, QString* why) {
    const std::optional<CampusState> state = ReadCampusState(appFolder, why);
    if (!state) return std::nullopt;
    return state->applied;
}

bool WriteCampusState(const std::filesystem::path& appFolder, const CampusState& state, QString* why) {
    const std::string text = StateText(state);
    std::string failure;
    if (ReplaceFileAtomically(appFolder / kCampusStateFile, Bytes(text.begin(), text.end()), &failure)) return true;
    return Fail(why, Q(failure));
}

std::filesystem::path CampusTarget(const std::filesystem::path& appFolder, CampusFileKind kind) {
    return appFolder / (kind == CampusFileKind::Timetable ? kDefaultGroup : kCalendarFile);
}

bool ApplyCampusFile(const std::filesystem::path& appFolder, const CampusFileMessage& message, std::time_t now,
                     QString* why) {
    std::optional<CampusState> state = ReadCampusState(appFolder, why);
    if (!state) return false;
    std::uint64_t& version = state->applied.Of(message.kind);
    if (message.version <= version || message.version > kMaxCampusVersion) {
        return Fail(why, QStringLiteral("版本 ") + QString::number(message.version) +
                             QStringLiteral(" 不比已采用的版本 ") + QString::number(version) + QStringLiteral(" 新"));
    }
    if (const QString problem = CampusFileProblem(message.kind, message.data); !problem.isEmpty()) {
        return Fail(why, problem);
    }
    const auto target = CampusTarget(appFolder, message.kind);
    const std::string name = target.filename().string();
    const StoredFile old = ReadStoredFile(target, kDefaultReadCap);
    if (!old.whole() && old.problem != ReadProblem::Missing) {
        return Fail(why, QStringLiteral("无法读取 ") + Q(name) + QStringLiteral("：") +
                             Q(ReadProblemText(old.problem)) + QStringLiteral("，没有替换"));
    }
    const bool present = old.whole();
    const bool same = present && old.bytes == message.data;
    std::string failure;
    if (!same) {
        BackupFolder backup(appFolder, "校园同步", now);
        if (present && !backup.Keep(name, old.bytes, &failure)) {
            return Fail(why, QStringLiteral("无法备份 ") + Q(name) + QStringLiteral("，没有替换：") + Q(failure));
        }
        if (!ReplaceFileAtomically(target, message.data, ScratchPathFor(target), &failure)) {
            return Fail(why, Q(failure));
        }
    }
    version = message.version;
    const std::string text = StateText(*state);
    if (!ReplaceFileAtomically(appFolder / kCampusStateFile, Bytes(text.begin(), text.end()), &failure)) {
        // Without its version on disk an older file would be taken after a restart: the old file goes back.
        std::string undo;
        std::error_code error;
        const bool undone = same || (present ? ReplaceFileAtomically(target, old.bytes, &undo)
                                             : std::filesystem::remove(target, error));
        if (!undone) LogLine("campus: " + target.string() + " could not be put back: " + undo);
        return Fail(why, QStringLiteral("无法记下已采用的版本：") + Q(failure));
    }
    LogLine("campus: " + name + " version " + std::to_string(message.version) + " from " + message.from.toStdString() +
            " applied");
    return true;
}

bool ReceiveCampusFile(const std::filesystem::path& appFolder, const QByteArray& raw, CampusFileKind kind,
                       std::time_t now, QString* why) {
    const std::optional<CampusApplied> applied = ReadCampusApplied(appFolder, why);
    if (!applied) return false;
    CampusFileDecode decoded = DecodeFileMessage(raw, kind, applied->Of(kind));
    if (!decoded.message) return Fail(why, decoded.why);
    return ApplyCampusFile(appFolder, *decoded.message, now, why);
}

}  // namespace lingchao
